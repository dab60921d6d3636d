// Fakes shared by the logging tests.
#ifndef RDXMON_TESTS_LOGGING_SUPPORT_H
#define RDXMON_TESTS_LOGGING_SUPPORT_H

#include <deque>
#include <functional>
#include <vector>

#include <QDateTime>
#include <QString>

#include "logging/LoggingView.h"
#include "names/NamesHost.h"
#include "startup/Services.h"

namespace rdxmon::test {

// A clock the test moves by hand; times are UTC so no daylight saving
// change moves them behind the test's back.
class FakeClock : public Clock {
public:
    QDateTime now() override { return current; }
    void set(int h, int m, int s, int ms = 0) { current = QDateTime(current.date(), QTime(h, m, s, ms), Qt::UTC); }
    void advanceMs(qint64 ms) { current = current.addMSecs(ms); }
    QDateTime current{QDate(2024, 3, 7), QTime(9, 5, 0), Qt::UTC};
};

class FakeMessages : public MessageBoxes {
public:
    void information(const QString& text) override
    {
        shown.push_back(text);
        if (whileShown)
            whileShown();
    }
    bool question(const QString& text) override
    {
        shown.push_back(text);
        return true;
    }
    std::vector<QString> shown;
    // Runs while the box is "open" (the timer keeps ticking behind a box).
    std::function<void()> whileShown;
};

class FakeDialogs : public FileDialogs {
public:
    struct Call {
        QString initialFolder, proposedName, filter, defaultSuffix;
    };
    QString saveFileName(const QString& initialFolder, const QString& proposedName, const QString& filter,
                         const QString& defaultSuffix) override
    {
        calls.push_back({initialFolder, proposedName, filter, defaultSuffix});
        if (answers.empty())
            return {};
        QString answer = answers.front();
        answers.pop_front();
        return answer;
    }
    std::deque<QString> answers;  // an empty text cancels
    std::vector<Call> calls;
};

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

class FakeNamesHost : public NamesHost {
public:
    int mPage() const override { return page; }
    void NameSet(int p) override { nameSetPages.push_back(p); }
    void Logdisp(int p) override { logdispPages.push_back(p); }
    int page = 0;
    std::vector<int> nameSetPages;
    std::vector<int> logdispPages;
};

}  // namespace rdxmon::test

#endif
