#include "names/AddressTable.h"

#include <limits>

#include <QDir>
#include <QFile>
#include <QtEndian>

#include "startup/AtomicFile.h"

namespace rdxmon {

namespace {

QString addressPath(const QString& folder)
{
    return QDir(folder).filePath(kAddressFileName);
}

// The end of the sentence telling of a file that could not be read whole.
QString keptText(Wording wording)
{
    if (wording == Wording::Service)
        return QStringLiteral(" The file is left as it is.");
    return QStringLiteral(" The file is left as it is; when addresses are confirmed with OK in the recorder address "
                          "window, a copy of it is kept as %1.bak.")
        .arg(kAddressFileName);
}

}  // namespace

QByteArray encodeAddressTable(const AddressTable& table)
{
    QByteArray out(kAddressFileSize, '\0');
    for (std::size_t k = 0; k < table.size(); ++k)
        qToLittleEndian<std::int16_t>(table[k], out.data() + 2 * k);
    return out;
}

AddressTable defaultAddressTable()
{
    AddressTable table{};
    for (std::size_t k = 0; k < table.size(); ++k)
        table[k] = static_cast<std::int16_t>(k + 1);
    return table;
}

AddressLoadResult loadAddressTable(const QString& folder, Wording wording)
{
    AddressLoadResult result;
    result.table = defaultAddressTable();

    QFile file(addressPath(folder));
    if (!file.exists())
        return result;
    const QString name = QDir::toNativeSeparators(file.fileName());
    QByteArray bytes;
    if (file.open(QIODevice::ReadOnly)) {
        bytes = file.read(kAddressFileSize);
        if (file.error() != QFileDevice::NoError)
            result.unreadable = true;
    } else {
        result.unreadable = true;
    }
    if (result.unreadable) {
        result.problem = QStringLiteral("The recorder address file %1 could not be read (%2). All recorders "
                                        "use addresses equal to their numbers.")
                             .arg(name, file.errorString())
            + keptText(wording);
        return result;
    }
    file.close();
    return addressTableFromBytes(bytes, file.fileName(), wording);
}

AddressLoadResult addressTableFromBytes(const QByteArray& bytes, const QString& path, Wording wording)
{
    AddressLoadResult result;
    result.table = defaultAddressTable();
    result.fromFile = true;
    result.shortFile = bytes.size() < kAddressFileSize;
    const std::size_t records = static_cast<std::size_t>(bytes.size()) / 2;
    for (std::size_t k = 0; k < records && k < result.table.size(); ++k)
        result.table[k] = qFromLittleEndian<std::int16_t>(bytes.constData() + 2 * k);
    if (result.shortFile) {
        result.problem = QStringLiteral("The recorder address file %1 is incomplete (%2 of %3 bytes). The "
                                        "recorders it does not list use addresses equal to their numbers.")
                             .arg(QDir::toNativeSeparators(path))
                             .arg(bytes.size())
                             .arg(kAddressFileSize)
            + keptText(wording);
    }
    return result;
}

bool backUpAddressFile(const QString& folder)
{
    const QString path = addressPath(folder);
    const QString backup = path + QStringLiteral(".bak");
    if (!QFile::exists(path))
        return false;
    QFile::remove(backup);
    return QFile::copy(path, backup);
}

bool saveAddressTable(const QString& folder, const AddressTable& table, QString* error)
{
    const QString path = addressPath(folder);
    QString reason;
    // Bytes after the 31 records stay.
    const bool ok = writeFileAtomically(path, encodeAddressTable(table), &reason, LaterBytes::Keep);
    if (!ok && error)
        *error = QStringLiteral("The recorder address file %1 could not be written: %2.")
                     .arg(QDir::toNativeSeparators(path), reason);
    return ok;
}

std::int16_t parseAddressEntry(const QString& text, std::int16_t previous)
{
    const QString entry = text.trimmed();
    qsizetype i = 0;
    bool negative = false;
    if (i < entry.size() && (entry[i] == u'+' || entry[i] == u'-')) {
        negative = entry[i] == u'-';
        ++i;
    }
    if (i == entry.size())
        return previous;

    long long value = 0;
    for (; i < entry.size(); ++i) {
        const char16_t c = entry[i].unicode();
        if (c < u'0' || c > u'9')
            return previous;
        value = value * 10 + (c - u'0');
        if (value > 32768)
            return previous;
    }
    if (negative)
        value = -value;
    if (value < std::numeric_limits<std::int16_t>::min() || value > std::numeric_limits<std::int16_t>::max())
        return previous;
    return static_cast<std::int16_t>(value);
}

}  // namespace rdxmon
