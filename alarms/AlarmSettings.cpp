#include "AlarmSettings.h"

#include <charconv>
#include <cmath>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStringList>

#include "AlarmEvent.h"
#include "names/ChannelNames.h"
#include "startup/AtomicFile.h"

namespace rdxalarm {

namespace {

constexpr AlarmLimit kLimits[kLimitCount]
    = {AlarmLimit::HighHigh, AlarmLimit::High, AlarmLimit::Low, AlarmLimit::LowLow};
const QString kGeneral = QStringLiteral("general");
const QString kTimeoutKey = QStringLiteral("communication_timeout");
// Lines told one by one in a problem; the rest are counted.
constexpr int kLinesTold = 5;

const char kHeader[] = "; RDX-512 alarm limits, written by the monitor (Setting > Alarm limits).\n"
                       "; [general] communication_timeout: seconds a recorder may go without a\n"
                       ";   reading before its communication alarm is raised (0: none).\n"
                       "; One section per channel ([01-1] .. [31-6]), one line per limit:\n"
                       ";   high_high, high, low, low_low = set point, deadband D, delay S\n"
                       "; set point and deadband in the channel's unit, delay (on-delay) in seconds.\n"
                       "; An alarm is raised once the value has stayed beyond its set point for the\n"
                       "; delay, and returns once it is back inside by the deadband.\n";

QByteArray number(double value)
{
    char text[32];
    const auto end = std::to_chars(text, text + sizeof text, value).ptr;
    return QByteArray(text, end - text);
}

// "01-1".."31-6" to a channel index, else -1.
int channelOf(const QString& label)
{
    if (label.size() != 4 || label[2] != u'-')
        return -1;
    bool ok1 = false, ok2 = false;
    const int slot = label.left(2).toInt(&ok1), channel = label.mid(3).toInt(&ok2);
    if (!ok1 || !ok2 || !label[0].isDigit() || slot < 1 || slot > rdxmon::kSlotCount || channel < 1
        || channel > rdxmon::kChannelsPerSlot)
        return -1;
    return (slot - 1) * rdxmon::kChannelsPerSlot + channel - 1;
}

bool finiteNumber(const QString& text, double* out)
{
    bool ok = false;
    *out = text.trimmed().toDouble(&ok);
    return ok && std::isfinite(*out);
}

// "30, deadband 0.5, delay 5" into setting; an empty text when it reads,
// else what is wrong.
QString readLimit(const QString& value, LimitSetting* setting)
{
    const QStringList parts = value.split(u',');
    LimitSetting s;
    s.on = true;
    if (!finiteNumber(parts[0], &s.setPoint))
        return QStringLiteral("the set point \"%1\" is not a number").arg(parts[0].trimmed());
    for (qsizetype i = 1; i < parts.size(); ++i) {
        const QStringList words = parts[i].simplified().split(u' ');
        double n = 0;
        const bool known = words[0] == QLatin1String("deadband") || words[0] == QLatin1String("delay");
        if (words.size() != 2 || !known || !finiteNumber(words[1], &n))
            return QStringLiteral("\"%1\" is not \"deadband N\" or \"delay S\"").arg(parts[i].trimmed());
        if (words[0] == QLatin1String("deadband") && n >= 0) {
            s.deadband = n;
        } else if (words[0] == QLatin1String("delay") && n >= 0 && n <= kMaxDelaySeconds && n == std::floor(n)) {
            s.delaySeconds = static_cast<int>(n);
        } else {
            return QStringLiteral("\"%1\" is not a deadband of 0 or more or a delay of 0 to %2 whole seconds")
                .arg(parts[i].trimmed())
                .arg(kMaxDelaySeconds);
        }
    }
    *setting = s;
    return {};
}

}  // namespace

bool AlarmSettings::anyOn(int channel) const
{
    for (const LimitSetting& l : limits[channel])
        if (l.on)
            return true;
    return false;
}

QString limitKey(AlarmLimit limit)
{
    return limitText(limit).replace(u'-', u'_');
}

QByteArray formatAlarmSettings(const AlarmSettings& settings)
{
    QByteArray out = kHeader;
    out += "\n[" + kGeneral.toLatin1() + "]\n" + kTimeoutKey.toLatin1() + " = "
        + QByteArray::number(settings.communicationTimeout) + '\n';
    for (int k = 0; k < rdxmon::kChannelCount; ++k) {
        if (!settings.anyOn(k))
            continue;
        out += "\n[" + rdxmon::channelLabel(k).toLatin1() + "]\n";
        for (const AlarmLimit limit : kLimits) {
            const LimitSetting& l = settings.at(k, limit);
            if (l.on)
                out += limitKey(limit).toLatin1() + " = " + number(l.setPoint) + ", deadband " + number(l.deadband)
                    + ", delay " + QByteArray::number(l.delaySeconds) + '\n';
        }
    }
    return out;
}

AlarmSettingsResult parseAlarmSettings(const QByteArray& text, const QString& fileName)
{
    AlarmSettingsResult result;
    QStringList faults;
    int faultCount = 0;
    const auto fault = [&](int line, const QString& what) {
        if (++faultCount <= kLinesTold)
            faults << QStringLiteral("line %1: %2").arg(line).arg(what);
    };
    int channel = -2;  // -2: before any section, -1: [general]
    const QList<QByteArray> lines = text.split('\n');
    for (qsizetype n = 0; n < lines.size(); ++n) {
        const QString line = QString::fromUtf8(lines[n]).trimmed();
        const int number = static_cast<int>(n + 1);
        if (line.isEmpty() || line.startsWith(u';') || line.startsWith(u'#'))
            continue;
        if (line.startsWith(u'[')) {
            const QString name = line.endsWith(u']') ? line.mid(1, line.size() - 2).trimmed() : QString();
            channel = name == kGeneral ? -1 : channelOf(name);
            if (channel == -1 && name != kGeneral) {
                channel = -3;  // its lines are left out with it
                fault(number, QStringLiteral("\"%1\" is not a channel (01-1 to 31-6) or [general]").arg(line));
            }
            continue;
        }
        const qsizetype eq = line.indexOf(u'=');
        const QString key = line.left(eq).trimmed(), value = eq < 0 ? QString() : line.mid(eq + 1).trimmed();
        if (channel == -3)
            continue;
        if (eq < 0 || channel == -2) {
            fault(number, QStringLiteral("\"%1\" is not \"key = value\" under a [section]").arg(line));
        } else if (channel == -1) {
            bool ok = false;
            const int seconds = value.toInt(&ok);
            if (key != kTimeoutKey)
                fault(number, QStringLiteral("\"%1\" is not a key of [general] (%2)").arg(key, kTimeoutKey));
            else if (!ok || seconds < 0 || seconds > kMaxCommunicationTimeout)
                fault(number,
                      QStringLiteral("%1 \"%2\" is not 0 to %3 seconds").arg(key, value).arg(kMaxCommunicationTimeout));
            else
                result.settings.communicationTimeout = seconds;
        } else {
            const AlarmLimit* limit = nullptr;
            for (const AlarmLimit& l : kLimits)
                if (limitKey(l) == key)
                    limit = &l;
            QString what;
            if (!limit)
                fault(number, QStringLiteral("\"%1\" is not a limit (high_high, high, low, low_low)").arg(key));
            else if (!(what = readLimit(value, &result.settings.at(channel, *limit))).isEmpty())
                fault(number, QStringLiteral("%1 %2: %3").arg(rdxmon::channelLabel(channel), key, what));
        }
    }
    if (faultCount > 0) {
        if (faultCount > kLinesTold)
            faults << QStringLiteral("and %1 more").arg(faultCount - kLinesTold);
        result.problem = QStringLiteral("The alarm settings file %1 has lines that cannot be read; they are left out "
                                        "and the file is kept as it is (a copy is kept as %2 before the alarm limits "
                                        "are next stored):\n%3")
                             .arg(QDir::toNativeSeparators(fileName), kAlarmSettingsBackup, faults.join(u'\n'));
    }
    return result;
}

AlarmSettingsResult loadAlarmSettings(const QString& folder)
{
    const QString path = QDir(folder).filePath(kAlarmSettingsFile);
    const QFileInfo info(path);
    if (!info.exists())
        return {};
    AlarmSettingsResult result;
    QFile file(path);
    const QString shown = QDir::toNativeSeparators(path);
    if (!info.isFile() || info.size() > kAlarmSettingsMaxBytes)
        result.problem = QStringLiteral("The alarm settings file %1 is not a text file of at most 1 MB; no alarms are "
                                        "watched and the file is kept as it is.")
                             .arg(shown);
    else if (!file.open(QIODevice::ReadOnly))
        result.problem = QStringLiteral("The alarm settings file %1 cannot be read (%2); no alarms are watched and "
                                        "the file is kept as it is.")
                             .arg(shown, file.errorString());
    else
        return parseAlarmSettings(file.readAll(), path);
    return result;
}

bool saveAlarmSettings(const QString& folder, const AlarmSettings& settings, bool backUp, QString* error)
{
    const QString path = QDir(folder).filePath(kAlarmSettingsFile);
    QString reason;
    if (backUp && QFileInfo(path).isFile()) {
        QFile present(path);
        if (!present.open(QIODevice::ReadOnly)
            || !rdxmon::writeFileAtomically(QDir(folder).filePath(kAlarmSettingsBackup), present.readAll(), &reason)) {
            if (error)
                *error = QStringLiteral(
                             "The copy %1 of the alarm settings could not be made (%2); the limits are not stored.")
                             .arg(kAlarmSettingsBackup, reason.isEmpty() ? present.errorString() : reason);
            return false;
        }
    }
    if (rdxmon::writeFileAtomically(path, formatAlarmSettings(settings), &reason))
        return true;
    if (error)
        *error = QStringLiteral("The alarm limits could not be stored in %1 (%2).")
                     .arg(QDir::toNativeSeparators(path), reason);
    return false;
}

}  // namespace rdxalarm
