#include "trend/TrendWindow.h"

#include <algorithm>
#include <cmath>

#include <QCategoryAxis>
#include <QCheckBox>
#include <QCloseEvent>
#include <QFile>
#include <QGraphicsItem>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QSettings>
#include <QSplitter>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <QValueAxis>

#include "logging/CsvFormat.h"
#include "names/ChannelNames.h"
#include "trend/TrendCsv.h"

namespace rdxmon {

QColor channelColour(int channel)
{
    // Neighbouring channels get hues far apart; every other round of twelve
    // is darker.
    const double hue = std::fmod(channel * 0.618033988749895, 1.0);
    const double value = (channel / 12) % 2 == 0 ? 0.85 : 0.6;
    return QColor::fromHsvF(static_cast<float>(hue), 0.9f, static_cast<float>(value));
}

// Draws the curves inside the chart's plotting area, a break at each NaN,
// and the cursor line.
class TrendCurves : public QGraphicsItem {
public:
    explicit TrendCurves(TrendPlot& plot, QGraphicsItem* parent) : QGraphicsItem(parent), plot_(plot) {}
    QRectF boundingRect() const override { return plot_.chart()->plotArea(); }
    void areaChanged() { prepareGeometryChange(); }

    void paint(QPainter* painter, const QStyleOptionGraphicsItem*, QWidget*) override
    {
        const QRectF area = plot_.chart()->plotArea();
        painter->setClipRect(area);
        painter->setRenderHint(QPainter::Antialiasing, false);
        // One pixel wide: the raster engine draws it without stroking. The
        // line whose scale the axis shows is drawn wider, last, on top.
        const double sx = area.width() / static_cast<double>(plot_.to_ - plot_.from_);
        QPolygonF line;
        const int count = static_cast<int>(plot_.curves_.size());
        for (int n = 0; n < count; ++n) {
            const int index = plot_.axisCurve_ < 0 ? n : (plot_.axisCurve_ + 1 + n) % count;
            const TrendPlot::Curve& curve = plot_.curves_[static_cast<std::size_t>(index)];
            painter->setPen(QPen(curve.colour, index == plot_.axisCurve_ && count > 1 ? 2 : 1));
            const ValueScale& scale = curve.scale;
            line.clear();
            auto flush = [&] {
                if (line.size() == 1) {
                    painter->drawPoint(line.front());
                } else if (line.size() > 1) {
                    painter->drawPolyline(line);
                }
                line.clear();
            };
            for (const TrendPoint& p : curve.points) {
                if (p.isBreak()) {
                    flush();
                    continue;
                }
                line << QPointF(area.left() + static_cast<double>(p.ms - plot_.from_) * sx,
                                area.bottom() - scale.fraction(static_cast<double>(p.value)) * area.height());
            }
            flush();
        }
        if (plot_.cursorMs_ >= 0) {
            const double x = plot_.xFor(plot_.cursorMs_);
            painter->setPen(QPen(Qt::darkGray, 1, Qt::DashLine));
            painter->drawLine(QPointF(x, area.top()), QPointF(x, area.bottom()));
        }
    }

private:
    TrendPlot& plot_;
};

TrendPlot::TrendPlot(QWidget* parent) : QChartView(parent)
{
    auto* chart = new QChart;
    chart->legend()->hide();
    chart->setMargins(QMargins(4, 4, 4, 4));
    // The time axis is labelled at round times of its own choosing; its grid
    // lines fall on them.
    axisX_ = new QCategoryAxis;
    axisX_->setLabelsPosition(QCategoryAxis::AxisLabelsPositionOnValue);
    axisY_ = new QValueAxis;
    axisY_->setTickCount(kScaleDivisions + 1);
    QFont title = axisY_->titleFont();
    title.setBold(true);
    axisY_->setTitleFont(title);
    chart->addAxis(axisX_, Qt::AlignBottom);
    chart->addAxis(axisY_, Qt::AlignLeft);
    setChart(chart);
    setRenderHint(QPainter::Antialiasing, false);
    setRubberBand(QChartView::NoRubberBand);
    setMouseTracking(true);
    item_ = new TrendCurves(*this, chart);
    item_->setZValue(10);
    connect(chart, &QChart::plotAreaChanged, this, [this] { item_->areaChanged(); });
}

int TrendPlot::columns() const
{
    return std::max(1, static_cast<int>(chart()->plotArea().width()));
}

double TrendPlot::xFor(qint64 ms) const
{
    const QRectF a = chart()->plotArea();
    return a.left()
        + static_cast<double>(ms - from_) * a.width() / static_cast<double>(std::max<qint64>(1, to_ - from_));
}

qint64 TrendPlot::msAt(double x) const
{
    const QRectF a = chart()->plotArea();
    return from_ + static_cast<qint64>((x - a.left()) / std::max(1.0, a.width()) * static_cast<double>(to_ - from_));
}

void TrendPlot::setCurves(std::vector<Curve> curves, qint64 from, qint64 to, int axisCurve, const QString& axisTitle)
{
    curves_ = std::move(curves);
    from_ = from;
    to_ = std::max(to, from + 1);
    axisCurve_ = axisCurve >= 0 && axisCurve < static_cast<int>(curves_.size()) ? axisCurve : -1;
    axisScale_ = axisCurve_ >= 0 ? curves_[static_cast<std::size_t>(axisCurve_)].scale : ValueScale{};
    const QColor colour = axisCurve_ >= 0 ? curves_[static_cast<std::size_t>(axisCurve_)].colour.darker(120)
                                          : palette().color(QPalette::WindowText);
    axisY_->setRange(axisScale_.lo, axisScale_.hi);
    axisY_->setLabelFormat(QStringLiteral("%.%1f").arg(axisScale_.decimals));
    axisY_->setLabelsColor(colour);
    axisY_->setTitleBrush(colour);
    if (axisY_->titleText() != axisTitle)
        axisY_->setTitleText(axisTitle);
    labelTime();
    item_->update();
}

void TrendPlot::labelTime()
{
    // A label needs its own width and as much again between labels.
    const int labelWidth = fontMetrics().horizontalAdvance(QStringLiteral("00:00:00")) * 2;
    const TimeTicks ticks = timeTicks(from_, to_, std::max(1, (viewport()->width() - 80) / labelWidth));
    if (ticks.at != ticks_.at || ticks.format != ticks_.format) {
        for (const QString& label : axisX_->categoriesLabels())
            axisX_->remove(label);
        for (qint64 t : ticks.at)
            axisX_->append(QDateTime::fromMSecsSinceEpoch(t).toString(ticks.format), static_cast<qreal>(t));
        ticks_ = ticks;
    }
    axisX_->setStartValue(static_cast<qreal>(from_));
    axisX_->setRange(static_cast<qreal>(from_), static_cast<qreal>(to_));
}

void TrendPlot::resizeEvent(QResizeEvent* event)
{
    QChartView::resizeEvent(event);
    labelTime();
}

void TrendPlot::mousePressEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton) {
        dragging_ = true;
        dragX_ = event->position().x();
        setCursor(Qt::ClosedHandCursor);
    }
}

