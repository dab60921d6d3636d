// The help file (missing, damaged, the built manual and its search) and the
// version window.
#include "support/FakeServices.h"
#include "windows/HelpViewer.h"
#include "windows/frmAbout.h"
#include <QApplication>
#include <QFile>
#include <QHelpEngine>
#include <QHelpLink>
#include <QHelpSearchEngine>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTimer>
#include <gtest/gtest.h>

TEST(Help, AMissingOrDamagedHelpFileIsToldByName)
{
    QTemporaryDir folder;
    const QString helpFile = rdxmon::HelpFileName(folder.path());
    rdxtest::RecordingMessages messages;
    rdxmon::HelpViewer viewer(helpFile, messages, folder.filePath("cache"));
    EXPECT_EQ(viewer.showHelp(), nullptr);
    QFile damaged(helpFile);
    ASSERT_TRUE(damaged.open(QIODevice::WriteOnly) && damaged.write("not a help file") > 0);
    damaged.close();
    EXPECT_EQ(viewer.showHelp(), nullptr);
    ASSERT_EQ(messages.shown.size(), 2);
    EXPECT_EQ(messages.shown[0], "The help file " + helpFile + " could not be found. Help cannot be shown.");
    EXPECT_TRUE(messages.shown[1].startsWith("The help file " + helpFile + " is damaged"));
}

TEST(Help, TheBuiltManualOpensAndItsSearchShowsNoHalfMarkup)
{
    QTemporaryDir cache;
    rdxmon::OpenedHelp help = rdxmon::OpenHelpFile(RDX_PROGRAM_DIR "/RDXMON-1.qch", cache.path());
    ASSERT_TRUE(help.error.isEmpty()) << help.error.toStdString();
    EXPECT_FALSE(help.engine->fileData(help.defaultTopic).isEmpty());
    EXPECT_FALSE(help.engine->documentsForKeyword("grey value").isEmpty());
    QHelpSearchEngine* search = help.engine->searchEngine();
    QSignalSpy indexed(search, &QHelpSearchEngine::indexingFinished);
    QSignalSpy searched(search, &QHelpSearchEngine::searchingFinished);
    search->reindexDocumentation();
    ASSERT_TRUE(indexed.wait(20000));
    // A result's excerpt is cut from the page's text; quotes and menu paths
    // written as entities came out cut in half ("&quot...").
    for (const char* word : {"window", "closed", "setting", "grey"}) {
        search->search(QString::fromLatin1(word));
        ASSERT_TRUE(searched.wait(10000));
        ASSERT_GT(search->searchResultCount(), 0) << word;
        for (const QHelpSearchResult& result : search->searchResults(0, search->searchResultCount()))
            EXPECT_FALSE(result.snippet().contains(QLatin1Char('&'))) << word << ": " << result.snippet().toStdString();
    }
}

TEST(VersionWindow, ModalOverTheMainWindowUntilOk)
{
    QWidget mainWindow;
    mainWindow.show();
    QTimer::singleShot(0, [&] {
        auto* about = qobject_cast<rdxmon::frmAbout*>(QApplication::activeModalWidget());
        ASSERT_NE(about, nullptr);
        EXPECT_EQ(about->parentWidget(), &mainWindow);
        about->cmdOK->click();
    });
    rdxmon::ShowVersionInformation(&mainWindow);  // returns once OK closed it
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
}
