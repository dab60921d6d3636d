// The help: the manual RDXMON-1.qch (Qt Help, compiled by the build and
// installed beside the program), shown in a help window of its own with
// contents, index and search.
#ifndef RDXMON_WINDOWS_HELPVIEWER_H
#define RDXMON_WINDOWS_HELPVIEWER_H

#include <memory>

#include <QMainWindow>
#include <QPointer>
#include <QString>
#include <QTextBrowser>
#include <QUrl>

class QHelpEngine;
class QHelpEngineCore;

namespace rdxmon {

class MessageBoxes;

// mHelpFile for a program in programFolder: the folder followed by
// "/RDXMON-1.qch".
QString HelpFileName(const QString& programFolder);

// A help file made ready for reading.
struct OpenedHelp {
    std::unique_ptr<QHelpEngine> engine;  // null when error is set
    QUrl defaultTopic;  // the manual's first page
    QString error;  // the message for the operator
};

// Opens helpFile through a help collection kept in collectionFolder (made
// when missing; the collection is written to, so it never lies in the
// possibly read-only program folder). A missing or damaged help file gives
// an error naming the file.
OpenedHelp OpenHelpFile(const QString& helpFile, const QString& collectionFolder);

// The collection folder used by the program: below the user's cache folder,
// or the temporary folder when there is none.
QString DefaultHelpCollectionFolder();

// Shows the pages of the help file; qthelp:// addresses are read from it.
class HelpBrowser : public QTextBrowser {
    Q_OBJECT
public:
    HelpBrowser(QHelpEngineCore& engine, QWidget* parent = nullptr);
    QVariant loadResource(int type, const QUrl& name) override;

private:
    QHelpEngineCore& mEngine;
};

// The help window: contents, index and search on the left, the page on the
// right. It owns its help engine and deletes itself when closed.
class HelpWindow : public QMainWindow {
    Q_OBJECT
public:
    HelpWindow(std::unique_ptr<QHelpEngine> engine, const QUrl& defaultTopic);
    ~HelpWindow() override;

    void showTopic(const QUrl& url);
    void showDefaultTopic();
    HelpBrowser* browser() const { return mBrowser; }
    QHelpEngine& engine() const { return *mEngine; }

private:
    QWidget* makeIndexPage();
    QWidget* makeSearchPage();

    std::unique_ptr<QHelpEngine> mEngine;
    QUrl mDefaultTopic;
    HelpBrowser* mBrowser;
};

// The Help command and the closing of the help windows at exit.
class HelpViewer {
public:
    // collectionFolder empty: DefaultHelpCollectionFolder().
    HelpViewer(const QString& helpFile, MessageBoxes& messages, const QString& collectionFolder = QString());
    ~HelpViewer();

    // Opens the help window at the default topic, not modal and owned by no
    // other window; asked again, shows the open window again at the default
    // topic. A missing or damaged help file gives a message and returns null.
    HelpWindow* showHelp();

    // Closes every help window opened by this viewer.
    void closeAll();

    // The open help window, or null.
    HelpWindow* window() const { return mWindow.data(); }

    const QString& helpFile() const { return mHelpFile; }

private:
    QString mHelpFile;
    MessageBoxes& mMessages;
    QString mCollectionFolder;
    QPointer<HelpWindow> mWindow;
};

}  // namespace rdxmon

#endif
