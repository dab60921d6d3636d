#include "Simulator.h"

#include <algorithm>
#include <stdexcept>

namespace rdxsim {

namespace {

int parseInt(const std::string& text, const std::string& what)
{
    std::size_t used = 0;
    int value = 0;
    try {
        value = std::stoi(text, &used);
    } catch (const std::exception&) {
        used = 0;
    }
    if (used == 0 || used != text.size())
        throw std::invalid_argument(what + ": not a number: \"" + text + "\"");
    return value;
}

double parseSeconds(const std::string& text, const std::string& what)
{
    std::size_t used = 0;
    double value = -1;
    try {
        value = std::stod(text, &used);
    } catch (const std::exception&) {
        used = 0;
    }
    if (used == 0 || used != text.size() || value < 0)
        throw std::invalid_argument(what + ": not a number of seconds: \"" + text + "\"");
    return value;
}

}  // namespace

std::set<int> parseAddressList(const std::string& text)
{
    std::set<int> result;
    std::size_t start = 0;
    while (start <= text.size()) {
        const std::size_t comma = std::min(text.find(',', start), text.size());
        const std::string item = text.substr(start, comma - start);
        const std::size_t dash = item.find('-');
        const int first = parseInt(item.substr(0, dash), "address list");
        const int last = dash == std::string::npos ? first : parseInt(item.substr(dash + 1), "address list");
        if (first < 0 || last > 99 || first > last)
            throw std::invalid_argument("address list: \"" + item + "\" is not within 0 to 99");
        for (int a = first; a <= last; ++a)
            result.insert(a);
        start = comma + 1;
    }
    return result;
}

std::string usageText()
{
    return "usage: rdx512-sim [options]\n"
           "A line of RDX-512 recorders on a pseudo-terminal, reached through the link DIR/COM1.\n"
           "  --addresses LIST     recorders on the line, e.g. 1-12,15 (default 1-31)\n"
           "  --baud N             line speed in bit/s (default 9600)\n"
           "  --dir DIR            folder for the port link (default: where the monitor keeps its files:\n"
           "                       the program's folder when it can be written, else\n"
           "                       $XDG_DATA_HOME/rdx512, ~/.local/share/rdx512)\n"
           "  --port-name NAME     name of the port link (default COM1)\n"
           "  --seed N             seed of the values' noise (default 1)\n"
           "  --skip-channel C     channel skipped on every --skip-every-th address (default 6)\n"
           "  --skip-every N       0 for no skipped channel (default 5)\n"
           "  --log FILE           append every request received to FILE\n"
           "  --ready-file FILE    written once the port link exists\n"
           "  --fifo N             characters delivered together, like a UART FIFO (default 4)\n"
           "fault modes (each takes an address list):\n"
           "  --silent LIST        never answer\n"
           "  --short LIST         leave out the last line of the reply\n"
           "  --extra LIST         send one line more than asked for\n"
           "  --garbage LIST       random characters before and inside the reply\n"
           "  --slow LIST          pause after the first line past the time-out\n"
           "  --slow-pause MS      length of that pause (default 1200)\n"
           "  --noise LIST         a burst of random characters after the reply\n"
           "  --noise-line LIST    a burst of random characters ending in CR LF after the reply\n"
           "  --late LIST          send the whole reply only after a pause past the time-out\n"
           "  --late-pause MS      length of that pause (default 1200)\n"
           "  --stray LIST         a stray line (\"zz\" CR LF) between the request and the reply\n"
           "  --quits LIST         answer until --quit-after, then never again\n"
           "  --quit-after S       seconds after the start (default 60)\n"
           "  --sent-log FILE      append every data request and reply sent, with local time in ms\n"
           "  --vanish-after S     remove the port (close the pty) after S seconds\n"
           "  --return-after S     come back on a new pty S seconds after vanishing\n"
           "  -h, --help           show this text\n"
           "  --version            show the version\n";
}

SimConfig parseCommandLine(const std::vector<std::string>& args)
{
    SimConfig config;
    config.addresses = parseAddressList("1-31");
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& option = args[i];
        if (i + 1 >= args.size())
            throw std::invalid_argument(option + ": value missing");
        const std::string& value = args[++i];
        if (option == "--addresses")
            config.addresses = parseAddressList(value);
        else if (option == "--baud") {
            config.baud = parseInt(value, option);
            if (config.baud < 300 || config.baud > 115200)
                throw std::invalid_argument("--baud: " + value + " is not a usable line speed");
        } else if (option == "--dir")
            config.dir = value;
        else if (option == "--port-name")
            config.portName = value;
        else if (option == "--seed")
            config.reply.seed = static_cast<std::uint64_t>(parseInt(value, option));
        else if (option == "--skip-channel")
            config.reply.skipChannel = parseInt(value, option);
        else if (option == "--skip-every")
            config.reply.skipEvery = parseInt(value, option);
        else if (option == "--log")
            config.logPath = value;
        else if (option == "--ready-file")
            config.readyFile = value;
        else if (option == "--silent")
            config.faults.silent = parseAddressList(value);
        else if (option == "--short")
            config.faults.shortReply = parseAddressList(value);
        else if (option == "--extra")
            config.faults.extra = parseAddressList(value);
        else if (option == "--garbage")
            config.faults.garbage = parseAddressList(value);
        else if (option == "--slow")
            config.faults.slow = parseAddressList(value);
        else if (option == "--slow-pause")
            config.slowPauseMs = parseInt(value, option);
        else if (option == "--fifo") {
            config.fifo = parseInt(value, option);
            if (config.fifo < 1 || config.fifo > 64)
                throw std::invalid_argument("--fifo: 1 to 64 characters");
        } else if (option == "--noise")
            config.faults.noise = parseAddressList(value);
        else if (option == "--noise-line")
            config.faults.noiseLine = parseAddressList(value);
        else if (option == "--late")
            config.faults.late = parseAddressList(value);
        else if (option == "--late-pause")
            config.latePauseMs = parseInt(value, option);
        else if (option == "--stray")
            config.faults.stray = parseAddressList(value);
        else if (option == "--quits")
            config.faults.quits = parseAddressList(value);
        else if (option == "--quit-after")
            config.quitAfterS = parseSeconds(value, option);
        else if (option == "--sent-log")
            config.sentLogPath = value;
        else if (option == "--vanish-after")
            config.vanishAfterS = parseSeconds(value, option);
        else if (option == "--return-after")
            config.returnAfterS = parseSeconds(value, option);
        else
            throw std::invalid_argument("unknown option " + option);
    }
    if (config.portName.empty() || config.portName.find('/') != std::string::npos)
        throw std::invalid_argument("--port-name: \"" + config.portName + "\" is not a file name");
    return config;
}

