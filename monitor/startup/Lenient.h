// Numbers held as text are read the lenient way throughout the monitor:
// leading blanks skipped, the leading numeric part taken, nothing readable
// gives 0.
#ifndef RDXMON_STARTUP_LENIENT_H
#define RDXMON_STARTUP_LENIENT_H

#include <optional>
#include <string>

#include <QString>
#include <QStringView>

namespace rdxmon {

// Leading blanks (spaces and tabs) are skipped; an optional sign, digits, a
// decimal point and a decimal exponent written with E or e are honoured;
// reading stops at the first character that cannot continue the number.
// Nothing readable gives 0: "  12.5-02" -> 12.5, "abc" -> 0, "1E3" -> 1000,
// "-" -> 0, "1E" -> 1.
double lenientNumber(QStringView text);
// The same for text as it comes off the line (one byte per character).
double lenientNumber(const std::string& text);

// The number lenientNumber reads, or nothing when text holds no digit where
// a number would start ("----", blanks).
std::optional<double> leadingNumber(const std::string& text);

// The leading whole part of lenientNumber(text) (" 12" -> 12, "3.9" -> 3,
// "x" -> 0), used for the recorder count, gChTotal and captions. Values
// outside the int range are clamped.
int lenientInt(QStringView text);

// The value with at least two digits, as the "00" pattern writes it:
// 1 -> "01", 12 -> "12", 123 -> "123", -1 -> "-01".
QString format00(int value);

}  // namespace rdxmon

#endif
