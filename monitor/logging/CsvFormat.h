// The CSV log file: two header lines and one row per sampling cycle, lines
// ending in CR LF, written in CP932.
//   line 1  "<date of START in the system's short date format>"
//   line 2  "CH Name","<name 0>",...,"<name N-1>"   (18 characters each)
//   rows    "h:m:s AM/PM",<value or empty>,...
#ifndef RDXMON_LOGGING_CSVFORMAT_H
#define RDXMON_LOGGING_CSVFORMAT_H

#include <array>

#include <QByteArray>
#include <QDate>
#include <QString>
#include <QTime>

#include "startup/SharedState.h"

namespace rdxmon {

// A text field between double quotes; a double quote inside is doubled.
QString csvQuote(const QString& text);

// Line 1: the date in the system's short date format, quoted, with CR LF.
QString csvDateLine(const QDate& date);

// Line 2: "CH Name" and the names of channels 0 to columns - 1, each with
// all its 18 characters (control characters as blanks), with CR LF.
QString csvNameLine(const std::array<ChannelRecord, kChannelCount>& channels, int columns);

// The time of a row, "h:m:s AM/PM" without leading zeros: 13:05:09 gives
// "1:5:9 PM", 00:00:30 gives "12:0:30 AM".
QString csvRowTime(const QTime& time);
// The seconds after midnight of a row's first field as csvRowTime writes it,
// quotes included ("1:5:9 PM" gives 46 809); -1 when it is no such time (the
// header lines, or a damaged row).
int csvRowSeconds(QByteArrayView field);

// A value as the log writes it: the single-precision value rounded to 7
// significant digits, trailing zeros dropped, a period as decimal point, a
// zero before the point of a value between -1 and 1 ("0.5", "-0.25").
// Values of 10 000 000 and more, or below 0.0001, for which 7 digits in
// plain notation cannot show the value, take the exponent form with a
// signed two-digit exponent ("1.234568E+08", "1E-05"). Zero is "0" (also
// for -0); a value that is not a number or infinite gives an empty field.
QString csvNumber(float value);

// One data row: the quoted time, then per channel 0 to columns - 1 its value
// when it is selected and has had a reading (read), else nothing; fields
// joined by commas, with CR LF.
QString csvDataRow(const QTime& time, const std::array<ChannelRecord, kChannelCount>& channels,
                   const std::array<float, kChannelCount>& values, const std::array<PvState, kChannelCount>& states,
                   int columns);

// Both header lines of a new log file, in CP932.
QByteArray csvHeaderBytes(const QDate& date, const std::array<ChannelRecord, kChannelCount>& channels, int columns);

// One data row in CP932.
QByteArray csvRowBytes(const QTime& time, const std::array<ChannelRecord, kChannelCount>& channels,
                       const std::array<float, kChannelCount>& values, const std::array<PvState, kChannelCount>& states,
                       int columns);

}  // namespace rdxmon

#endif
