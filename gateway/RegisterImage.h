// The registers and bits a snapshot gives, laid out by the register map.
#ifndef RDXGW_REGISTERIMAGE_H
#define RDXGW_REGISTERIMAGE_H

#include <cstdint>
#include <span>

#include "Snapshot.h"

namespace rdxgw {

// Which half of a 32-bit value comes first. Within a register the bytes
// are always sent high byte first, as Modbus has it.
enum class WordOrder : std::uint8_t {
    HighFirst,  // the high word at the lower address ("ABCD", big-endian)
    LowFirst,  // the low word at the lower address ("CDAB")
};

// Fills registers (extent(Table::InputRegisters) of them) and bits
// (extent(Table::DiscreteInputs), one byte each, 0 or 1) from snapshot.
// agedMs is the time gone by since the snapshot was taken; the reply ages
// count it in.
void fillImage(const Snapshot& snapshot, qint64 agedMs, WordOrder order, std::span<std::uint16_t> registers,
               std::span<std::uint8_t> bits);

}  // namespace rdxgw

#endif
