#include "AlarmView.h"

#include <QAction>
#include <QMenu>
#include <QTimer>

#include "AlarmSettingsWindow.h"

namespace rdxalarm {

namespace {

constexpr int kJournalRetryMs = 5000;

// How pressing an alarm is: its state first, then the outer limits.
int rank(AlarmState state)
{
    switch (state) {
    case AlarmState::ActiveUnacknowledged:
        return 3;
    case AlarmState::ActiveAcknowledged:
        return 2;
    case AlarmState::ReturnedUnacknowledged:
        return 1;
    case AlarmState::Normal:
        break;
    }
    return 0;
}

QString symbolOf(AlarmLimit limit, AlarmState state)
{
    const bool returned = state == AlarmState::ReturnedUnacknowledged;
    switch (limit) {
    case AlarmLimit::HighHigh:
        return returned ? QStringLiteral("△") : QStringLiteral("▲▲");
    case AlarmLimit::High:
        return returned ? QStringLiteral("△") : QStringLiteral("▲");
    case AlarmLimit::Low:
        return returned ? QStringLiteral("▽") : QStringLiteral("▼");
    case AlarmLimit::LowLow:
        break;
    }
    return returned ? QStringLiteral("▽") : QStringLiteral("▼▼");
}

QString capitalized(const QString& text)
{
    return text.left(1).toUpper() + text.mid(1);
}

}  // namespace

rdxmon::ValueMark channelMark(const AlarmStates& states, int channel)
{
    // The outer limits first: of two alarms in the same state the outer one shows.
    constexpr AlarmLimit kOrder[kLimitCount]
        = {AlarmLimit::HighHigh, AlarmLimit::LowLow, AlarmLimit::High, AlarmLimit::Low};
    rdxmon::ValueMark mark;
    QStringList tip;
    int best = 0;
    for (const AlarmLimit limit : kOrder) {
        const AlarmState s = states.limitState(channel, limit);
        if (s == AlarmState::Normal)
            continue;
        tip << QStringLiteral("%1 alarm: %2").arg(capitalized(limitText(limit)), stateText(s));
        if (rank(s) > best) {
            best = rank(s);
            mark.symbol = symbolOf(limit, s);
            mark.background = stateColour(s);
        }
    }
    const AlarmState comm = states.communicationState(channel / rdxmon::kChannelsPerSlot);
    if (comm != AlarmState::Normal) {
        tip << QStringLiteral("Communication alarm: %1").arg(stateText(comm));
        if (rank(comm) > best) {
            mark.symbol = QStringLiteral("!");
            mark.background = stateColour(comm);
        }
    }
    mark.toolTip = tip.join(u'\n');
    return mark;
}

AlarmView::AlarmView(rdxmon::MainDisp& window, QMenu* viewMenu, rdxmon::SharedState& state, AlarmEngine& engine,
                     AlarmJournal& journal, rdxmon::MessageBoxes& messages, bool backUpFirst)
    : QObject(&window), window_(window), state_(state), engine_(engine), journal_(journal), messages_(messages),
      backUpFirst_(backUpFirst)
{
    list_ = new AlarmListWindow(engine_, loginName(), &window);
    mnuAlarmSet = window.mnuOther->addAction(QStringLiteral("Alarm limits(&A)"));
    connect(mnuAlarmSet, &QAction::triggered, this, &AlarmView::editLimits);
    if (viewMenu) {
        mnuAlarmList = viewMenu->addAction(QStringLiteral("Alarm list(&A)"));
        mnuAlarmList->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_L));
        connect(mnuAlarmList, &QAction::triggered, list_, &AlarmListWindow::open);
    }
    // Told once when the journal stops taking lines (from the event loop,
    // not from within the poll that made the line); the list shows the
    // lines waiting while it lasts.
    journal_.problemChanged = [this](const QString& problem) {
        list_->setNote(problem);
        if (!problem.isEmpty())
            QTimer::singleShot(0, this, [this, problem] { messages_.information(problem); });
    };
    refresh_.setSingleShot(true);
    refresh_.setInterval(0);
    connect(&refresh_, &QTimer::timeout, list_, &AlarmListWindow::refresh);
    retry_.setInterval(kJournalRetryMs);
    connect(&retry_, &QTimer::timeout, this, [this] {
        if (journal_.waiting() > 0)
            journal_.flush();
        list_->setNote(journal_.problem());
    });
    retry_.start();
    engine_.addSink(this);
}

AlarmView::~AlarmView()
{
    engine_.removeSink(this);
    journal_.problemChanged = nullptr;
}

void AlarmView::alarmChanged(const AlarmEvent& event)
{
    if (event.id.communication)
        markSlot(event.id.index);
    else
        window_.setValueMark(event.id.index, channelMark(engine_, event.id.index));
    if (!journal_.problem().isEmpty())
        list_->setNote(journal_.problem());
    if (list_->isVisible())
        refresh_.start();
}

void AlarmView::markSlot(int slot)
{
    for (int c = 0; c < rdxmon::kChannelsPerSlot; ++c) {
        const int k = slot * rdxmon::kChannelsPerSlot + c;
        window_.setValueMark(k, channelMark(engine_, k));
    }
}

void AlarmView::editLimits()
{
    AlarmSettingsWindow dialog(
        state_, engine_.settings(), messages_, [this](const AlarmSettings& s) { return store(s); }, &window_);
    dialog.exec();
}

bool AlarmView::store(const AlarmSettings& settings)
{
    QString error;
    if (!saveAlarmSettings(state_.programFolder, settings, backUpFirst_, &error)) {
        messages_.information(error);
        return false;
    }
    backUpFirst_ = false;
    engine_.setSettings(settings);
    return true;
}

}  // namespace rdxalarm