void TrendPlot::mouseMoveEvent(QMouseEvent* event)
{
    const QPointF at = chart()->mapFromScene(mapToScene(event->position().toPoint()));
    if (dragging_) {
        const double dx = event->position().x() - dragX_;
        dragX_ = event->position().x();
        const double width = std::max(1.0, chart()->plotArea().width());
        if (dx != 0)
            Q_EMIT panned(static_cast<qint64>(-dx / width * static_cast<double>(to_ - from_)));
    }
    cursorMs_ = chart()->plotArea().contains(at) ? msAt(at.x()) : -1;
    item_->update();
    Q_EMIT cursorMoved(cursorMs_);
}

void TrendPlot::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton) {
        dragging_ = false;
        unsetCursor();
    }
}

void TrendPlot::mouseDoubleClickEvent(QMouseEvent*)
{
    Q_EMIT backToLive();
}

void TrendPlot::wheelEvent(QWheelEvent* event)
{
    const QPointF at = chart()->mapFromScene(mapToScene(event->position().toPoint()));
    const double steps = event->angleDelta().y() / 120.0;
    if (steps == 0)
        return;
    Q_EMIT zoomed(std::pow(0.8, steps), msAt(at.x()));
    event->accept();
}

void TrendPlot::leaveEvent(QEvent* event)
{
    QChartView::leaveEvent(event);
    cursorMs_ = -1;
    item_->update();
    Q_EMIT cursorMoved(-1);
}

