// The window program's command line: --folder DIR, --help, --version.
// (The window system's own options, such as -platform, are taken by the
// application object before these are read.)
#ifndef RDXMON_STARTUP_COMMANDLINE_H
#define RDXMON_STARTUP_COMMANDLINE_H

#include <QString>
#include <QStringList>

namespace rdxmon {

struct MonitorCommandLine {
    bool help = false;
    bool version = false;
    QString folder;  // --folder DIR; empty when not given
    QString error;  // the first bad argument, for standard error; empty when none
};

// arguments: the program first, as QCoreApplication::arguments() gives
// them. --help and --version are found wherever they stand, also after a
// bad argument.
MonitorCommandLine parseMonitorCommandLine(const QStringList& arguments);

// What --help and --version print (on standard output).
QString monitorUsage();
QString monitorVersion();

}  // namespace rdxmon

#endif
