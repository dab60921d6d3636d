// RDXMON-1_V104: the RDX-512 monitor program, and the place where its parts
// are put together (the settings and the loader, the windows, polling).
//
// Start-up: the program's folder becomes the working folder, the link
// library is loaded from it, the settings are read (or the defaults written
// and announced), the splash window shows them, the windows are created and
// the main window connects to the recorders. The program reads no command
// line and no environment.

#include <QApplication>
#include <QDir>
#include <QMessageBox>
#include <QProgressBar>

#include "Publisher.h"
#include "names/ChannelNames.h"
#include "names/SubDisp_Name.h"
#include "names/frmDVN.h"
#include "polling/LineWatch.h"
#include "polling/PollCycle.h"
#include "startup/Lenient.h"
#include "startup/LinkLoader.h"
#include "startup/ProgramFolder.h"
#include "startup/SettingsFile.h"
#include "startup/SharedState.h"
#include "startup/SystemServices.h"
#include "startup/TerminationSignals.h"
#include "status/OperatorView.h"
#include "windows/MainDisp.h"
#include "windows/Opuning.h"
#include "windows/QtServices.h"

#ifdef RDXMON_LATENCY_PROBE
#include "LatencyProbe.h"  // the benchmark build only
#endif

namespace {

// The link library's PortOpen message, as a message box (on the window
// thread).
void showLinkMessage(const QString& text, const QString& title) {
    const QString caption = title.isEmpty() ? rdxmon::kProgramTitle : title;
    QMessageBox box(QMessageBox::Information, caption, text, QMessageBox::Ok, QApplication::activeWindow());
    box.exec();
}

// Set once the main window is there: the link library speaks from the
// polling thread, and its box is shown on the window thread while the
// polling thread waits for it.
rdxmon::MainDisp* gBoxHost = nullptr;

}  // namespace

int main(int argc, char* argv[]) {
    using namespace rdxmon;

    QApplication app(argc, argv);
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

    const QString folder = programFolder();
    QDir::setCurrent(folder);
#ifdef RDXMON_LATENCY_PROBE
    rdxbench::LatencyProbe latencyProbe(folder);
#endif

    // The link library's messages stay away while a lost line is reopened.
    RecoveringFlag recovering;
    LinkMessageGate linkMessages(recovering, [](const QString& text, const QString& title) {
        if (gBoxHost)
            gBoxHost->callOnWindowThread([text, title] { showLinkMessage(text, title); });
        else
            showLinkMessage(text, title);
    });

    // The link library first: without it the program cannot work, and no
    // settings file is touched.
    LinkLoader loader;
    QString error;
    if (!loader.load(folder, &error)) {
        messages.information(error);
        return 2;
    }
    loader.setNotifier(&LinkMessageGate::notify, &linkMessages);

    SharedState state;
    state.programFolder = folder;
    state.gLink = loader.object();

    Opuning splash;
    splash.prgWait->setValue(0);
    splash.prgWait->setMinimum(0);

    // A missing or damaged file: the defaults are written, then told.
    state.gInit = startupSettings(folder, messages, [&](const InitRecord& record) {
        splash.showSettings(record);
        splash.show();
    });
    if (terminated) return 0;
    state.gChTotal = channelTotal(state.gInit);
    state.gRecTotal = recorderCount(state.gInit);
    state.gStartDone = 0;
    // The channel table before the main window: a logging run resumed while
    // the window loads writes the names into the new file's header. (The
    // name window loads them again, and reports a damaged file, after the
    // start-up pass.)
    state.gChannel = loadChannelNames(folder).table;

    MainDisp mainDisp(state, services);
    mainDisp.setRecoveringFlag(&recovering);
    mainDisp.setSplash(&splash);
    // On the polling thread, the one that used the link.
    mainDisp.onReleaseLink = [&] { loader.release(); };
    SubDisp_Name nameWindow(state, messages, mainDisp, &mainDisp);
    mainDisp.onNameLoad = [&] { nameWindow.NameLoad(); };
    mainDisp.onChannelNames = [&] { nameWindow.showModally(); };
    mainDisp.onSaveNames = [&] { return nameWindow.SaveNames(); };
    frmDVN addressWindow(state, messages, &mainDisp);
    mainDisp.setAddressWindow(&addressWindow);
    // The trend, the status line and the shortcuts beside the layout.
    OperatorView operatorView(mainDisp, state, services);
    // The values to an MQTT broker when rdx512.conf is in the program's
    // folder; its state in the status line.
    const rdxpub::BrokerConfigResult brokerConfig = rdxpub::loadBrokerConfig(folder);
    // Ignored keys and a password at risk: told once, publishing goes on.
    if (!brokerConfig.warnings.isEmpty()) messages.information(brokerConfig.warnings.join(u'\n'));
    std::unique_ptr<rdxpub::Publisher> publisher;
    if (brokerConfig.config) {
        publisher = std::make_unique<rdxpub::Publisher>(state, *brokerConfig.config);
        // The state, why the broker cannot be reached and what the offline
        // buffer could not keep.
        const auto showBroker = [&] {
            const rdxpub::Publisher& p = *publisher;
            const QString fault = p.state() == rdxpub::Publisher::State::Connected ? QString() : p.fault().message;
            const QString buffer = QStringLiteral("While the broker is away up to %1 messages (about %2 min of "
                                                  "values) are kept for it.").arg(p.bufferCapacity()).arg(p.bufferSeconds() / 60);
            operatorView.setBrokerState(p.statusText(), (fault.isEmpty() ? p.config().serverUri() : fault) +
                                                            QLatin1Char('\n') + buffer);
        };
        QObject::connect(publisher.get(), &rdxpub::Publisher::stateChanged, &operatorView, showBroker);
        QObject::connect(publisher.get(), &rdxpub::Publisher::bufferFull, &operatorView, showBroker);
        mainDisp.pollCycle().addListener(publisher.get());
        publisher->start();
    } else if (!brokerConfig.problem.isEmpty()) {
        operatorView.setBrokerState(rdxpub::Publisher::stateText(rdxpub::Publisher::State::Off));
        messages.information(brokerConfig.problem);
    }

    if (terminated) return 0;
    mainWindow = &mainDisp;
    gBoxHost = &mainDisp;

    // The connecting step sets the reply time-out for the line speed (1000 ms
    // at 4800 bit/s and above) with the port settings, on the polling thread.
    mainDisp.Communicate();
    if (mainDisp.exiting()) return 0;
    mainDisp.DVsele1_Click();
    return app.exec();
}
