// Reading and writing "RDX512INIT.SET" in the program's folder.
#ifndef RDXMON_STARTUP_SETTINGSFILE_H
#define RDXMON_STARTUP_SETTINGSFILE_H

#include <functional>

#include <QString>

#include "startup/InitRecord.h"
#include "startup/Services.h"

namespace rdxmon {

// Name of the copy kept of a damaged settings file.
inline const QString kInitBackupFileName = QStringLiteral("RDX512INIT.SET.bak");

// The message shown whenever start-up goes on with the default settings.
inline const QString kDefaultsMessage
    = QStringLiteral("Software will start using the default values. If you change values, restart to apply them.");

struct SettingsLoadResult {
    enum class Outcome {
        Loaded,  // the file held a usable record
        Missing,  // no settings file in the folder
        Damaged,  // shorter than 20 bytes, recorder count not 1..31, or unreadable
    };
    Outcome outcome = Outcome::Missing;
    // The record read (Loaded) or the defaults (Missing, Damaged).
    InitRecord record;
    // Damaged only: absolute path of the kept copy of the damaged file
    // ("<folder>/RDX512INIT.SET.bak"); empty when no copy could be made.
    QString backupPath;
};

// Reads record 1 of "<folder>/RDX512INIT.SET". A damaged file is moved
// aside to "RDX512INIT.SET.bak" (an older copy is replaced), so the caller
// can write the defaults without losing the operator's file.
SettingsLoadResult readSettings(const QString& folder);

// What readSettings makes of the file's bytes: Loaded with its record, or
// Damaged with the defaults (and no copy kept: there is no file here).
SettingsLoadResult settingsFromBytes(const QByteArray& bytes);

// Writes the record as the first 20 bytes of "<folder>/RDX512INIT.SET",
// creating the file when missing; any bytes after the record are kept. The
// file is written whole (writeFileAtomically): on failure the old one stays
// as it was, and false is returned with, when error is given, a readable
// reason naming the file.
bool writeSettings(const QString& folder, const InitRecord& record, QString* error);

// gChTotal for a record: the recorder count read leniently, times 6, as
// decimal text (" 1" -> "6", "12" -> "72").
QString channelTotal(const InitRecord& record);

// The text telling the operator that the settings file in the folder was
// damaged (named with its path), where its copy was kept, and that the
// defaults are used.
QString damagedSettingsMessage(const QString& folder, const QString& backupPath,
                               Wording wording = Wording::WindowProgram);

// That the defaults are used: kDefaultsMessage for the window program; the
// logging service names its folder and how to give it settings.
QString defaultsMessage(Wording wording, const QString& folder = {});

// Start-up's settings step: the record of "<folder>/RDX512INIT.SET". When the
// file is missing or damaged the defaults are written first, then
// showSettings runs (the splash window shows the values) and the operator is
// told (the damaged file's copy named; a failed write told as well).
InitRecord startupSettings(const QString& folder, MessageBoxes& messages,
                           const std::function<void(const InitRecord&)>& showSettings,
                           Wording wording = Wording::WindowProgram);

}  // namespace rdxmon

#endif
