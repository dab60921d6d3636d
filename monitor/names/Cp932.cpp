#include "names/Cp932.h"

#include <QStringDecoder>
#include <QStringEncoder>

namespace rdxmon {

namespace {

constexpr const char* kCodec = "CP932";

// Bytes of one code point (one QChar or a surrogate pair); nullopt-like empty
// result when CP932 has no such character.
QByteArray encodeCodePoint(QStringView codePoint)
{
    QStringEncoder encoder(kCodec);
    QByteArray bytes = encoder.encode(codePoint);
    if (encoder.hasError() || bytes.isEmpty())
        return {};
    return bytes;
}

// Length in UTF-16 units of the code point starting at position i.
qsizetype codePointLength(const QString& text, qsizetype i)
{
    if (text.at(i).isHighSurrogate() && i + 1 < text.size() && text.at(i + 1).isLowSurrogate())
        return 2;
    return 1;
}

}  // namespace

QByteArray toCp932(const QString& text)
{
    {
        // Most text converts as a whole; only text with characters outside
        // CP932 needs the slower path, which puts "?" in their place (the
        // converter's own substitute would be a two-byte character).
        QStringEncoder encoder(kCodec);
        QByteArray bytes = encoder.encode(text);
        if (!encoder.hasError())
            return bytes;
    }
    QByteArray out;
    for (qsizetype i = 0; i < text.size();) {
        const qsizetype len = codePointLength(text, i);
        const QByteArray bytes = encodeCodePoint(QStringView(text).mid(i, len));
        out += bytes.isEmpty() ? QByteArray("?") : bytes;
        i += len;
    }
    return out;
}

QString fromCp932(const QByteArray& bytes)
{
    QStringDecoder decoder(kCodec);
    return decoder.decode(bytes);
}

int LenMbcs(const QString& text)
{
    return static_cast<int>(toCp932(text).size());
}

QString cutToBytes(const QString& text, int maxBytes)
{
    int total = 0;
    for (qsizetype i = 0; i < text.size();) {
        const qsizetype len = codePointLength(text, i);
        total += LenMbcs(text.mid(i, len));
        if (total > maxBytes)
            return text.left(i);
        i += len;
    }
    return text;
}

QString fitName(const QString& text)
{
    QString name = text.left(kNameLength);
    if (name.size() == kNameLength && name.back().isHighSurrogate())
        name.chop(1);
    return name.leftJustified(kNameLength, QLatin1Char(' '));
}

}  // namespace rdxmon