TrendWindow::TrendWindow(const SharedState& state, const TrendHistory& history, NamesHost& host, Services& services,
                         QWidget* parent)
    : QWidget(parent, Qt::Window), state_(state), history_(history), host_(host), clock_(services.clock),
      services_(services)
{
    setWindowTitle(QStringLiteral("Trend"));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(4, 4, 4, 4);

    auto* bar = new QHBoxLayout;
    const QString captions[3] = {QStringLiteral("10 min"), QStringLiteral("1 h"), QStringLiteral("8 h")};
    for (int i = 0; i < 3; ++i) {
        auto* button = new QPushButton(captions[i], this);
        connect(button, &QPushButton::clicked, this, [this, i] { showRange(kRanges[i]); });
        bar->addWidget(button);
    }
    cmdLive = new QPushButton(QStringLiteral("Live"), this);
    cmdLive->setCheckable(true);
    cmdLive->setChecked(true);
    connect(cmdLive, &QPushButton::clicked, this, [this] { goLive(); });
    bar->addWidget(cmdLive);
    lblCursor = new QLabel(this);
    bar->addWidget(lblCursor, 1);
    chkOneScale = new QCheckBox(QStringLiteral("One scale for all"), this);
    chkOneScale->setToolTip(QStringLiteral("Unticked, every line has a scale of its own; the value axis shows the "
                                           "scale of the channel chosen in the list"));
    connect(chkOneScale, &QCheckBox::toggled, this, [this] {
        refresh();
        store();
    });
    bar->addWidget(chkOneScale);
    cmdSavePng = new QPushButton(QStringLiteral("Save PNG..."), this);
    connect(cmdSavePng, &QPushButton::clicked, this, [this] { chooseAndSavePng(); });
    bar->addWidget(cmdSavePng);
    cmdSaveCsv = new QPushButton(QStringLiteral("Save CSV..."), this);
    connect(cmdSaveCsv, &QPushButton::clicked, this, [this] { chooseAndSaveCsv(); });
    bar->addWidget(cmdSaveCsv);
    layout->addLayout(bar);

    auto* split = new QSplitter(this);
    auto* side = new QWidget(split);
    auto* sideLayout = new QVBoxLayout(side);
    sideLayout->setContentsMargins(0, 0, 0, 0);
    auto* picks = new QHBoxLayout;
    cmdAll = new QPushButton(QStringLiteral("All"), side);
    cmdNone = new QPushButton(QStringLiteral("None"), side);
    connect(cmdAll, &QPushButton::clicked, this, [this] { pickAll(true); });
    connect(cmdNone, &QPushButton::clicked, this, [this] { pickAll(false); });
    picks->addWidget(cmdAll);
    picks->addWidget(cmdNone);
    picks->addStretch(1);
    sideLayout->addLayout(picks);
    channelList = new QTreeWidget(side);
    channelList->setColumnCount(4);
    channelList->setHeaderLabels(
        {QStringLiteral("Channel"), QStringLiteral("Name"), QStringLiteral("Scale"), QStringLiteral("At cursor")});
    channelList->setRootIsDecorated(false);
    channelList->setUniformRowHeights(true);
    sideLayout->addWidget(channelList);
    plot = new TrendPlot(split);
    split->addWidget(side);
    split->addWidget(plot);
    split->setStretchFactor(1, 1);
    split->setSizes({440, 720});
    layout->addWidget(split, 1);
    buildChannelList();

    connect(plot, &TrendPlot::panned, this, [this](qint64 delta) {
        live_ = false;
        cmdLive->setChecked(false);
        endMs_ += delta;
        refresh();
    });
    connect(plot, &TrendPlot::zoomed, this, [this](double factor, qint64 around) {
        const qint64 span = std::clamp<qint64>(static_cast<qint64>(static_cast<double>(spanMs_) * factor), 10'000,
                                               TrendHistory::kSpanMs);
        // The time under the pointer stays where it is; following the
        // present goes on (zooming around its right edge).
        if (!live_) {
            const double share = static_cast<double>(endMs_ - around) / static_cast<double>(spanMs_);
            endMs_ = around + static_cast<qint64>(share * static_cast<double>(span));
        }
        spanMs_ = span;
        refresh();
    });
    connect(plot, &TrendPlot::backToLive, this, &TrendWindow::goLive);
    connect(plot, &TrendPlot::cursorMoved, this, [this] { showCursorValues(); });
    connect(channelList, &QTreeWidget::itemChanged, this, [this](QTreeWidgetItem*, int column) {
        if (column == 0) {
            refresh();
            store();
        }
    });
    // The value axis shows the scale of the channel chosen in the list.
    connect(channelList, &QTreeWidget::currentItemChanged, this, [this](QTreeWidgetItem* item) {
        if (item)
            axisChannel_ = item->data(0, Qt::UserRole).toInt();
        refresh();
    });
    timer_.setInterval(1000);
    connect(&timer_, &QTimer::timeout, this, &TrendWindow::refresh);
    resize(1180, 640);
}

