// The small services of the monitor's logic, as a program without a display
// needs them: every message is one line on standard error (the journal
// keeps it), nothing ever waits for an answer, and no dialog is shown.
#ifndef RDXLOGD_DAEMONSERVICES_H
#define RDXLOGD_DAEMONSERVICES_H

#include <cstdio>

#include "startup/Services.h"

namespace rdxlogd {

// Messages as lines "rdx512-logd: <text>" on a stream (standard error):
// line ends inside a message become blanks.
class LineMessages : public rdxmon::MessageBoxes {
public:
    explicit LineMessages(std::FILE* out = stderr) : out_(out) {}
    void information(const QString& text) override;
    // Nobody is there to answer: the answer is No, the choice that leaves
    // files and the run as they are. The question is written with it.
    bool question(const QString& text) override;

private:
    std::FILE* out_;
};

// The service logs only to default-named files: no dialog is ever asked
// for, and were one asked for, it is cancelled.
class NoFileDialogs : public rdxmon::FileDialogs {
public:
    QString saveFileName(const QString&, const QString&, const QString&, const QString&) override { return {}; }
};

}  // namespace rdxlogd

#endif
