#include "startup/SettingsFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include "startup/AtomicFile.h"
#include "startup/Lenient.h"

namespace rdxmon {

namespace {

QString settingsPath(const QString& folder)
{
    return QDir(folder).filePath(kInitFileName);
}

// Moves a damaged settings file aside so that writing the defaults loses
// nothing. Returns the copy's path, or an empty text when no copy could be
// kept (the file then stays where it was).
QString keepDamagedFile(const QString& folder)
{
    const QString path = settingsPath(folder);
    const QString backup = QDir(folder).filePath(kInitBackupFileName);
    if (QFile::exists(backup) && !QFile::remove(backup))
        return {};
    if (QFile::rename(path, backup) || QFile::copy(path, backup))
        return QDir::cleanPath(QFileInfo(backup).absoluteFilePath());
    return {};
}

SettingsLoadResult damaged(const QString& folder)
{
    SettingsLoadResult result;
    result.outcome = SettingsLoadResult::Outcome::Damaged;
    result.record = InitRecord::defaults();
    result.backupPath = keepDamagedFile(folder);
    return result;
}

}  // namespace

SettingsLoadResult readSettings(const QString& folder)
{
    const QString path = settingsPath(folder);
    if (!QFile::exists(path))
        return SettingsLoadResult{SettingsLoadResult::Outcome::Missing, InitRecord::defaults(), {}};

    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return damaged(folder);
    const QByteArray bytes = file.read(kInitRecordSize);
    file.close();

    const SettingsLoadResult result = settingsFromBytes(bytes);
    return result.outcome == SettingsLoadResult::Outcome::Loaded ? result : damaged(folder);
}

SettingsLoadResult settingsFromBytes(const QByteArray& bytes)
{
    const std::optional<InitRecord> record = decodeInitRecord(bytes);
    // A count outside 1..31 would leave nothing to poll and the start-up
    // pass would never end.
    const int count = record ? lenientInt(record->RecCount) : 0;
    if (count < 1 || count > 31)
        return SettingsLoadResult{SettingsLoadResult::Outcome::Damaged, InitRecord::defaults(), {}};
    return SettingsLoadResult{SettingsLoadResult::Outcome::Loaded, *record, {}};
}

bool writeSettings(const QString& folder, const InitRecord& record, QString* error)
{
    const QString path = settingsPath(folder);
    QString reason;
    const bool ok = writeFileAtomically(path, encodeInitRecord(record), &reason, LaterBytes::Keep);
    if (!ok && error)
        *error = QStringLiteral("The settings file %1 could not be written: %2.")
                     .arg(QDir::toNativeSeparators(path), reason);
    return ok;
}

QString channelTotal(const InitRecord& record)
{
    return QString::number(static_cast<qint64>(lenientInt(record.RecCount)) * 6);
}

QString defaultsMessage(Wording wording, const QString& folder)
{
    if (wording == Wording::WindowProgram)
        return kDefaultsMessage;
    const InitRecord d = InitRecord::defaults();
    return QStringLiteral("The service runs with the default settings (%1, %2 bit/s, %3 recorder, a %4 s cycle), "
                          "written to %5. Copy the settings files made with the window program there, then "
                          "restart the service.")
        .arg(d.Port, d.Speed, d.RecCount.trimmed())
        .arg(d.LogInterval)
        .arg(QDir::toNativeSeparators(QDir(folder).filePath(kInitFileName)));
}

QString damagedSettingsMessage(const QString& folder, const QString& backupPath, Wording wording)
{
    const QString intro = QStringLiteral("The settings file %1 was damaged and could not be used.")
                              .arg(QDir::toNativeSeparators(settingsPath(folder)));
    const QString kept = backupPath.isEmpty()
        ? QStringLiteral("A copy of it could not be kept.")
        : QStringLiteral("It has been kept as %1.").arg(QDir::toNativeSeparators(backupPath));
    return intro + QLatin1Char(' ') + kept + QLatin1Char('\n') + defaultsMessage(wording, folder);
}

InitRecord startupSettings(const QString& folder, MessageBoxes& messages,
                           const std::function<void(const InitRecord&)>& showSettings, Wording wording)
{
    const SettingsLoadResult settings = readSettings(folder);
    if (settings.outcome == SettingsLoadResult::Outcome::Loaded) {
        showSettings(settings.record);
        return settings.record;
    }
    QString writeError;
    const bool written = writeSettings(folder, settings.record, &writeError);
    showSettings(settings.record);
    messages.information(settings.outcome == SettingsLoadResult::Outcome::Damaged
                             ? damagedSettingsMessage(folder, settings.backupPath, wording)
                             : defaultsMessage(wording, folder));
    if (!written)
        messages.information(writeError);
    return settings.record;
}

}  // namespace rdxmon
