#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include "startup/LinkLoader.h"
#include "startup/ProgramFolder.h"

namespace rdxmon {
namespace {

TEST(LinkLoader, MissingLibraryGivesAMessageNamingIt)
{
    QTemporaryDir dir;
    LinkLoader loader;
    QString error;
    EXPECT_FALSE(loader.load(dir.path(), &error));
    EXPECT_EQ(loader.object(), nullptr);
    EXPECT_TRUE(error.contains("libRDX500Comm3.so")) << error.toStdString();
    EXPECT_TRUE(error.contains(dir.path())) << error.toStdString();
    EXPECT_TRUE(error.contains("Reinstall")) << error.toStdString();

    // A file that is not a library is refused the same way.
    QFile junk(QDir(dir.path()).filePath("libRDX500Comm3.so"));
    ASSERT_TRUE(junk.open(QIODevice::WriteOnly));
    junk.write("not a library");
    junk.close();
    EXPECT_FALSE(loader.load(dir.path(), &error));
    EXPECT_TRUE(error.contains("libRDX500Comm3.so")) << error.toStdString();
    loader.release();  // harmless when nothing was created
}

TEST(LinkLoader, CreatesTheObjectFromTheBuiltLibrary)
{
    const QString folder = QStringLiteral(RDX_PROGRAM_DIR);
    if (!QFile::exists(QDir(folder).filePath("libRDX500Comm3.so")))
        GTEST_SKIP() << "the link library has not been built in " << RDX_PROGRAM_DIR;
    LinkLoader loader;
    QString error;
    ASSERT_TRUE(loader.load(folder, &error)) << error.toStdString();
    ASSERT_NE(loader.object(), nullptr);
    // The object answers calls: a property keeps what was put.
    loader.object()->DataBit("7");
    EXPECT_EQ(loader.object()->DataBit(), "7");
    loader.release();
    EXPECT_EQ(loader.object(), nullptr);
    loader.release();
}

TEST(ProgramFolder, IsTheFolderOfTheRunningExecutable)
{
    const QString folder = programFolder();
    ASSERT_FALSE(folder.isEmpty());
    EXPECT_TRUE(QDir(folder).exists());
    EXPECT_TRUE(QFile::exists(QDir(folder).filePath("monitor_startup_link_loader_test")));
}

}  // namespace
}  // namespace rdxmon
