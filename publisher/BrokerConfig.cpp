#include "BrokerConfig.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSettings>

namespace rdxpub {

namespace {

const QStringList kKeys = {QStringLiteral("host"),          QStringLiteral("port"),
                           QStringLiteral("line"),          QStringLiteral("topic_prefix"),
                           QStringLiteral("client_id"),     QStringLiteral("user"),
                           QStringLiteral("password_file"), QStringLiteral("ca_file")};

QString problemWith(const QString& key, const QString& what)
{
    return QStringLiteral("%1: %2 %3; nothing is published to the broker.").arg(kBrokerConfigFile, key, what);
}

// A topic level may not hold MQTT wildcards; a line name no level separator.
bool topicSafe(const QString& text, bool slashAllowed)
{
    return !text.isEmpty() && !text.contains(u'+') && !text.contains(u'#') && !text.contains(QChar(0)) &&
           (slashAllowed ? !text.startsWith(u'/') && !text.endsWith(u'/') && !text.contains(QStringLiteral("//"))
                         : !text.contains(u'/'));
}

}  // namespace

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
        c.caFile = path(v.value(QStringLiteral("ca_file")));
        const auto ca = read(c.caFile);
        if (v.value(QStringLiteral("ca_file")).isEmpty() || !ca || ca->isEmpty())
            return fail(QStringLiteral("ca_file"), QStringLiteral("\"%1\" cannot be read").arg(c.caFile));
    }
    c.port = c.tls() ? 8883 : 1883;
    if (v.contains(QStringLiteral("port"))) {
        bool ok = false;
        c.port = v.value(QStringLiteral("port")).toInt(&ok);
        if (!ok || c.port < 1 || c.port > 65535)
            return fail(QStringLiteral("port"),
                        QStringLiteral("\"%1\" is not a port number (1 to 65535)").arg(v.value(QStringLiteral("port"))));
    }

    c.user = v.value(QStringLiteral("user"));
    if (v.contains(QStringLiteral("password_file"))) {
        if (c.user.isEmpty())
            return fail(QStringLiteral("password_file"), QStringLiteral("is given without user"));
        const QString file = path(v.value(QStringLiteral("password_file")));
        const auto pw = read(file);
        if (v.value(QStringLiteral("password_file")).isEmpty() || !pw)
            return fail(QStringLiteral("password_file"), QStringLiteral("\"%1\" cannot be read").arg(file));
        // The first line, without its line end.
        c.password = pw->left(pw->indexOf('\n') < 0 ? pw->size() : pw->indexOf('\n'));
        if (c.password.endsWith('\r'))
            c.password.chop(1);
    }
    result.config = c;
    return result;
}

BrokerConfigResult loadBrokerConfig(const QString& folder)
{
    const QString file = QDir(folder).absoluteFilePath(kBrokerConfigFile);
    if (!QFileInfo::exists(file))
        return {};
    if (!QFileInfo(file).isReadable())
        return {std::nullopt, QStringLiteral("%1 cannot be read; nothing is published to the broker.").arg(file), {}};
    QSettings settings(file, QSettings::IniFormat);
    if (settings.status() != QSettings::NoError)
        return {std::nullopt, QStringLiteral("%1 is not an INI file; nothing is published to the broker.").arg(file), {}};
    QList<std::pair<QString, QString>> entries;
    for (const QString& key : settings.allKeys()) {
        const QVariant value = settings.value(key);
        // An unquoted comma makes a list of the value: put it back together.
        entries.append({key, value.typeId() == QMetaType::QStringList ? value.toStringList().join(u',')
                                                                       : value.toString()});
    }
    return parseBrokerConfig(entries, folder, [](const QString& path) -> std::optional<QByteArray> {
        QFile f(path);
        if (!f.open(QIODevice::ReadOnly))
            return std::nullopt;
        return f.readAll();
    });
}

}  // namespace rdxpub
