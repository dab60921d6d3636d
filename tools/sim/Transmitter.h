// Paces the simulator's output at the line speed: a character occupies the
// line for 10 bit times (start bit, 7 data bits, parity, stop bit) and is
// handed out only once its last bit has gone out.
#ifndef RDXSIM_TRANSMITTER_H
#define RDXSIM_TRANSMITTER_H

#include <cstdint>
#include <deque>
#include <optional>
#include <string>

namespace rdxsim {

// Microseconds one character takes on the line at the given speed.
std::int64_t characterTimeUs(int baud);

// A serial port hands received characters to the program in small groups
// (its receive FIFO), not one by one. Whether the characters taken but not yet
// delivered should go now: when `fifo` of them have gathered, or when no
// further character completes within the next character time (the line
// pauses or the text has ended).
bool fifoReady(std::size_t waiting, std::optional<std::int64_t> nextDueUs, std::int64_t nowUs, int baud,
               std::size_t fifo);

class Transmitter {
public:
    explicit Transmitter(int baud);

    // Queues bytes to go out after everything queued before, not before
    // notBeforeUs.
    void queue(std::string bytes, std::int64_t notBeforeUs);
    // The characters that have been sent completely by nowUs.
    std::string take(std::int64_t nowUs);
    // When the next character will have been sent; nothing when idle.
    std::optional<std::int64_t> nextDueUs() const;
    // When the line falls idle after everything queued so far.
    std::int64_t idleAtUs() const;
    bool idle() const { return queue_.empty(); }
    void clear() { queue_.clear(); }

private:
    struct Segment {
        std::string bytes;
        std::int64_t notBeforeUs;
        std::size_t sent = 0;
    };
    std::int64_t characterUs_;
    std::int64_t lineFreeUs_ = 0;  // when the last character handed out ended
    std::deque<Segment> queue_;
};

}  // namespace rdxsim

#endif
