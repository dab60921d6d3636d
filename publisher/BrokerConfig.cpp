#include "BrokerConfig.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSettings>

namespace rdxpub {

namespace {

const QStringList kKeys
    = {QStringLiteral("host"),          QStringLiteral("port"),      QStringLiteral("line"),
       QStringLiteral("topic_prefix"),  QStringLiteral("client_id"), QStringLiteral("user"),
       QStringLiteral("password_file"), QStringLiteral("ca_file"),   QStringLiteral("buffer_folder")};

QString problemWith(const QString& key, const QString& what)
{
    return QStringLiteral("%1: %2 %3; nothing is published to the broker.").arg(kBrokerConfigFile, key, what);
}

// A topic level may not hold MQTT wildcards; a line name no level separator.
bool topicSafe(const QString& text, bool slashAllowed)
{
    return !text.isEmpty() && !text.contains(u'+') && !text.contains(u'#') && !text.contains(QChar(0))
        && (slashAllowed ? !text.startsWith(u'/') && !text.endsWith(u'/') && !text.contains(QStringLiteral("//"))
                         : !text.contains(u'/'));
}

QString systemError(int err)
{
    return QString::fromLocal8Bit(std::strerror(err));
}

QString notRegular(mode_t mode)
{
    const char* kind = S_ISDIR(mode) ? "a folder"
        : S_ISFIFO(mode)             ? "a FIFO"
        : S_ISCHR(mode)              ? "a character device"
        : S_ISBLK(mode)              ? "a block device"
        : S_ISSOCK(mode)             ? "a socket"
                                     : "no plain file";
    return QStringLiteral("is not a regular file (%1)").arg(QLatin1String(kind));
}

QString tooLarge(qint64 maxBytes)
{
    return QStringLiteral("is larger than %1 bytes").arg(maxBytes);
}

}  // namespace

FileContent readSmallFile(const QString& path, qint64 maxBytes)
{
    FileContent content;
    const QByteArray name = QFile::encodeName(path);
    struct stat st {};
    // Looked at before it is opened: opening a device may do something.
    if (::stat(name.constData(), &st) == 0 && !S_ISREG(st.st_mode)) {
        content.refused = notRegular(st.st_mode);
        return content;
    }
    const int fd = ::open(name.constData(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) {
        content.refused = QStringLiteral("cannot be opened (%1)").arg(systemError(errno));
        return content;
    }
    QByteArray bytes;
    if (::fstat(fd, &st) != 0) {
        content.refused = QStringLiteral("cannot be read (%1)").arg(systemError(errno));
    } else if (!S_ISREG(st.st_mode)) {  // swapped since it was looked at
        content.refused = notRegular(st.st_mode);
    } else if (st.st_size > maxBytes) {
        content.refused = tooLarge(maxBytes);
    } else {
        content.permissions = st.st_mode & 07777;
        char buffer[4096];
        for (;;) {
            const ssize_t got = ::read(fd, buffer, sizeof buffer);
            if (got < 0 && errno == EINTR)
                continue;
            if (got < 0) {
                content.refused = QStringLiteral("cannot be read (%1)").arg(systemError(errno));
                break;
            }
            if (got == 0) {
                content.bytes = bytes;
                break;
            }
            bytes.append(buffer, got);
            if (bytes.size() > maxBytes) {  // grown while being read
                content.refused = tooLarge(maxBytes);
                break;
            }
        }
    }
    ::close(fd);
    return content;
}

QString BrokerConfig::serverUri() const
{
    const QString h = host.contains(u':') ? u'[' + host + u']' : host;
    return QStringLiteral("%1://%2:%3").arg(tls() ? QStringLiteral("ssl") : QStringLiteral("tcp"), h).arg(port);
}

QString BrokerConfig::statusTopic() const
{
    return prefix + u'/' + line + QStringLiteral("/status");
}

QString BrokerConfig::valueTopic(int slot, int channel) const
{
    return QStringLiteral("%1/%2/%3/%4").arg(prefix, line).arg(slot + 1, 2, 10, QChar(u'0')).arg(channel);
}

QString BrokerConfig::alarmTopic(int slot, int channel) const
{
    if (channel == 0)
        return QStringLiteral("%1/%2/%3/alarm").arg(prefix, line).arg(slot + 1, 2, 10, QChar(u'0'));
    return valueTopic(slot, channel) + QStringLiteral("/alarm");
}

BrokerConfigResult parseBrokerConfig(const QList<std::pair<QString, QString>>& entries, const QString& folder,
                                     const FileReader& read)
{
    BrokerConfigResult result;
    QMap<QString, QString> v;
    for (const auto& [key, value] : entries) {
        if (kKeys.contains(key))
            v.insert(key, value.trimmed());
        else
            result.warnings << QStringLiteral("%1: unknown key \"%2\" ignored.").arg(kBrokerConfigFile, key);
    }
    const auto fail = [&](const QString& key, const QString& what) {
        result.problem = problemWith(key, what);
        return result;
    };
    const auto path = [&](const QString& name) { return QDir(folder).absoluteFilePath(name); };

    BrokerConfig c;
    c.host = v.value(QStringLiteral("host"));
    if (c.host.isEmpty())
        return fail(QStringLiteral("host"), QStringLiteral("is missing (the broker's name or address)"));
    if (c.host.contains(u'/') || c.host.contains(u' '))
        return fail(QStringLiteral("host"), QStringLiteral("\"%1\" is not a host name or address").arg(c.host));

    c.line = v.value(QStringLiteral("line"));
    if (c.line.isEmpty())
        return fail(QStringLiteral("line"), QStringLiteral("is missing (the line's name in the topics)"));
    if (!topicSafe(c.line, false))
        return fail(QStringLiteral("line"), QStringLiteral("\"%1\" may not hold '/', '+' or '#'").arg(c.line));
    if (v.contains(QStringLiteral("topic_prefix"))) {
        c.prefix = v.value(QStringLiteral("topic_prefix"));
        if (!topicSafe(c.prefix, true))
            return fail(QStringLiteral("topic_prefix"),
                        QStringLiteral("\"%1\" is empty, holds '+' or '#', or an empty level").arg(c.prefix));
    }
    c.clientId = v.value(QStringLiteral("client_id"), QStringLiteral("rdx512-") + c.line);
    if (c.clientId.isEmpty() || c.clientId.toUtf8().size() > 65535)
        return fail(QStringLiteral("client_id"), QStringLiteral("is empty or too long"));

    if (v.contains(QStringLiteral("ca_file"))) {
        if (v.value(QStringLiteral("ca_file")).isEmpty())
            return fail(QStringLiteral("ca_file"), QStringLiteral("is empty"));
        c.caFile = path(v.value(QStringLiteral("ca_file")));
        const FileContent ca = read(c.caFile, kCaFileMax);
        if (!ca.bytes || ca.bytes->isEmpty())
            return fail(QStringLiteral("ca_file"),
                        QStringLiteral("\"%1\" %2").arg(c.caFile, ca.bytes ? QStringLiteral("is empty") : ca.refused));
    }
    c.port = c.tls() ? 8883 : 1883;
    if (v.contains(QStringLiteral("port"))) {
        const QString text = v.value(QStringLiteral("port"));
        c.port = portNumber(text);
        if (c.port == 0)
            return fail(QStringLiteral("port"), QStringLiteral("\"%1\" is not a port number (1 to 65535)").arg(text));
    }

    if (v.contains(QStringLiteral("buffer_folder"))) {
        c.bufferFolder = path(v.value(QStringLiteral("buffer_folder")));
        const QFileInfo folder(c.bufferFolder);
        if (v.value(QStringLiteral("buffer_folder")).isEmpty() || !folder.isDir() || !folder.isWritable())
            return fail(QStringLiteral("buffer_folder"),
                        QStringLiteral("\"%1\" is not a folder the program may write").arg(c.bufferFolder));
    }

    c.user = v.value(QStringLiteral("user"));
    if (v.contains(QStringLiteral("password_file"))) {
        if (c.user.isEmpty())
            return fail(QStringLiteral("password_file"), QStringLiteral("is given without user"));
        if (v.value(QStringLiteral("password_file")).isEmpty())
            return fail(QStringLiteral("password_file"), QStringLiteral("is empty"));
        const QString file = path(v.value(QStringLiteral("password_file")));
        const FileContent pw = read(file, kPasswordFileMax);
        if (!pw.bytes)
            return fail(QStringLiteral("password_file"), QStringLiteral("\"%1\" %2").arg(file, pw.refused));
        // The first line, without its line end.
        const QByteArray& bytes = *pw.bytes;
        c.password = bytes.left(bytes.indexOf('\n') < 0 ? bytes.size() : bytes.indexOf('\n'));
        if (c.password.endsWith('\r'))
            c.password.chop(1);
        if ((pw.permissions & (S_IRGRP | S_IROTH)) != 0)
            result.warnings << QStringLiteral("%1: password_file \"%2\" can be read by other users (mode %3); "
                                              "make it readable by its owner only (chmod 600).")
                                   .arg(kBrokerConfigFile, file)
                                   .arg(pw.permissions & 0777, 4, 8, QChar(u'0'));
    }
    if (!c.password.isEmpty() && !c.tls())
        result.warnings << QStringLiteral("%1: the password goes to %2 unencrypted (no ca_file, so no TLS); "
                                          "set ca_file to the broker's certificate authority.")
                               .arg(kBrokerConfigFile, c.serverUri());
    result.config = c;
    return result;
}

int portNumber(const QString& text)
{
    bool ok = false;
    const int port = text.toInt(&ok);
    return ok && port >= 1 && port <= 65535 ? port : 0;
}

BrokerConfigResult loadBrokerConfig(const QString& folder)
{
    const QString file = QDir(folder).absoluteFilePath(kBrokerConfigFile);
    if (!QFileInfo::exists(file))
        return {};
    // Checked before QSettings reads it, which would wait on a FIFO and read
    // a device without end.
    const FileContent conf = readSmallFile(file, kConfigFileMax);
    if (!conf.bytes)
        return {std::nullopt, QStringLiteral("%1 %2; nothing is published to the broker.").arg(file, conf.refused), {}};
    QSettings settings(file, QSettings::IniFormat);
    if (settings.status() != QSettings::NoError)
        return {
            std::nullopt, QStringLiteral("%1 is not an INI file; nothing is published to the broker.").arg(file), {}};
    QList<std::pair<QString, QString>> entries;
    bool gatewaySection = false;
    for (const QString& key : settings.allKeys()) {
        // The section [modbus] is the Modbus gateway's.
        if (key.startsWith(QStringLiteral("modbus/"))) {
            gatewaySection = true;
            continue;
        }
        const QVariant value = settings.value(key);
        // An unquoted comma makes a list of the value: put it back together.
        entries.append(
            {key, value.typeId() == QMetaType::QStringList ? value.toStringList().join(u',') : value.toString()});
    }
    // A file for the gateway alone publishes nothing and is no fault.
    if (entries.isEmpty() && gatewaySection)
        return {};
    return parseBrokerConfig(entries, folder, &readSmallFile);
}

}  // namespace rdxpub
