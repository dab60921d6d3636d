#include "trend/TrendCsv.h"

#include <map>

#include <QDateTime>

#include "logging/CsvFormat.h"
#include "names/ChannelNames.h"
#include "names/Cp932.h"

namespace rdxmon {

QByteArray trendCsv(const TrendHistory& history, const std::vector<int>& channels,
                    const std::array<ChannelRecord, kChannelCount>& names, qint64 from, qint64 to)
{
    const QString eol = QStringLiteral("\r\n");
    QString text = csvQuote(QStringLiteral("Time"));
    for (int k : channels) {
        const QString name = plainName(names[static_cast<std::size_t>(k)].Name).trimmed();
        text += QLatin1Char(',')
            + csvQuote(name.isEmpty() ? channelLabel(k) : channelLabel(k) + QLatin1Char(' ') + name);
    }
    text += eol;

    // Rows by time; a field stays empty where its channel has no point.
    std::map<qint64, std::vector<QString>> rows;
    std::vector<TrendPoint> points;
    for (std::size_t column = 0; column < channels.size(); ++column) {
        points.clear();
        history.points(channels[column], from, to, points);
        for (const TrendPoint& p : points) {
            if (p.isBreak() || p.ms < from || p.ms > to)
                continue;
            auto& row = rows[p.ms];
            row.resize(channels.size());
            row[column] = csvNumber(p.value);
        }
    }
    for (const auto& [ms, fields] : rows) {
        text += csvQuote(QDateTime::fromMSecsSinceEpoch(ms).toString(QStringLiteral("yyyy/MM/dd HH:mm:ss.zzz")));
        for (const QString& field : fields)
            text += QLatin1Char(',') + field;
        text += eol;
    }
    return toCp932(text);
}

}  // namespace rdxmon
