// The trend's history across a restart: at start the rows of the CSV logs in
// the program folder are read back into the history, as far back as it
// reaches (TrendHistory::kSpanMs, the last 8 hours).
//
// A row carries only its time of day. The newest row of a file is dated by
// the file's last change (the log closes the file after every row), each
// older one on the day of the row after it, or the day before when its time
// of day lies later (the log ran across midnight). An empty field is no
// reading: a break in that channel's line. So are the end of every file
// (the program was not logging after it) and a pause between two rows much
// longer than the file's usual cycle (the program was stopped or stalled).
#ifndef RDXMON_TREND_TRENDREADBACK_H
#define RDXMON_TREND_TRENDREADBACK_H

#include <vector>

#include <QDateTime>
#include <QString>

#include "trend/TrendHistory.h"

namespace rdxmon {

struct LogRow {
    qint64 ms = 0;  // local time of the row, ms since the epoch
    std::vector<float> values;  // per column (channel index); NaN: an empty field
};

// The data rows of the log file at path from fromMs on, oldest first, dated
// by lastWritten. The file is read from its end back to the first row
// before fromMs (or its name line), so a long log costs only its last hours.
std::vector<LogRow> readLogRows(const QString& path, const QDateTime& lastWritten, qint64 fromMs);

struct ReadBack {
    int files = 0;  // log files that gave rows
    qint64 rows = 0;  // rows taken into the history
    qint64 fromMs = 0;  // the oldest of them (0: none)
};
// Reads every *.csv file of folder (any case) last written within the
// history's span before now into history, for the channels of the first
// `recorders` slots. Call before the history takes live values.
ReadBack readBackLogs(const QString& folder, const QDateTime& now, int recorders, TrendHistory& history);

}  // namespace rdxmon

#endif
