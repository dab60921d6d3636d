// The small services of the monitor's logic, as a program without a display
// needs them: every message is one line on standard error (the journal
// keeps it, with its priority), nothing ever waits for an answer, and no
// dialog is shown.
#ifndef RDXLOGD_DAEMONSERVICES_H
#define RDXLOGD_DAEMONSERVICES_H

#include <cstdio>

#include "startup/Services.h"

namespace rdxlogd {

// The syslog priorities the service's messages carry.
enum class Priority {
    Error = 3,
    Warning = 4,
    Notice = 5,
    Info = 6
};

// Messages as lines on a stream (standard error), line ends inside a
// message made blanks. Into the journal (standard error is the stream that
// JOURNAL_STREAM names) a line is "<N>text", which journald takes as the
// priority N (SyslogLevelPrefix); elsewhere it is "rdx512-logd: text".
class LineMessages : public rdxmon::MessageBoxes {
public:
    explicit LineMessages(std::FILE* out = stderr);
    void tell(Priority priority, const QString& text);
    // What the monitor's logic tells: a problem with a file or a setting.
    void information(const QString& text) override { tell(Priority::Warning, text); }
    // Nobody is there to answer: the answer is No, the choice that leaves
    // files and the run as they are. The question is written with it.
    bool question(const QString& text) override;

    // Whether the stream goes to the journal.
    bool journal() const { return journal_; }

private:
    std::FILE* out_;
    bool journal_ = false;
};

// The service logs only to default-named files: no dialog is ever asked
// for, and were one asked for, it is cancelled.
class NoFileDialogs : public rdxmon::FileDialogs {
public:
    QString saveFileName(const QString&, const QString&, const QString&, const QString&) override { return {}; }
};

}  // namespace rdxlogd

#endif