TrendWindow::~TrendWindow() = default;

QString TrendWindow::iniPath() const
{
    return state_.programFolder + QLatin1Char('/') + kViewSettingsFile;
}

void TrendWindow::buildChannelList()
{
    const int channels = state_.gRecTotal * kChannelsPerSlot;
    const QSignalBlocker block(channelList);
    for (int k = 0; k < channels; ++k) {
        auto* item = new QTreeWidgetItem(channelList);
        item->setText(0, channelLabel(k));
        item->setData(0, Qt::UserRole, k);
        item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable);
        item->setCheckState(0, Qt::Unchecked);
        QPixmap swatch(12, 12);
        swatch.fill(channelColour(k));
        item->setIcon(0, QIcon(swatch));
        item->setTextAlignment(2, Qt::AlignRight | Qt::AlignVCenter);
        item->setTextAlignment(3, Qt::AlignRight | Qt::AlignVCenter);
    }
    updateNames();
    channelList->resizeColumnToContents(0);
    channelList->resizeColumnToContents(1);
    const QFontMetrics metrics = channelList->fontMetrics();
    channelList->setColumnWidth(2, metrics.horizontalAdvance(QStringLiteral("-0.000 to -0.000")) + 12);
    channelList->setColumnWidth(3, metrics.horizontalAdvance(QStringLiteral("-0.000000")) + 12);
}

void TrendWindow::updateNames()
{
    // Renames in the channel name window, and channels selected or
    // unselected there, show at the next refresh.
    const QSignalBlocker block(channelList);
    for (int i = 0; i < channelList->topLevelItemCount(); ++i) {
        QTreeWidgetItem* item = channelList->topLevelItem(i);
        const QString name = state_.gChannel[static_cast<std::size_t>(i)].Name.trimmed();
        if (item->text(1) != name)
            item->setText(1, name);
        const bool shown = channelShown(state_, i);
        if (item->isHidden() == shown)
            item->setHidden(!shown);
    }
}

std::vector<int> TrendWindow::picked() const
{
    std::vector<int> channels;
    for (int i = 0; i < channelList->topLevelItemCount(); ++i) {
        const QTreeWidgetItem* item = channelList->topLevelItem(i);
        if (!item->isHidden() && item->checkState(0) == Qt::Checked)
            channels.push_back(i);
    }
    return channels;
}

std::vector<int> TrendWindow::offered() const
{
    std::vector<int> channels;
    for (int i = 0; i < channelList->topLevelItemCount(); ++i) {
        if (!channelList->topLevelItem(i)->isHidden())
            channels.push_back(i);
    }
    return channels;
}

void TrendWindow::pickAll(bool on)
{
    setPicked(on ? offered() : std::vector<int>{});
    store();
}

