// The Modbus TCP gateway as the programs make it: a listener of the poll
// cycle that copies the values, the recorders' figures and the alarm
// states after every finished poll and hands them to the server's thread.
// The window program and the logging service make it alike (see
// startGateway in startup/Startup.h).
#ifndef RDXGW_GATEWAY_H
#define RDXGW_GATEWAY_H

#include "GatewayServer.h"
#include "alarms/AlarmEvent.h"
#include "polling/PollListener.h"
#include "status/LineStatus.h"

namespace rdxmon {
class Clock;
class PollCycle;
struct SharedState;
}  // namespace rdxmon

namespace rdxgw {

class Gateway : public rdxmon::PollListener, public rdxalarm::AlarmSink {
public:
    // alarms: the alarm engine's states, or null (no alarms: the discrete
    // inputs read 0). Read, like state, on the thread that keeps the values.
    // clock: the poll cycle's (the system's time when null).
    Gateway(const rdxmon::SharedState& state, rdxmon::PollCycle& cycle, GatewayConfig config,
            const rdxalarm::AlarmStates* alarms, rdxmon::Clock* clock = nullptr, ServerLimits limits = {});
    ~Gateway() override;  // leaves the cycle, stops the server

    // Listens and serves the values as they are now; false, with the reason
    // in problem, when it cannot listen.
    bool start(QString* problem);

    // Hands over the present state at once, e.g. after an alarm was
    // acknowledged between polls.
    void refresh();
    // An alarm changed (or was acknowledged): served at once.
    void alarmChanged(const rdxalarm::AlarmEvent&) override { refresh(); }

    const GatewayServer& server() const { return server_; }

    void replyTaken(int slot, const QDateTime& time) override;
    void pollMissed(int slot, const QDateTime& time, rdxmon::MissReason why) override;
    void lineLost(bool lost) override;

private:
    void handOver(const QDateTime& time);
    QDateTime now() const;

    const rdxmon::SharedState& state_;
    rdxmon::PollCycle& cycle_;
    const rdxalarm::AlarmStates* alarms_;
    rdxmon::Clock* clock_;
    rdxmon::LineStatus line_;
    GatewayServer server_;
};

}  // namespace rdxgw

#endif
