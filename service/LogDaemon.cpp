#include "LogDaemon.h"

#include <algorithm>
#include <utility>

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

LogDaemon::LogDaemon(const QString& programFolder, const QString& dataFolder) : programFolder_(programFolder)
{
    state_.programFolder = dataFolder;
    state_.wording = Wording::Service;
    poll_ = std::make_unique<PollCycle>(state_, static_cast<PvView&>(*this), &clock_);
    poll_->addListener(&watchdog_);
    poll_->addListener(static_cast<PollListener*>(this));
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
        recovering_, [this](const QString& text, const QString&) { tell(Priority::Warning, text); });
    state_.gLink = loadLinkLibrary(loader_, programFolder_, state_.programFolder, *linkMessages_, messages_);
    if (!state_.gLink) {
        tell(Priority::Error, QStringLiteral("Stopping: the link library could not be loaded (exit status 1)."));
        return false;
    }
    const StartupFiles files = loadStartupFiles(state_.programFolder, messages_, {}, Wording::Service);
    takeStartupFiles(state_, files);
    alarms_->setSettings(files.alarms.settings);
    alarmJournal_ = std::make_unique<rdxalarm::AlarmJournal>(state_.programFolder);
    alarmJournal_->problemChanged = [this](const QString& problem) {
        tell(Priority::Warning,
             problem.isEmpty() ? QStringLiteral("The alarm journal %1 is written again.")
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
        const QString port = state_.gInit.Port.trimmed();
        if (!result.failure.isEmpty())
            tell(Priority::Error, QStringLiteral("The serial port could not be prepared: %1").arg(result.failure));
        else if (!result.problem.isEmpty())
            tell(Priority::Error, result.problem);
        else
            tell(Priority::Error, QStringLiteral("The serial port %1 could not be opened.").arg(port));
        stopWith(1, QStringLiteral("the serial port %1 could not be opened").arg(port));
        return;
    }

    // A logging service logs: to a default-named file at the stored cycle,
    // whatever file mode and logging state the window program left behind.
    if (state_.gInit.LogActive != 1 || state_.gInit.LogNameMode == 0)
        tell(Priority::Notice,
             QStringLiteral("The stored settings have logging off or a file chosen by hand; "
                            "the service logs to default-named files all the same."));
    state_.gInit.LogActive = 1;
    state_.gInit.LogNameMode = 1;
    log_ = std::make_unique<LogController>(
        state_, services_, static_cast<LoggingView&>(*this), static_cast<NamesHost&>(*this),
        [this] { return saveChannelNames(state_.programFolder, state_.gChannel, nullptr); });
    log_->resumeAtStartup();
    if (!log_->running()) {
        stopWith(1, QStringLiteral("logging could not be started"));
        return;
    }
    tell(Priority::Notice, runStatus());
    watchdog_.status(QStringLiteral("Start-up pass over the recorders"));
}

