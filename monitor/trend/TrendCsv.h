// The shown range of the trend as a CSV file: a header naming the channels,
// then one row per moment any of them has a point, values in the log's
// number format, an empty field where a channel has none (or a break).
#ifndef RDXMON_TREND_TRENDCSV_H
#define RDXMON_TREND_TRENDCSV_H

#include <vector>

#include <QByteArray>
#include <QString>

#include "startup/SharedState.h"
#include "trend/TrendHistory.h"

namespace rdxmon {

// Header fields are "01-1 <name>"; times are local, "yyyy/MM/dd HH:mm:ss.zzz".
// Lines end in CR LF, in CP932 as the log is.
QByteArray trendCsv(const TrendHistory& history, const std::vector<int>& channels,
                    const std::array<ChannelRecord, kChannelCount>& names, qint64 from, qint64 to);

}  // namespace rdxmon

#endif
