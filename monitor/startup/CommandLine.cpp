#include "startup/CommandLine.h"

#include "startup/FilesFolder.h"

namespace rdxmon {

MonitorCommandLine parseMonitorCommandLine(const QStringList& arguments)
{
    MonitorCommandLine line;
    const auto fail = [&line](const QString& text) {
        if (line.error.isEmpty())
            line.error = text + QStringLiteral(" (see --help)");
    };
    for (qsizetype i = 1; i < arguments.size(); ++i) {
        const QString& argument = arguments[i];
        if (argument == QLatin1String("--help") || argument == QLatin1String("-h")) {
            line.help = true;
        } else if (argument == QLatin1String("--version") || argument == QLatin1String("-v")) {
            line.version = true;
        } else if (argument == QLatin1String("--folder")) {
            if (i + 1 < arguments.size() && !arguments[i + 1].isEmpty())
                line.folder = arguments[++i];
            else
                fail(QStringLiteral("--folder needs a folder"));
        } else if (argument.startsWith(QLatin1String("--folder="))) {
            line.folder = argument.mid(9);
            if (line.folder.isEmpty())
                fail(QStringLiteral("--folder needs a folder"));
        } else if (argument.startsWith(QLatin1Char('-'))) {
            fail(QStringLiteral("unknown option %1").arg(argument));
        } else {
            fail(QStringLiteral("unexpected argument %1").arg(argument));
        }
    }
    return line;
}

QString monitorUsage()
{
    return QStringLiteral("Usage: RDXMON-1_V104 [--folder DIR]\n"
                          "The RDX-512 monitor: polls the RDX-512 process recorders on one serial line, shows their\n"
                          "values, logs them to CSV files and prints the window.\n"
                          "\n"
                          "Options:\n"
                          "  --folder DIR   folder of the settings files (RDX512INIT.SET, RDX512NAME.SET,\n"
                          "                 RDX512DVN.SET), the port choices (RDX512PORT.INI), the trend's view and\n"
                          "                 the default-named logs; it must exist. Default: the program's folder\n"
                          "                 when it can be written, else $XDG_DATA_HOME/%1 (~/.local/share/%1),\n"
                          "                 made on the first start.\n"
                          "  -h, --help     show this text\n"
                          "  -v, --version  show the version\n")
        .arg(QLatin1String(rdxfiles::kUserFolderName));
}

QString monitorVersion()
{
    return QStringLiteral("RDXMON-1_V104 " RDX_VERSION "\n");
}

}  // namespace rdxmon
