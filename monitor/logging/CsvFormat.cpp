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

int csvRowSeconds(QByteArrayView field)
{
    if (field.size() < 2 || field.front() != '"' || field.back() != '"')
        return -1;
    field = field.sliced(1, field.size() - 2);
    int parts[3] = {0, 0, 0};
    int part = 0, digits = 0;
    qsizetype i = 0;
    for (; i < field.size() && field[i] != ' '; ++i) {
        const char c = field[i];
        if (c >= '0' && c <= '9') {
            if (++digits > 2)
                return -1;
            parts[part] = parts[part] * 10 + (c - '0');
        } else if (digits > 0 && part < 2) {
            // The system's time separator: any one character between numbers.
            ++part;
            digits = 0;
        } else {
            return -1;
        }
    }
    const QByteArrayView half = i < field.size() ? field.sliced(i + 1) : QByteArrayView();
    if (part != 2 || digits == 0 || (half != "AM" && half != "PM"))
        return -1;
    if (parts[0] < 1 || parts[0] > 12 || parts[1] > 59 || parts[2] > 59)
        return -1;
    const int hour = parts[0] % 12 + (half == "PM" ? 12 : 0);
    return (hour * 60 + parts[1]) * 60 + parts[2];
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

QByteArray csvHeaderBytes(const QDate& date, const std::array<ChannelRecord, kChannelCount>& channels, int columns)
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
