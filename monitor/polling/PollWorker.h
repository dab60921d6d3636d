// Polling on a thread of its own.
//
// Who owns what:
//  - The polling thread owns the PollWorker, its step timer and its
//    PollExchange, and through them the link object from the connecting step
//    until it is released at stop (on this thread). Only this thread calls
//    the link, so the link library's messages (its PortOpen box) and the
//    RecoveringFlag raised by the LineWatch are met here too.
//  - The thread that made the PollingThread (the window thread in the
//    program) owns the SharedState (gPvLine, gPvValue, gPvState, gRecvText,
//    gStartDone, gPortOpened, gDevAddr, gLink), the PollCycle with its stale
//    marks and listeners, and the view.
//  - What crosses is copied: the LinkSettings and later recorder addresses
//    go to the worker; each SlotOutcome and the ConnectResult come back as
//    queued calls. A message box the link asks for is shown on the window
//    thread while the worker waits (callHere).
#ifndef RDXMON_POLLING_POLLWORKER_H
#define RDXMON_POLLING_POLLWORKER_H

#include <atomic>
#include <functional>
#include <memory>

#include <QObject>
#include <QThread>
#include <QTimer>

#include "polling/PollCycle.h"
#include "polling/PollExchange.h"

namespace rdxmon {

// Lives on the polling thread: the connecting step, then one exchange step
// every tick (sooner while a short quiet wait runs out).
class PollWorker : public QObject {
public:
    static constexpr int kTickMs = 50;

    PollWorker(rdx::_rdx5Comm3* link, const LinkSettings& settings, LineWatch::MsClock msClock = {});

    // --- On the polling thread.
    // The link part of the connecting step; when the port opened, the steps
    // begin one tick later.
    ConnectResult connectAndPoll();
    void setAddresses(const std::array<std::int16_t, kSlotCount>& addresses) { exchange_.setAddresses(addresses); }
    // No step begins after this.
    void halt();

    PollExchange& exchange() { return exchange_; }
    // Called on the polling thread with every outcome.
    std::function<void(const SlotOutcome&)> onOutcome;

private:
    void step();

    rdx::_rdx5Comm3* link_;
    LinkSettings settings_;
    PollExchange exchange_;
    QTimer timer_{this};
    bool halted_ = false;
};

// Kept by the window: starts the polling thread, takes every outcome into
// the PollCycle on this thread, and stops the thread at exit.
class PollingThread {
public:
    PollingThread(SharedState& state, PollCycle& cycle);
    // Stops the thread (without a release step) when still running.
    ~PollingThread();
    PollingThread(const PollingThread&) = delete;
    PollingThread& operator=(const PollingThread&) = delete;

    // Starts the thread with the link and a copy of the settings, and the
    // connecting step on it; connected gets its result here. flag is raised
    // while a lost line is reopened.
    void start(std::function<void(const ConnectResult&)> connected, RecoveringFlag* flag = nullptr);
    // The port opened and polling has not been stopped.
    bool polling() const { return polling_; }
    // Called here after each outcome has been taken.
    std::function<void()> afterTake;

    // Stops polling: the step under way ends, release runs on the polling
    // thread (or here when the thread never ran), and the thread ends before
    // this returns. Outcomes still on their way are dropped.
    void stop(const std::function<void()>& release = {});

    // Runs fn on this object's thread and waits for it: at once when called
    // there, else queued. Gives up waiting (and fn is not run) once stop has
    // begun, so a worker waiting here never holds up the exit.
    void callHere(std::function<void()> fn);

private:
    void take(const SlotOutcome& outcome);

    SharedState& state_;
    PollCycle& cycle_;
    QObject receiver_;  // queued calls from the worker land here
    QThread thread_;
    std::unique_ptr<PollWorker> worker_;
    std::array<std::int16_t, kSlotCount> sentAddresses_{};
    std::atomic<bool> stopping_{false};
    bool polling_ = false;
};

}  // namespace rdxmon

#endif
