#include "status/StatusLine.h"

#include "startup/ProgramFolder.h"

#include <QFileInfo>
#include <QFontMetrics>
#include <QHeaderView>
#include <QLabel>
#include <QShortcut>
#include <QTableWidget>
#include <QToolButton>
#include <QVBoxLayout>

namespace rdxmon {

namespace {

constexpr int kRefreshMs = 1000;

QLabel* addLabel(QStatusBar* bar, int stretch)
{
    auto* label = new QLabel(bar);
    label->setTextFormat(Qt::PlainText);
    bar->addWidget(label, stretch);
    return label;
}

void setCell(QTableWidget* table, int row, int column, const QString& text)
{
    QTableWidgetItem* item = table->item(row, column);
    if (!item) {
        item = new QTableWidgetItem;
        item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
        if (column != 2)
            item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
        table->setItem(row, column, item);
    }
    if (item->text() != text)
        item->setText(text);
}

}  // namespace

QString answeringText(const LineStatus& status)
{
    if (status.lineIsLost())
        return QStringLiteral("Line lost");
    QString text = QStringLiteral("%1 of %2 answering").arg(status.answering()).arg(status.polled());
    if (const int garbled = status.garbled(); garbled > 0)
        text += QStringLiteral(", %1 garbled").arg(garbled);
    if (const int incomplete = status.incomplete(); incomplete > 0)
        text += QStringLiteral(", %1 incomplete").arg(incomplete);
    return text;
}

QString elideMiddlePart(const QFontMetrics& metrics, int width, const QString& prefix, const QString& middle,
                        const QString& suffix)
{
    const QString whole = prefix + middle + suffix;
    if (metrics.horizontalAdvance(whole) <= width)
        return whole;
    const QString ellipsis(QChar(0x2026));
    const int room = width - metrics.horizontalAdvance(prefix + suffix);
    if (!middle.isEmpty() && room >= metrics.horizontalAdvance(ellipsis))
        return prefix + metrics.elidedText(middle, Qt::ElideMiddle, room) + suffix;
    return metrics.elidedText(whole, Qt::ElideMiddle, width);
}

MiddleElidedLabel::MiddleElidedLabel(QWidget* parent) : QLabel(parent)
{
    setTextFormat(Qt::PlainText);
}

void MiddleElidedLabel::setParts(const QString& prefix, const QString& middle, const QString& suffix)
{
    if (prefix == prefix_ && middle == middle_ && suffix == suffix_)
        return;
    prefix_ = prefix;
    middle_ = middle;
    suffix_ = suffix;
    elide();
}

void MiddleElidedLabel::resizeEvent(QResizeEvent* event)
{
    QLabel::resizeEvent(event);
    elide();
}

void MiddleElidedLabel::elide()
{
    const QString text = elideMiddlePart(fontMetrics(), contentsRect().width(), prefix_, middle_, suffix_);
    if (text != this->text())
        setText(text);
}

QString cycleText(qint64 ms)
{
    if (ms <= 0)
        return QStringLiteral("Cycle -");
    return QStringLiteral("Cycle %1 s").arg(static_cast<double>(ms) / 1000.0, 0, 'f', 1);
}

RecorderStatusWindow::RecorderStatusWindow(const SharedState& state, const LineStatus& status, Clock& clock,
                                           QWidget* parent)
    : QWidget(parent, Qt::Window), state_(state), status_(status), clock_(clock)
{
    setWindowTitle(QStringLiteral("Recorders on the line"));
    table = new QTableWidget(status.polled(), 9, this);
    table->setHorizontalHeaderLabels({QStringLiteral("Recorder"), QStringLiteral("Address"), QStringLiteral("State"),
                                      QStringLiteral("Replies"), QStringLiteral("Time-outs"),
                                      QStringLiteral("Incomplete"), QStringLiteral("Garbled"),
                                      QStringLiteral("Answered"), QStringLiteral("Last reply")});
    table->horizontalHeaderItem(5)->setToolTip(
        QStringLiteral("Time-outs in mid-reply: characters came, but no whole reply in time (too slow, or cut short)"));
    table->horizontalHeaderItem(7)->setToolTip(
        QStringLiteral("Share of its last %1 polls answered").arg(LineStatus::kRecentPolls));
    table->verticalHeader()->hide();
    table->verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 6);
    table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table->setWordWrap(false);
    table->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    table->horizontalHeader()->setSectionResizeMode(2, QHeaderView::Stretch);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(4, 4, 4, 4);
    layout->addWidget(table);
    resize(720, std::min(60 + (fontMetrics().height() + 6) * (status.polled() + 1), 720));
    new QShortcut(QKeySequence(Qt::Key_Escape), this, this, &QWidget::close);
    timer_.setInterval(kRefreshMs);
    connect(&timer_, &QTimer::timeout, this, [this] {
        if (isVisible())
            refresh();
        else
            timer_.stop();
    });
}

