// The settings record kept in "RDX512INIT.SET": one record of 20 bytes.
//   offset 0  Port        4 characters, blank padded
//   offset 4  Speed       4 characters
//   offset 8  RecCount    2 characters (" 1", "01" .. "31")
//   offset 10 LogInterval 32-bit little-endian signed
//   offset 14 LogUnit     16-bit (0 seconds, 1 minutes)
//   offset 16 LogNameMode 16-bit (0 user select file, 1 default file)
//   offset 18 LogActive   16-bit (1 logging was running)
#ifndef RDXMON_STARTUP_INITRECORD_H
#define RDXMON_STARTUP_INITRECORD_H

#include <cstdint>
#include <optional>

#include <QByteArray>
#include <QString>

namespace rdxmon {

inline constexpr int kInitRecordSize = 20;
inline const QString kInitFileName = QStringLiteral("RDX512INIT.SET");

struct InitRecord {
    QString Port = QStringLiteral("COM1");
    QString Speed = QStringLiteral("9600");
    QString RecCount = QStringLiteral(" 1");
    std::int32_t LogInterval = 60;
    std::int16_t LogUnit = 0;
    std::int16_t LogNameMode = 0;
    std::int16_t LogActive = 0;

    static InitRecord defaults() { return InitRecord{}; }
    bool operator==(const InitRecord&) const = default;
};

// Exactly 20 bytes; text fields fitted (cut or blank padded).
QByteArray encodeInitRecord(const InitRecord& record);
// Decodes the first 20 bytes; nullopt when fewer than 20 bytes are given.
std::optional<InitRecord> decodeInitRecord(const QByteArray& bytes);

}  // namespace rdxmon

#endif
