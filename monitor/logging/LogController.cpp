#include "logging/LogController.h"

#include <algorithm>

#include <QDir>
#include <QFileInfo>
#include <QMetaObject>

#include "logging/CsvFormat.h"
#include "logging/LogSchedule.h"
#include "startup/Lenient.h"
#include "startup/Pages.h"

namespace rdxmon {

namespace {

// "18 hours 12 minutes", "1 hour", "45 minutes".
QString durationText(qint64 seconds)
{
    const qint64 minutes = (seconds + 30) / 60;
    const auto count = [](qint64 n, const char* one, const char* many) {
        return n == 1 ? QString::fromLatin1(one) : QStringLiteral("%1 %2").arg(n).arg(QLatin1String(many));
    };
    if (minutes < 60)
        return count(minutes, "1 minute", "minutes");
    const QString hours = count(minutes / 60, "1 hour", "hours");
    return minutes % 60 == 0 ? hours : hours + QLatin1Char(' ') + count(minutes % 60, "1 minute", "minutes");
}

}  // namespace

QString logWriteFailedMessage(const QString& path, const QString& reason)
{
    return kLogWriteFailedMessage + QLatin1Char('\n') + QDir::toNativeSeparators(path) + QStringLiteral(": ") + reason;
}

LogController::LogController(SharedState& state, Services& services, LoggingView& view, NamesHost& host,
                             std::function<bool()> saveNames)
    : state_(state), services_(services), view_(view), host_(host), saveNames_(std::move(saveNames))
{}

int LogController::cycle() const
{
    return cycleSeconds(view_.cycleCaption(), view_.minutesSelected());
}

int LogController::columns() const
{
    return std::clamp(lenientInt(state_.gChTotal), 0, kChannelCount);
}

QString LogController::defaultFileName() const
{
    const QDateTime now = services_.clock.now();
    const QString base = now.date().toString(QStringLiteral("yyMMdd")) + QLatin1Char('_')
        + now.time().toString(QStringLiteral("HHmm"));
    const QDir folder(state_.programFolder);
    QString path = folder.filePath(base + QStringLiteral(".csv"));
    for (int n = 2; QFileInfo::exists(path); ++n)
        path = folder.filePath(base + QStringLiteral("_%1.csv").arg(n));
    return path;
}

bool LogController::showSaveDialog(const QString& initialFolder)
{
    const QString chosen
        = services_.dialogs.saveFileName(initialFolder, QFileInfo(heldName_).fileName(), kCsvFilter, kCsvDefaultSuffix);
    if (chosen.isEmpty())
        return false;
    heldName_ = chosen;
    heldNameIsDefault_ = false;
    return true;
}

void LogController::startLogging()
{
    if (running_)
        return;
    if (view_.defaultFileSelected()) {
        heldName_ = defaultFileName();
        heldNameIsDefault_ = true;
    } else if (heldName_.isEmpty() || heldNameIsDefault_) {
        // A name made for an earlier default-named run is offered, not
        // silently reused: that log would be replaced.
        const QString folder = heldName_.isEmpty() ? state_.programFolder : QFileInfo(heldName_).absolutePath();
        if (!showSaveDialog(folder)) {
            services_.messages.information(kLoggingStoppedMessage);
            view_.setRunEnabled(true);
            return;
        }
        if (QFileInfo::exists(heldName_))
            services_.messages.information(kSameNameAtStartMessage);
    }

    // The rows keep to a grid that starts now, when the file is made: never
    // a row for a time before the file existed (a save dialog may have been
    // open for minutes since START).
    const QDateTime created = services_.clock.now();
    const int step = cycle();
    due_ = created.addMSecs(-created.time().msec()).addSecs(step);
    state_.gNextLogTime = secondsOfDay(due_.time());
    const QByteArray header = csvHeaderBytes(created.date(), state_.gChannel, columns());
    QString reason;
    if (!file_.create(heldName_, header, &reason) || !file_.open(&reason)) {
        services_.messages.information(logWriteFailedMessage(heldName_, reason));
        return;
    }
    file_.setLimits((kSecondsPerDay + step - 1) / step, kMaxUnwrittenBytes);

    failureShown_ = false;
    dropShown_ = false;
    writeState_ = {};
    running_ = true;
    view_.setRunning(true);
    state_.gInit.LogActive = 1;
}

void LogController::stopLogging()
{
    if (running_) {
        running_ = false;
        view_.setRunning(false);
        const bool written = file_.flush();
        file_.close();
        if (!written || file_.droppedRows() > 0) {
            services_.messages.information(lostRowsText());
            file_.discardUnwritten();
        }
    }
    view_.setRunEnabled(true);
    state_.gInit.LogActive = 0;
}

void LogController::chooseLogFile()
{
    if (running_)
        return;
    showSaveDialog(state_.programFolder);
    if (heldName_.isEmpty())
        return;
    view_.setRunEnabled(true);
    if (QFileInfo::exists(heldName_))
        services_.messages.information(kSameNameFromMenuMessage);
}

void LogController::optName1Click()
{
    if (!heldName_.isEmpty()) {
        view_.setRunEnabled(true);
        state_.gInit.LogActive = 0;
    } else if (state_.gInit.LogActive != 0) {
        view_.setRunEnabled(false);
        state_.gInit.LogActive = 1;
    } else {
        view_.setRunEnabled(true);
    }
}

void LogController::optName2Click()
{
    if (state_.gInit.LogActive != 0) {
        view_.setRunEnabled(false);
        state_.gInit.LogActive = 1;
    } else {
        view_.setRunEnabled(true);
    }
}

void LogController::toggleChannel(int index)
{
    const int page = host_.mPage();
    const int i = pages::channelAt(page, index);
    if (index < 0 || index >= pages::kChannelsPerPage || i >= kChannelCount)
        return;
    std::int16_t& sel = state_.gChannel[i].LogSel;
    sel = sel != 0 ? 0 : 1;
    if (saveNames_)
        saveNames_();
    host_.Logdisp(page);
}

void LogController::resumeAtStartup()
{
    if (state_.gInit.LogActive != 1) {
        view_.setRunEnabled(true);
        return;
    }
    if (!view_.defaultFileSelected()) {
        chooseLogFile();
        if (heldName_.isEmpty()) {
            services_.messages.information(kLoggingStoppedMessage);
            view_.setRunEnabled(true);
            // Not running and not about to: the file mode options must not
            // keep START disabled from here on.
            state_.gInit.LogActive = 0;
            return;
        }
    }
    startLogging();
}

void LogController::tick()
{
    if (!running_)
        return;
    const LogStep step = logStep(due_, services_.clock.now(), cycle());
    due_ = step.next;
    state_.gNextLogTime = secondsOfDay(due_.time());
    if (!step.write) {
        if (file_.unwrittenRows() > 0)
            reportWrite(file_.flush());
        return;
    }
    reportWrite(
        file_.append(csvRowBytes(step.stamp.time(), state_.gChannel, state_.gPvValue, state_.gPvState, columns())));
}

void LogController::reportWrite(bool written)
{
    const QString path = QDir::toNativeSeparators(file_.path());
    const QTime now = services_.clock.now().time();
    const QString at = now.toString(QStringLiteral("HH:mm:ss"));
    LogWriteState next = writeState_;
    QString replaced;
    switch (file_.takeReplacement()) {
    case LogFile::Replacement::MadeAgain:
        replaced = QStringLiteral("the file had gone and was made again at %1").arg(at);
        break;
    case LogFile::Replacement::Adopted:
        replaced = QStringLiteral("another file took its place at %1; the rows go on at its end").arg(at);
        break;
    case LogFile::Replacement::None:
        break;
    }
    if (!replaced.isEmpty())
        next.event = replaced;
    if (file_.droppedRows() > 0 && !dropShown_) {
        dropShown_ = true;
        failureShown_ = true;
        // The rows kept span a day at most, less when they fill the bytes
        // bound first (about 18 hours of 31 recorders at 1 s).
        tellLater(QStringLiteral("The log file %1 could not be written for too long: the rows of the last %2 "
                                 "wait to be written, older ones are dropped from now on.")
                      .arg(path, durationText(static_cast<qint64>(file_.unwrittenRows()) * cycle())));
    }
    if (written) {
        failureShown_ = false;
        if (writeState_.waiting > 0) {
            // A file made again for the rows that waited says so as well.
            const QString resumed = QStringLiteral("writing resumed at %1").arg(at);
            next.resumedAt = now;
            next.event = replaced.isEmpty() ? resumed : replaced + QStringLiteral("; ") + resumed;
        }
        next.reason.clear();
    } else {
        next.reason = file_.lastError();
        next.resumedAt = QTime();
        if (!failureShown_) {
            failureShown_ = true;
            tellLater(logWriteFailedMessage(file_.path(), next.reason));
        }
    }
    next.waiting = file_.unwrittenRows();
    if (next.waiting > 0)
        next.note = QStringLiteral("The log file %1 cannot be written (%2); its rows wait to be written.")
                        .arg(path, next.reason);
    else if (!next.event.isEmpty())
        next.note = QStringLiteral("The log file %1: %2.").arg(path, next.event);
    if (next.waiting == writeState_.waiting && next.reason == writeState_.reason && next.event == writeState_.event)
        return;
    writeState_ = next;
    view_.showWriteState(writeState_);
}

void LogController::tellLater(const QString& text)
{
    // A box opened inside the tick would hold the sampling timer until it
    // is closed (a timer does not fire again while its own slot runs): rows
    // would be neither written nor kept. Opened from the event loop
    // instead, the timer goes on behind it. One box at a time, in order.
    toTell_.push_back(text);
    if (toTell_.size() > 1)
        return;  // shown after the box that is open or about to open
    QMetaObject::invokeMethod(
        &messenger_,
        [this] {
            while (!toTell_.empty()) {
                services_.messages.information(toTell_.front());
                toTell_.pop_front();
            }
        },
        Qt::QueuedConnection);
}

QString LogController::lostRowsText() const
{
    const QString path = QDir::toNativeSeparators(file_.path());
    QStringList parts;
    if (file_.droppedRows() > 0)
        parts << QStringLiteral("%1 rows were dropped because the log file %2 could not be written for too long.")
                     .arg(file_.droppedRows())
                     .arg(path);
    if (file_.unwrittenRows() > 0)
        parts << QStringLiteral("%1 rows could not be written to the log file %2 and are lost: %3.")
                     .arg(file_.unwrittenRows())
                     .arg(path, file_.lastError());
    return parts.join(QLatin1Char('\n'));
}

QString LogController::unwrittenRowsNote()
{
    if (file_.flush() && file_.droppedRows() == 0)
        return {};
    return lostRowsText();
}

}  // namespace rdxmon
