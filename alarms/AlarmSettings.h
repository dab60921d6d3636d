// The alarm limits and their file "RDX512ALARM.INI" in the program's folder
// (the service's: its data folder), a text file to read and edit by hand:
//
//   ; comments start with ; or #
//   [general]
//   communication_timeout = 30          seconds without a reading; 0: off
//
//   [01-1]                              a channel, as on the main window
//   high_high = 40, deadband 1, delay 5
//   high = 30, deadband 0.5, delay 5    set point, deadband, on-delay (s)
//   low = 20
//   low_low = 10, deadband 0.5
//
// The set point and the deadband are in the channel's own unit, the
// on-delay in whole seconds; a deadband or delay left out is 0. A limit
// not named is off. The file is written whole (writeFileAtomically); no file
// means no alarms.
#ifndef RDXALARM_ALARMSETTINGS_H
#define RDXALARM_ALARMSETTINGS_H

#include <array>

#include <QByteArray>
#include <QString>

#include "AlarmStates.h"
#include "startup/SharedState.h"

namespace rdxalarm {

inline const QString kAlarmSettingsFile = QStringLiteral("RDX512ALARM.INI");
inline const QString kAlarmSettingsBackup = QStringLiteral("RDX512ALARM.INI.bak");
inline constexpr int kMaxDelaySeconds = 3600;
inline constexpr int kMaxCommunicationTimeout = 86400;
inline constexpr qint64 kAlarmSettingsMaxBytes = 1024 * 1024;

struct LimitSetting {
    bool on = false;
    double setPoint = 0;  // raised beyond it (above for high limits, below for low ones)
    double deadband = 0;  // returns once back inside by this much
    int delaySeconds = 0;  // the value stays beyond this long before it is raised
    bool operator==(const LimitSetting&) const = default;
};

struct AlarmSettings {
    std::array<std::array<LimitSetting, kLimitCount>, rdxmon::kChannelCount> limits{};
    int communicationTimeout = 0;  // seconds; 0: no communication alarm

    LimitSetting& at(int channel, AlarmLimit limit) { return limits[channel][static_cast<int>(limit)]; }
    const LimitSetting& at(int channel, AlarmLimit limit) const { return limits[channel][static_cast<int>(limit)]; }
    bool anyOn(int channel) const;
    bool operator==(const AlarmSettings&) const = default;
};

inline bool isHigh(AlarmLimit limit)
{
    return limit == AlarmLimit::HighHigh || limit == AlarmLimit::High;
}
// The key of a limit in the file: "high_high", "high", "low", "low_low".
QString limitKey(AlarmLimit limit);

struct AlarmSettingsResult {
    AlarmSettings settings;
    // Empty when the file was read whole (or there is none). Otherwise a
    // sentence for the operator naming the file and the lines left out; the
    // rest of the file is taken, and the file is kept as it is.
    QString problem;
};

// The file's text for settings (every limit that is on).
QByteArray formatAlarmSettings(const AlarmSettings& settings);
// Reads the text; fileName names it in the problem.
AlarmSettingsResult parseAlarmSettings(const QByteArray& text, const QString& fileName);

// Reads "<folder>/RDX512ALARM.INI"; no file: no alarms and no problem.
AlarmSettingsResult loadAlarmSettings(const QString& folder);
// Writes the file whole. backUp first copies the present file to
// "RDX512ALARM.INI.bak" (for a file read with a problem). On failure the
// file stays as it was, and false is returned with a sentence in error.
bool saveAlarmSettings(const QString& folder, const AlarmSettings& settings, bool backUp, QString* error);

}  // namespace rdxalarm

#endif
