#include "status/StatusLine.h"

#include <QFileInfo>
#include <QHeaderView>
#include <QLabel>
#include <QShortcut>
#include <QTableWidget>
#include <QToolButton>
#include <QVBoxLayout>

namespace rdxmon {

namespace {

constexpr int kRefreshMs = 1000;

QLabel* addLabel(QStatusBar* bar, int stretch) {
    auto* label = new QLabel(bar);
    label->setTextFormat(Qt::PlainText);
    bar->addWidget(label, stretch);
    return label;
}

void setCell(QTableWidget* table, int row, int column, const QString& text) {
    QTableWidgetItem* item = table->item(row, column);
    if (!item) {
        item = new QTableWidgetItem;
        item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
        if (column != 2) item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
        table->setItem(row, column, item);
    }
    if (item->text() != text) item->setText(text);
}

}  // namespace

QString answeringText(const LineStatus& status) {
    if (status.lineIsLost()) return QStringLiteral("Line lost");
    QString text = QStringLiteral("%1 of %2 answering").arg(status.answering()).arg(status.polled());
    if (const int garbled = status.garbled(); garbled > 0) text += QStringLiteral(", %1 garbled").arg(garbled);
    return text;
}

QString cycleText(qint64 ms) {
    if (ms <= 0) return QStringLiteral("Cycle -");
    return QStringLiteral("Cycle %1 s").arg(static_cast<double>(ms) / 1000.0, 0, 'f', 1);
}

RecorderStatusWindow::RecorderStatusWindow(const SharedState& state, const LineStatus& status, Clock& clock,
                                           QWidget* parent)
    : QWidget(parent, Qt::Window), state_(state), status_(status), clock_(clock) {
    setWindowTitle(QStringLiteral("Recorders on the line"));
    table = new QTableWidget(status.polled(), 7, this);
    table->setHorizontalHeaderLabels({QStringLiteral("Recorder"), QStringLiteral("Address"), QStringLiteral("State"),
                                      QStringLiteral("Replies"), QStringLiteral("Time-outs"),
                                      QStringLiteral("Garbled"), QStringLiteral("Last reply")});
    table->verticalHeader()->hide();
    table->verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 6);
    table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table->setWordWrap(false);
    table->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    table->horizontalHeader()->setSectionResizeMode(2, QHeaderView::Stretch);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(4, 4, 4, 4);
    layout->addWidget(table);
    resize(580, std::min(60 + (fontMetrics().height() + 6) * (status.polled() + 1), 720));
    new QShortcut(QKeySequence(Qt::Key_Escape), this, this, &QWidget::close);
    timer_.setInterval(kRefreshMs);
    connect(&timer_, &QTimer::timeout, this, [this] {
        if (isVisible()) refresh(); else timer_.stop();
    });
}

void RecorderStatusWindow::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    refresh();
    timer_.start();
}

void RecorderStatusWindow::refresh() {
    const QDateTime now = clock_.now();
    for (int slot = 0; slot < status_.polled(); ++slot) {
        const LineStatus::Recorder& r = status_.recorder(slot);
        setCell(table, slot, 0, QStringLiteral("%1").arg(slot + 1, 2, 10, QLatin1Char('0')));
        setCell(table, slot, 1, QString::number(state_.gDevAddr[static_cast<std::size_t>(slot)]));
        setCell(table, slot, 2, stateText(r));
        setCell(table, slot, 3, QString::number(r.replies));
        setCell(table, slot, 4, QString::number(r.timeOuts));
        setCell(table, slot, 5, QString::number(r.garbled));
        setCell(table, slot, 6, ageText(status_.lastReplyAgeMs(slot, now)));
    }
}

StatusLine::StatusLine(const SharedState& state, const LineStatus& status, Clock& clock, QWidget* parent)
    : QStatusBar(parent), status_(status),
      recordersWindow_(new RecorderStatusWindow(state, status, clock, parent)) {
    setSizeGripEnabled(false);
    lblDevice = addLabel(this, 0);
    cmdAnswering = new QToolButton(this);
    cmdAnswering->setAutoRaise(true);
    cmdAnswering->setToolTip(QStringLiteral("Each recorder's state, replies, time-outs and garbled replies"));
    addWidget(cmdAnswering, 0);
    connect(cmdAnswering, &QToolButton::clicked, this, &StatusLine::showRecorders);
    lblCycle = addLabel(this, 0);
    lblLogFile = addLabel(this, 1);
    // A long log file name gives way (its tooltip holds the whole name); the
    // broker state always has room for its longest word.
    lblLogFile->setMinimumWidth(1);
    lblLogFile->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    lblBroker = new QLabel(this);
    lblBroker->setMinimumWidth(lblBroker->fontMetrics().horizontalAdvance(QStringLiteral("Broker: connecting")) + 8);
    addPermanentWidget(lblBroker);
    lblBroker->hide();
    timer_.setInterval(kRefreshMs);
    connect(&timer_, &QTimer::timeout, this, &StatusLine::refresh);
    timer_.start();
    refresh();
}

QString deviceText(const QString& port, const QString& device, bool opened, const QString& cause) {
    QString text = device.isEmpty() ? port.trimmed() : QStringLiteral("%1 → %2").arg(port.trimmed(), device);
    if (!opened) text += cause.isEmpty() ? QStringLiteral(" (not open)") : QStringLiteral(" (not open: %1)").arg(cause);
    return text;
}

void StatusLine::setBrokerState(const QString& text, const QString& detail) {
    lblBroker->setText(text.isEmpty() ? QString() : QStringLiteral("Broker: %1").arg(text));
    lblBroker->setToolTip(detail);
    lblBroker->setVisible(!text.isEmpty());
}

void StatusLine::refresh() {
    if (device_) lblDevice->setText(device_());
    cmdAnswering->setText(answeringText(status_));
    lblCycle->setText(cycleText(status_.lastCycleMs()));
    const QString file = logFile_ ? logFile_() : QString();
    const LogWriteState log = logState_ && !file.isEmpty() ? logState_() : LogWriteState{};
    lblLogFile->setText(logFileText(file, log));
    lblLogFile->setToolTip(log.note.isEmpty() ? file : file + QLatin1Char('\n') + log.note);
}

QString logFileText(const QString& file, const LogWriteState& state) {
    if (file.isEmpty()) return QStringLiteral("Not logging");
    QString text = QStringLiteral("Logging to %1").arg(QFileInfo(file).fileName());
    if (state.waiting > 0)
        text += (state.waiting == 1 ? QStringLiteral(": 1 row waits to be written (%2)")
                                    : QStringLiteral(": %1 rows wait to be written (%2)").arg(state.waiting))
                    .arg(state.reason);
    else if (!state.event.isEmpty())
        text += QStringLiteral(": ") + state.event;
    return text;
}

void StatusLine::showRecorders() {
    recordersWindow_->show();
    recordersWindow_->raise();
    recordersWindow_->activateWindow();
}

}  // namespace rdxmon