void RecorderStatusWindow::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    refresh();
    timer_.start();
}

void RecorderStatusWindow::refresh()
{
    const QDateTime now = clock_.now();
    for (int slot = 0; slot < status_.polled(); ++slot) {
        const LineStatus::Recorder& r = status_.recorder(slot);
        setCell(table, slot, 0, QStringLiteral("%1").arg(slot + 1, 2, 10, QLatin1Char('0')));
        setCell(table, slot, 1, QString::number(state_.gDevAddr[static_cast<std::size_t>(slot)]));
        setCell(table, slot, 2, stateText(r));
        setCell(table, slot, 3, QString::number(r.replies));
        setCell(table, slot, 4, QString::number(r.timeOuts));
        setCell(table, slot, 5, QString::number(r.incomplete));
        setCell(table, slot, 6, QString::number(r.garbled));
        setCell(table, slot, 7, answeredText(r));
        setCell(table, slot, 8, ageText(status_.lastReplyAgeMs(slot, now)));
    }
}

StatusLine::StatusLine(const SharedState& state, const LineStatus& status, Clock& clock, QWidget* parent)
    : QStatusBar(parent), status_(status), recordersWindow_(new RecorderStatusWindow(state, status, clock, parent))
{
    setSizeGripEnabled(false);
    // Where the settings and logs are, over every part without a tooltip
    // of its own.
    setToolTip(filesFolderText(state.programFolder));
    lblDevice = addLabel(this, 0);
    // Written as a link, with the hand over it: it opens the table.
    cmdAnswering = new QToolButton(this);
    cmdAnswering->setAutoRaise(true);
    cmdAnswering->setCursor(Qt::PointingHandCursor);
    QFont link = cmdAnswering->font();
    link.setUnderline(true);
    cmdAnswering->setFont(link);
    QPalette linkPalette = cmdAnswering->palette();
    linkPalette.setColor(QPalette::ButtonText, linkPalette.color(QPalette::Link));
    cmdAnswering->setPalette(linkPalette);
    cmdAnswering->setToolTip(QStringLiteral("Click for each recorder's state, replies, time-outs and garbled replies"));
    addWidget(cmdAnswering, 0);
    connect(cmdAnswering, &QToolButton::clicked, this, &StatusLine::showRecorders);
    lblCycle = addLabel(this, 0);
    lblLogFile = new MiddleElidedLabel(this);
    addWidget(lblLogFile, 1);
    // A long log file name gives way, cut in its middle (its tooltip holds
    // the whole path); the broker state always has room for its longest word.
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

QString deviceText(const QString& port, const QString& device, bool opened, const QString& cause)
{
    QString text = device.isEmpty() ? port.trimmed() : QStringLiteral("%1 → %2").arg(port.trimmed(), device);
    if (!opened)
        text += cause.isEmpty() ? QStringLiteral(" (not open)") : QStringLiteral(" (not open: %1)").arg(cause);
    return text;
}

void StatusLine::setBrokerState(const QString& text, const QString& detail)
{
    lblBroker->setText(text.isEmpty() ? QString() : QStringLiteral("Broker: %1").arg(text));
    lblBroker->setToolTip(detail);
    lblBroker->setVisible(!text.isEmpty());
}

void StatusLine::refresh()
{
    if (device_)
        lblDevice->setText(device_());
    cmdAnswering->setText(answeringText(status_));
    lblCycle->setText(cycleText(status_.lastCycleMs()));
    const QString file = logFile_ ? logFile_() : QString();
    const LogWriteState log = logState_ && !file.isEmpty() ? logState_() : LogWriteState{};
    const std::array<QString, 3> parts = logFileParts(file, log);
    lblLogFile->setParts(parts[0], parts[1], parts[2]);
    lblLogFile->setToolTip(log.note.isEmpty() ? file : file + QLatin1Char('\n') + log.note);
}

QString logFileText(const QString& file, const LogWriteState& state)
{
    const std::array<QString, 3> parts = logFileParts(file, state);
    return parts[0] + parts[1] + parts[2];
}

std::array<QString, 3> logFileParts(const QString& file, const LogWriteState& state)
{
    if (file.isEmpty())
        return {QStringLiteral("Not logging"), {}, {}};
    QString after;
    if (state.waiting > 0)
        after = (state.waiting == 1 ? QStringLiteral(": 1 row waits to be written (%2)")
                                    : QStringLiteral(": %1 rows wait to be written (%2)").arg(state.waiting))
                    .arg(state.reason);
    else if (!state.event.isEmpty())
        after = QStringLiteral(": ") + state.event;
    return {QStringLiteral("Logging to "), QFileInfo(file).fileName(), after};
}

void StatusLine::showRecorders()
{
    recordersWindow_->show();
    recordersWindow_->raise();
    recordersWindow_->activateWindow();
}

}  // namespace rdxmon
