// The monitor's shared state: one object, made by Main and handed to every
// window. Member names are the ones the whole program uses.
#ifndef RDXMON_STARTUP_SHAREDSTATE_H
#define RDXMON_STARTUP_SHAREDSTATE_H

#include <array>
#include <cstdint>
#include <memory>
#include <string>

#include <QByteArray>
#include <QString>

#include "startup/InitRecord.h"
#include "startup/Services.h"

namespace rdx {
class _rdx5Comm3;
}

namespace rdxmon {

inline constexpr int kSlotCount = 31;  // recorder slots 0..30
inline constexpr int kChannelsPerSlot = 6;
inline constexpr int kChannelCount = 186;  // channel index = slot * 6 + (channel - 1)
inline constexpr int kLinesPerSlot = 9;  // gPvLine items 0..8 (8 is never filled)

// What a channel's gPvValue is worth now. This is the one rule every view
// reads (the window, the CSV, the trend, the broker): a value is Current
// while its recorder's latest exchange delivered it. From the first missed,
// dropped or lost exchange on it is Stale (the value stays for the window
// to show greyed, nowhere else); the next good reply makes it current
// again. Only the polling cycle (PollCycle) changes it.
enum class PvState : std::uint8_t {
    NoReading,  // no reading since start, or the field held no usable number
    Current,  // read in the recorder's latest exchange
    Stale,  // read once, but the latest exchange did not deliver it
    Skipped,  // the recorder reported the channel skipped ("S")
};

// The value may be shown, logged, plotted and published as a reading.
inline bool isCurrent(PvState state)
{
    return state == PvState::Current;
}

struct ChannelRecord {
    QString Name;  // always 18 characters, blank padded
    std::int16_t LogSel = 1;  // nonzero: shown and logged
    // The 18 name bytes as the names file held them; empty for a name made
    // here. While Name still reads as they do they are written back as they
    // stand, so bytes that are no text survive every save.
    QByteArray FileBytes{};
};

struct SharedState {
    InitRecord gInit;
    // The one link object; owned by Main's loader, released at exit.
    rdx::_rdx5Comm3* gLink = nullptr;
    std::array<std::int16_t, kSlotCount> gDevAddr{};
    std::array<ChannelRecord, kChannelCount> gChannel{};
    std::array<std::array<std::string, kLinesPerSlot>, kSlotCount> gPvLine{};
    std::array<float, kChannelCount> gPvValue{};
    // Whether gPvValue is a reading now (see PvState). Anything but Current
    // is logged as an empty field, never as a zero or an old value.
    std::array<PvState, kChannelCount> gPvState{};
    QString gChTotal = QStringLiteral("6");
    // Recorders polled in this run (1..31): fixed at start-up from
    // gInit.RecCount (clamped there, read as it is everywhere else), beside
    // gChTotal. The communication panel changes only
    // the stored settings; a new count takes effect at the next start.
    int gRecTotal = 1;
    QString gPortOpened = QStringLiteral("False");
    std::string gRecvText;
    std::int16_t gStartDone = 0;
    // Logging.
    std::int32_t gNextLogTime = 0;
    // The folder of the run's files (absolute, no trailing separator): the
    // settings, names, address and port choice files, the trend's view and
    // the default-named logs live there, and it is the working folder. The
    // program's own folder when it can be written, else the user's folder
    // or the one named with --folder (startup/FilesFolder.h); the service's
    // data folder.
    QString programFolder;
    // Whom the messages address (the logging service sets Service).
    Wording wording = Wording::WindowProgram;
};

}  // namespace rdxmon

#endif
