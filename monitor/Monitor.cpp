#include "Monitor.h"

#include <cstdio>

#include <QApplication>
#include <QDir>
#include <QMessageBox>
#include <QProgressBar>

#include "AlarmEngine.h"
#include "AlarmJournal.h"
#include "AlarmView.h"
#include "Gateway.h"
#include "Publisher.h"
#include "names/SubDisp_Name.h"
#include "names/frmDVN.h"
#include "polling/LineWatch.h"
#include "startup/CommandLine.h"
#include "startup/LinkLoader.h"
#include "startup/ProgramFolder.h"
#include "startup/SharedState.h"
#include "startup/SimulatedLine.h"
#include "startup/Startup.h"
#include "startup/SystemServices.h"
#include "startup/TerminationSignals.h"
#include "status/OperatorView.h"
#include "windows/MainDisp.h"
#include "windows/Opuning.h"
#include "windows/QtServices.h"

namespace rdxmon {

namespace {

// The link library's PortOpen message, as a message box (on the window
// thread).
void showLinkMessage(const QString& text, const QString& title)
{
    const QString caption = title.isEmpty() ? kProgramTitle : title;
    QMessageBox box(QMessageBox::Information, caption, text, QMessageBox::Ok, QApplication::activeWindow());
    box.exec();
}

}  // namespace

int runMonitor(int argc, char* argv[], const RunExtra& extra)
{
    // --help and --version need no display: answered before the window
    // system is asked for one.
    {
        QStringList arguments;
        for (int i = 0; i < argc; ++i)
            arguments << QString::fromLocal8Bit(argv[i]);
        const MonitorCommandLine line = parseMonitorCommandLine(arguments);
        if (line.help || line.version) {
            std::fputs(qPrintable(line.help ? monitorUsage() : monitorVersion()), stdout);
            return 0;
        }
    }

    QApplication app(argc, argv);
    const MonitorCommandLine commandLine = parseMonitorCommandLine(QCoreApplication::arguments());
    if (!commandLine.error.isEmpty()) {
        std::fprintf(stderr, "RDXMON-1_V104: %s\n", qPrintable(commandLine.error));
        return 2;
    }
    SystemClock clock;
    QtMessageBoxes messages;
    QtFileDialogs dialogs;
    Services services{clock, messages, dialogs};

    // Logout, shutdown or kill, from the first message box on: once the main
    // window is there it stores the settings and ends without a question;
    // before that nothing is held, and every event loop (a message box's
    // too) is left at once.
    MainDisp* mainWindow = nullptr;
    bool terminated = false;
    TerminationSignals termination;
    termination.install([&] {
        if (mainWindow) {
            mainWindow->storeAndQuit();
        } else {
            terminated = true;
            QCoreApplication::exit(0);
        }
    });

    // The files' folder: the program's when it can be written, else the
    // user's own, or the one named with --folder (startup/FilesFolder.h).
    const QString programDir = programFolder();
    const FilesFolderChoice filesFolder
        = chooseFilesFolder(commandLine.folder, programDir, rdxfiles::Environment::current());
    if (!filesFolder.problem.isEmpty()) {
        messages.information(filesFolder.problem);
        return 2;
    }
    const QString& folder = filesFolder.path;
    QDir::setCurrent(folder);
    const std::shared_ptr<void> kept = extra ? extra(folder) : nullptr;

    // The link library speaks from the polling thread; once the main window
    // is there its box is shown on the window thread while the polling
    // thread waits. Its messages stay away while a lost line is reopened.
    RecoveringFlag recovering;
    LinkMessageGate linkMessages(recovering, [&mainWindow](const QString& text, const QString& title) {
        if (mainWindow)
            mainWindow->callOnWindowThread([text, title] { showLinkMessage(text, title); });
        else
            showLinkMessage(text, title);
    });
    LinkLoader loader;
    SharedState state;
    state.programFolder = folder;
    // The device of the port: the operator's choice kept in the files'
    // folder, else the link rule.
    state.gLink = loadLinkLibrary(loader, programDir, folder, linkMessages, messages);
    if (!state.gLink)
        return 2;

    Opuning splash;
    splash.prgWait->setValue(0);
    splash.prgWait->setMinimum(0);
    // The files; a damaged settings file gets the defaults, shown on the
    // splash before the operator is told. The channel table is there before
    // the main window: a logging run resumed while the window loads writes
    // the names into the new file's header.
    const StartupFiles files = loadStartupFiles(folder, messages, [&](const InitRecord& record) {
        splash.showSettings(record);
        splash.show();
    });
    if (terminated)
        return 0;
    takeStartupFiles(state, files);

    MainDisp mainDisp(state, services);
    SubDisp_Name nameWindow(state, messages, mainDisp, &mainDisp);
    // Told at start-up already: the name window's loads say it no more.
    if (!files.names.problem.isEmpty())
        nameWindow.loadProblemTold();
    frmDVN addressWindow(state, messages, files.addresses, &mainDisp);
    mainDisp.setParts({
        .splash = &splash,
        .addressWindow = &addressWindow,
        .recovering = &recovering,
        .nameLoad = [&] { nameWindow.NameLoad(); },
        .channelNames = [&] { nameWindow.showModally(); },
        .saveNames = [&] { return nameWindow.SaveNames(); },
        .releaseLink = [&] { loader.release(); },  // on the polling thread, the one that used the link
    });
    // The trend, the status line and the shortcuts beside the layout.
    OperatorView operatorView(mainDisp, state, services);
    // The alarms follow the values: their journal beside the logs, the
    // list, the limits window and the marks on the main window.
    rdxalarm::AlarmEngine alarms(state, clock);
    alarms.setSettings(files.alarms.settings);
    rdxalarm::AlarmJournal alarmJournal(folder);
    alarms.addSink(&alarmJournal);
    rdxalarm::AlarmView alarmView(mainDisp, operatorView.mnuView, state, alarms, alarmJournal, messages,
                                  !files.alarms.problem.isEmpty());
    mainDisp.pollCycle().addListener(&alarms);
    // The values to an MQTT broker when rdx512.conf is in the files'
    // folder; its state in the status line.
    const std::unique_ptr<rdxpub::Publisher> publisher = makePublisher(state, mainDisp.pollCycle(), files.broker);
    if (publisher) {
        QObject::connect(
            publisher.get(), &rdxpub::Publisher::stateChanged, &operatorView,
            [&](rdxpub::Publisher::State s) { operatorView.setBrokerState(rdxpub::Publisher::stateText(s)); });
        publisher->setAlarmStates(&alarms);
        alarms.addSink(publisher.get());
        publisher->start();
        alarms.announce(*publisher);
    } else if (!files.broker.problem.isEmpty()) {
        operatorView.setBrokerState(rdxpub::Publisher::stateText(rdxpub::Publisher::State::Off));
    }

    // "Simulated recorders" chosen for the port: the simulator answers there.
    SimulatedLine simulated;
    simulated.startIfChosen(state, programDir, messages);
    // The Modbus TCP gateway when rdx512.conf turns it on: it serves the
    // values after every finished poll, and an alarm's change (an
    // acknowledgement too) at once.
    const std::unique_ptr<rdxgw::Gateway> gateway
        = startGateway(state, mainDisp.pollCycle(), files.gateway, &alarms, &clock, messages);
    if (gateway)
        alarms.addSink(gateway.get());

    if (terminated)
        return 0;
    mainWindow = &mainDisp;

    // The connecting step sets the reply time-out for the line speed (1000 ms
    // at 4800 bit/s and above) with the port settings, on the polling thread.
    mainDisp.Communicate();
    alarms.start();
    const int status = mainDisp.exiting() ? 0 : (mainDisp.DVsele1_Click(), app.exec());
    mainWindow = nullptr;
    mainDisp.pollCycle().removeListener(&alarms);
    if (publisher)
        alarms.removeSink(publisher.get());
    return status;
}

}  // namespace rdxmon
