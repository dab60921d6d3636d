#include "AlarmJournal.h"

#include <pwd.h>
#include <unistd.h>

#include <QDir>

#include "logging/CsvFormat.h"

namespace rdxalarm {

QByteArray journalLine(const AlarmEvent& e)
{
    const QStringList fields = {
        e.time.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")),
        alarmLabel(e.id),
        rdxmon::csvQuote(e.name),
        limitTextOf(e.id),
        valueText(e.value),
        stateText(e.from),
        stateText(e.to),
        rdxmon::csvQuote(e.user),
    };
    return fields.join(u',').toUtf8() + '\n';
}

AlarmJournal::AlarmJournal(const QString& folder)
{
    file_.attach(QDir(folder).filePath(kAlarmJournalFile), kAlarmJournalHeader);
}

void AlarmJournal::alarmChanged(const AlarmEvent& event)
{
    file_.append(journalLine(event));
    note();
}

bool AlarmJournal::flush()
{
    const bool done = file_.flush();
    note();
    return done;
}

void AlarmJournal::note()
{
    const bool failing = file_.unwrittenRows() > 0;
    const QString reason = failing ? file_.lastError() : QString();
    problem_ = failing ? QStringLiteral("The alarm journal %1 cannot be written (%2); %3 lines wait to be written.")
                             .arg(QDir::toNativeSeparators(file_.path()), reason)
                             .arg(file_.unwrittenRows())
                       : QString();
    if (failing == failing_ && reason == reason_)
        return;
    failing_ = failing;
    reason_ = reason;
    if (problemChanged)
        problemChanged(problem_);
}

QString loginName()
{
    if (const passwd* pw = ::getpwuid(::geteuid()); pw && pw->pw_name)
        return QString::fromLocal8Bit(pw->pw_name);
    const QString user = qEnvironmentVariable("USER");
    return user.isEmpty() ? QStringLiteral("uid %1").arg(::geteuid()) : user;
}

}  // namespace rdxalarm
