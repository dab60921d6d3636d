// What logging needs from the main window's logging controls.
#ifndef RDXMON_LOGGING_LOGGINGVIEW_H
#define RDXMON_LOGGING_LOGGINGVIEW_H

#include <QString>

namespace rdxmon {

class LoggingView {
public:
    virtual ~LoggingView() = default;
    // Enables or disables START (cmdRUN) alone.
    virtual void setRunEnabled(bool enabled) = 0;
    // Running: the sampling timer on; the cycle up-down, START, the file
    // name menu and the four options disabled; the status line "It is being
    // logged now." on green. Stopped: the reverse, "Logging is stopped now."
    // on white.
    virtual void setRunning(bool running) = 0;
    // The caption of the cycle label (lblLogitv), the number logging reads.
    virtual QString cycleCaption() const = 0;
    // "Min" (optTime2) is selected.
    virtual bool minutesSelected() const = 0;
    // "Default file" (optName2) is selected.
    virtual bool defaultFileSelected() const = 0;
};

}  // namespace rdxmon

#endif
