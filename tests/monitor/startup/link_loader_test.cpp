// Start-up's link loader: the library from the program's folder, or a
// message naming what is missing and where.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include "startup/LinkLoader.h"
#include "startup/ProgramFolder.h"

namespace rdxmon {
namespace {

TEST(LinkLoader, LoadsTheLibraryFromTheProgramsFolderOrNamesIt)
{
    QTemporaryDir dir;
    LinkLoader loader;
    QString error;
    EXPECT_FALSE(loader.load(dir.path(), &error));
    EXPECT_TRUE(error.contains("libRDX500Comm3.so") && error.contains(dir.path()) && error.contains("Reinstall"))
        << error.toStdString();
    EXPECT_TRUE(QFile::exists(QDir(programFolder()).filePath("monitor_startup_link_loader_test")));
    ASSERT_TRUE(loader.load(QStringLiteral(RDX_PROGRAM_DIR), &error)) << error.toStdString();
    loader.object()->DataBit("7");
    EXPECT_EQ(loader.object()->DataBit(), "7");
    loader.release();
    EXPECT_EQ(loader.object(), nullptr);
}

}  // namespace
}  // namespace rdxmon
