#include "LogDaemon.h"

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
        tell(error);
        return false;
    }
    linkMessages_ = std::make_unique<LinkMessageGate>(
        recovering_, [this](const QString& text, const QString&) { tell(text); });
    loader_.setNotifier(&LinkMessageGate::notify, linkMessages_.get());
    state_.gLink = loader_.object();

    const QString& folder = state_.programFolder;
    state_.gInit = startupSettings(folder, messages_, [](const InitRecord&) {});
    state_.gChTotal = channelTotal(state_.gInit);
    state_.gRecTotal = recorderCount(state_.gInit);
    const NamesLoadResult names = loadChannelNames(folder);
    if (!names.problem.isEmpty())
        tell(names.problem);
    state_.gChannel = names.table;
    const AddressLoadResult addresses = loadAddressTable(folder);
    if (!addresses.problem.isEmpty())
        tell(addresses.problem);
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

void LogDaemon::startPublisher()
{
    const rdxpub::BrokerConfigResult broker = rdxpub::loadBrokerConfig(state_.programFolder);
    for (const QString& warning : broker.warnings)
        tell(warning);
    if (!broker.problem.isEmpty())
        tell(broker.problem);
    if (!broker.config)
        return;
    publisher_ = std::make_unique<rdxpub::Publisher>(state_, *broker.config);
    const QString uri = broker.config->serverUri();
    connect(publisher_.get(), &rdxpub::Publisher::stateChanged, this, [this, uri](rdxpub::Publisher::State state) {
        tell(QStringLiteral("Broker %1: %2").arg(uri, rdxpub::Publisher::stateText(state)));
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

void LogDaemon::stop()
{
    if (!state_.gLink)
        return;
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