void LogDaemon::startPublishing(const rdxpub::BrokerConfigResult& broker)
{
    publisher_ = makePublisher(state_, *poll_, broker);
    if (!publisher_)
        return;
    connect(publisher_.get(), &rdxpub::Publisher::stateChanged, this, &LogDaemon::brokerState);
    connect(publisher_.get(), &rdxpub::Publisher::bufferFull, this, [this](bool full) {
        const rdxpub::Publisher& p = *publisher_;
        const QString uri = p.config().serverUri();
        if (full)
            tell(Priority::Warning,
                 QStringLiteral("Broker %1: the offline buffer is full (%2 messages, about %3 min "
                                "of values); newer values are dropped until the broker is back.")
                     .arg(uri)
                     .arg(p.bufferCapacity())
                     .arg(p.bufferSeconds() / 60));
        else
            tell(Priority::Warning,
                 QStringLiteral("Broker %1: back after %2 values were dropped in all; the latest "
                                "value of each channel went out again.")
                     .arg(uri)
                     .arg(p.droppedValues()));
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
    if (!gateway_)
        return;
    alarms_->addSink(gateway_.get());
    tell(Priority::Notice,
         QStringLiteral("Modbus gateway on %1").arg(gateway_->server().config().endpoint(gateway_->server().port())));
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

void LogDaemon::stopWith(int status, const QString& why)
{
    tell(Priority::Error, QStringLiteral("Stopping: %1 (exit status %2).").arg(why).arg(status));
    watchdog_.status(QStringLiteral("Stopping: ") + why);
    QCoreApplication::exit(status);
}

void LogDaemon::brokerState(rdxpub::Publisher::State state)
{
    const rdxpub::Publisher& p = *publisher_;
    const QString uri = p.config().serverUri();
    using State = rdxpub::Publisher::State;
    // Told as it is when the news arrives here: two changes in quick
    // succession may find the same state, told once.
    const bool fault = state == State::Retrying || (state == State::Off && !p.fault().message.isEmpty());
    const QString text = QStringLiteral("Broker %1: %2").arg(uri, rdxpub::Publisher::stateText(state))
        + (fault ? QStringLiteral(" - ") + p.fault().message : QString());
    if (std::exchange(brokerTold_, text) == text)
        return;
    tell(fault ? Priority::Warning : state == State::Connected ? Priority::Notice : Priority::Info, text);
}

void LogDaemon::stop(const QString& why)
{
    if (!state_.gLink)
        return;
    if (!why.isEmpty())
        tell(Priority::Notice,
             QStringLiteral("Stopping %1: the row in progress is written and the log file closed.").arg(why));
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
    if (gateway_) {
        alarms_->removeSink(gateway_.get());
        gateway_.reset();
    }
    if (log_)
        log_->stopLogging();
    if (!why.isEmpty())
        tell(Priority::Notice, QStringLiteral("Stopped."));
}

void LogDaemon::setSlotStale(int slot, bool stale, const QDateTime&)
{
    // A lost line silences every recorder: told once, with the line.
    if (lineLost_) {
        withLine_[slot] = withLine_[slot] || stale;
        return;
    }
    if (!stale && std::exchange(withLine_[slot], false))
        return;
    // A change undone before it was told is not told.
    auto& undone = stale ? back_ : silent_;
    if (!std::exchange(undone[slot], false))
        (stale ? silent_ : back_)[slot] = true;
}

void LogDaemon::tellRecorders()
{
    const auto told = [this](std::array<bool, kSlotCount>& which, const char* one, const char* many) {
        QStringList addresses;
        for (int s = 0; s < kSlotCount; ++s)
            if (std::exchange(which[s], false))
                addresses << format00(state_.gDevAddr[s]);
        if (addresses.size() == 1)
            return QString::fromLatin1(one).arg(addresses.first());
        return addresses.isEmpty() ? QString() : QString::fromLatin1(many).arg(addresses.join(QStringLiteral(", ")));
    };
    // After the line came back and every recorder was asked again: those
    // that have not answered since.
    if (lineBack_ && std::all_of(asked_.begin(), asked_.begin() + state_.gRecTotal, [](bool a) { return a; })) {
        lineBack_ = false;
        silent_ = withLine_;
        withLine_ = {};
    }
    if (const QString text = told(silent_, "Recorder %1 does not answer.", "Recorders %1 do not answer.");
        !text.isEmpty())
        tell(Priority::Warning, text);
    if (const QString text = told(back_, "Recorder %1 answers again.", "Recorders %1 answer again."); !text.isEmpty())
        tell(Priority::Notice, text);
}

void LogDaemon::setLineLost(bool lost)
{
    lineLost_ = lost;
    lineBack_ = !lost;
    asked_ = {};
    if (lost) {
        // What was not told yet is part of this.
        for (int s = 0; s < kSlotCount; ++s)
            withLine_[s] = withLine_[s] || std::exchange(silent_[s], false);
        back_ = {};
    }
    const QString text = lost ? kLineLostMessage : QStringLiteral("Communication line back");
    tell(lost ? Priority::Warning : Priority::Notice, text);
    watchdog_.status(lost ? text : runStatus());
}

void LogDaemon::setNoAnswer(bool none)
{
    const QString text = none ? QStringLiteral("No recorder answers on %1").arg(state_.gInit.Port.trimmed())
                              : QStringLiteral("A recorder answers again");
    // The recorders are told in the same line.
    if (none)
        silent_ = {};
    tell(none ? Priority::Warning : Priority::Notice, text);
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
        tell(Priority::Warning, writeNote_);
}

QString LogDaemon::cycleCaption() const
{
    return QString::number(cycleNumber(QString::number(state_.gInit.LogInterval)));
}

void LogDaemon::alarmChanged(const rdxalarm::AlarmEvent& event)
{
    tell(Priority::Warning, rdxalarm::describe(event));
}

}  // namespace rdxlogd