void TrendWindow::setOneScale(bool on)
{
    chkOneScale->setChecked(on);
}

void TrendWindow::setPicked(const std::vector<int>& channels)
{
    {
        const QSignalBlocker block(channelList);
        for (int i = 0; i < channelList->topLevelItemCount(); ++i) {
            const bool on = std::find(channels.begin(), channels.end(), i) != channels.end();
            channelList->topLevelItem(i)->setCheckState(0, on ? Qt::Checked : Qt::Unchecked);
        }
    }
    refresh();
}

void TrendWindow::open()
{
    if (!restored_)
        restore();
    show();
    raise();
    activateWindow();
    refresh();
    timer_.start();
}

void TrendWindow::refresh()
{
    if (live_)
        endMs_ = clock_.now().toMSecsSinceEpoch();
    updateNames();
    const qint64 from = endMs_ - spanMs_;
    const int columns = plot->columns();
    const std::vector<int> channels = picked();
    std::vector<std::vector<TrendPoint>> points;
    for (int k : channels) {
        scratch_.clear();
        history_.points(k, from, endMs_, scratch_);
        points.push_back(reduceToColumns(scratch_, from, endMs_, columns));
    }
    const bool one = chkOneScale->isChecked();
    const std::vector<ValueScale> scales = curveScales(points, from, endMs_, one);
    std::vector<TrendPlot::Curve> curves;
    int axisCurve = -1;
    {
        const QSignalBlocker block(channelList);
        for (std::size_t n = 0; n < channels.size(); ++n) {
            const int k = channels[n];
            if (k == axisChannel_)
                axisCurve = static_cast<int>(n);
            curves.push_back({k, channelColour(k), std::move(points[n]), scales[n]});
        }
        for (int i = 0; i < channelList->topLevelItemCount(); ++i) {
            QTreeWidgetItem* item = channelList->topLevelItem(i);
            const auto at = std::find(channels.begin(), channels.end(), i);
            QString range;
            if (at != channels.end()) {
                const ValueScale& scale = scales[static_cast<std::size_t>(at - channels.begin())];
                range = scaleLabel(scale, scale.lo) + QStringLiteral(" to ") + scaleLabel(scale, scale.hi);
            }
            if (item->text(2) != range)
                item->setText(2, range);
        }
    }
    // The axis follows the channel chosen in the list while it is plotted,
    // else the first one plotted.
    if (axisCurve < 0 && !curves.empty())
        axisCurve = 0;
    axisChannel_ = axisCurve < 0 ? -1 : curves[static_cast<std::size_t>(axisCurve)].channel;
    QString title;
    if (axisChannel_ >= 0) {
        const QString name = plainName(state_.gChannel[static_cast<std::size_t>(axisChannel_)].Name).trimmed();
        title = one
            ? QStringLiteral("All lines on this scale")
            : (name.isEmpty() ? channelLabel(axisChannel_) : channelLabel(axisChannel_) + QLatin1Char(' ') + name);
    }
    plot->setCurves(std::move(curves), from, endMs_, axisCurve, title);
    showCursorValues();
    // No redraw more often than the time axis moves by a pixel: once a
    // second for 10 minutes, every 10 s for 8 hours.
    timer_.setInterval(static_cast<int>(std::clamp<qint64>(spanMs_ / columns, 1000, 10'000)));
}

void TrendWindow::showRange(qint64 spanMs)
{
    spanMs_ = spanMs;
    goLive();
}

void TrendWindow::goLive()
{
    live_ = true;
    cmdLive->setChecked(true);
    refresh();
}

void TrendWindow::showCursorValues()
{
    const qint64 at = plot->cursorMs();
    lblCursor->setText(at < 0 ? QString()
                              : QStringLiteral("Cursor at ")
                               + QDateTime::fromMSecsSinceEpoch(at).toString(QStringLiteral("yyyy/MM/dd HH:mm:ss")));
    std::vector<QString> values(static_cast<std::size_t>(channelList->topLevelItemCount()));
    if (at >= 0) {
        for (const TrendPlot::Curve& c : plot->curves()) {
            // The point at or before the cursor; nothing across a break.
            const auto it = std::upper_bound(c.points.begin(), c.points.end(), at,
                                             [](qint64 ms, const TrendPoint& p) { return ms < p.ms; });
            if (it != c.points.begin() && !std::prev(it)->isBreak())
                values[static_cast<std::size_t>(c.channel)] = csvNumber(std::prev(it)->value);
        }
    }
    const QSignalBlocker block(channelList);
    for (int i = 0; i < channelList->topLevelItemCount(); ++i) {
        QTreeWidgetItem* item = channelList->topLevelItem(i);
        if (item->text(3) != values[static_cast<std::size_t>(i)])
            item->setText(3, values[static_cast<std::size_t>(i)]);
    }
}

void TrendWindow::restore()
{
    restored_ = true;
    QSettings ini(iniPath(), QSettings::IniFormat);
    ini.beginGroup(QStringLiteral("Trend"));
    if (ini.contains(QStringLiteral("Geometry")))
        restoreGeometry(ini.value(QStringLiteral("Geometry")).toByteArray());
    const qint64 span = ini.value(QStringLiteral("SpanMs"), kRanges[0]).toLongLong();
    spanMs_ = std::clamp<qint64>(span, 10'000, TrendHistory::kSpanMs);
    {
        const QSignalBlocker block(chkOneScale);
        chkOneScale->setChecked(ini.value(QStringLiteral("OneScale"), false).toBool());
    }
    std::optional<std::vector<int>> kept;
    if (ini.contains(QStringLiteral("Channels"))) {
        kept.emplace();
        const QStringList fields
            = ini.value(QStringLiteral("Channels")).toString().split(QLatin1Char(' '), Qt::SkipEmptyParts);
        for (const QString& f : fields) {
            bool ok = false;
            const int k = f.toInt(&ok);
            if (ok && k >= 0 && k < kChannelCount)
                kept->push_back(k);
        }
    }
    updateNames();
    setPicked(openingPicks(state_, kept, host_.mPage()));
}

void TrendWindow::store()
{
    if (!restored_)
        return;
    QSettings ini(iniPath(), QSettings::IniFormat);
    ini.beginGroup(QStringLiteral("Trend"));
    ini.setValue(QStringLiteral("Geometry"), saveGeometry());
    ini.setValue(QStringLiteral("SpanMs"), spanMs_);
    ini.setValue(QStringLiteral("OneScale"), chkOneScale->isChecked());
    QStringList fields;
    for (int k : picked())
        fields << QString::number(k);
    ini.setValue(QStringLiteral("Channels"), fields.join(QLatin1Char(' ')));
}

void TrendWindow::closeEvent(QCloseEvent* event)
{
    store();
    QWidget::closeEvent(event);
}

void TrendWindow::hideEvent(QHideEvent* event)
{
    timer_.stop();
    store();
    QWidget::hideEvent(event);
}

bool TrendWindow::savePng(const QString& path)
{
    return plot->grab().save(path, "PNG");
}

bool TrendWindow::saveCsv(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    const QByteArray bytes = trendCsv(history_, picked(), state_.gChannel, plot->from(), plot->to());
    return file.write(bytes) == bytes.size() && file.flush();
}

void TrendWindow::chooseAndSavePng()
{
    const QString path
        = services_.dialogs.saveFileName(state_.programFolder, QStringLiteral("trend.png"),
                                         QStringLiteral("*.png(PNG images)|*.png"), QStringLiteral(".png"));
    if (!path.isEmpty() && !savePng(path))
        services_.messages.information(QStringLiteral("The plot could not be saved to %1.").arg(path));
}

void TrendWindow::chooseAndSaveCsv()
{
    const QString path
        = services_.dialogs.saveFileName(state_.programFolder, QStringLiteral("trend.csv"),
                                         QStringLiteral("*.csv(CSV files)|*.csv"), QStringLiteral(".csv"));
    if (!path.isEmpty() && !saveCsv(path))
        services_.messages.information(QStringLiteral("The shown range could not be saved to %1.").arg(path));
}

}  // namespace rdxmon
