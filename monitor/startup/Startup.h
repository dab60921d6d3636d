// The start-up the window program and the logging service share: what is
// loaded, in what order, and what a damaged file gives. Each program adds
// only what is its own (the windows; the notices to systemd).
//
// In this order, from one folder:
//   1. the link library (from the program's folder): without it nothing
//      else is touched;
//   2. the settings record: a missing or damaged file gets the defaults
//      written first, then the operator is told;
//   3. the channel names, 4. the recorder addresses: a short or unreadable
//      file is told, kept as it is, and backed up before it is next written;
//   5. the broker settings (rdx512.conf): ignored keys and a password at risk
//      are told as warnings, a bad file as a problem (nothing is published);
//   6. the alarm limits (RDX512ALARM.INI): lines that cannot be read are
//      told and left out, the file kept as it is.
//   7. the Modbus gateway's settings (the section [modbus] of rdx512.conf):
//      alike, a bad section leaves the gateway off.
// Every problem is told through the MessageBoxes given, once, in that order.
#ifndef RDXMON_STARTUP_STARTUP_H
#define RDXMON_STARTUP_STARTUP_H

#include <functional>
#include <memory>

#include "AlarmSettings.h"
#include "BrokerConfig.h"
#include "GatewayConfig.h"
#include "names/AddressTable.h"
#include "names/ChannelNames.h"
#include "startup/InitRecord.h"
#include "startup/Services.h"
#include "startup/SharedState.h"

namespace rdxpub {
class Publisher;
}
namespace rdxgw {
class Gateway;
}
namespace rdxalarm {
class AlarmStates;
}

namespace rdxmon {

class LinkLoader;
class LinkMessageGate;
class PollCycle;

// Step 1: loads the link library from programFolder, routes its messages
// through gate and has it look up the ports' devices as chosen in
// filesFolder (else by its link rule). The link object, or null when the
// library cannot be loaded (the reason told).
rdx::_rdx5Comm3* loadLinkLibrary(LinkLoader& loader, const QString& programFolder, const QString& filesFolder,
                                 LinkMessageGate& gate, MessageBoxes& messages);

struct StartupFiles {
    InitRecord init;
    NamesLoadResult names;
    AddressLoadResult addresses;
    rdxpub::BrokerConfigResult broker;
    rdxalarm::AlarmSettingsResult alarms;
    rdxgw::GatewayConfigResult gateway;
};

// Steps 2 to 6 from folder. shown(record) is called with the settings
// before anything about them is told (the window program shows them on its
// splash window).
// wording: the window program's texts or the service's own.
StartupFiles loadStartupFiles(const QString& folder, MessageBoxes& messages,
                              const std::function<void(const InitRecord&)>& shown = {},
                              Wording wording = Wording::WindowProgram);

// gInit, gChTotal, gRecTotal (fixed for the run), gChannel and gDevAddr.
void takeStartupFiles(SharedState& state, const StartupFiles& files);

// The publisher the broker settings ask for, listening to cycle; the caller
// follows its state and starts it. Null without broker settings.
std::unique_ptr<rdxpub::Publisher> makePublisher(const SharedState& state, PollCycle& cycle,
                                                 const rdxpub::BrokerConfigResult& broker);

// The Modbus gateway the settings ask for, following cycle and serving
// from now on; alarms may be null (no alarms yet). Null without gateway
// settings, or when it cannot listen (told through messages).
std::unique_ptr<rdxgw::Gateway> startGateway(const SharedState& state, PollCycle& cycle,
                                             const rdxgw::GatewayConfigResult& settings,
                                             const rdxalarm::AlarmStates* alarms, Clock* clock, MessageBoxes& messages);

}  // namespace rdxmon

#endif
