#include "LogDaemon.h"

#include <QCoreApplication>
#include <QDir>

#include "logging/LogSchedule.h"
#include "names/ChannelNames.h"
#include "rdx5Comm3.h"
#include "startup/Lenient.h"
#include "startup/Startup.h"

namespace rdxlogd {

using namespace rdxmon;

namespace {

// The window program's sampling timer.
constexpr int kLogTickMs = 200;

}  // namespace

LogDaemon::LogDaemon(const QString& programFolder, const QString& dataFolder)
    : programFolder_(programFolder)
{
    state_.programFolder = dataFolder;
    poll_ = std::make_unique<PollCycle>(state_, static_cast<PvView&>(*this), &clock_);
    poll_->addListener(&watchdog_);
    alarms_ = std::make_unique<rdxalarm::AlarmEngine>(state_, clock_);
    alarms_->acknowledgeOnReturn(QStringLiteral("rdx512-logd"));
    poll_->addListener(alarms_.get());
    polling_ = std::make_unique<PollingThread>(state_, *poll_);
    polling_->afterTake = [this] { afterTake(); };
    logTimer_.setInterval(kLogTickMs);
    connect(&logTimer_, &QTimer::timeout, this, [this] {
        log_->tick();
        // Alarm lines that could not be written are tried again.
        if (alarmJournal_ && alarmJournal_->waiting() > 0)
            alarmJournal_->flush();
    });
}

LogDaemon::~LogDaemon()
{
    stop();
}

bool LogDaemon::start()
{
    linkMessages_ = std::make_unique<LinkMessageGate>(
        recovering_, [this](const QString& text, const QString&) { tell(text); });
    state_.gLink = loadLinkLibrary(loader_, programFolder_, state_.programFolder, *linkMessages_, messages_);
    if (!state_.gLink)
        return false;
    const StartupFiles files = loadStartupFiles(state_.programFolder, messages_);
    takeStartupFiles(state_, files);
    alarms_->setSettings(files.alarms.settings);
    alarmJournal_ = std::make_unique<rdxalarm::AlarmJournal>(state_.programFolder);
    alarmJournal_->problemChanged = [this](const QString& problem) {
        tell(problem.isEmpty() ? QStringLiteral("The alarm journal %1 is written again.")
                                     .arg(QDir::toNativeSeparators(alarmJournal_->path()))
                               : problem);
    };
    alarms_->addSink(alarmJournal_.get());
    alarms_->addSink(this);
    startPublishing(files.broker);
    alarms_->start();
    startGateway(files.gateway);

    watchdog_.status(QStringLiteral("Opening the serial port"));
    polling_->start([this](const ConnectResult& result) { connected(result); }, &recovering_);
    return true;
}

void LogDaemon::connected(const ConnectResult& result)
{
    state_.gPortOpened = result.opened ? QStringLiteral("True") : QStringLiteral("False");
    if (!result.opened) {
        if (!result.failure.isEmpty())
            tell(QStringLiteral("The serial port could not be prepared: %1").arg(result.failure));
        else if (!result.problem.isEmpty())
            tell(result.problem);
        else
            tell(QStringLiteral("The serial port %1 could not be opened.").arg(state_.gInit.Port.trimmed()));
        QCoreApplication::exit(1);
        return;
    }

    // A logging service logs: to a default-named file at the stored cycle,
    // whatever file mode and logging state the window program left behind.
    if (state_.gInit.LogActive != 1 || state_.gInit.LogNameMode == 0)
        tell(QStringLiteral("The stored settings have logging off or a file chosen by hand; "
                            "the service logs to default-named files all the same."));
    state_.gInit.LogActive = 1;
    state_.gInit.LogNameMode = 1;
    log_ = std::make_unique<LogController>(state_, services_, static_cast<LoggingView&>(*this),
                                           static_cast<NamesHost&>(*this), [this] {
        return saveChannelNames(state_.programFolder, state_.gChannel, nullptr);
    });
    log_->resumeAtStartup();
    if (!log_->running()) {
        QCoreApplication::exit(1);
        return;
    }
    tell(runStatus());
    watchdog_.status(QStringLiteral("Start-up pass over the recorders"));
}

void LogDaemon::startPublishing(const rdxpub::BrokerConfigResult& broker)
{
    publisher_ = makePublisher(state_, *poll_, broker);
    if (!publisher_)
        return;
    const QString uri = broker.config->serverUri();
    connect(publisher_.get(), &rdxpub::Publisher::stateChanged, this, [this, uri](rdxpub::Publisher::State state) {
        tell(QStringLiteral("Broker %1: %2").arg(uri, rdxpub::Publisher::stateText(state)));
    });
    publisher_->setAlarmStates(alarms_.get());
    alarms_->addSink(publisher_.get());
    publisher_->start();
    alarms_->announce(*publisher_);
}

void LogDaemon::startGateway(const rdxgw::GatewayConfigResult& settings)
{
    // It serves the alarms' states, and an alarm's change at once.
    gateway_ = rdxmon::startGateway(state_, *poll_, settings, alarms_.get(), &clock_, messages_);
    if (gateway_)
        alarms_->addSink(gateway_.get());
    if (gateway_)
        tell(QStringLiteral("Modbus gateway on %1").arg(gateway_->server().config().endpoint(gateway_->server().port())));
}

void LogDaemon::afterTake()
{
    if (!ready_ && state_.gStartDone != 0) {
        ready_ = true;
        watchdog_.ready(runStatus());
    }
}

QString LogDaemon::runStatus() const
{
    return QStringLiteral("Polling %1 recorders on %2 at %3 bit/s, logging every %4 s to %5")
        .arg(state_.gRecTotal)
        .arg(state_.gInit.Port.trimmed(), state_.gInit.Speed.trimmed())
        .arg(cycleSeconds(cycleCaption(), minutesSelected()))
        .arg(log_ ? QDir::toNativeSeparators(log_->heldName()) : QString());
}

void LogDaemon::stop()
{
    if (!state_.gLink)
        return;
    watchdog_.stopping();
    // The link is released on the polling thread, after its last step.
    polling_->stop([this] { loader_.release(); });
    state_.gLink = nullptr;
    poll_->removeListener(alarms_.get());
    if (publisher_) {
        alarms_->removeSink(publisher_.get());
        poll_->removeListener(publisher_.get());
        publisher_->stop();
    }
    gateway_.reset();
    if (log_)
        log_->stopLogging();
}

void LogDaemon::alarmChanged(const rdxalarm::AlarmEvent& event)
{
    // Meant for the journal at warning priority; the message lines have no
    // priorities yet, so it goes as the others do.
    tell(rdxalarm::describe(event));
}

void LogDaemon::setSlotStale(int slot, bool stale, const QDateTime&)
{
    const QString address = format00(state_.gDevAddr[slot]);
    tell(stale ? QStringLiteral("Recorder %1 does not answer.").arg(address)
               : QStringLiteral("Recorder %1 answers again.").arg(address));
}

void LogDaemon::setLineLost(bool lost)
{
    const QString text = lost ? kLineLostMessage : QStringLiteral("Communication line back");
    tell(text);
    watchdog_.status(lost ? text : runStatus());
}

void LogDaemon::setNoAnswer(bool none)
{
    const QString text = none ? QStringLiteral("No recorder answers on %1").arg(state_.gInit.Port.trimmed())
                              : QStringLiteral("A recorder answers again");
    tell(text);
    watchdog_.status(none ? text : runStatus());
}

void LogDaemon::setRunning(bool running)
{
    if (running)
        logTimer_.start();
    else
        logTimer_.stop();
}

void LogDaemon::showWriteState(const LogWriteState& state)
{
    if (state.note == writeNote_)
        return;
    writeNote_ = state.note;
    if (!writeNote_.isEmpty())
        tell(writeNote_);
}

QString LogDaemon::cycleCaption() const
{
    return QString::number(cycleNumber(QString::number(state_.gInit.LogInterval)));
}

}  // namespace rdxlogd
