// The recorder address table "RDX512DVN.SET": 31 records of one little-endian
// signed 16-bit address each, record k+1 for slot k (62 bytes).
#ifndef RDXMON_NAMES_ADDRESSTABLE_H
#define RDXMON_NAMES_ADDRESSTABLE_H

#include <array>
#include <cstdint>

#include <QByteArray>
#include <QString>

#include "startup/Services.h"

namespace rdxmon {

inline const QString kAddressFileName = QStringLiteral("RDX512DVN.SET");
inline constexpr int kAddressFileSize = 62;

using AddressTable = std::array<std::int16_t, 31>;

// The 62 bytes of the file.
QByteArray encodeAddressTable(const AddressTable& table);

// A new table: slot k answers to address k + 1.
AddressTable defaultAddressTable();

struct AddressLoadResult {
    AddressTable table{};
    bool fromFile = false;  // the file existed and was read
    bool shortFile = false;  // it held fewer than 62 bytes; missing slots got k + 1
    bool unreadable = false;  // it exists but could not be opened or read; defaults used
    // Empty when the file was read whole or is missing; otherwise one
    // sentence for the operator naming the file (unreadable or short).
    QString problem;
};

// Reads "<folder>/RDX512DVN.SET". Missing or unreadable file: the defaults.
// A short file: the whole records it holds are used, the rest default.
// The file is never written here.
AddressLoadResult loadAddressTable(const QString& folder, Wording wording = Wording::WindowProgram);

// What loadAddressTable makes of the bytes read from the file at path (the
// first 62 count): the table, and the problem of a short file, naming path.
AddressLoadResult addressTableFromBytes(const QByteArray& bytes, const QString& path,
                                        Wording wording = Wording::WindowProgram);

// Keeps a copy of the address file as "RDX512DVN.SET.bak" (replacing an
// older copy) before a file that could not be read whole is written over.
// False when there is nothing to copy or the copy failed.
bool backUpAddressFile(const QString& folder);

// Writes the 62 bytes from the start of "<folder>/RDX512DVN.SET", creating it
// when missing and keeping any bytes after them. The file is written whole
// (writeFileAtomically): on failure the old one stays as it was, and false is
// returned with, when error is given, a readable reason naming the file.
bool saveAddressTable(const QString& folder, const AddressTable& table, QString* error);

// An address entry: a whole number (optional sign, digits, blanks around) in
// -32768..32767 is taken; anything else keeps the previous value.
std::int16_t parseAddressEntry(const QString& text, std::int16_t previous);

}  // namespace rdxmon

#endif
