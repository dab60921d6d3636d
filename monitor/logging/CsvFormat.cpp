#include "logging/CsvFormat.h"

#include <algorithm>
#include <cmath>

#include <QLocale>

#include "names/ChannelNames.h"
#include "names/Cp932.h"

namespace rdxmon {

namespace {

const QString kLineEnd = QStringLiteral("\r\n");

int clampColumns(int columns)
{
    return std::clamp(columns, 0, kChannelCount);
}

}  // namespace

QString csvQuote(const QString& text)
{
    QString quoted = text;
    quoted.replace(QLatin1Char('"'), QStringLiteral("\"\""));
    return QLatin1Char('"') + quoted + QLatin1Char('"');
}

QString csvDateLine(const QDate& date)
{
    return csvQuote(QLocale::system().toString(date, QLocale::ShortFormat)) + kLineEnd;
}

QString csvNameLine(const std::array<ChannelRecord, kChannelCount>& channels, int columns)
{
    QString line = csvQuote(QStringLiteral("CH Name"));
    for (int i = 0; i < clampColumns(columns); ++i)
        line += QLatin1Char(',') + csvQuote(plainName(channels[i].Name));
    return line + kLineEnd;
}

QString csvRowTime(const QTime& time)
{
    const int hour12 = time.hour() % 12 == 0 ? 12 : time.hour() % 12;
    return QStringLiteral("%1:%2:%3 %4")
        .arg(hour12)
        .arg(time.minute())
        .arg(time.second())
        .arg(time.hour() < 12 ? QStringLiteral("AM") : QStringLiteral("PM"));
}

QString csvNumber(float value)
{
    if (!std::isfinite(value))
        return {};
    if (value == 0.0f)
        return QStringLiteral("0");
    // %G with 7 digits: plain notation for exponents -5 < e < 7, trailing
    // zeros dropped; Qt's formatting ignores the locale.
    return QString::asprintf("%.7G", static_cast<double>(value));
}

QString csvDataRow(const QTime& time, const std::array<ChannelRecord, kChannelCount>& channels,
                   const std::array<float, kChannelCount>& values, const std::array<PvState, kChannelCount>& states,
                   int columns)
{
    QString row = csvQuote(csvRowTime(time));
    for (int i = 0; i < clampColumns(columns); ++i) {
        row += QLatin1Char(',');
        if (channels[i].LogSel != 0 && isCurrent(states[i]))
            row += csvNumber(values[i]);
    }
    return row + kLineEnd;
}

QByteArray csvHeaderBytes(const QDate& date, const std::array<ChannelRecord, kChannelCount>& channels,
                          int columns)
{
    return toCp932(csvDateLine(date) + csvNameLine(channels, columns));
}

QByteArray csvRowBytes(const QTime& time, const std::array<ChannelRecord, kChannelCount>& channels,
                       const std::array<float, kChannelCount>& values, const std::array<PvState, kChannelCount>& states,
                       int columns)
{
    return toCp932(csvDataRow(time, channels, values, states, columns));
}

}  // namespace rdxmon
