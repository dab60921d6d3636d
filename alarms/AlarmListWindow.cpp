#include "AlarmListWindow.h"

#include <algorithm>

#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QShortcut>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "startup/Services.h"

namespace rdxalarm {

QColor stateColour(AlarmState state)
{
    switch (state) {
    case AlarmState::ActiveUnacknowledged:
        return QColor(255, 120, 120);
    case AlarmState::ActiveAcknowledged:
        return QColor(255, 200, 110);
    case AlarmState::ReturnedUnacknowledged:
        return QColor(255, 240, 150);
    case AlarmState::Normal:
        break;
    }
    return QColor(Qt::white);
}

AlarmListWindow::AlarmListWindow(AlarmEngine& engine, QString user, QWidget* parent)
    : QWidget(parent, Qt::Window), engine_(engine), user_(std::move(user))
{
    setWindowTitle(QStringLiteral("Alarm list - %1").arg(rdxmon::kProgramTitle));
    list = new QTreeWidget(this);
    list->setRootIsDecorated(false);
    list->setSelectionMode(QAbstractItemView::ExtendedSelection);
    list->setHeaderLabels({QStringLiteral("Time"), QStringLiteral("Channel"), QStringLiteral("Name"),
                           QStringLiteral("Limit"), QStringLiteral("Value"), QStringLiteral("State")});
    cmdAck = new QPushButton(QStringLiteral("&Acknowledge"), this);
    cmdAckAll = new QPushButton(QStringLiteral("Acknowledge a&ll"), this);
    auto* close = new QPushButton(QStringLiteral("Close"), this);
    lblCount = new QLabel(this);
    lblNote = new QLabel(this);
    lblNote->setWordWrap(true);
    QPalette notePalette = lblNote->palette();
    notePalette.setColor(QPalette::WindowText, Qt::red);
    lblNote->setPalette(notePalette);
    lblNote->hide();

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(lblCount, 1);
    buttons->addWidget(cmdAck);
    buttons->addWidget(cmdAckAll);
    buttons->addWidget(close);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(list, 1);
    layout->addWidget(lblNote);
    layout->addLayout(buttons);
    resize(760, 360);

    connect(cmdAck, &QPushButton::clicked, this, &AlarmListWindow::acknowledgeSelected);
    connect(list, &QTreeWidget::itemActivated, this, &AlarmListWindow::acknowledgeSelected);
    connect(cmdAckAll, &QPushButton::clicked, this, [this] { engine_.acknowledgeAll(user_); });
    connect(close, &QPushButton::clicked, this, &QWidget::close);
    new QShortcut(QKeySequence(Qt::Key_Escape), this, this, &QWidget::close);
    refresh();
}

void AlarmListWindow::open()
{
    refresh();
    show();
    raise();
    activateWindow();
}

void AlarmListWindow::refresh()
{
    std::vector<AlarmId> selected;
    for (int i = 0; i < list->topLevelItemCount(); ++i)
        if (list->topLevelItem(i)->isSelected() && i < static_cast<int>(rows_.size()))
            selected.push_back(rows_[i]);
    list->clear();
    rows_.clear();
    int unacknowledged = 0;
    const std::vector<AlarmEngine::Entry> entries = engine_.present();
    for (const AlarmEngine::Entry& e : entries) {
        auto* item
            = new QTreeWidgetItem(list,
                                  {e.raised.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")), alarmLabel(e.id),
                                   engine_.nameOf(e.id), limitTextOf(e.id), valueText(e.value), stateText(e.state)});
        item->setTextAlignment(4, Qt::AlignRight | Qt::AlignVCenter);
        for (int c = 0; c < list->columnCount(); ++c)
            item->setBackground(c, stateColour(e.state));
        rows_.push_back(e.id);
        item->setSelected(std::find(selected.begin(), selected.end(), e.id) != selected.end());
        unacknowledged += isUnacknowledged(e.state) ? 1 : 0;
    }
    for (int c = 0; c < list->columnCount(); ++c)
        list->resizeColumnToContents(c);
    lblCount->setText(entries.empty()
                          ? QStringLiteral("No alarms.")
                          : QStringLiteral("%1 alarms, %2 not acknowledged.").arg(entries.size()).arg(unacknowledged));
    cmdAck->setEnabled(unacknowledged > 0);
    cmdAckAll->setEnabled(unacknowledged > 0);
}

void AlarmListWindow::setNote(const QString& note)
{
    lblNote->setText(note);
    lblNote->setVisible(!note.isEmpty());
}

void AlarmListWindow::acknowledgeSelected()
{
    std::vector<AlarmId> chosen;
    for (int i = 0; i < list->topLevelItemCount() && i < static_cast<int>(rows_.size()); ++i)
        if (list->topLevelItem(i)->isSelected())
            chosen.push_back(rows_[i]);
    for (const AlarmId& id : chosen)
        engine_.acknowledge(id, user_);
}

}  // namespace rdxalarm
