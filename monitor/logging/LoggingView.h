// What logging needs from the main window's logging controls.
#ifndef RDXMON_LOGGING_LOGGINGVIEW_H
#define RDXMON_LOGGING_LOGGINGVIEW_H

#include <QString>
#include <QTime>

namespace rdxmon {

// How the writing of a running log goes.
struct LogWriteState {
    int waiting = 0;  // rows not yet in the file
    QString reason;  // while rows wait: why, in the system's words
    QTime resumedAt;  // when the rows got through after waiting; null while they wait or never did
    // The latest change in a few words with its time ("writing resumed at
    // 10:20:00"); empty when nothing happened.
    QString event;
    // The present state in a sentence naming the file, for a journal; it
    // changes with the state, not with the number of rows waiting.
    QString note;
};

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
    // While logging runs, after each change of the state of writing.
    virtual void showWriteState(const LogWriteState&) {}
};

}  // namespace rdxmon

#endif
