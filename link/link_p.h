// Helpers shared inside the link library; not part of its interface.
#ifndef RDX500COMM3_LINK_P_H
#define RDX500COMM3_LINK_P_H

#include <cstdint>
#include <optional>
#include <string>

namespace rdx::detail {

// Title of the library's own message box.
inline constexpr char kMessageTitle[] = "RDX500Comm3";

// Reads a number the lenient way: leading blanks skipped, an optional sign,
// then the leading decimal digits. Empty when the text does not start with a
// number. Values beyond the 32-bit range are clamped.
std::optional<std::int32_t> leadingNumber(const std::string& text);

// Shows a message through the notifier the hosting program installed.
void showMessage(const std::string& text, const std::string& title);

}  // namespace rdx::detail

#endif
