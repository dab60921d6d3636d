#include "Gateway.h"

#include "polling/PollCycle.h"
#include "startup/Services.h"

namespace rdxgw {

Gateway::Gateway(const rdxmon::SharedState& state, rdxmon::PollCycle& cycle, GatewayConfig config,
                 const rdxalarm::AlarmStates* alarms, rdxmon::Clock* clock, ServerLimits limits)
    : state_(state), cycle_(cycle), alarms_(alarms), clock_(clock), line_(state.gRecTotal),
      server_(std::move(config), limits)
{
    cycle_.addListener(this);
}

Gateway::~Gateway()
{
    cycle_.removeListener(this);
    server_.stop();
}

bool Gateway::start(QString* problem)
{
    handOver(now());
    return server_.start(problem);
}

void Gateway::refresh()
{
    handOver(now());
}

void Gateway::replyTaken(int slot, const QDateTime& time)
{
    line_.replyTaken(slot, time);
    handOver(time);
}

void Gateway::pollMissed(int slot, const QDateTime& time, rdxmon::MissReason why)
{
    line_.pollMissed(slot, time, why);
    handOver(time);
}

void Gateway::lineLost(bool lost)
{
    line_.lineLost(lost);
}

QDateTime Gateway::now() const
{
    return clock_ ? clock_->now() : QDateTime::currentDateTime();
}

void Gateway::handOver(const QDateTime& time)
{
    server_.publish(takeSnapshot(state_, line_, alarms_, time));
}

}  // namespace rdxgw
