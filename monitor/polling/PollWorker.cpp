#include "polling/PollWorker.h"

#include <QSemaphore>

namespace rdxmon {

PollWorker::PollWorker(rdx::_rdx5Comm3* link, const LinkSettings& settings, LineWatch::MsClock msClock)
    : link_(link), settings_(settings), exchange_(link, settings, std::move(msClock))
{
    timer_.setSingleShot(true);
    timer_.setTimerType(Qt::PreciseTimer);
    QObject::connect(&timer_, &QTimer::timeout, this, [this] { step(); });
}

ConnectResult PollWorker::connectAndPoll()
{
    ConnectResult result;
    if (!link_)
        result.failure = QStringLiteral("no link object");
    else
        result = connectLink(*link_, settings_);
    if (result.opened && !halted_)
        timer_.start(kTickMs);
    return result;
}

void PollWorker::halt()
{
    halted_ = true;
    timer_.stop();
}

void PollWorker::step()
{
    if (halted_)
        return;
    if (std::optional<SlotOutcome> outcome = exchange_.step(); outcome && onOutcome)
        onOutcome(*outcome);
    if (!halted_)
        timer_.start(static_cast<int>(exchange_.nextStepInMs(kTickMs)));
}

PollingThread::PollingThread(SharedState& state, PollCycle& cycle) : state_(state), cycle_(cycle)
{
    thread_.setObjectName(QStringLiteral("polling"));
}

PollingThread::~PollingThread()
{
    stop();
}

void PollingThread::start(std::function<void(const ConnectResult&)> connected, RecoveringFlag* flag)
{
    if (worker_ || stopping_)
        return;
    worker_ = std::make_unique<PollWorker>(state_.gLink, linkSettings(state_));
    sentAddresses_ = state_.gDevAddr;
    worker_->exchange().lineWatch().setRecoveringFlag(flag);
    worker_->onOutcome = [this](const SlotOutcome& outcome) {
        QMetaObject::invokeMethod(
            &receiver_, [this, outcome] { take(outcome); }, Qt::QueuedConnection);
    };
    worker_->moveToThread(&thread_);
    thread_.start();
    PollWorker* worker = worker_.get();
    QMetaObject::invokeMethod(
        worker,
        [this, worker, connected = std::move(connected)] {
            const ConnectResult result = worker->connectAndPoll();
            QMetaObject::invokeMethod(
                &receiver_,
                [this, result, connected] {
                    if (stopping_)
                        return;
                    polling_ = result.opened;
                    if (connected)
                        connected(result);
                },
                Qt::QueuedConnection);
        },
        Qt::QueuedConnection);
}

void PollingThread::take(const SlotOutcome& outcome)
{
    if (stopping_)
        return;
    // Addresses changed in the address window go to the worker for its
    // next requests.
    if (state_.gDevAddr != sentAddresses_ && worker_) {
        sentAddresses_ = state_.gDevAddr;
        PollWorker* worker = worker_.get();
        const auto addresses = sentAddresses_;
        QMetaObject::invokeMethod(
            worker, [worker, addresses] { worker->setAddresses(addresses); }, Qt::QueuedConnection);
    }
    cycle_.take(outcome);
    if (afterTake)
        afterTake();
}

void PollingThread::stop(const std::function<void()>& release)
{
    if (stopping_.exchange(true)) {
        return;
    }
    polling_ = false;
    if (worker_ && thread_.isRunning()) {
        PollWorker* worker = worker_.get();
        QThread* home = receiver_.thread();
        QMetaObject::invokeMethod(
            worker,
            [worker, home, &release] {
                worker->halt();
                if (release)
                    release();
                worker->moveToThread(home);
            },
            Qt::BlockingQueuedConnection);
        thread_.quit();
        thread_.wait();
    } else if (release) {
        release();
    }
    worker_.reset();
}

void PollingThread::callHere(std::function<void()> fn)
{
    if (QThread::currentThread() == receiver_.thread()) {
        fn();
        return;
    }
    auto done = std::make_shared<QSemaphore>();
    QMetaObject::invokeMethod(
        &receiver_,
        [this, fn = std::move(fn), done] {
            if (!stopping_)
                fn();
            done->release();
        },
        Qt::QueuedConnection);
    while (!done->tryAcquire(1, 20)) {
        if (stopping_)
            return;
    }
}

}  // namespace rdxmon
