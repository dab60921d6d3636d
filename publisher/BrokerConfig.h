// The broker settings: an optional INI file "rdx512.conf" in the program's
// folder. Without the file nothing is published; a file with a fault gives
// one message naming the key, and nothing is published either.
//
//   host=broker.plant.example     required
//   port=1883                     1..65535; default 1883, 8883 with ca_file
//   line=line-3                   required; the line's name in the topics
//   topic_prefix=rdx512           default "rdx512"
//   client_id=rdx512-line-3       default "rdx512-<line>"
//   user=logger                   optional
//   password_file=/etc/rdx/pw     optional, needs user; its first line
//   ca_file=/etc/rdx/ca.pem       optional; turns on TLS
//   buffer_folder=broker-buffer   optional; keeps the offline buffer on disk
//                                 there (an existing folder the program may write)
//
// The section [modbus] of the file belongs to the Modbus gateway
// (gateway/GatewayConfig.h); a file with that section alone publishes
// nothing. Relative file names are taken from the program's folder. The
// three files are read only as regular files of a few kilobytes: a device,
// a FIFO or an oversized file is refused with a message, never read.
#ifndef RDXPUB_BROKERCONFIG_H
#define RDXPUB_BROKERCONFIG_H

#include <functional>
#include <optional>
#include <utility>

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

namespace rdxpub {

inline const QString kBrokerConfigFile = QStringLiteral("rdx512.conf");

struct BrokerConfig {
    QString host;
    int port = 1883;
    QString line;
    QString prefix = QStringLiteral("rdx512");
    QString clientId;
    QString user;
    QByteArray password;
    QString caFile;  // absolute; empty: plain TCP
    QString bufferFolder;  // absolute; empty: the offline buffer in memory only

    bool tls() const { return !caFile.isEmpty(); }
    // "tcp://host:1883" or "ssl://host:8883" (an IPv6 address in brackets).
    QString serverUri() const;
    // "<prefix>/<line>/status" and "<prefix>/<line>/<01-31>/<1-6>".
    QString statusTopic() const;
    QString valueTopic(int slot, int channel) const;
    // A channel's alarms, "<prefix>/<line>/<01-31>/<1-6>/alarm"; channel 0:
    // the recorder's communication alarm, "<prefix>/<line>/<01-31>/alarm".
    QString alarmTopic(int slot, int channel) const;
};

struct BrokerConfigResult {
    std::optional<BrokerConfig> config;  // set: publish with it
    QString problem;  // set: the file is bad (nothing published)
    QStringList warnings;  // keys ignored, a password at risk
};

// Largest files taken: a password, a certificate (bundle), the INI file.
inline constexpr qint64 kPasswordFileMax = 4 * 1024;
inline constexpr qint64 kCaFileMax = 1024 * 1024;
inline constexpr qint64 kConfigFileMax = 64 * 1024;

// One small file as read, or why it was not.
struct FileContent {
    std::optional<QByteArray> bytes;  // set: the whole file
    QString refused;  // else what stopped it: "is not a regular file (a FIFO)", ...
    unsigned permissions = 0;  // its mode bits (0644)
};

// Reads path when it is a regular file of at most maxBytes bytes. It is
// opened without waiting (O_NONBLOCK), so a FIFO or a device never holds
// the caller up; those are refused without being read.
FileContent readSmallFile(const QString& path, qint64 maxBytes);

using FileReader = std::function<FileContent(const QString& path, qint64 maxBytes)>;

// Turns the file's key/value pairs into settings. Relative file names are
// resolved against folder and read through read.
BrokerConfigResult parseBrokerConfig(const QList<std::pair<QString, QString>>& entries, const QString& folder,
                                     const FileReader& read);

// Reads folder/rdx512.conf: no file gives neither config nor problem.
BrokerConfigResult loadBrokerConfig(const QString& folder);

// The TCP port a settings text names (1..65535), or 0 when it names none.
int portNumber(const QString& text);

}  // namespace rdxpub

#endif
