#include "polling/LineWatch.h"

#include <memory>

#include <QElapsedTimer>

#include "rdx5Comm3.h"

namespace rdxmon {

void LinkMessageGate::message(const char* text, const char* title) const
{
    if (flag_.raised() || !show_)
        return;
    show_(QString::fromUtf8(text ? text : ""), QString::fromUtf8(title ? title : ""));
}

void LinkMessageGate::notify(const char* text, const char* title, void* context)
{
    if (context)
        static_cast<const LinkMessageGate*>(context)->message(text, title);
}

LineWatch::LineWatch(MsClock clock) : clock_(std::move(clock))
{
    if (!clock_) {
        auto timer = std::make_shared<QElapsedTimer>();
        timer->start();
        clock_ = [timer] { return timer->elapsed(); };
    }
}

bool LineWatch::isDeviceError(int number)
{
    return number == rdx::kErrDeviceIo || number == rdx::kErrNotOpen || number == rdx::kErrNoDevice;
}

bool LineWatch::linkFailed(int number)
{
    if (lost_ || !isDeviceError(number))
        return false;
    setLost(true);
    attempts_ = 0;
    // The first attempt comes at once: it also lets go of the dead device,
    // so a returning adapter gets its old name back.
    nextAttemptMs_ = clock_();
    return true;
}

LineWatch::Step LineWatch::next() const
{
    if (!lost_)
        return Step::Poll;
    return clock_() - nextAttemptMs_ >= 0 ? Step::Reopen : Step::Wait;
}

bool LineWatch::tryReopen(rdx::_rdx5Comm3& link)
{
    const qint64 started = clock_();
    ++attempts_;
    bool back = false;
    try {
        if (link.PortOpen()) {
            link.SendBufClear();
            link.RecvBufClear();
            back = true;
        }
    } catch (const rdx::LinkError&) {
        back = false;  // still gone (or not usable yet): try again later
    }
    if (back)
        setLost(false);
    else
        nextAttemptMs_ = started + kRetryMs;
    return back;
}

void LineWatch::setLost(bool lost)
{
    lost_ = lost;
    if (flag_)
        flag_->raise(lost);
}

namespace {

// The device path named in one of the serial control's descriptions: either
// in parentheses after the port ("COM1 (/dev/ttyUSB0): ...") or after the
// word "device" ("... the serial device /dev/ttyUSB0 for COM1 ...").
QString devicePathIn(const QString& description)
{
    if (const qsizetype open = description.indexOf(QStringLiteral("(/")); open >= 0) {
        const qsizetype close = description.indexOf(QLatin1Char(')'), open);
        if (close > open)
            return description.mid(open + 1, close - open - 1);
    }
    if (const qsizetype start = description.indexOf(QStringLiteral(" /")); start >= 0) {
        qsizetype end = description.indexOf(QStringLiteral(" for COM"), start + 1);
        if (end < 0)
            end = description.indexOf(QLatin1Char(' '), start + 1);
        return description.mid(start + 1, end < 0 ? -1 : end - start - 1);
    }
    return {};
}

}  // namespace

PortProblem portProblem(const rdx::LinkError& error, const QString& port, const QString& speed, Wording wording)
{
    const bool hasCause = error.causeNumber() != 0;
    const int number = hasCause ? error.causeNumber() : error.number();
    const QString description = QString::fromStdString(hasCause ? error.causeDescription() : error.description());
    // The first line states the fault, naming the device; the lines after it
    // (the owner and group of a refused device, the process holding a busy
    // one) say why.
    const QString more = description.section(QLatin1Char('\n'), 1).trimmed();
    QString device = devicePathIn(description.section(QLatin1Char('\n'), 0, 0));
    if (device.isEmpty())
        device = QStringLiteral("for the chosen port");
    const QString portText = port.trimmed();
    const QString speedText = speed.trimmed();
    const bool service = wording == Wording::Service;
    // How a new attempt is made, after a sentence or after a comma.
    const QString again = service ? QStringLiteral("restart the service (systemctl restart rdx512-logd).")
                                  : QStringLiteral("start the program again.");
    const QString thenAgain = QStringLiteral("then ") + again;
    const QString settingsRemedy = service
        ? QStringLiteral("Set it in the service's RDX512INIT.SET (made with the window program and copied "
                         "into the service's data folder), ")
            + thenAgain
        : QStringLiteral("Choose it under Setting, Communication setting, ") + thenAgain;

    switch (number) {
    case rdx::kErrPermission:
        return {QStringLiteral("No permission to use the serial device %1.\n").arg(device)
                    + (more.isEmpty() ? QStringLiteral("Add the user to the \"dialout\" group (sudo adduser $USER "
                                                       "dialout), log out and log in again, ")
                               + thenAgain
                                      : more + QStringLiteral("\nThen ") + again),
                QStringLiteral("no permission")};
    case rdx::kErrNoDevice:
        return {QStringLiteral("No such serial device %1.\n"
                               "Check that the serial adapter is plugged in and that the communication "
                               "settings name the right port, ")
                        .arg(device)
                    + thenAgain,
                QStringLiteral("no such device")};
    case rdx::kErrDeviceBusy:
        return {QStringLiteral("The serial device %1 is in use by another program.\n").arg(device)
                    + (more.isEmpty() ? QString() : more + QLatin1Char('\n'))
                    + (service ? QStringLiteral("Close that program, ") + thenAgain
                               : QStringLiteral("Close that program, then start this program again.")),
                QStringLiteral("in use")};
    case rdx::kErrNotSerial:
        return {QStringLiteral("The serial port %1 leads to %2, which is not a serial device.\n"
                               "Make the link %1 in the program's folder point at the serial adapter "
                               "(for example /dev/ttyUSB0), or choose the right port in the "
                               "communication settings, ")
                        .arg(portText, device)
                    + thenAgain,
                QStringLiteral("not a serial device")};
    case rdx::kErrSettingsRefused:
        return {QStringLiteral("The serial device %1 did not take the line settings (%2 bit/s, 7 data bits, "
                               "even parity, 1 stop bit).\n"
                               "Check that the port leads to a serial adapter that supports them, then ")
                        .arg(device, speedText)
                    + again,
                QStringLiteral("line settings refused")};
    case rdx::kErrBaudText:
        return {QStringLiteral("The line speed \"%1\" in the communication settings is not one the serial "
                               "port accepts: 2400, 4800, 9600 or 19200 bit/s.\n")
                        .arg(speedText)
                    + settingsRemedy,
                QStringLiteral("speed %1 refused").arg(speedText)};
    case rdx::kErrPortText:
        return {QStringLiteral("The port \"%1\" in the communication settings is not one the program can "
                               "open: COM1 to COM8.\n")
                        .arg(portText)
                    + settingsRemedy,
                QStringLiteral("port %1 refused").arg(portText)};
    default:
        return {};
    }
}

}  // namespace rdxmon
