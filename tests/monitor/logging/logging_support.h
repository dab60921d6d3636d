// The logging panel's stand-in for the logging tests (the services' fakes
// come from the shared test support).
#ifndef RDXMON_TESTS_LOGGING_SUPPORT_H
#define RDXMON_TESTS_LOGGING_SUPPORT_H

#include <QString>

#include "logging/LoggingView.h"

namespace rdxmon::test {

class FakeLoggingView : public LoggingView {
public:
    void setRunEnabled(bool enabled) override { runEnabled = enabled; }
    void setRunning(bool on) override
    {
        running = on;
        runEnabled = !on;
    }
    QString cycleCaption() const override { return caption; }
    bool minutesSelected() const override { return minutes; }
    bool defaultFileSelected() const override { return defaultFile; }

    bool runEnabled = false;
    bool running = false;
    QString caption = QStringLiteral("1");
    bool minutes = false;
    bool defaultFile = true;
};

}  // namespace rdxmon::test

#endif
