#include "Watchdog.h"

#include <systemd/sd-daemon.h>

namespace rdxlogd {

namespace {

void notify(const QString& text)
{
    sd_notify(0, text.toUtf8().constData());
}

}  // namespace

Watchdog::Watchdog()
{
    uint64_t usec = 0;
    if (sd_watchdog_enabled(0, &usec) <= 0 || usec == 0)
        return;
    // Fed twice per interval, so one late feed is no restart.
    timer_.setInterval(static_cast<int>(std::max<uint64_t>(usec / 2000, 1)));
    connect(&timer_, &QTimer::timeout, this, [this] { feed(); });
}

void Watchdog::ready(const QString& status)
{
    notify(QStringLiteral("READY=1\nSTATUS=") + status);
    if (timer_.interval() > 0)
        timer_.start();
}

void Watchdog::status(const QString& status)
{
    notify(QStringLiteral("STATUS=") + status);
}

void Watchdog::stopping()
{
    timer_.stop();
    notify(QStringLiteral("STOPPING=1"));
}

void Watchdog::feed()
{
    if (!progress_ && !lost_)
        return;
    progress_ = false;
    notify(QStringLiteral("WATCHDOG=1"));
}

}  // namespace rdxlogd
