// The trend window: the picked channels against time from the history.
// The last 10 minutes, hour or 8 hours at a click, following the present;
// the wheel zooms the time, dragging pans it (and stops following until
// "Live" or a double click), the cursor reads out time and values into the
// channel list. The plot saves as PNG, the shown range as CSV. Its size,
// range and picked channels are kept in a small INI file in the program's
// folder.
#ifndef RDXMON_TREND_TRENDWINDOW_H
#define RDXMON_TREND_TRENDWINDOW_H

#include <vector>

#include <QChartView>
#include <QTimer>
#include <QWidget>

#include "names/NamesHost.h"
#include "startup/Services.h"
#include "startup/SharedState.h"
#include "trend/TrendHistory.h"

class QDateTimeAxis;
class QLabel;
class QPushButton;
class QTreeWidget;
class QTreeWidgetItem;
class QValueAxis;

namespace rdxmon {

inline const QString kViewSettingsFile = QStringLiteral("RDX512VIEW.INI");

class TrendCurves;

// The plot: Qt Charts draws the axes and grid; the curves are drawn by an
// item of our own, which breaks a line at every gap.
class TrendPlot : public QChartView {
    Q_OBJECT
public:
    struct Curve {
        int channel;
        QColor colour;
        std::vector<TrendPoint> points;  // reduced to the plot's width
    };

    explicit TrendPlot(QWidget* parent = nullptr);
    void setCurves(std::vector<Curve> curves, qint64 from, qint64 to);
    const std::vector<Curve>& curves() const { return curves_; }
    qint64 from() const { return from_; }
    qint64 to() const { return to_; }
    double yMin() const { return yMin_; }
    double yMax() const { return yMax_; }
    // The plotting area's width in pixels (the columns points are reduced to).
    int columns() const;
    // The cursor's time (ms), or -1 when it is off the plot.
    qint64 cursorMs() const { return cursorMs_; }
    // Where a time lies across the plot (pixels) and back.
    double xFor(qint64 ms) const;
    qint64 msAt(double x) const;
    double yFor(double value) const;

Q_SIGNALS:
    void panned(qint64 deltaMs);
    void zoomed(double factor, qint64 aroundMs);
    void backToLive();
    void cursorMoved(qint64 ms);

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void leaveEvent(QEvent* event) override;

private:
    QDateTimeAxis* axisX_;
    QValueAxis* axisY_;
    TrendCurves* item_;
    std::vector<Curve> curves_;
    qint64 from_ = 0, to_ = 1;
    double yMin_ = 0, yMax_ = 1;
    qint64 cursorMs_ = -1;
    bool dragging_ = false;
    double dragX_ = 0;
    friend class TrendCurves;
};

class TrendWindow : public QWidget {
    Q_OBJECT
public:
    static constexpr qint64 kRanges[3] = {10LL * 60 * 1000, 3600LL * 1000, 8LL * 3600 * 1000};

    // host gives the page shown, whose selected channels are picked when no
    // choice has been kept yet.
    TrendWindow(const SharedState& state, const TrendHistory& history, NamesHost& host, Clock& clock,
                QWidget* parent = nullptr);
    ~TrendWindow() override;

    // Shows the window (first time: picks and size from the INI file).
    void open();
    // Redraws from the history (while shown: once a second, or once a pixel
    // of the time axis when that is longer, at most every 10 s).
    void refresh();
    // One of kRanges, following the present.
    void showRange(qint64 spanMs);
    void goLive();

    std::vector<int> picked() const;
    void setPicked(const std::vector<int>& channels);
    qint64 spanMs() const { return spanMs_; }
    bool live() const { return live_; }

    bool savePng(const QString& path);
    bool saveCsv(const QString& path);

    TrendPlot* plot = nullptr;
    QTreeWidget* channelList = nullptr;
    QLabel* lblCursor = nullptr;
    QPushButton* cmdLive = nullptr;

protected:
    void closeEvent(QCloseEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    void buildChannelList();
    void updateNames();
    void showCursorValues();
    void store();
    void restore();
    void chooseAndSavePng();
    void chooseAndSaveCsv();
    QString iniPath() const;

    const SharedState& state_;
    const TrendHistory& history_;
    NamesHost& host_;
    Clock& clock_;
    QTimer timer_;
    bool restored_ = false;
    bool live_ = true;
    qint64 spanMs_ = kRanges[0];
    qint64 endMs_ = 0;
    std::vector<TrendPoint> scratch_;
};

// The colour of a channel's curve.
QColor channelColour(int channel);

}  // namespace rdxmon

#endif
