#include "logging/LoggingControls.h"

#include <cmath>

#include <QAction>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>

#include "logging/LogSchedule.h"
#include "startup/Lenient.h"
#include "startup/Pages.h"

namespace rdxmon {

namespace {

QString backgroundStyle(const QColor& colour)
{
    return QStringLiteral("background-color: rgb(%1, %2, %3);")
        .arg(colour.red())
        .arg(colour.green())
        .arg(colour.blue());
}

}  // namespace

LoggingControls::LoggingControls(const LoggingWidgets& widgets, SharedState& state, Services& services, NamesHost& host,
                                 std::function<bool()> saveNames, QObject* parent)
    : QObject(parent), w_(widgets), state_(state),
      controller_(std::make_unique<LogController>(state, services, *this, host, std::move(saveNames)))
{
    LogController* c = controller_.get();
    connect(w_.cmdRUN, &QPushButton::clicked, this, [c] { c->startLogging(); });
    connect(w_.cmdStop, &QPushButton::clicked, this, [c] { c->stopLogging(); });
    connect(w_.mnuLogName, &QAction::triggered, this, [c] { c->chooseLogFile(); });
    connect(w_.optName1, &QRadioButton::clicked, this, [c] { c->optName1Click(); });
    connect(w_.optName2, &QRadioButton::clicked, this, [c] { c->optName2Click(); });
    connect(w_.tmrLogitv, &QTimer::timeout, this, [c] { c->tick(); });
    for (int i = 0; i < static_cast<int>(w_.cmdMLog.size()); ++i) {
        if (w_.cmdMLog[i])
            connect(w_.cmdMLog[i], &QPushButton::clicked, this, [c, i] { c->toggleChannel(i); });
    }
    w_.tmrLogitv->setInterval(200);
    w_.lblMsg->setText(kLoggingStoppedMessage);
    w_.lblMsg->setStyleSheet(backgroundStyle(kStoppedColour));
}

void LoggingControls::restoreAndResume(const InitRecord& settings)
{
    // The number is kept within 1 to 60 before the unit applies, and the
    // label shows the number logging uses.
    w_.lblLogitv->setText(QString::number(cycleNumber(QString::number(settings.LogInterval))));
    (settings.LogUnit != 0 ? w_.optTime2 : w_.optTime1)->setChecked(true);
    if (settings.LogNameMode != 0) {
        w_.optName2->setChecked(true);
        controller_->optName2Click();
    } else {
        w_.optName1->setChecked(true);
        controller_->optName1Click();
    }
    controller_->resumeAtStartup();
}

void LoggingControls::storeForExit(InitRecord& settings)
{
    settings.LogUnit = w_.optTime1->isChecked() ? 0 : 1;
    settings.LogNameMode = w_.optName1->isChecked() ? 0 : 1;
    settings.LogActive = w_.tmrLogitv->isActive() ? 1 : 0;
    w_.tmrLogitv->stop();
    settings.LogInterval = static_cast<std::int32_t>(std::lround(lenientNumber(w_.lblLogitv->text())));
}

void LoggingControls::Logdisp(int page)
{
    const int base = pages::firstChannel(page);
    for (int b = 0; b < static_cast<int>(w_.cmdMLog.size()) && base + b < kChannelCount; ++b) {
        if (!w_.cmdMLog[b])
            continue;
        const bool selected = state_.gChannel[base + b].LogSel != 0;
        w_.cmdMLog[b]->setStyleSheet(selected ? backgroundStyle(kSelectedChannelColour) : QString());
    }
}

void LoggingControls::setRunEnabled(bool enabled)
{
    w_.cmdRUN->setEnabled(enabled);
}

void LoggingControls::setRunning(bool running)
{
    if (running)
        w_.tmrLogitv->start();
    else
        w_.tmrLogitv->stop();
    for (QWidget* control :
         {static_cast<QWidget*>(w_.updLogtitv), static_cast<QWidget*>(w_.cmdRUN), static_cast<QWidget*>(w_.optName1),
          static_cast<QWidget*>(w_.optName2), static_cast<QWidget*>(w_.optTime1), static_cast<QWidget*>(w_.optTime2)}) {
        control->setEnabled(!running);
    }
    w_.mnuLogName->setEnabled(!running);
    w_.lblMsg->setText(running ? kLoggingRunningMessage : kLoggingStoppedMessage);
    w_.lblMsg->setStyleSheet(backgroundStyle(running ? kLoggingColour : kStoppedColour));
    w_.lblMsg->setToolTip(QString());
}

void LoggingControls::showWriteState(const LogWriteState& state)
{
    if (state.waiting > 0) {
        w_.lblMsg->setText(QStringLiteral("Rows wait to be written: %1").arg(state.waiting));
        w_.lblMsg->setStyleSheet(backgroundStyle(kRowsWaitingColour));
    } else {
        w_.lblMsg->setText(
            state.resumedAt.isValid() ? kLoggingRunningMessage
                    + QStringLiteral(" Resumed %1").arg(state.resumedAt.toString(QStringLiteral("HH:mm:ss")))
                                      : kLoggingRunningMessage);
        w_.lblMsg->setStyleSheet(backgroundStyle(kLoggingColour));
    }
    w_.lblMsg->setToolTip(state.note);
}

QString LoggingControls::cycleCaption() const
{
    return w_.lblLogitv->text();
}

bool LoggingControls::minutesSelected() const
{
    return w_.optTime2->isChecked();
}

bool LoggingControls::defaultFileSelected() const
{
    return w_.optName2->isChecked();
}

}  // namespace rdxmon
