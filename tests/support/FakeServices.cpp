#include "support/FakeServices.h"

namespace rdxtest {

void RecordingMessages::information(const QString& text)
{
    shown << text;
    if (whileShown)
        whileShown();
}

bool RecordingMessages::question(const QString& text)
{
    asked << text;
    return answer;
}

void FakeClock::set(int h, int m, int s, int ms)
{
    current = QDateTime(current.date(), QTime(h, m, s, ms), Qt::UTC);
}

QString FakeDialogs::saveFileName(const QString& initialFolder, const QString& proposedName, const QString& filter,
                                  const QString& defaultSuffix)
{
    calls.push_back({initialFolder, proposedName, filter, defaultSuffix});
    if (answers.empty())
        return {};
    QString answer = answers.front();
    answers.pop_front();
    return answer;
}

}  // namespace rdxtest
