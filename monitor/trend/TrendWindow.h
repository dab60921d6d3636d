// The trend window: the picked channels against time from the history.
// It offers the channels the main window shows, and opens with the ones
// picked last time (or the first recorder's). Each line has a round scale
// of its own (or, ticked, one for all); the value axis is labelled for the
// channel chosen in the list, in its colour. Time ticks fall on round steps
// of the clock. The last 10 minutes, hour or 8 hours at a click, following
// the present; the wheel zooms the time, dragging pans it (and stops
// following until "Live" or a double click), the cursor reads out time and
// values into the channel list. The plot saves as PNG, the shown range as
// CSV. Its size, range, scale choice and picked channels are kept in a
// small INI file in the program's folder.
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
#include "trend/TrendScale.h"

class QCategoryAxis;
class QCheckBox;
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
        ValueScale scale;
    };

    explicit TrendPlot(QWidget* parent = nullptr);
    // The curves from..to; the value axis is labelled with the scale of
    // curves[axisCurve] (none: -1), titled axisTitle.
    void setCurves(std::vector<Curve> curves, qint64 from, qint64 to, int axisCurve, const QString& axisTitle);
    const std::vector<Curve>& curves() const { return curves_; }
    qint64 from() const { return from_; }
    qint64 to() const { return to_; }
    // The scale the value axis shows.
    const ValueScale& axisScale() const { return axisScale_; }
    // The time axis' ticks as labelled.
    const TimeTicks& ticks() const { return ticks_; }
    // The plotting area's width in pixels (the columns points are reduced to).
    int columns() const;
    // The cursor's time (ms), or -1 when it is off the plot.
    qint64 cursorMs() const { return cursorMs_; }
    // Where a time lies across the plot (pixels) and back.
    double xFor(qint64 ms) const;
    qint64 msAt(double x) const;

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
    void resizeEvent(QResizeEvent* event) override;

private:
    // Time ticks for the plot's present width.
    void labelTime();

    QCategoryAxis* axisX_;
    QValueAxis* axisY_;
    TrendCurves* item_;
    std::vector<Curve> curves_;
    qint64 from_ = 0, to_ = 1;
    int axisCurve_ = -1;
    ValueScale axisScale_;
    TimeTicks ticks_;
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
    TrendWindow(const SharedState& state, const TrendHistory& history, NamesHost& host, Services& services,
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

    // The channels ticked among those offered (shown in the main window).
    std::vector<int> picked() const;
    void setPicked(const std::vector<int>& channels);
    // Ticks every channel offered, or none.
    void pickAll(bool on);
    // The channels the list offers now.
    std::vector<int> offered() const;
    // One scale for every line instead of one each.
    void setOneScale(bool on);
    // The channel whose scale the value axis shows (-1: none plotted).
    int axisChannel() const { return axisChannel_; }
    qint64 spanMs() const { return spanMs_; }
    bool live() const { return live_; }

    bool savePng(const QString& path);
    bool saveCsv(const QString& path);

    TrendPlot* plot = nullptr;
    QTreeWidget* channelList = nullptr;
    QLabel* lblCursor = nullptr;
    QPushButton* cmdLive = nullptr;
    QPushButton* cmdAll = nullptr;
    QPushButton* cmdNone = nullptr;
    QPushButton* cmdSavePng = nullptr;  // through the save dialog; a failure is told
    QPushButton* cmdSaveCsv = nullptr;
    QCheckBox* chkOneScale = nullptr;

protected:
    void closeEvent(QCloseEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    void buildChannelList();
    // Names from the channel table, and only the channels the main window
    // shows (a channel unselected there leaves the list and the plot).
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
    Services& services_;  // the save dialog and the message boxes
    QTimer timer_;
    bool restored_ = false;
    bool live_ = true;
    qint64 spanMs_ = kRanges[0];
    qint64 endMs_ = 0;
    int axisChannel_ = -1;
    std::vector<TrendPoint> scratch_;
};

// The colour of a channel's curve.
QColor channelColour(int channel);

}  // namespace rdxmon

#endif
