// rdx512-logd: the RDX-512 logging service. Polls the recorders and logs
// their values as the window program does, without a display; meant to run
// under systemd (see rdx512-logd.service), but runs as well from a shell.

#include <csignal>

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

#include "LogDaemon.h"
#include "startup/ProgramFolder.h"
#include "startup/TerminationSignals.h"

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("rdx512-logd"));
    QCoreApplication::setApplicationVersion(QStringLiteral(RDX_VERSION));

    QCommandLineParser options;
    options.setApplicationDescription(
        QStringLiteral("Polls the RDX-512 recorders on one serial line and logs their values to CSV files, "
                       "as the monitor program does, without a display. Ends cleanly on SIGTERM or SIGINT."));
    options.addHelpOption();
    options.addVersionOption();
    const QCommandLineOption folderOption(
        QStringLiteral("folder"),
        QStringLiteral("Folder of the settings files (RDX512INIT.SET, RDX512DVN.SET, RDX512NAME.SET) "
                       "and of the CSV files (default: the program's folder when it can be written, else "
                       "$XDG_DATA_HOME/rdx512, ~/.local/share/rdx512)."),
        QStringLiteral("DIR"));
    options.addOption(folderOption);
    options.process(app);  // --help, --version and bad options end here
    if (!options.positionalArguments().isEmpty()) {
        std::fprintf(stderr, "rdx512-logd: unexpected argument %s (see --help)\n",
                     qPrintable(options.positionalArguments().first()));
        return 2;
    }

    // The files as the window program keeps them: beside the program when
    // its folder can be written, else in the user's folder.
    const QString programFolder = rdxmon::programFolder();
    const rdxmon::FilesFolderChoice data
        = rdxmon::chooseFilesFolder(options.isSet(folderOption) ? options.value(folderOption) : QString(),
                                    programFolder, rdxfiles::Environment::current());
    if (!data.problem.isEmpty()) {
        std::fprintf(stderr, "rdx512-logd: %s\n", qPrintable(data.problem));
        return 2;
    }
    const QString& dataFolder = data.path;
    QDir::setCurrent(dataFolder);

    rdxlogd::LogDaemon daemon(programFolder, dataFolder);
    rdxmon::TerminationSignals termination;
    termination.install([&] {
        const int signal = termination.lastSignal();
        daemon.stop(QStringLiteral("on %1").arg(signal == SIGTERM      ? QStringLiteral("SIGTERM")
                                                    : signal == SIGINT ? QStringLiteral("SIGINT (Ctrl-C)")
                                                    : signal == SIGHUP ? QStringLiteral("SIGHUP")
                                                                       : QStringLiteral("signal %1").arg(signal)));
        QCoreApplication::exit(0);
    });
    if (!daemon.start())
        return 1;
    return app.exec();
}
