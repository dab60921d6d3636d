// The Modbus register map of the gateway: one table that the server fills
// its registers by and that the README and the help print (rdxgw-map makes
// both from it; a test holds them to it).
//
// Addresses are protocol addresses (from 0). k is the channel index
// (recorder slot x 6 + channel - 1, 0..185), s the recorder slot (0..30),
// l a channel's limit (0 high-high, 1 high, 2 low, 3 low-low). An entry
// puts item i's sub-value j at first + stride * i + j * width.
#ifndef RDXGW_REGISTERMAP_H
#define RDXGW_REGISTERMAP_H

#include <array>
#include <cstdint>
#include <string>

#include "startup/SharedState.h"

namespace rdxgw {

enum class Table : std::uint8_t {
    InputRegisters,  // function 04
    DiscreteInputs,  // function 02
};

enum class Field : std::uint8_t {
    Value,
    Quality,
    ReplyAge,
    Answered,
    Missed,
    Garbled,
    LimitActive,
    LimitUnacknowledged,
    CommunicationActive,
    CommunicationUnacknowledged,
};

enum class Kind : std::uint8_t {
    Float32,
    Uint32,
    Uint16,
    Bit
};

// Words (or bits) one value takes.
constexpr int width(Kind kind)
{
    return kind == Kind::Float32 || kind == Kind::Uint32 ? 2 : 1;
}

enum class Item : std::uint8_t {
    Channel,
    Recorder
};

struct MapEntry {
    Table table;
    Field field;
    Item item;
    int first;  // address of item 0, sub-value 0
    int stride;  // addresses from one item to the next
    int subs;  // values per item (1, or the four limits)
    Kind kind;
    const char* content;  // what the value is, for the table in the documents
};

constexpr int itemCount(Item item)
{
    return item == Item::Channel ? rdxmon::kChannelCount : rdxmon::kSlotCount;
}

constexpr int address(const MapEntry& e, int item, int sub = 0)
{
    return e.first + e.stride * item + sub * width(e.kind);
}

// The last address an entry uses.
constexpr int lastAddress(const MapEntry& e)
{
    return address(e, itemCount(e.item) - 1, e.subs - 1) + width(e.kind) - 1;
}

// A channel's quality register.
enum class Quality : std::uint16_t {
    Current = 0,
    Stale = 1,
    NoReading = 2,
    Skipped = 3,
    NotLogged = 4
};
inline constexpr std::array<const char*, 5> kQualityNames = {"current", "stale", "no reading", "skipped", "not logged"};

// "Not a reading": the value registers of a channel that is not current.
inline constexpr std::uint32_t kNoValueBits = 0x7FC00000u;  // a quiet NaN
// The age registers of a recorder that has not answered since start.
inline constexpr std::uint32_t kNoReplyAge = 0xFFFFFFFFu;

inline constexpr std::array<MapEntry, 10> kRegisterMap = {{
    {Table::InputRegisters, Field::Value, Item::Channel, 0, 2, 1, Kind::Float32,
     "Present value of channel k; a quiet NaN unless the value is current"},
    {Table::InputRegisters, Field::Quality, Item::Channel, 1000, 1, 1, Kind::Uint16, "Quality of channel k: @QUALITY@"},
    {Table::InputRegisters, Field::ReplyAge, Item::Recorder, 2000, 8, 1, Kind::Uint32,
     "Age of recorder s's last good reply in tenths of a second; 4294967295 before its first"},
    {Table::InputRegisters, Field::Answered, Item::Recorder, 2002, 8, 1, Kind::Uint32,
     "Polls of recorder s answered since start"},
    {Table::InputRegisters, Field::Missed, Item::Recorder, 2004, 8, 1, Kind::Uint32,
     "Polls of recorder s without a reply within the time-out since start"},
    {Table::InputRegisters, Field::Garbled, Item::Recorder, 2006, 8, 1, Kind::Uint32,
     "Replies of recorder s dropped as garbled since start"},
    {Table::DiscreteInputs, Field::LimitActive, Item::Channel, 0, 8, 4, Kind::Bit,
     "Channel k beyond its limit l (alarm active)"},
    {Table::DiscreteInputs, Field::LimitUnacknowledged, Item::Channel, 4, 8, 4, Kind::Bit,
     "Channel k's alarm of limit l not acknowledged (active or returned)"},
    {Table::DiscreteInputs, Field::CommunicationActive, Item::Recorder, 2000, 2, 1, Kind::Bit,
     "Recorder s without a reading for the set time (communication alarm active)"},
    {Table::DiscreteInputs, Field::CommunicationUnacknowledged, Item::Recorder, 2001, 2, 1, Kind::Bit,
     "Recorder s's communication alarm not acknowledged"},
}};

// One past the highest address of the table: the size of its image.
constexpr int extent(Table table)
{
    int end = 0;
    for (const MapEntry& e : kRegisterMap)
        if (e.table == table && lastAddress(e) + 1 > end)
            end = lastAddress(e) + 1;
    return end;
}

// Whether every address from first to first + count - 1 holds a value of
// the map.
bool inMap(Table table, int first, int count);

// The map as a Markdown table and as an HTML table (for the README and the
// help page); both end with a line end.
std::string markdownTable();
std::string htmlTable();

// The lines that enclose the generated table in a document.
inline constexpr const char* kBeginMarker = "<!-- register map: made by rdxgw-map from gateway/RegisterMap.h -->";
inline constexpr const char* kEndMarker = "<!-- end of the register map -->";

// text with the part between the markers (each on a line of its own) set to
// table; false (text unchanged) when the markers are not there.
bool replaceTable(std::string& text, const std::string& table);
// The part between the markers; empty when they are not there.
std::string tableIn(const std::string& text);

}  // namespace rdxgw

#endif
