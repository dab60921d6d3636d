#include <gtest/gtest.h>

#include <QApplication>
#include <QFile>
#include <QFileInfo>
#include <QHelpContentModel>
#include <QHelpContentWidget>
#include <QHelpEngine>
#include <QHelpIndexModel>
#include <QHelpLink>
#include <QTabWidget>
#include <QTemporaryDir>

#include "fakes_support.h"
#include "support/FakeServices.h"
#include "windows/HelpViewer.h"

using rdxmon::HelpViewer;
using rdxtest::RecordingMessages;

namespace {

const QString kBuiltHelp = QStringLiteral(RDX_PROGRAM_DIR "/RDXMON-1.qch");

}  // namespace

TEST(Help, TheBuildMakesTheManualAndItsFirstPageResolves)
{
    EXPECT_EQ(rdxmon::HelpFileName("/opt/rdx"), "/opt/rdx/RDXMON-1.qch");
    ASSERT_TRUE(QFileInfo(kBuiltHelp).isFile()) << "the docs target did not build "
                                               << kBuiltHelp.toStdString();
    QTemporaryDir cache;
    ASSERT_TRUE(cache.isValid());
    rdxmon::OpenedHelp help = rdxmon::OpenHelpFile(kBuiltHelp, cache.path());
    ASSERT_TRUE(help.error.isEmpty()) << help.error.toStdString();
    ASSERT_NE(help.engine, nullptr);
    EXPECT_EQ(help.defaultTopic.scheme(), "qthelp");

    const QString page = QString::fromUtf8(help.engine->fileData(help.defaultTopic));
    EXPECT_TRUE(page.contains("<title>RDX-512 monitor Help</title>"));
    // Every page the first one links to is in the file.
    for (const char* name : {"getting-started.html", "logging.html", "troubleshooting.html"}) {
        EXPECT_FALSE(help.engine->fileData(help.defaultTopic.resolved(QUrl(name))).isEmpty()) << name;
    }
    // The index knows the keywords.
    EXPECT_FALSE(help.engine->documentsForKeyword("RDX512INIT.SET").isEmpty());
    EXPECT_FALSE(help.engine->documentsForKeyword("dialout group").isEmpty());

    // Opening it a second time reuses the collection.
    help.engine.reset();
    EXPECT_TRUE(rdxmon::OpenHelpFile(kBuiltHelp, cache.path()).error.isEmpty());
}

TEST(Help, MissingOrDamagedHelpFileGivesAMessageNamingIt)
{
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    const QString helpFile = rdxmon::HelpFileName(folder.path());
    RecordingMessages messages;
    HelpViewer viewer(helpFile, messages, folder.filePath("cache"));

    EXPECT_EQ(viewer.showHelp(), nullptr);
    ASSERT_EQ(messages.shown.size(), 1);
    EXPECT_EQ(messages.shown.at(0),
              "The help file " + helpFile + " could not be found. Help cannot be shown.");

    QFile damaged(helpFile);
    ASSERT_TRUE(damaged.open(QIODevice::WriteOnly));
    damaged.write("this is not a help file");
    damaged.close();
    EXPECT_EQ(viewer.showHelp(), nullptr);
    ASSERT_EQ(messages.shown.size(), 2);
    EXPECT_TRUE(messages.shown.at(1).startsWith("The help file " + helpFile + " is damaged"));
    EXPECT_EQ(viewer.window(), nullptr);
    viewer.closeAll();  // nothing open: nothing happens
}

TEST(Help, TheHelpWindowOpensWithoutBlockingShowsAgainAndClosesAtExit)
{
    QTemporaryDir cache;
    ASSERT_TRUE(cache.isValid());
    RecordingMessages messages;
    HelpViewer viewer(kBuiltHelp, messages, cache.path());

    rdxmon::HelpWindow* window = viewer.showHelp();
    ASSERT_NE(window, nullptr) << messages.shown.join('\n').toStdString();
    EXPECT_TRUE(messages.shown.isEmpty());
    EXPECT_TRUE(window->isVisible());
    EXPECT_FALSE(window->isModal());
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
    EXPECT_EQ(window->parentWidget(), nullptr);
    EXPECT_TRUE(window->browser()->toPlainText().contains("RDX-512 monitor Help"));

    auto* tabs = window->findChild<QTabWidget*>("helpTabs");
    ASSERT_NE(tabs, nullptr);
    ASSERT_EQ(tabs->count(), 3);
    EXPECT_EQ(tabs->tabText(0), "Contents");
    EXPECT_EQ(tabs->tabText(1), "Index");
    EXPECT_EQ(tabs->tabText(2), "Search");
    // The table of contents is read in the background.
    QHelpContentModel* contents = window->engine().contentModel();
    EXPECT_TRUE(rdxtest::WaitFor([contents] { return contents->rowCount() > 0; }));
    window->engine().contentWidget()->expandToDepth(0);
    QHelpIndexModel* index = window->engine().indexModel();
    EXPECT_TRUE(rdxtest::WaitFor([index] { return index->rowCount() > 40; }));

    const QString shot = qEnvironmentVariable("RDX_HELP_SCREENSHOT");
    if (!shot.isEmpty()) {
        window->grab().save(shot);
    }

    // Asked again (after reading another page): the same window, at the first page.
    window->browser()->setSource(QUrl("logging.html"));
    EXPECT_TRUE(window->browser()->toPlainText().contains("Sampling cycle"));
    EXPECT_EQ(viewer.showHelp(), window);
    EXPECT_TRUE(window->browser()->toPlainText().contains("RDX-512 monitor Help"));

    viewer.closeAll();
    EXPECT_TRUE(rdxtest::WaitFor([&viewer] { return viewer.window() == nullptr; }));
    EXPECT_TRUE(messages.shown.isEmpty());

    // After closing it opens anew.
    ASSERT_NE(viewer.showHelp(), nullptr);
    viewer.closeAll();
    EXPECT_TRUE(rdxtest::WaitFor([&viewer] { return viewer.window() == nullptr; }));
}
