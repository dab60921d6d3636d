#include "startup/InitRecord.h"

#include <QStringDecoder>
#include <QStringEncoder>
#include <QtEndian>

namespace rdxmon {

namespace {

// Text fields are stored in the system's ANSI code page (932 for the
// recorders' market), left aligned, blank padded, cut when longer. A
// double-byte character that would straddle the field's end is left out.
QByteArray fitText(const QString& text, int width)
{
    QStringEncoder encoder("CP932");
    QByteArray out;
    for (qsizetype i = 0; i < text.size();) {
        // Keep surrogate pairs together.
        const qsizetype len = (text.at(i).isHighSurrogate() && i + 1 < text.size()) ? 2 : 1;
        const QByteArray bytes = encoder.encode(QStringView(text).mid(i, len));
        if (out.size() + bytes.size() > width)
            break;
        out += bytes;
        i += len;
    }
    return out.leftJustified(width, ' ');
}

QString readText(const QByteArray& bytes, int offset, int width)
{
    QStringDecoder decoder("CP932");
    return decoder.decode(bytes.mid(offset, width));
}

template <typename T> void putLe(QByteArray& out, T value)
{
    char buffer[sizeof(T)];
    qToLittleEndian(value, buffer);
    out.append(buffer, sizeof(T));
}

template <typename T> T getLe(const QByteArray& bytes, int offset)
{
    return qFromLittleEndian<T>(bytes.constData() + offset);
}

}  // namespace

QByteArray encodeInitRecord(const InitRecord& record)
{
    QByteArray out;
    out.reserve(kInitRecordSize);
    out += fitText(record.Port, 4);
    out += fitText(record.Speed, 4);
    out += fitText(record.RecCount, 2);
    putLe<std::int32_t>(out, record.LogInterval);
    putLe<std::int16_t>(out, record.LogUnit);
    putLe<std::int16_t>(out, record.LogNameMode);
    putLe<std::int16_t>(out, record.LogActive);
    return out;
}

std::optional<InitRecord> decodeInitRecord(const QByteArray& bytes)
{
    if (bytes.size() < kInitRecordSize)
        return std::nullopt;
    InitRecord record;
    record.Port = readText(bytes, 0, 4);
    record.Speed = readText(bytes, 4, 4);
    record.RecCount = readText(bytes, 8, 2);
    record.LogInterval = getLe<std::int32_t>(bytes, 10);
    record.LogUnit = getLe<std::int16_t>(bytes, 14);
    record.LogNameMode = getLe<std::int16_t>(bytes, 16);
    record.LogActive = getLe<std::int16_t>(bytes, 18);
    return record;
}

}  // namespace rdxmon
