#include "RegisterImage.h"

#include <algorithm>
#include <bit>
#include <cmath>

namespace rdxgw {

namespace {

using rdxalarm::AlarmState;

void put32(std::span<std::uint16_t> registers, int at, std::uint32_t v, WordOrder order)
{
    const auto high = static_cast<std::uint16_t>(v >> 16), low = static_cast<std::uint16_t>(v & 0xFFFF);
    registers[static_cast<std::size_t>(at)] = order == WordOrder::HighFirst ? high : low;
    registers[static_cast<std::size_t>(at) + 1] = order == WordOrder::HighFirst ? low : high;
}

std::uint32_t valueBits(float value)
{
    return std::isnan(value) ? kNoValueBits : std::bit_cast<std::uint32_t>(value);
}

// Tenths of a second from the last reply to now (the snapshot's time plus
// agedMs).
std::uint32_t replyAge(const RecorderFigures& r, qint64 takenMs, qint64 agedMs)
{
    if (r.lastReplyMs < 0)
        return kNoReplyAge;
    const qint64 tenths = std::max<qint64>(0, takenMs + agedMs - r.lastReplyMs) / 100;
    return static_cast<std::uint32_t>(std::min<qint64>(tenths, kNoReplyAge - 1));
}

bool bitOf(Field field, AlarmState state)
{
    return field == Field::LimitActive || field == Field::CommunicationActive ? rdxalarm::isActive(state)
                                                                              : rdxalarm::isUnacknowledged(state);
}

}  // namespace

void fillImage(const Snapshot& s, qint64 agedMs, WordOrder order, std::span<std::uint16_t> registers,
               std::span<std::uint8_t> bits)
{
    for (const MapEntry& e : kRegisterMap) {
        for (int i = 0; i < itemCount(e.item); ++i) {
            const auto n = static_cast<std::size_t>(i);
            for (int j = 0; j < e.subs; ++j) {
                const int at = address(e, i, j);
                const RecorderFigures& r = s.recorders[e.item == Item::Recorder ? n : 0];
                switch (e.field) {
                case Field::Value:
                    put32(registers, at, valueBits(s.value[n]), order);
                    break;
                case Field::Quality:
                    registers[static_cast<std::size_t>(at)] = static_cast<std::uint16_t>(s.quality[n]);
                    break;
                case Field::ReplyAge:
                    put32(registers, at, replyAge(r, s.takenMs, agedMs), order);
                    break;
                case Field::Answered:
                    put32(registers, at, r.answered, order);
                    break;
                case Field::Missed:
                    put32(registers, at, r.missed, order);
                    break;
                case Field::Garbled:
                    put32(registers, at, r.garbled, order);
                    break;
                case Field::LimitActive:
                case Field::LimitUnacknowledged:
                    bits[static_cast<std::size_t>(at)] = bitOf(e.field, s.limits[n][static_cast<std::size_t>(j)]);
                    break;
                case Field::CommunicationActive:
                case Field::CommunicationUnacknowledged:
                    bits[static_cast<std::size_t>(at)] = bitOf(e.field, s.communication[n]);
                    break;
                }
            }
        }
    }
}

}  // namespace rdxgw
