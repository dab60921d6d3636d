#include "names/ChannelNames.h"

#include <algorithm>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QtEndian>

#include "names/Cp932.h"
#include "startup/AtomicFile.h"
#include "startup/Lenient.h"

namespace rdxmon {

namespace {

// What becomes of a file that could not be used whole.
QString keptNote(Wording wording)
{
    if (wording == Wording::Service)
        return QStringLiteral("The file is left as it is.");
    return QStringLiteral("The file is left as it is; before the names or the channel selection are next saved, a "
                          "copy of it is kept as %1.")
        .arg(kNamesBackupFileName);
}

QString namesPath(const QString& folder)
{
    return QDir(folder).filePath(kNamesFileName);
}

QString makeDefaultName(int index)
{
    return fitName(QStringLiteral("Channel ") + channelLabel(index) + QStringLiteral("  (") + QLatin1Char(' ')
                   + QString::number(index + 1) + QLatin1Char(')'));
}

// The default records, made once: every load of the names file starts from
// them, and copies share their names.
const ChannelTable& defaultRecords()
{
    static const ChannelTable table = [] {
        ChannelTable made;
        for (int i = 0; i < kChannelCount; ++i)
            made[i] = ChannelRecord{makeDefaultName(i), 1};
        return made;
    }();
    return table;
}

}  // namespace

QString channelLabel(int index)
{
    return format00(index / kChannelsPerSlot + 1) + QLatin1Char('-') + QString::number(index % kChannelsPerSlot + 1);
}

QString defaultChannelName(int index)
{
    return index >= 0 && index < kChannelCount ? defaultRecords()[index].Name : makeDefaultName(index);
}

ChannelTable defaultChannelTable()
{
    return defaultRecords();
}

bool keepsFileBytes(const ChannelRecord& record)
{
    return record.FileBytes.size() == kNameLength && record.Name == fitName(fromCp932(record.FileBytes));
}

QString plainName(const QString& name)
{
    QString plain = name;
    for (QChar& c : plain) {
        if (c.category() == QChar::Other_Control)
            c = QLatin1Char(' ');
    }
    return plain;
}

QByteArray encodeNameRecord(const ChannelRecord& record)
{
    QByteArray bytes = keepsFileBytes(record) ? record.FileBytes : toCp932(cutToBytes(record.Name, kNameLength));
    bytes.append(kNameLength - bytes.size(), ' ');
    char flag[2];
    qToLittleEndian<qint16>(record.LogSel, flag);
    bytes.append(flag, 2);
    return bytes;
}

ChannelRecord decodeNameRecord(const char* data)
{
    const QByteArray bytes(data, kNameLength);
    return ChannelRecord{fitName(fromCp932(bytes)), qFromLittleEndian<qint16>(data + kNameLength), bytes};
}

QByteArray encodeChannelTable(const ChannelTable& table)
{
    QByteArray bytes;
    bytes.reserve(kNamesFileSize);
    for (const ChannelRecord& record : table)
        bytes += encodeNameRecord(record);
    return bytes;
}

NamesLoadResult loadChannelNames(const QString& folder, Wording wording)
{
    NamesLoadResult result;
    result.table = defaultChannelTable();
    const QString path = namesPath(folder);

    if (!QFileInfo::exists(path)) {
        QString error;
        if (!saveChannelNames(folder, result.table, &error))
            result.problem = error;
        return result;
    }

    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        result.problem = QStringLiteral("The channel name file %1 could not be read (%2). The default names are "
                                        "%3. ")
                             .arg(QDir::toNativeSeparators(path), file.errorString(),
                                  wording == Wording::Service ? QStringLiteral("used") : QStringLiteral("shown"))
            + keptNote(wording);
        return result;
    }
    return channelNamesFromBytes(file.read(kNamesFileSize), path, wording);
}

NamesLoadResult channelNamesFromBytes(const QByteArray& bytes, const QString& path, Wording wording)
{
    NamesLoadResult result;
    result.recordsRead = static_cast<int>(std::min<qsizetype>(bytes.size(), kNamesFileSize) / kNameRecordSize);
    for (int i = 0; i < kChannelCount; ++i)
        result.table[i]
            = i < result.recordsRead ? decodeNameRecord(bytes.constData() + i * kNameRecordSize) : defaultRecords()[i];
    if (bytes.size() < kNamesFileSize) {
        result.problem = QStringLiteral("The channel name file %1 is shorter than expected (%2 of %3 bytes). "
                                        "Channels it does not hold get their default names. ")
                             .arg(QDir::toNativeSeparators(path))
                             .arg(bytes.size())
                             .arg(kNamesFileSize)
            + keptNote(wording);
    }
    return result;
}

bool saveChannelNames(const QString& folder, const ChannelTable& table, QString* error)
{
    const QString path = namesPath(folder);
    QString reason;
    // Whatever follows the 186 records stays.
    const bool ok = writeFileAtomically(path, encodeChannelTable(table), &reason, LaterBytes::Keep);
    if (!ok && error) {
        *error = QStringLiteral("The channel names could not be saved in %1 (%2). They are kept in memory; "
                                "fix the cause (a read-only file or folder, a full disk) and press OK again.")
                     .arg(QDir::toNativeSeparators(path), reason);
    }
    return ok;
}

bool backUpNamesFile(const QString& folder, QString* error)
{
    const QString path = namesPath(folder);
    if (!QFileInfo::exists(path))
        return true;
    const QString backup = QDir(folder).filePath(kNamesBackupFileName);
    QFile::remove(backup);
    QFile file(path);
    if (file.copy(backup))
        return true;
    if (error) {
        *error = QStringLiteral("The channel names were not saved: the damaged file %1 could not be kept as %2 (%3). "
                                "They are kept in memory; fix the cause and save again.")
                     .arg(QDir::toNativeSeparators(path), kNamesBackupFileName, file.errorString());
    }
    return false;
}

}  // namespace rdxmon
