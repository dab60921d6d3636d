#include "logging/LogController.h"

#include <algorithm>

#include <QDir>
#include <QFileInfo>

#include "logging/CsvFormat.h"
#include "logging/LogSchedule.h"
#include "startup/Lenient.h"

namespace rdxmon {

namespace {

constexpr int kChannelsPerPage = 72;

}  // namespace

LogController::LogController(SharedState& state, Services& services, LoggingView& view, NamesHost& host,
                             std::function<bool()> saveNames)
    : state_(state), services_(services), view_(view), host_(host), saveNames_(std::move(saveNames))
{
}

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
    const QString base = now.date().toString(QStringLiteral("yyMMdd")) + QLatin1Char('_') +
                         now.time().toString(QStringLiteral("HHmm"));
    const QDir folder(state_.programFolder);
    QString path = folder.filePath(base + QStringLiteral(".csv"));
    for (int n = 2; QFileInfo::exists(path); ++n)
        path = folder.filePath(base + QStringLiteral("_%1.csv").arg(n));
    return path;
}

bool LogController::showSaveDialog(const QString& initialFolder)
{
    const QString chosen = services_.dialogs.saveFileName(
        initialFolder, QFileInfo(heldName_).fileName(), kCsvFilter, kCsvDefaultSuffix);
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
    const QDateTime started = services_.clock.now();
    state_.gNextLogTime = firstDueTime(secondsOfDay(started.time()), cycle());

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

    const QByteArray header = csvHeaderBytes(started.date(), state_.gChannel, columns());
    if (!file_.create(heldName_, header) || !file_.open()) {
        services_.messages.information(kLogWriteFailedMessage);
        return;
    }

    failureShown_ = false;
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
        if (!written) {
            services_.messages.information(
                QStringLiteral("%1 rows could not be written to the log file %2 and are lost; the file "
                               "is still in use by another program or cannot be written.")
                    .arg(file_.unwrittenRows())
                    .arg(QDir::toNativeSeparators(file_.path())));
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
    const int i = index + kChannelsPerPage * page;
    if (index < 0 || index >= kChannelsPerPage || i >= kChannelCount)
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
            return;
        }
    }
    startLogging();
}

void LogController::tick()
{
    if (!running_)
        return;
    const int now = secondsOfDay(services_.clock.now().time());
    if (!isDue(now, state_.gNextLogTime)) {
        if (file_.unwrittenRows() > 0)
            reportWrite(file_.flush());
        return;
    }
    // Every due time reached gets its row. When the window thread was held
    // past one or more due seconds (a recorder's reply read to its time-out,
    // a loaded machine), the rows it missed are written now, each stamped
    // with its own due second and carrying the present values, so the log
    // keeps one row per cycle. A stall longer than kMaxCatchUpRows cycles
    // (the machine suspended) writes that many and then rejoins the grid.
    const int step = cycle();
    int due = state_.gNextLogTime;
    for (int rows = 0; rows < kMaxCatchUpRows && isDue(now, due); ++rows) {
        const QTime rowTime = due == now ? services_.clock.now().time() : QTime(0, 0).addSecs(due);
        due = (due + step) % kSecondsPerDay;
        state_.gNextLogTime = due;
        reportWrite(file_.append(csvRowBytes(rowTime, state_.gChannel, state_.gPvValue, columns())));
    }
    if (isDue(now, state_.gNextLogTime))
        state_.gNextLogTime = nextDueTime(now, state_.gNextLogTime, step);
}

void LogController::reportWrite(bool written)
{
    if (written) {
        failureShown_ = false;
        return;
    }
    // The box is modal and the timer keeps running behind it: never a
    // second box, and none again until a row has got through.
    if (failureShown_ || messageOpen_)
        return;
    failureShown_ = true;
    messageOpen_ = true;
    services_.messages.information(kLogWriteFailedMessage);
    messageOpen_ = false;
}

QString LogController::unwrittenRowsNote()
{
    if (file_.flush())
        return {};
    return QStringLiteral("%1 rows of the log could not be written to %2 yet and will be lost.")
        .arg(file_.unwrittenRows())
        .arg(QDir::toNativeSeparators(file_.path()));
}

}  // namespace rdxmon
