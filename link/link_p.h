// Helpers shared inside the link library; not part of its interface.
#ifndef RDX500COMM3_LINK_P_H
#define RDX500COMM3_LINK_P_H

#include <termios.h>

#include <cstdint>
#include <optional>
#include <string>

#include "rdx5Comm3.h"

namespace rdx::detail {

// Title of the library's own message box.
inline constexpr char kMessageTitle[] = "RDX500Comm3";

// Reads a number the lenient way: leading blanks skipped, an optional sign,
// then the leading decimal digits. Empty when the text does not start with a
// number. Values beyond the 32-bit range are clamped.
std::optional<std::int32_t> leadingNumber(const std::string& text);

// Shows a message through the notifier the hosting program installed.
void showMessage(const std::string& text, const std::string& title);

// The device of a port by the hosting program's resolver, else by
// defaultDevicePath.
std::string hostDevicePath(int port);

// The termios record for a settings text ("9600,E,7,1") and a handshaking
// code (0 to 3), built from a clean state; empty when either is not valid.
RDX_LINK_API std::optional<termios> lineTermios(const std::string& settings, int handshake);

// True when the record read back from a device holds the settings asked for.
// A pseudo-terminal needs only the speed and raw mode: it keeps 8N1.
RDX_LINK_API bool lineTaken(const termios& wanted, const termios& got, bool pseudoTerminal);

}  // namespace rdx::detail

#endif
