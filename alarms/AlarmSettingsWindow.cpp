#include "AlarmSettingsWindow.h"

#include <algorithm>
#include <charconv>
#include <cmath>

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QSpinBox>
#include <QVBoxLayout>

#include "AlarmEvent.h"
#include "names/ChannelNames.h"

namespace rdxalarm {

namespace {

constexpr AlarmLimit kLimits[kLimitCount]
    = {AlarmLimit::HighHigh, AlarmLimit::High, AlarmLimit::Low, AlarmLimit::LowLow};

QString numberText(double value)
{
    char text[32];
    const auto end = std::to_chars(text, text + sizeof text, value).ptr;
    return QString::fromLatin1(text, end - text);
}

}  // namespace

AlarmSettingsWindow::AlarmSettingsWindow(const rdxmon::SharedState& state, const AlarmSettings& settings,
                                         rdxmon::MessageBoxes& messages, Store store, QWidget* parent)
    : QDialog(parent), state_(state), messages_(messages), store_(std::move(store)), edited_(settings)
{
    setWindowTitle(QStringLiteral("Alarm limits"));
    channels = new QListWidget(this);
    const int count = std::clamp(state_.gRecTotal, 1, rdxmon::kSlotCount) * rdxmon::kChannelsPerSlot;
    for (int k = 0; k < count; ++k) {
        channels->addItem(QString());
        labelChannel(k);
    }
    channels->setMinimumWidth(220);

    auto* grid = new QGridLayout;
    grid->addWidget(new QLabel(QStringLiteral("Limit"), this), 0, 0);
    grid->addWidget(new QLabel(QStringLiteral("Set point"), this), 0, 1);
    grid->addWidget(new QLabel(QStringLiteral("Deadband"), this), 0, 2);
    grid->addWidget(new QLabel(QStringLiteral("On-delay"), this), 0, 3);
    for (int l = 0; l < kLimitCount; ++l) {
        LimitRow& r = rows[l];
        r.on = new QCheckBox(limitCaption(kLimits[l]), this);
        r.setPoint = new QLineEdit(this);
        r.deadband = new QLineEdit(this);
        r.delay = new QSpinBox(this);
        r.delay->setRange(0, kMaxDelaySeconds);
        r.delay->setSuffix(QStringLiteral(" s"));
        grid->addWidget(r.on, l + 1, 0);
        grid->addWidget(r.setPoint, l + 1, 1);
        grid->addWidget(r.deadband, l + 1, 2);
        grid->addWidget(r.delay, l + 1, 3);
        const auto enable = [r](bool on) {
            r.setPoint->setEnabled(on);
            r.deadband->setEnabled(on);
            r.delay->setEnabled(on);
        };
        connect(r.on, &QCheckBox::toggled, this, enable);
    }
    auto* units = new QLabel(
        QStringLiteral(
            "Set point and deadband in the channel's own unit, as the recorder shows its value; the on-delay in "
            "seconds. An alarm is raised once the value has stayed above a high limit (below a low one) for the "
            "on-delay, and returns once it is back inside by the deadband."),
        this);
    units->setWordWrap(true);

    timeout = new QSpinBox(this);
    timeout->setRange(0, kMaxCommunicationTimeout);
    timeout->setSuffix(QStringLiteral(" s"));
    timeout->setSpecialValueText(QStringLiteral("off"));
    timeout->setValue(edited_.communicationTimeout);
    auto* timeoutRow = new QHBoxLayout;
    timeoutRow->addWidget(new QLabel(QStringLiteral("Communication alarm of a recorder without a reading for"), this));
    timeoutRow->addWidget(timeout);
    timeoutRow->addStretch(1);

    auto* form = new QVBoxLayout;
    form->addLayout(grid);
    form->addWidget(units);
    form->addStretch(1);
    auto* top = new QHBoxLayout;
    top->addWidget(channels);
    top->addLayout(form, 1);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &AlarmSettingsWindow::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top, 1);
    layout->addLayout(timeoutRow);
    layout->addWidget(buttons);
    resize(760, 380);

    connect(channels, &QListWidget::currentRowChanged, this, [this](int row) {
        if (row == picked_ || row < 0)
            return;
        if (!takeForm()) {
            const QSignalBlocker block(channels);
            channels->setCurrentRow(picked_);
            return;
        }
        picked_ = row;
        showForm();
    });
    channels->setCurrentRow(0);
    showForm();
}

void AlarmSettingsWindow::labelChannel(int k)
{
    // A dot marks the channels that have a limit.
    const QString name = rdxmon::plainName(state_.gChannel[k].Name).trimmed();
    channels->item(k)->setText(
        QStringLiteral("%1 %2  %3")
            .arg(edited_.anyOn(k) ? QStringLiteral("●") : QStringLiteral("  "), rdxmon::channelLabel(k), name));
}

void AlarmSettingsWindow::showForm()
{
    for (int l = 0; l < kLimitCount; ++l) {
        const LimitSetting& s = edited_.limits[picked_][l];
        rows[l].setPoint->setText(s.on ? numberText(s.setPoint) : QString());
        rows[l].deadband->setText(s.on ? numberText(s.deadband) : QString());
        rows[l].delay->setValue(s.on ? s.delaySeconds : 0);
        rows[l].on->setChecked(s.on);
        Q_EMIT rows[l].on->toggled(s.on);
    }
}

bool AlarmSettingsWindow::takeForm()
{
    std::array<LimitSetting, kLimitCount> taken{};
    for (int l = 0; l < kLimitCount; ++l) {
        LimitSetting& s = taken[l];
        s.on = rows[l].on->isChecked();
        if (!s.on)
            continue;
        bool ok = false;
        const QString where = QStringLiteral("%1 %2").arg(rdxmon::channelLabel(picked_), limitCaption(kLimits[l]));
        s.setPoint = rows[l].setPoint->text().trimmed().toDouble(&ok);
        if (!ok || !std::isfinite(s.setPoint)) {
            messages_.information(
                QStringLiteral("%1: the set point \"%2\" is not a number.").arg(where, rows[l].setPoint->text()));
            rows[l].setPoint->setFocus();
            return false;
        }
        const QString band = rows[l].deadband->text().trimmed();
        s.deadband = band.isEmpty() ? 0.0 : band.toDouble(&ok);
        if (!band.isEmpty() && (!ok || !std::isfinite(s.deadband) || s.deadband < 0)) {
            messages_.information(
                QStringLiteral("%1: the deadband \"%2\" is not a number of 0 or more.").arg(where, band));
            rows[l].deadband->setFocus();
            return false;
        }
        s.delaySeconds = rows[l].delay->value();
    }
    edited_.limits[picked_] = taken;
    labelChannel(picked_);
    return true;
}

bool AlarmSettingsWindow::collect(AlarmSettings* out)
{
    if (!takeForm())
        return false;
    edited_.communicationTimeout = timeout->value();
    *out = edited_;
    return true;
}

void AlarmSettingsWindow::pick(int channel)
{
    channels->setCurrentRow(channel);
}

void AlarmSettingsWindow::accept()
{
    AlarmSettings settings;
    if (!collect(&settings))
        return;
    if (store_ && !store_(settings))
        return;
    QDialog::accept();
}

}  // namespace rdxalarm
