// Binds the main window's logging controls to the logging logic: the
// controls' clicks, the menu entry and the sampling timer go to a
// LogController, which drives the controls through the LoggingView here.
#ifndef RDXMON_LOGGING_LOGGINGCONTROLS_H
#define RDXMON_LOGGING_LOGGINGCONTROLS_H

#include <array>
#include <functional>
#include <memory>

#include <QColor>
#include <QObject>

#include "logging/LogController.h"
#include "logging/LoggingView.h"

class QAction;
class QLabel;
class QPushButton;
class QRadioButton;
class QTimer;
class QWidget;

namespace rdxmon {

// The logging controls, created and laid out by the main window.
struct LoggingWidgets {
    QLabel* lblLogitv = nullptr;  // the cycle number; its caption is what logging reads
    QWidget* updLogtitv = nullptr;  // the up-down beside it; only enabled and disabled here
    QRadioButton* optTime1 = nullptr;  // "Sec"
    QRadioButton* optTime2 = nullptr;  // "Min"
    QRadioButton* optName1 = nullptr;  // "User select file"
    QRadioButton* optName2 = nullptr;  // "Default file"
    QPushButton* cmdRUN = nullptr;
    QPushButton* cmdStop = nullptr;
    QLabel* lblMsg = nullptr;
    QTimer* tmrLogitv = nullptr;  // 200 ms; started and stopped here
    QAction* mnuLogName = nullptr;
    std::array<QPushButton*, 72> cmdMLog{};
};

// Colours of the status line and of the channel buttons.
inline const QColor kLoggingColour(0, 255, 0);
inline const QColor kRowsWaitingColour(255, 192, 0);
inline const QColor kStoppedColour(255, 255, 255);
inline const QColor kSelectedChannelColour(128, 255, 128);

class LoggingControls : public QObject, public LoggingView {
    Q_OBJECT
public:
    LoggingControls(const LoggingWidgets& widgets, SharedState& state, Services& services, NamesHost& host,
                    std::function<bool()> saveNames, QObject* parent = nullptr);

    LogController& controller() { return *controller_; }

    // The main window's loading step: the cycle number, the unit and the
    // file mode from the settings record (the file mode click runs as for a
    // click), then the resume operation.
    void restoreAndResume(const InitRecord& settings);
    // The exit command: the logging controls into the settings record
    // (LogActive from whether the sampling timer runs); the timer stops.
    void storeForExit(InitRecord& settings);

    // Paints the channel buttons of the page: light green when selected,
    // else the button face (42 buttons on page 2).
    void Logdisp(int page);

    // LoggingView
    void setRunEnabled(bool enabled) override;
    void setRunning(bool running) override;
    QString cycleCaption() const override;
    bool minutesSelected() const override;
    bool defaultFileSelected() const override;
    // Rows waiting: "Rows wait to be written: <n>" on amber; once they got
    // through, the running caption with the time writing resumed. The
    // tooltip holds the sentence naming the file and the reason.
    void showWriteState(const LogWriteState& state) override;

private:
    LoggingWidgets w_;
    SharedState& state_;
    std::unique_ptr<LogController> controller_;
};

}  // namespace rdxmon

#endif
