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

// What decides whether this process may open a device.
struct DeviceAccess {
    std::string device;  // the device node the path leads to
    std::string owner, group;  // its owner and group (names, else numbers); empty: not found
    unsigned mode = 0;  // its permission bits (0660)
    std::string user;  // the user this process runs as
    bool owned = false;  // that user owns the device
    bool inGroupNow = false;  // the process holds the device's group
    bool inGroupListed = false;  // the group database lists the user in it
    bool policy = false;  // refused by a device policy (EPERM), not by the permission bits
};
// The facts for path, which open() refused with err.
RDX_LINK_API DeviceAccess deviceAccess(const std::string& path, int err);
// The cause and its remedy in words ("/dev/ttyUSB0 belongs to the user root
// and the group dialout (crw-rw----). Add the user anna to ..."); empty
// when nothing is known of the device.
RDX_LINK_API std::string permissionAdvice(const DeviceAccess& access);

// The process that holds path, open or locked: "rdx512-logd (process 1234 of
// the user rdx512)"; empty when none can be seen. ownFd, an open file of this
// process on the device, does not count.
RDX_LINK_API std::string deviceHolder(const std::string& path, int ownFd = -1);

}  // namespace rdx::detail

#endif
