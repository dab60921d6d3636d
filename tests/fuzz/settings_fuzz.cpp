// The three settings-file loaders on arbitrary file contents. The first byte
// chooses the file (0 "RDX512INIT.SET", 1 "RDX512NAME.SET",
// 2 "RDX512DVN.SET", taken modulo 3); the rest is loaded as that file's
// contents, from memory, the way start-up loads the file's bytes.
#include <QtEndian>

#include "fuzz_check.h"
#include "names/AddressTable.h"
#include "names/ChannelNames.h"
#include "startup/InitRecord.h"
#include "startup/Lenient.h"
#include "startup/SettingsFile.h"

namespace {

const QString kPath = QStringLiteral("/folder/file");

std::int16_t le16(const QByteArray& bytes, qsizetype offset)
{
    return qFromLittleEndian<qint16>(bytes.constData() + offset);
}

void initFile(const QByteArray& bytes)
{
    const std::optional<rdxmon::InitRecord> decoded = rdxmon::decodeInitRecord(bytes);
    FUZZ_CHECK(decoded.has_value() == (bytes.size() >= rdxmon::kInitRecordSize));
    if (decoded) {
        FUZZ_CHECK(decoded->LogInterval == qFromLittleEndian<qint32>(bytes.constData() + 10));
        FUZZ_CHECK(decoded->LogUnit == le16(bytes, 14) && decoded->LogNameMode == le16(bytes, 16));
        FUZZ_CHECK(decoded->LogActive == le16(bytes, 18));
        FUZZ_CHECK(rdxmon::encodeInitRecord(*decoded).size() == rdxmon::kInitRecordSize);
    }
    // Start-up reads the first 20 bytes.
    const rdxmon::SettingsLoadResult result = rdxmon::settingsFromBytes(bytes.left(rdxmon::kInitRecordSize));
    using Outcome = rdxmon::SettingsLoadResult::Outcome;
    FUZZ_CHECK(result.backupPath.isEmpty());
    if (result.outcome == Outcome::Loaded) {
        const int count = rdxmon::lenientInt(result.record.RecCount);
        FUZZ_CHECK(decoded && result.record == *decoded && count >= 1 && count <= 31);
    } else {
        // A damaged file gives the defaults.
        FUZZ_CHECK(result.outcome == Outcome::Damaged && result.record == rdxmon::InitRecord::defaults());
    }
}

void namesFile(const QByteArray& bytes)
{
    const rdxmon::NamesLoadResult result = rdxmon::channelNamesFromBytes(bytes, kPath);
    const int whole = int(std::min<qsizetype>(bytes.size(), rdxmon::kNamesFileSize) / rdxmon::kNameRecordSize);
    FUZZ_CHECK(result.recordsRead == whole);
    FUZZ_CHECK(result.problem.isEmpty() == (bytes.size() >= rdxmon::kNamesFileSize));
    FUZZ_CHECK(result.problem.isEmpty() || result.problem.contains(kPath));
    for (int i = 0; i < rdxmon::kChannelCount; ++i) {
        const rdxmon::ChannelRecord& record = result.table[i];
        FUZZ_CHECK(record.Name.size() == 18);
        FUZZ_CHECK(i < whole ? record.LogSel == le16(bytes, i * rdxmon::kNameRecordSize + 18)
                             : record.LogSel == 1 && record.Name == rdxmon::defaultChannelName(i));
    }
    // Names read from the file are written back as whole records. (The first
    // recorder's six suffice: encoding is slow, and all records share it.)
    for (int i = 0; i < rdxmon::kChannelsPerSlot; ++i)
        FUZZ_CHECK(rdxmon::encodeNameRecord(result.table[i]).size() == rdxmon::kNameRecordSize);
}

void addressFile(const QByteArray& bytes)
{
    const rdxmon::AddressLoadResult result = rdxmon::addressTableFromBytes(bytes, kPath);
    FUZZ_CHECK(result.fromFile && !result.unreadable);
    FUZZ_CHECK(result.shortFile == (bytes.size() < rdxmon::kAddressFileSize));
    FUZZ_CHECK(result.problem.isEmpty() == !result.shortFile);
    for (int k = 0; k < 31; ++k)
        FUZZ_CHECK(result.table[k] == (2 * k + 2 <= bytes.size() ? le16(bytes, 2 * k) : k + 1));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < 1)
        return 0;
    const QByteArray bytes(reinterpret_cast<const char*>(data) + 1, static_cast<qsizetype>(size - 1));
    const int which = data[0] % 3;
    which == 0 ? initFile(bytes) : which == 1 ? namesFile(bytes) : addressFile(bytes);
    return 0;
}
