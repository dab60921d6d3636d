// The simulator's end of the serial line: a pseudo-terminal whose device is
// reachable through a link (for example "COM1") in a chosen folder.
#ifndef RDXSIM_PTYLINE_H
#define RDXSIM_PTYLINE_H

#include <string>

namespace rdxsim {

class PtyLine {
public:
    PtyLine() = default;
    ~PtyLine() { close(); }
    PtyLine(const PtyLine&) = delete;
    PtyLine& operator=(const PtyLine&) = delete;

    // Opens a new pty (raw mode from the start, so nothing is translated
    // before a client sets the line up) and points linkPath at its device,
    // replacing an older link. Throws std::runtime_error with the reason.
    // The device side is not kept open. While no client has it open the pty
    // reports a hang-up (POLLHUP, reads fail with EIO).
    void open(const std::string& linkPath);
    // To be called when the last client has let go. A client that put the
    // device in exclusive use (TIOCEXCL) and ended without taking it back
    // leaves it so while this side stays open, and every later open but
    // root's is refused: the exclusive use is taken back here, or, when this
    // process is refused as well, the pty is replaced by a new one and the
    // link moved to it. True when the pty was replaced. Throws as open().
    bool releaseExclusiveUse();
    // Closes the pty; a client still on it loses it. The link is removed,
    // or left in place (pointing nowhere once the last client lets go, like
    // the link to an unplugged adapter) when keepLink is set.
    void close(bool keepLink = false);

    bool isOpen() const { return master_ >= 0; }
    int fd() const { return master_; }
    const std::string& devicePath() const { return device_; }
    const std::string& linkPath() const { return link_; }

private:
    int master_ = -1;
    std::string device_;
    std::string link_;
};

}  // namespace rdxsim

#endif
