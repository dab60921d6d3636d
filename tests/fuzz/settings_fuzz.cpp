// The three settings-file loaders on arbitrary file contents. The first byte
// chooses the file (0 "RDX512INIT.SET", 1 "RDX512NAME.SET",
// 2 "RDX512DVN.SET", taken modulo 3); the rest is written as that file into
// a private folder and loaded the way start-up loads it.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtEndian>

#include "fuzz_check.h"
#include "names/AddressTable.h"
#include "names/ChannelNames.h"
#include "startup/InitRecord.h"
#include "startup/Lenient.h"
#include "startup/SettingsFile.h"

namespace {

const QTemporaryDir& folder()
{
    static const QTemporaryDir dir;
    if (!dir.isValid()) {
        std::fprintf(stderr, "cannot make a temporary folder\n");
        std::abort();
    }
    return dir;
}

QString pathOf(const QString& name)
{
    return QDir(folder().path()).filePath(name);
}

void writeFile(const QString& name, const QByteArray& bytes)
{
    QFile file(pathOf(name));
    FUZZ_CHECK(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    FUZZ_CHECK(file.write(bytes) == bytes.size());
}

QByteArray readFile(const QString& name)
{
    QFile file(pathOf(name));
    FUZZ_CHECK(file.open(QIODevice::ReadOnly));
    return file.readAll();
}

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
        FUZZ_CHECK(decoded->LogUnit == le16(bytes, 14));
        FUZZ_CHECK(decoded->LogNameMode == le16(bytes, 16));
        FUZZ_CHECK(decoded->LogActive == le16(bytes, 18));
        FUZZ_CHECK(rdxmon::encodeInitRecord(*decoded).size() == rdxmon::kInitRecordSize);
    }

    QFile::remove(pathOf(rdxmon::kInitBackupFileName));
    writeFile(rdxmon::kInitFileName, bytes);
    const rdxmon::SettingsLoadResult result = rdxmon::readSettings(folder().path());
    using Outcome = rdxmon::SettingsLoadResult::Outcome;
    FUZZ_CHECK(result.outcome != Outcome::Missing);
    if (result.outcome == Outcome::Loaded) {
        FUZZ_CHECK(decoded && result.record == *decoded);
        const int count = rdxmon::lenientInt(result.record.RecCount);
        FUZZ_CHECK(count >= 1 && count <= 31);
        FUZZ_CHECK(readFile(rdxmon::kInitFileName) == bytes);
    } else {
        // A damaged file is kept aside whole, and the defaults are used.
        FUZZ_CHECK(result.record == rdxmon::InitRecord::defaults());
        FUZZ_CHECK(!result.backupPath.isEmpty());
        FUZZ_CHECK(readFile(rdxmon::kInitBackupFileName) == bytes);
        FUZZ_CHECK(!QFile::exists(pathOf(rdxmon::kInitFileName)));
    }
}

void namesFile(const QByteArray& bytes)
{
    writeFile(rdxmon::kNamesFileName, bytes);
    const rdxmon::NamesLoadResult result = rdxmon::loadChannelNames(folder().path());
    const int whole = static_cast<int>(std::min<qsizetype>(bytes.size(), rdxmon::kNamesFileSize) /
                                       rdxmon::kNameRecordSize);
    FUZZ_CHECK(result.recordsRead == whole);
    FUZZ_CHECK(result.problem.isEmpty() == (bytes.size() >= rdxmon::kNamesFileSize));
    for (int i = 0; i < rdxmon::kChannelCount; ++i) {
        const rdxmon::ChannelRecord& record = result.table[i];
        FUZZ_CHECK(record.Name.size() == 18);
        if (i < whole) {
            FUZZ_CHECK(record.LogSel == le16(bytes, i * rdxmon::kNameRecordSize + 18));
        } else {
            FUZZ_CHECK(record.LogSel == 1 && record.Name == rdxmon::defaultChannelName(i));
        }
    }
    // Names read from the file are written back as whole records. (The first
    // recorder's six suffice: encoding is slow, and all records share it.)
    for (int i = 0; i < rdxmon::kChannelsPerSlot; ++i)
        FUZZ_CHECK(rdxmon::encodeNameRecord(result.table[i]).size() == rdxmon::kNameRecordSize);
    // Loading never rewrites an existing file.
    FUZZ_CHECK(readFile(rdxmon::kNamesFileName) == bytes);
}

void addressFile(const QByteArray& bytes)
{
    writeFile(rdxmon::kAddressFileName, bytes);
    const rdxmon::AddressLoadResult result = rdxmon::loadAddressTable(folder().path());
    FUZZ_CHECK(result.fromFile && !result.unreadable);
    FUZZ_CHECK(result.shortFile == (bytes.size() < rdxmon::kAddressFileSize));
    for (int k = 0; k < 31; ++k) {
        if (2 * k + 2 <= bytes.size())
            FUZZ_CHECK(result.table[k] == le16(bytes, 2 * k));
        else
            FUZZ_CHECK(result.table[k] == k + 1);
    }
    FUZZ_CHECK(readFile(rdxmon::kAddressFileName) == bytes);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < 1)
        return 0;
    const QByteArray bytes(reinterpret_cast<const char*>(data) + 1, static_cast<qsizetype>(size - 1));
    switch (data[0] % 3) {
    case 0:
        initFile(bytes);
        break;
    case 1:
        namesFile(bytes);
        break;
    default:
        addressFile(bytes);
        break;
    }
    return 0;
}
