#include "startup/Startup.h"

#include "Gateway.h"
#include "Publisher.h"
#include "polling/LineWatch.h"
#include "polling/PollCycle.h"
#include "startup/LinkLoader.h"
#include "startup/SettingsFile.h"

namespace rdxmon {

rdx::_rdx5Comm3* loadLinkLibrary(LinkLoader& loader, const QString& programFolder, const QString& filesFolder,
                                 LinkMessageGate& gate, MessageBoxes& messages)
{
    QString error;
    if (!loader.load(programFolder, &error)) {
        messages.information(error);
        return nullptr;
    }
    loader.setNotifier(&LinkMessageGate::notify, &gate);
    loader.resolvePortsIn(filesFolder);
    return loader.object();
}

StartupFiles loadStartupFiles(const QString& folder, MessageBoxes& messages,
                              const std::function<void(const InitRecord&)>& shown, Wording wording)
{
    // Warnings first (as one message), then the problem, when there are.
    const auto tell = [&](const QString& problem, const QStringList& warnings = {}) {
        if (!warnings.isEmpty())
            messages.information(warnings.join(u'\n'));
        if (!problem.isEmpty())
            messages.information(problem);
    };
    StartupFiles files;
    files.init = startupSettings(
        folder, messages,
        [&](const InitRecord& record) {
            if (shown)
                shown(record);
        },
        wording);
    files.names = loadChannelNames(folder, wording);
    tell(files.names.problem);
    files.addresses = loadAddressTable(folder, wording);
    tell(files.addresses.problem);
    files.broker = rdxpub::loadBrokerConfig(folder);
    tell(files.broker.problem, files.broker.warnings);
    files.alarms = rdxalarm::loadAlarmSettings(folder);
    tell(files.alarms.problem);
    files.gateway = rdxgw::loadGatewayConfig(folder);
    tell(files.gateway.problem, files.gateway.warnings);
    return files;
}

void takeStartupFiles(SharedState& state, const StartupFiles& files)
{
    state.gInit = files.init;
    state.gChTotal = channelTotal(files.init);
    state.gRecTotal = recorderCount(files.init);
    state.gChannel = files.names.table;
    state.gDevAddr = files.addresses.table;
    state.gStartDone = 0;
}

std::unique_ptr<rdxpub::Publisher> makePublisher(const SharedState& state, PollCycle& cycle,
                                                 const rdxpub::BrokerConfigResult& broker)
{
    if (!broker.config)
        return nullptr;
    auto publisher = std::make_unique<rdxpub::Publisher>(state, *broker.config);
    cycle.addListener(publisher.get());
    return publisher;
}

std::unique_ptr<rdxgw::Gateway> startGateway(const SharedState& state, PollCycle& cycle,
                                             const rdxgw::GatewayConfigResult& settings,
                                             const rdxalarm::AlarmStates* alarms, Clock* clock, MessageBoxes& messages)
{
    if (!settings.config)
        return nullptr;
    auto gateway = std::make_unique<rdxgw::Gateway>(state, cycle, *settings.config, alarms, clock);
    QString problem;
    if (!gateway->start(&problem)) {
        messages.information(problem);
        return nullptr;
    }
    return gateway;
}

}  // namespace rdxmon
