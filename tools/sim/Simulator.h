// The simulated line of recorders, without any device: bytes received go in,
// paced bytes to send come out, all against an injected clock
// (microseconds), so the behaviour is the same in tests and on a pty.
#ifndef RDXSIM_SIMULATOR_H
#define RDXSIM_SIMULATOR_H

#include <cstdint>
#include <map>
#include <optional>
#include <random>
#include <set>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "ReplyFormat.h"
#include "RequestParser.h"
#include "Transmitter.h"

namespace rdxsim {

// Addresses with a fault, per fault mode.
struct FaultSet {
    std::set<int> silent;  // never answers
    std::set<int> shortReply;  // the last line of the reply is missing
    std::set<int> extra;  // one extra line follows the reply
    std::set<int> garbage;  // random characters before and inside the reply
    std::set<int> slow;  // first line at once, the rest after slowPauseMs
    std::set<int> noise;  // a burst of random characters after the reply
    std::set<int> noiseLine;  // a burst of random characters ending in CR LF after the reply
    std::set<int> late;  // the whole reply after latePauseMs
    std::set<int> stray;  // a stray line ("zz" CR LF) before the reply
    std::set<int> quits;  // answer until quitAfterS, then never again
};

// One reply as it went out, for checking what a program made of it.
struct SentReply {
    int address = 0;
    std::int64_t endUs = 0;  // when its last character was sent
    std::vector<std::string> fields;  // per channel: the value text trimmed, "S" when skipped
};

struct SimConfig {
    std::set<int> addresses;  // the recorders on the line
    int baud = 9600;
    ReplySettings reply;
    FaultSet faults;
    int slowPauseMs = 1200;  // longer than the link's 1000 ms time-out
    int latePauseMs = 1200;  // 200 ms past the link's 1000 ms time-out
    double quitAfterS = 60;  // when the --quits recorders stop answering
    int turnaroundUs = 2000;  // from the end of a data request to the reply
    int fifo = 4;  // characters handed to the pty together
    // Program options (used by the rdx512-sim main only).
    std::string dir;  // empty: the folder of the files, where the monitor looks
    std::string portName = "COM1";
    std::string logPath;
    std::string readyFile;
    std::string sentLogPath;  // every data request and reply, by local wall-clock time
    double vanishAfterS = -1;  // close the pty after this many seconds
    double returnAfterS = -1;  // come back this many seconds after vanishing
};

// "1-12,15" -> {1..12, 15}. Addresses are 0 to 99. Throws
// std::invalid_argument with a message on bad text.
std::set<int> parseAddressList(const std::string& text);

// Command-line options of rdx512-sim (argv[0] excluded). Throws
// std::invalid_argument with a message naming the bad option.
SimConfig parseCommandLine(const std::vector<std::string>& args);
std::string usageText();

class Simulator {
public:
    // wallOffsetMs: added to the clock's milliseconds to get the local time
    // of day written into replies.
    explicit Simulator(SimConfig config, std::int64_t wallOffsetMs = 0);

    // Bytes received from the line at nowUs; returns the requests they
    // completed (the simulator has already acted on them).
    std::vector<Request> receive(std::string_view bytes, std::int64_t nowUs);
    // The bytes to put on the line by nowUs.
    std::string transmit(std::int64_t nowUs) { return transmitter_.take(nowUs); }
    std::optional<std::int64_t> nextTransmitUs() const { return transmitter_.nextDueUs(); }
    // Forgets a half-received request and everything not yet sent (the line
    // went away).
    void reset();

    const SimConfig& config() const { return config_; }
    // Replies queued since the last call (the --quits recorders counted
    // from startUs, the simulator's start).
    std::vector<SentReply> takeSent() { return std::exchange(sent_, {}); }
    void setStartUs(std::int64_t startUs) { startUs_ = startUs; }

private:
    void answer(int address, const std::string& countText, std::int64_t startUs);
    std::string randomCharacters(int minCount, int maxCount);

    SimConfig config_;
    std::int64_t wallOffsetMs_;
    RequestParser parser_;
    ReplyGenerator generator_;
    Transmitter transmitter_;
    std::mt19937_64 random_;
    std::int64_t characterUs_;
    std::int64_t inboundFreeUs_ = 0;  // when the received bytes finished arriving
    std::optional<int> selected_;  // address of the last open command
    std::map<int, std::uint32_t> sequence_;
    std::vector<SentReply> sent_;
    std::int64_t startUs_ = 0;
};

}  // namespace rdxsim

#endif
