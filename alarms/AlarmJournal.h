// The alarm journal "RDX512ALARM.LOG" beside the CSV logs (the program's
// folder; the service's data folder): one line per transition, kept across
// runs, comma-separated in UTF-8 with a header line (named .LOG so that it
// is never taken for one of the logs, which are *.csv):
//
//   Time,Channel,Name,Limit,Value,From,To,By
//   2026-12-07 10:42:05,01-3,"Furnace",high,612,normal,active unacknowledged,""
//   2026-12-07 10:43:10,01-3,"Furnace",high,598,active unacknowledged,active acknowledged,"alice"
//
// Value is the channel's current value at the transition (empty when it
// has none, and for a recorder's communication alarm); By the user who
// acknowledged. A line is in the file whole or not at all; lines that
// cannot be written wait in memory and go out with the next line that can.
#ifndef RDXALARM_ALARMJOURNAL_H
#define RDXALARM_ALARMJOURNAL_H

#include <functional>

#include <QByteArray>
#include <QString>

#include "AlarmEvent.h"
#include "logging/LogFile.h"

namespace rdxalarm {

inline const QString kAlarmJournalFile = QStringLiteral("RDX512ALARM.LOG");
inline const QByteArray kAlarmJournalHeader = "Time,Channel,Name,Limit,Value,From,To,By\n";

// One line of the journal, with its line end.
QByteArray journalLine(const AlarmEvent& event);

class AlarmJournal : public AlarmSink {
public:
    explicit AlarmJournal(const QString& folder);

    void alarmChanged(const AlarmEvent& event) override;
    // Tries the lines waiting again; true when none wait.
    bool flush();

    QString path() const { return file_.path(); }
    int waiting() const { return file_.unwrittenRows(); }
    // Empty while everything is written; else a sentence naming the file,
    // the system's reason and the lines waiting.
    const QString& problem() const { return problem_; }
    // Called when writing starts failing, fails for another reason, or
    // works again (with an empty text); not for every line that waits.
    std::function<void(const QString&)> problemChanged;

private:
    void note();

    rdxmon::LogFile file_;
    QString problem_;
    bool failing_ = false;
    QString reason_;
};

// The name of the user the program runs as (for "who acknowledged").
QString loginName();

}  // namespace rdxalarm

#endif