Simulator::Simulator(SimConfig config, std::int64_t wallOffsetMs)
    : config_(std::move(config)), wallOffsetMs_(wallOffsetMs), generator_(config_.reply), transmitter_(config_.baud),
      random_(config_.reply.seed), characterUs_(characterTimeUs(config_.baud))
{}

std::vector<Request> Simulator::receive(std::string_view bytes, std::int64_t nowUs)
{
    // The pty hands over at once what a real line delivers one character at
    // a time; the recorder acts when the last character would have arrived.
    inboundFreeUs_ = std::max(inboundFreeUs_, nowUs) + characterUs_ * static_cast<std::int64_t>(bytes.size());
    std::vector<Request> requests = parser_.feed(bytes);
    for (const Request& request : requests) {
        const std::optional<long> number = leadingNumber(request.text);
        switch (request.kind) {
        case Request::Kind::Open:
            selected_ = number ? std::optional<int>(static_cast<int>(*number)) : std::nullopt;
            break;
        case Request::Kind::Close:
            if (number && selected_ == *number)
                selected_.reset();
            break;
        case Request::Kind::Ts0:
            break;
        case Request::Kind::Data:
            if (selected_)
                answer(*selected_, request.text, inboundFreeUs_ + config_.turnaroundUs);
            break;
        }
    }
    return requests;
}

