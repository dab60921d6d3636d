#include "startup/Lenient.h"

#include <charconv>
#include <cmath>
#include <limits>

namespace rdxmon {

namespace {

// Reads the leading number of text made of single-byte characters; read
// tells whether there was one (a digit at least).
double scanNumber(const std::string& text, bool* read = nullptr)
{
    auto at = [&](std::size_t i) { return i < text.size() ? text[i] : '\0'; };
    auto isDigit = [](char c) { return c >= '0' && c <= '9'; };

    std::size_t i = 0;
    while (at(i) == ' ' || at(i) == '\t')
        ++i;

    bool negative = false;
    if (at(i) == '+' || at(i) == '-') {
        negative = at(i) == '-';
        ++i;
    }

    // Mantissa, without its sign, as from_chars reads it.
    std::string digits;
    bool anyDigit = false;
    while (isDigit(at(i))) {
        digits += at(i++);
        anyDigit = true;
    }
    if (at(i) == '.') {
        digits += at(i++);
        while (isDigit(at(i))) {
            digits += at(i++);
            anyDigit = true;
        }
    }
    if (read)
        *read = anyDigit;
    if (!anyDigit)
        return 0.0;

    // The exponent counts only when at least one digit follows E (and its sign).
    bool negativeExponent = false;
    if (at(i) == 'E' || at(i) == 'e') {
        std::size_t j = i + 1;
        std::string exponent = "e";
        if (at(j) == '+' || at(j) == '-') {
            negativeExponent = at(j) == '-';
            exponent += at(j++);
        }
        if (isDigit(at(j))) {
            while (isDigit(at(j)))
                exponent += at(j++);
            digits += exponent;
        }
    }

    double value = 0.0;
    const auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
    (void)end;
    if (ec == std::errc::result_out_of_range) {
        // Too small underflows to 0; too large becomes infinite.
        value = negativeExponent ? 0.0 : std::numeric_limits<double>::infinity();
    }
    return negative ? -value : value;
}

}  // namespace

double lenientNumber(QStringView text)
{
    // Only ASCII characters can be part of a number; anything else stops it.
    std::string ascii;
    ascii.reserve(static_cast<std::size_t>(text.size()));
    for (const QChar c : text)
        ascii += c.unicode() < 128 ? static_cast<char>(c.unicode()) : '?';
    return scanNumber(ascii);
}

double lenientNumber(const std::string& text)
{
    return scanNumber(text);
}

std::optional<double> leadingNumber(const std::string& text)
{
    bool read = false;
    const double value = scanNumber(text, &read);
    if (!read)
        return std::nullopt;
    return value;
}

int lenientInt(QStringView text)
{
    const double value = std::trunc(lenientNumber(text));
    if (value >= static_cast<double>(std::numeric_limits<int>::max()))
        return std::numeric_limits<int>::max();
    if (value <= static_cast<double>(std::numeric_limits<int>::min()))
        return std::numeric_limits<int>::min();
    return static_cast<int>(value);
}

QString format00(int value)
{
    const qint64 wide = value;
    const QString digits = QString::number(wide < 0 ? -wide : wide).rightJustified(2, QLatin1Char('0'));
    return wide < 0 ? QLatin1Char('-') + digits : digits;
}

}  // namespace rdxmon
