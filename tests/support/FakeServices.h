// Stand-ins for the injected services (message boxes, clock, file dialogs)
// and for the names host, each recording what it was asked.
#ifndef RDXTEST_SUPPORT_FAKE_SERVICES_H
#define RDXTEST_SUPPORT_FAKE_SERVICES_H

#include <deque>
#include <functional>
#include <vector>

#include <QDateTime>
#include <QString>
#include <QStringList>

#include "names/NamesHost.h"
#include "startup/Services.h"

namespace rdxtest {

// Message boxes: information texts land in shown, questions in asked and
// get answer.
class RecordingMessages : public rdxmon::MessageBoxes {
public:
    void information(const QString& text) override
    {
        shown << text;
        if (whileShown)
            whileShown();
    }
    bool question(const QString& text) override { return asked << text, answer; }

    QStringList shown, asked;
    bool answer = true;
    std::function<void()> whileShown;  // runs while a box is "open" (timers tick behind it)
};

// A clock the test sets by hand; times are UTC so no daylight saving change
// moves them behind the test's back.
class FakeClock : public rdxmon::Clock {
public:
    QDateTime now() override { return current; }
    void set(int h, int m, int s, int ms = 0) { current = QDateTime(current.date(), QTime(h, m, s, ms), Qt::UTC); }
    void advanceMs(qint64 ms) { current = current.addMSecs(ms); }

    QDateTime current{QDate(2024, 3, 7), QTime(9, 5, 0), Qt::UTC};
};

// File dialogs answering from a script (an empty text, or none left,
// cancels) and recording every call.
class FakeDialogs : public rdxmon::FileDialogs {
public:
    struct Call {
        QString initialFolder, proposedName, filter, defaultSuffix;
    };
    QString saveFileName(const QString& initialFolder, const QString& proposedName, const QString& filter,
                         const QString& defaultSuffix) override
    {
        calls.push_back({initialFolder, proposedName, filter, defaultSuffix});
        const QString next = answers.empty() ? QString() : answers.front();
        if (!answers.empty())
            answers.pop_front();
        return next;
    }

    std::deque<QString> answers;
    std::vector<Call> calls;
};

// The window hosting the names dialogs: its page, and the pages it was told
// to refresh.
class FakeNamesHost : public rdxmon::NamesHost {
public:
    int mPage() const override { return page; }
    void NameSet(int p) override { nameSetPages.push_back(p); }
    void Logdisp(int p) override { logdispPages.push_back(p); }

    int page = 0;
    std::vector<int> nameSetPages, logdispPages;
};

}  // namespace rdxtest

#endif