void Simulator::reset()
{
    parser_ = RequestParser();
    transmitter_.clear();
    selected_.reset();
}

std::string Simulator::randomCharacters(int minCount, int maxCount)
{
    std::uniform_int_distribution<int> length(minCount, maxCount);
    std::uniform_int_distribution<int> character('!', '~');
    std::string text(static_cast<std::size_t>(length(random_)), ' ');
    for (char& c : text)
        c = static_cast<char>(character(random_));
    return text;
}

void Simulator::answer(int address, const std::string& countText, std::int64_t startUs)
{
    const FaultSet& f = config_.faults;
    if (!config_.addresses.contains(address) || f.silent.contains(address))
        return;
    if (f.quits.contains(address) && startUs - startUs_ >= std::int64_t(config_.quitAfterS * 1e6))
        return;
    const int count = static_cast<int>(std::min(leadingNumber(countText).value_or(0), 99L));
    const std::int64_t timeMs = startUs / 1000;
    std::vector<std::string> lines
        = generator_.reply(address, count, timeMs, timeMs + wallOffsetMs_, ++sequence_[address]);

    // What the channel lines say, before any fault touches them.
    SentReply sent;
    sent.address = address;
    for (std::size_t i = 2; i < lines.size() && i < static_cast<std::size_t>(count) + 2; ++i) {
        const std::string& line = lines[i];
        if (line.empty() || line[0] == 'S') {
            sent.fields.push_back("S");
            continue;
        }
        std::string value = line.size() > 15 ? line.substr(15, 10) : std::string();
        // A value with decimals ends at the "-" of its decimal tag.
        if (value.size() > 7 && value[7] == '-')
            value.resize(7);
        value.erase(0, value.find_first_not_of(' '));
        value.erase(value.find_last_not_of(' ') + 1);
        sent.fields.push_back(value);
    }

    if (f.shortReply.contains(address))
        lines.pop_back();
    if (f.extra.contains(address))
        lines.push_back(generator_.extraLine(address, count + 2));
    if (f.garbage.contains(address)) {
        // Into the identity and status lines, never into a line end, so the
        // line count and the channel lines stay intact.
        for (std::size_t i = 0; i < 2 && i < lines.size(); ++i) {
            std::uniform_int_distribution<std::size_t> at(0, lines[i].size() - 2);
            lines[i].insert(at(random_), randomCharacters(2, 6));
        }
        transmitter_.queue(randomCharacters(3, 10), startUs);
    }
    std::string first = lines.empty() ? std::string() : lines.front();
    std::string rest;
    for (std::size_t i = 1; i < lines.size(); ++i)
        rest += lines[i];
    if (f.stray.contains(address))
        transmitter_.queue("zz\r\n", startUs);
    if (f.slow.contains(address)) {
        transmitter_.queue(std::move(first), startUs);
        transmitter_.queue(std::move(rest), startUs + std::int64_t(config_.slowPauseMs) * 1000);
    } else if (f.late.contains(address)) {
        transmitter_.queue(first + rest, startUs + std::int64_t(config_.latePauseMs) * 1000);
    } else {
        transmitter_.queue(first + rest, startUs);
    }
    sent.endUs = transmitter_.idleAtUs();
    sent_.push_back(std::move(sent));
    if (f.noise.contains(address))
        transmitter_.queue(randomCharacters(4, 16), transmitter_.idleAtUs() + 5000);
    if (f.noiseLine.contains(address))
        transmitter_.queue(randomCharacters(4, 16) + "\r\n", transmitter_.idleAtUs() + 5000);
}

}  // namespace rdxsim
