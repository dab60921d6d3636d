// The channel name file "RDX512NAME.SET" in the program's folder: 186
// records of 20 bytes, record r + 1 for channel index r:
//   bytes 0..17  the name in CP932, blank padded
//   bytes 18..19 LogSel, little-endian signed 16-bit
#ifndef RDXMON_NAMES_CHANNELNAMES_H
#define RDXMON_NAMES_CHANNELNAMES_H

#include <array>

#include <QByteArray>
#include <QString>

#include "startup/SharedState.h"

namespace rdxmon {

inline const QString kNamesFileName = QStringLiteral("RDX512NAME.SET");
inline const QString kNamesBackupFileName = QStringLiteral("RDX512NAME.SET.bak");
inline constexpr int kNameRecordSize = 20;
inline constexpr int kNamesFileSize = kChannelCount * kNameRecordSize;  // 3720

using ChannelTable = std::array<ChannelRecord, kChannelCount>;

// The short label of a channel: "01-1" for index 0, "31-6" for index 185.
QString channelLabel(int index);

// The name a new file gives channel index i: "Channel 01-1  ( 1)" fitted to
// 18 characters ("Channel 02-4  ( 10" for index 9).
QString defaultChannelName(int index);
ChannelTable defaultChannelTable();

// One record of 20 bytes. A name read from the file and not changed since
// goes back as the file held it (keepsFileBytes); any other name is written
// in CP932, cut at a character boundary to 18 bytes and blank padded.
QByteArray encodeNameRecord(const ChannelRecord& record);
// Decodes the 20 bytes at data: the name as fromCp932 reads it, fitted to
// 18 characters, beside the 18 bytes themselves.
ChannelRecord decodeNameRecord(const char* data);
// True when the record's name still reads as its file bytes do.
bool keepsFileBytes(const ChannelRecord& record);

// The name as it goes into text for other programs (the CSV header, the
// broker's messages): control characters (NUL, CR, LF, DEL, ...) become
// blanks. The names file keeps them.
QString plainName(const QString& name);

// The whole file: 186 records.
QByteArray encodeChannelTable(const ChannelTable& table);

struct NamesLoadResult {
    ChannelTable table{};
    // Whole records taken from the file (186 for a complete file, 0 when the
    // defaults were used); the rest carry the default records.
    int recordsRead = 0;
    // Empty when all went well; otherwise a sentence for the operator: the
    // file was short, could not be read, or the new default file could not
    // be written. The file is never rewritten on account of a problem; the
    // window keeps a copy (backUpNamesFile) before it next writes it.
    QString problem;
};

// Reads "<folder>/RDX512NAME.SET". A missing file gets the default records,
// written to a new file at once. A file shorter than 3720 bytes yields the
// whole records it holds and defaults for the rest; it is left as it is.
NamesLoadResult loadChannelNames(const QString& folder, Wording wording = Wording::WindowProgram);

// What loadChannelNames makes of the bytes read from the file at path (the
// first 3720 count): the whole records they hold, defaults for the rest, and
// the problem of a short file, naming path.
NamesLoadResult channelNamesFromBytes(const QByteArray& bytes, const QString& path,
                                      Wording wording = Wording::WindowProgram);

// Writes the 186 records from the start of "<folder>/RDX512NAME.SET",
// creating it when missing and keeping any bytes after 3720. The file is
// written whole (writeFileAtomically): on failure the old one stays as it
// was, and false is returned with, when error is given, a sentence for the
// operator.
bool saveChannelNames(const QString& folder, const ChannelTable& table, QString* error);

// Copies "<folder>/RDX512NAME.SET" to "RDX512NAME.SET.bak" (replacing an
// older copy), for a file that could not be read whole before it is written
// over. True when the copy was made or there is no file; otherwise false
// and, when error is given, a sentence for the operator.
bool backUpNamesFile(const QString& folder, QString* error);

}  // namespace rdxmon

#endif
