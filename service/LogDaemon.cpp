#include "LogDaemon.h"

#include <algorithm>
#include <utility>

#include <QCoreApplication>
#include <QDir>

#include "logging/LogSchedule.h"
#include "names/AddressTable.h"
#include "names/ChannelNames.h"
#include "startup/Lenient.h"
#include "startup/SettingsFile.h"
#include "rdx5Comm3.h"

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
    state_.wording = Wording::Service;
    poll_ = std::make_unique<PollCycle>(state_, static_cast<PvView&>(*this), &clock_);
    poll_->addListener(&watchdog_);
    poll_->addListener(static_cast<PollListener*>(this));
    polling_ = std::make_unique<PollingThread>(state_, *poll_);
    polling_->afterTake = [this] { afterTake(); };
    logTimer_.setInterval(kLogTickMs);
    connect(&logTimer_, &QTimer::timeout, this, [this] { log_->tick(); });
}

LogDaemon::~LogDaemon()
{
    stop();
}

bool LogDaemon::start()
{
    // The link library first: without it nothing is touched.
    QString error;
    if (!loader_.load(programFolder_, &error)) {
        tell(Priority::Error, error);
        tell(Priority::Error, QStringLiteral("Stopping: the link library could not be loaded (exit status 1)."));
        return false;
    }
    linkMessages_ = std::make_unique<LinkMessageGate>(
        recovering_, [this](const QString& text, const QString&) { tell(Priority::Warning, text); });
    loader_.setNotifier(&LinkMessageGate::notify, linkMessages_.get());
    state_.gLink = loader_.object();

    const QString& folder = state_.programFolder;
    state_.gInit = startupSettings(folder, messages_, [](const InitRecord&) {}, Wording::Service);
    state_.gChTotal = channelTotal(state_.gInit);
    state_.gRecTotal = recorderCount(state_.gInit);
    const NamesLoadResult names = loadChannelNames(folder, Wording::Service);
    if (!names.problem.isEmpty())
        tell(Priority::Warning, names.problem);
    state_.gChannel = names.table;
    const AddressLoadResult addresses = loadAddressTable(folder, Wording::Service);
    if (!addresses.problem.isEmpty())
        tell(Priority::Warning, addresses.problem);
    state_.gDevAddr = addresses.table;
    startPublisher();

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
        tell(Priority::Notice, QStringLiteral("The stored settings have logging off or a file chosen by hand; "
                                              "the service logs to default-named files all the same."));
    state_.gInit.LogActive = 1;
    state_.gInit.LogNameMode = 1;
    log_ = std::make_unique<LogController>(state_, services_, static_cast<LoggingView&>(*this),
                                           static_cast<NamesHost&>(*this), [this] {
        return saveChannelNames(state_.programFolder, state_.gChannel, nullptr);
    });
    log_->resumeAtStartup();
    if (!log_->running()) {
        stopWith(1, QStringLiteral("logging could not be started"));
        return;
    }
    tell(Priority::Notice, runStatus());
    watchdog_.status(QStringLiteral("Start-up pass over the recorders"));
}

void LogDaemon::startPublisher()
{
    const rdxpub::BrokerConfigResult broker = rdxpub::loadBrokerConfig(state_.programFolder);
    for (const QString& warning : broker.warnings)
        tell(Priority::Warning, warning);
    if (!broker.problem.isEmpty())
        tell(Priority::Warning, broker.problem);
    if (!broker.config)
        return;
    publisher_ = std::make_unique<rdxpub::Publisher>(state_, *broker.config);
    connect(publisher_.get(), &rdxpub::Publisher::stateChanged, this, &LogDaemon::brokerState);
    connect(publisher_.get(), &rdxpub::Publisher::bufferFull, this, [this](bool full) {
        const rdxpub::Publisher& p = *publisher_;
        const QString uri = p.config().serverUri();
        if (full)
            tell(Priority::Warning, QStringLiteral("Broker %1: the offline buffer is full (%2 messages, about %3 min "
                                                   "of values); newer values are dropped until the broker is back.")
                                        .arg(uri)
                                        .arg(p.bufferCapacity())
                                        .arg(p.bufferSeconds() / 60));
        else
            tell(Priority::Warning, QStringLiteral("Broker %1: back after %2 values were dropped in all; the latest "
                                                   "value of each channel went out again.")
                                        .arg(uri)
                                        .arg(p.droppedValues()));
    });
    poll_->addListener(publisher_.get());
    publisher_->start();
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
    const QString text = QStringLiteral("Broker %1: %2").arg(uri, rdxpub::Publisher::stateText(state)) +
                         (fault ? QStringLiteral(" - ") + p.fault().message : QString());
    if (std::exchange(brokerTold_, text) == text)
        return;
    tell(fault ? Priority::Warning : state == State::Connected ? Priority::Notice : Priority::Info, text);
}

void LogDaemon::stop(const QString& why)
{
    if (!state_.gLink)
        return;
    if (!why.isEmpty())
        tell(Priority::Notice, QStringLiteral("Stopping %1: the row in progress is written and the log file closed.")
                                   .arg(why));
    watchdog_.stopping();
    // The link is released on the polling thread, after its last step.
    polling_->stop([this] { loader_.release(); });
    state_.gLink = nullptr;
    if (publisher_) {
        poll_->removeListener(publisher_.get());
        publisher_->stop();
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

}  // namespace rdxlogd
