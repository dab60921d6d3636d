// Where a run keeps its files, the window program's command line, and the
// serial device each port opens (the kept choice, the link rule, the
// devices present).
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include "startup/CommandLine.h"
#include "startup/FilesFolder.h"
#include "startup/PortChoice.h"
#include "startup/ProgramFolder.h"

namespace rdxmon {
namespace {

bool writeText(const QString& path, const QByteArray& text)
{
    QFile file(path);
    return QDir().mkpath(QFileInfo(path).path()) && file.open(QIODevice::WriteOnly) && file.write(text) == text.size();
}

TEST(FilesFolder, TheUsersFolderFollowsTheXdgDataHome)
{
    struct Case {
        const char* home;
        const char* dataHome;
        const char* folder;
    };
    for (const Case& c :
         std::vector<Case>{{"/home/ann", "", "/home/ann/.local/share/rdx512"},
                           {"/home/ann", "/data/ann", "/data/ann/rdx512"},
                           {"/home/ann", "relative/share", "/home/ann/.local/share/rdx512"},  // not valid: ignored
                           {"", "", ""}}) {
        SCOPED_TRACE(std::string(c.home) + " | " + c.dataHome);
        EXPECT_EQ(rdxfiles::userFolder({c.home, c.dataHome}), c.folder);
    }
}

TEST(FilesFolder, AWritableProgramFolderKeepsTheFilesAPackagesFolderNever)
{
    QTemporaryDir dir;
    const rdxfiles::Environment environment{dir.filePath("home").toStdString(), ""};
    const std::string user = dir.filePath("home/.local/share/rdx512").toStdString();
    EXPECT_EQ(rdxfiles::filesFolder(dir.path().toStdString(), environment), dir.path().toStdString());
    // Root may write /usr/lib/rdx512, yet the package's folder keeps nothing.
    EXPECT_EQ(rdxfiles::filesFolder("/usr/lib/rdx512", environment), user);
    EXPECT_EQ(rdxfiles::filesFolder(dir.filePath("gone").toStdString(), environment), user);

    // Made on the first start, for the user alone.
    const FilesFolderChoice made = chooseFilesFolder({}, QStringLiteral("/usr/lib/rdx512"), environment);
    EXPECT_TRUE(made.problem.isEmpty()) << made.problem.toStdString();
    EXPECT_EQ(made.path, QString::fromStdString(user));
    struct stat st {};
    ASSERT_EQ(::stat(user.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);

    // --folder: an existing folder, or a message naming it.
    EXPECT_EQ(chooseFilesFolder(dir.path(), QStringLiteral("/usr/lib/rdx512"), environment).path, dir.path());
    const FilesFolderChoice missing = chooseFilesFolder(dir.filePath("none"), {}, environment);
    EXPECT_EQ(missing.problem, "The folder " + dir.filePath("none") + " does not exist.");
    ASSERT_TRUE(writeText(dir.filePath("file"), "x"));
    const FilesFolderChoice blocked
        = chooseFilesFolder({}, "/usr/lib/rdx512", {dir.filePath("file").toStdString(), ""});
    EXPECT_TRUE(
        blocked.problem.startsWith("The folder " + dir.filePath("file/.local/share/rdx512") + " for the settings"))
        << blocked.problem.toStdString();
}

TEST(CommandLine, FolderHelpVersionAndWhatIsRefused)
{
    struct Case {
        QStringList arguments;
        bool help, version;
        const char* folder;
        const char* error;
    };
    for (const Case& c : std::vector<Case>{{{}, false, false, "", ""},
                                           {{"--folder", "/srv/line2"}, false, false, "/srv/line2", ""},
                                           {{"--folder=/srv/line2"}, false, false, "/srv/line2", ""},
                                           {{"--help"}, true, false, "", ""},
                                           {{"-v"}, false, true, "", ""},
                                           {{"--folder"}, false, false, "", "--folder needs a folder (see --help)"},
                                           {{"-x", "--help"}, true, false, "", "unknown option -x (see --help)"},
                                           {{"COM1"}, false, false, "", "unexpected argument COM1 (see --help)"}}) {
        SCOPED_TRACE(c.arguments.join(' ').toStdString());
        const MonitorCommandLine line = parseMonitorCommandLine(QStringList{"RDXMON-1_V104"} + c.arguments);
        EXPECT_EQ(line.help, c.help);
        EXPECT_EQ(line.version, c.version);
        EXPECT_EQ(line.folder, c.folder);
        EXPECT_EQ(line.error, c.error);
    }
}

TEST(PortChoice, KeptPerPortAndLookedUpBeforeTheLinkRule)
{
    QTemporaryDir dir;
    const QString folder = dir.path();
    // No choice, no link: the fixed device; a link COMn in the folder wins.
    EXPECT_EQ(portPath(folder, 2), "/dev/ttyS1");
    ASSERT_TRUE(QFile::link("/dev/null", dir.filePath("COM2")));
    EXPECT_EQ(portPath(folder, 2), dir.filePath("COM2"));

    // Nothing to keep writes no file.
    QString error;
    ASSERT_TRUE(storePortChoice(folder, 1, {}, &error));
    EXPECT_FALSE(QFileInfo::exists(dir.filePath(kPortChoiceFileName)));
    ASSERT_TRUE(storePortChoice(folder, 1, "/dev/serial/by-id/usb-FTDI_A5-if00-port0", &error));
    ASSERT_TRUE(storePortChoice(folder, 3, kSimulatedChoice, &error));
    ASSERT_TRUE(storePortChoice(folder, 2, "/dev/ttyACM0", &error));
    ASSERT_TRUE(storePortChoice(folder, 2, {}, &error));  // back to the link rule
    EXPECT_EQ(readPortChoices(folder),
              (std::map<int, QString>{{1, "/dev/serial/by-id/usb-FTDI_A5-if00-port0"}, {3, kSimulatedChoice}}));
    EXPECT_EQ(portPath(folder, 1), "/dev/serial/by-id/usb-FTDI_A5-if00-port0");
    EXPECT_EQ(portPath(folder, 2), dir.filePath("COM2"));
    EXPECT_EQ(portPath(folder, 3), dir.filePath("COM3"));  // where the simulator puts its link

    // Lines of another kind are passed over; a file that cannot be written
    // is named.
    ASSERT_TRUE(writeText(dir.filePath(kPortChoiceFileName), "# note\nCOM4 = /dev/ttyUSB3\nrubbish\nCOMX=/dev/x\n"));
    EXPECT_EQ(readPortChoices(folder), (std::map<int, QString>{{4, "/dev/ttyUSB3"}}));
    EXPECT_FALSE(storePortChoice(dir.filePath("missing"), 1, "/dev/ttyUSB0", &error));
    EXPECT_TRUE(error.startsWith("The port choice file " + dir.filePath("missing/RDX512PORT.INI")))
        << error.toStdString();
}

TEST(PortChoice, DevicesPresentByTheirStableNamesFirst)
{
    // A /dev and /sys as the kernel lays them out: two USB adapters (one
    // with a by-id name), a modem device, one real UART and one ttyS the
    // kernel keeps without hardware, and a ttyUSB without a device node.
    QTemporaryDir root;
    const QString sys = root.filePath("sys/class/tty/"), dev = root.filePath("dev/");
    const auto tty = [&](const QString& name, const QString& driver, const QByteArray& type = {}) {
        ASSERT_TRUE(QDir().mkpath(sys + name + "/device") && QDir().mkpath(root.filePath("drivers/" + driver)));
        ASSERT_TRUE(QFile::link(root.filePath("drivers/" + driver), sys + name + "/device/driver"));
        if (!type.isEmpty()) {
            ASSERT_TRUE(writeText(sys + name + "/type", type));
        }
        if (name != "ttyUSB7") {
            ASSERT_TRUE(writeText(dev + name, {}));
        }
    };
    tty("ttyUSB10", "ftdi_sio");
    tty("ttyUSB2", "pl2303");
    tty("ttyUSB7", "ch341");
    tty("ttyACM0", "cdc_acm");
    tty("ttyS0", "bus/serial-base/drivers/port", "4\n");  // Linux 6.5 on: the hardware's driver above
    ASSERT_TRUE(QDir().mkpath(root.filePath("drivers/serial8250"))
                && QFile::link(root.filePath("drivers/serial8250"), sys + "ttyS0/driver"));
    tty("ttyS1", "serial8250", "0\n");
    ASSERT_TRUE(QDir().mkpath(dev + "serial/by-id"));
    ASSERT_TRUE(QFile::link("../../ttyUSB10", dev + "serial/by-id/usb-FTDI_FT232R_A50285BI-if00-port0"));

    QStringList captions;
    for (const SerialDevice& device : serialDevices(root.path()))
        captions << deviceCaption(device).remove(root.path());
    EXPECT_EQ(captions,
              (QStringList{"/dev/serial/by-id/usb-FTDI_FT232R_A50285BI-if00-port0 (ttyUSB10, ftdi_sio)",
                           "/dev/ttyUSB2 (pl2303)", "/dev/ttyACM0 (cdc_acm)", "/dev/ttyS0 (serial8250)"}));
}

}  // namespace
}  // namespace rdxmon
