// The status line under the main window's layout: the device the port
// opened, the recorders answering out of those polled (written as a link: a
// click opens the table of every recorder), the last full cycle's time, the
// log file being written (a long name cut in its middle, so its end and
// what follows it stay), and the broker state when publishing is
// configured. It refreshes itself once a second.
#ifndef RDXMON_STATUS_STATUSLINE_H
#define RDXMON_STATUS_STATUSLINE_H

#include <array>
#include <functional>

#include <QLabel>
#include <QStatusBar>
#include <QTimer>
#include <QWidget>

#include "logging/LoggingView.h"
#include "startup/Services.h"
#include "startup/SharedState.h"
#include "status/LineStatus.h"

class QFontMetrics;
class QLabel;
class QTableWidget;
class QToolButton;

namespace rdxmon {

// A label whose text is prefix + middle + suffix, with the middle cut in
// its own middle ("...") as far as the label's width needs, again at every
// resize; past that the whole text is cut in the middle.
class MiddleElidedLabel : public QLabel {
    Q_OBJECT
public:
    explicit MiddleElidedLabel(QWidget* parent = nullptr);
    void setParts(const QString& prefix, const QString& middle, const QString& suffix);
    QString fullText() const { return prefix_ + middle_ + suffix_; }

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void elide();
    QString prefix_, middle_, suffix_;
};

// The text that fits width pixels: middle cut in its middle, or when even
// an ellipsis there is too wide, the whole text cut in its middle.
QString elideMiddlePart(const QFontMetrics& metrics, int width, const QString& prefix, const QString& middle,
                        const QString& suffix);

// Every polled recorder: address, state, replies, time-outs (and those in
// mid-reply), garbled replies, the share of its last polls answered, age of
// the last reply. Not modal; Escape closes it.
class RecorderStatusWindow : public QWidget {
    Q_OBJECT
public:
    RecorderStatusWindow(const SharedState& state, const LineStatus& status, Clock& clock, QWidget* parent = nullptr);
    void refresh();
    QTableWidget* table = nullptr;

protected:
    void showEvent(QShowEvent* event) override;

private:
    const SharedState& state_;
    const LineStatus& status_;
    Clock& clock_;
    QTimer timer_;
};

class StatusLine : public QStatusBar {
    Q_OBJECT
public:
    StatusLine(const SharedState& state, const LineStatus& status, Clock& clock, QWidget* parent = nullptr);

    // Gives the device text (deviceText), asked at every refresh.
    void setDeviceSource(std::function<QString()> source) { device_ = std::move(source); }
    // Gives the log file being written, empty when not logging.
    void setLogFileSource(std::function<QString()> source) { logFile_ = std::move(source); }
    // Gives how writing that file goes.
    void setLogStateSource(std::function<LogWriteState()> source) { logState_ = std::move(source); }
    // The broker's state for the operator; empty: publishing is not
    // configured and nothing is shown. detail, the tooltip: the broker and
    // why it cannot be reached.
    void setBrokerState(const QString& text, const QString& detail = {});

    void refresh();
    void showRecorders();
    RecorderStatusWindow* recorders() { return recordersWindow_; }

    QLabel* lblDevice = nullptr;
    QToolButton* cmdAnswering = nullptr;
    QLabel* lblCycle = nullptr;
    MiddleElidedLabel* lblLogFile = nullptr;
    QLabel* lblBroker = nullptr;

private:
    const LineStatus& status_;
    std::function<QString()> logFile_;
    std::function<LogWriteState()> logState_;
    std::function<QString()> device_;
    RecorderStatusWindow* recordersWindow_;
    QTimer timer_;
};

// "COM1 → /dev/ttyUSB0"; " (not open)" after it when the port did not open,
// " (not open: speed 1920 refused)" when the cause is known.
QString deviceText(const QString& port, const QString& device, bool opened, const QString& cause = {});
// "12 of 31 answering", ", 2 garbled" and ", 1 incomplete" after it while
// recorders' last replies were so; "Line lost" while the port is being
// reopened.
QString answeringText(const LineStatus& status);
// "Cycle 10.3 s"; "Cycle -" before the first full cycle.
QString cycleText(qint64 ms);
// "Logging to 240307_0905.csv", then how writing goes: ": 12 rows wait to
// be written (No space left on device)", ": writing resumed at 10:20:00";
// "Not logging" for no file.
QString logFileText(const QString& file, const LogWriteState& state);
// The same text in three parts: before the file name, the name, after it
// (for no file: all in the first).
std::array<QString, 3> logFileParts(const QString& file, const LogWriteState& state);

}  // namespace rdxmon

#endif
