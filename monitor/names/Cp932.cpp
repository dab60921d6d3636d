#include "names/Cp932.h"

#include <optional>

#include <QStringDecoder>
#include <QStringEncoder>
#include <QVarLengthArray>

namespace rdxmon {

namespace {

constexpr const char* kCodec = "CP932";

// One converter each way, made once per thread (a converter holds state
// between calls, so threads do not share one). An error sticks to the
// converter that met it, whatever resetState does, so that one is replaced.
template <typename Converter> Converter& converter(std::optional<Converter>& kept)
{
    if (!kept || kept->hasError())
        kept.emplace(kCodec);
    else
        kept->resetState();
    return *kept;
}

QStringEncoder& encoder()
{
    thread_local std::optional<QStringEncoder> kept;
    return converter(kept);
}

QStringDecoder& decoder()
{
    thread_local std::optional<QStringDecoder> kept;
    return converter(kept);
}

// Bytes of one code point beyond ASCII (one QChar or a surrogate pair);
// empty when CP932 has no such character.
QByteArray encodeCodePoint(QStringView codePoint)
{
    QStringEncoder& e = encoder();
    QByteArray bytes = e.encode(codePoint);
    if (e.hasError())
        return {};
    return bytes;
}

// Length in UTF-16 units of the code point starting at position i.
qsizetype codePointLength(QStringView text, qsizetype i)
{
    if (text.at(i).isHighSurrogate() && i + 1 < text.size() && text.at(i + 1).isLowSurrogate())
        return 2;
    return 1;
}

bool isLeadByte(unsigned char b)
{
    return (b >= 0x81 && b <= 0x9f) || (b >= 0xe0 && b <= 0xfc);
}

bool isTrailByte(unsigned char b)
{
    return b >= 0x40 && b <= 0xfc && b != 0x7f;
}

// Calls take(its CP932 bytes or empty, position, length) for each code
// point of text while take returns true.
template <typename Take> void forEachCodePoint(QStringView text, Take take)
{
    for (qsizetype i = 0; i < text.size();) {
        const char16_t c = text.at(i).unicode();
        const qsizetype len = c < 0x80 ? 1 : codePointLength(text, i);
        const QByteArray bytes = c < 0x80 ? QByteArray(1, static_cast<char>(c)) : encodeCodePoint(text.mid(i, len));
        if (!take(bytes, i, len))
            return;
        i += len;
    }
}

}  // namespace

QByteArray toCp932(const QString& text)
{
    QByteArray out;
    out.reserve(text.size());
    for (qsizetype i = 0; i < text.size();) {
        // ASCII stands for itself (the converter would swap some control
        // characters); runs beyond it convert whole when they can.
        qsizetype end = i;
        while (end < text.size() && text.at(end).unicode() < 0x80)
            ++end;
        for (; i < end; ++i)
            out += static_cast<char>(text.at(i).unicode());
        while (end < text.size() && text.at(end).unicode() >= 0x80)
            ++end;
        if (i == end)
            continue;
        const QStringView run = QStringView(text).mid(i, end - i);
        QStringEncoder& e = encoder();
        const QByteArray bytes = e.encode(run);
        if (!e.hasError()) {
            out += bytes;
        } else {
            forEachCodePoint(run, [&](const QByteArray& b, qsizetype, qsizetype) {
                out += b.isEmpty() ? QByteArray("?") : b;
                return true;
            });
        }
        i = end;
    }
    return out;
}

QString fromCp932(const QByteArray& bytes)
{
    QString out;
    out.reserve(bytes.size());
    const auto at = [&](qsizetype i) { return static_cast<unsigned char>(bytes.at(i)); };
    for (qsizetype i = 0; i < bytes.size();) {
        const unsigned char b = at(i);
        if (b < 0x80) {
            out += QChar(b);
            ++i;
        } else if (b >= 0xa1 && b <= 0xdf) {  // half-width katakana
            out += QChar(char16_t(0xff61 + (b - 0xa1)));
            ++i;
        } else if (isLeadByte(b) && i + 1 == bytes.size()) {
            break;  // the first half of a character cut off
        } else if (isLeadByte(b) && isTrailByte(at(i + 1))) {
            // Decoded into a small buffer: a names file holds hundreds of
            // such characters.
            QStringDecoder& d = decoder();
            const QByteArrayView pair = QByteArrayView(bytes).sliced(i, 2);
            QVarLengthArray<QChar, 8> c(d.requiredSpace(pair.size()));
            const qsizetype n = d.appendToBuffer(c.data(), pair) - c.data();
            const bool mapped
                = !d.hasError() && n == 1 && c[0] != QChar::ReplacementCharacter && c[0].unicode() >= 0x80;
            out += mapped ? c[0] : QChar(QChar::ReplacementCharacter);
            i += 2;
        } else {
            out += QChar(QChar::ReplacementCharacter);
            ++i;
        }
    }
    return out;
}

int LenMbcs(const QString& text)
{
    return static_cast<int>(toCp932(text).size());
}

QString cutToBytes(const QString& text, int maxBytes)
{
    int total = 0;
    qsizetype kept = text.size();
    forEachCodePoint(text, [&](const QByteArray& bytes, qsizetype i, qsizetype) {
        total += bytes.isEmpty() ? 1 : static_cast<int>(bytes.size());
        if (total > maxBytes)
            kept = i;
        return total <= maxBytes;
    });
    return text.left(kept);
}

QString unstorableCharacters(const QString& text)
{
    QString found;
    forEachCodePoint(text, [&](const QByteArray& bytes, qsizetype i, qsizetype len) {
        const QStringView c = QStringView(text).mid(i, len);
        if (bytes.isEmpty() && !found.contains(c))
            found += c;
        return true;
    });
    return found;
}

QString fitName(const QString& text)
{
    QString name = text.left(kNameLength);
    // at(), not back(): a name that needs no change stays shared, uncopied.
    if (name.size() == kNameLength && name.at(kNameLength - 1).isHighSurrogate())
        name.chop(1);
    return name.leftJustified(kNameLength, QLatin1Char(' '));
}

}  // namespace rdxmon
