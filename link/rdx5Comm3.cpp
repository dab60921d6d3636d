// The link object: port settings, opening and closing, buffer operations and
// the step-wise exchange with one recorder.
#include <algorithm>
#include <cctype>
#include <exception>
#include <limits>
#include <vector>

#include "link_p.h"
#include "rdx5Comm3.h"

namespace rdx {
namespace {

constexpr char ESC = '\x1b';
constexpr char kCrLf[] = "\r\n";
constexpr char kCannotOpenText[] = "Communications port cannot be opened.(通信ポートをオープン出来ません！)";

// Exchange states.
constexpr std::int16_t kIdle = 0;
constexpr std::int16_t kAwaitingReply = 1;

std::string upper(std::string text)
{
    for (char& c : text)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return text;
}

// A 32-bit property value handed to the control as a 16-bit value.
std::int16_t toInt16(std::int32_t value)
{
    if (value < std::numeric_limits<std::int16_t>::min() || value > std::numeric_limits<std::int16_t>::max())
        throw LinkError::of(kErrOverflow);
    return static_cast<std::int16_t>(value);
}

// How long PortOpen keeps sampling CTS (some adapters raise it a moment
// after the port opened), and the pause between two samples.
constexpr std::int32_t kCtsWaitMs = 200;
constexpr std::int32_t kCtsPauseMs = 10;
// The pause between two looks at the transmit queue while PortClose drains.
constexpr std::int32_t kDrainPauseMs = 10;

bool endsWithCrLf(const std::string& line)
{
    return line.size() >= 2 && line[line.size() - 2] == '\r' && line.back() == '\n';
}

// Width of one field of a reply line, from the code at position 4; 0 when
// the line holds no fields.
int fieldWidth(char code)
{
    switch (code) {
    case ' ':
    case '"':
    case '`':
    case 'a':
    case 'r':
        return 4;
    case '!':
    case '#':
        return 8;
    default:
        return 0;
    }
}

// Reply lines: line head of 8 characters, data area, line tail of 3.
constexpr std::size_t kShortestLine = 15;
constexpr std::size_t kHeadLength = 8;
constexpr std::size_t kHeadAndTail = 11;
constexpr std::size_t kWidthCodePos = 3;  // position 4, counted from 0

}  // namespace

class rdx5Comm3Impl {
public:
    rdx5Comm3Impl(std::unique_ptr<SerialControl> c, std::shared_ptr<TickCounter> t)
        : control(std::move(c)), ticks(std::move(t))
    {
        if (!control || !ticks)
            throw LinkError::of(kErrInvalidArgument);
        control->setInputLen(0);
        control->setRThreshold(4);
    }

    // Fields, with their initial values.
    bool successFlag = false;
    std::string port = "COM1";
    std::string baudRate = "9600";
    std::string dataBit = "7";
    std::string pality = "EVEN";
    std::string stopBit = "1";
    std::string flow = "NONE";
    std::int32_t inputBufSize = 1024;
    std::int32_t outputBufSize = 512;
    std::string inputBuffer;
    std::string outputBuffer;
    std::int32_t timeOut = 100;
    std::string recvError;
    std::int32_t rThreshold = 4;
    std::unique_ptr<SerialControl> control;
    std::shared_ptr<TickCounter> ticks;
    std::int16_t state = kIdle;
    std::int64_t deadline = 0;
    std::int32_t replyGap = 0;  // of the last complete reply
    std::vector<std::int64_t> gaps;  // between the deliveries of the reply being read, in ms

    // Conversions of the settings texts, each reading the field as stored now.
    std::int16_t portNumber() const
    {
        const std::string text = upper(port);
        if (text.size() != 4 || text.compare(0, 3, "COM") != 0 || text[3] < '1' || text[3] > '8')
            throw LinkError::of(kErrPortText);
        return static_cast<std::int16_t>(text[3] - '0');
    }
    std::string baudText() const
    {
        if (baudRate == "2400" || baudRate == "4800" || baudRate == "9600" || baudRate == "19200")
            return baudRate;
        throw LinkError::of(kErrBaudText);
    }
    std::string parityLetter() const
    {
        const std::string text = upper(pality);
        if (text == "NONE")
            return "N";
        if (text == "EVEN")
            return "E";
        if (text == "ODD")
            return "O";
        throw LinkError::of(kErrParityText);
    }
    std::string dataBitText() const
    {
        if (dataBit == "7" || dataBit == "8")
            return dataBit;
        throw LinkError::of(kErrDataBitText);
    }
    std::string stopBitText() const
    {
        if (stopBit == "1" || stopBit == "2")
            return stopBit;
        throw LinkError::of(kErrStopBitText);
    }
    std::int16_t handshakeCode() const
    {
        if (flow == "NONE")
            return 0;
        if (flow == "XON/XOFF")
            return 1;
        if (flow == "RTS/CTS")
            return 2;
        if (flow == "BOTH")
            return 3;
        throw LinkError::of(kErrFlowText);
    }
    static std::string handshakeName(std::int16_t code)
    {
        switch (code) {
        case 0:
            return "NONE";
        case 1:
            return "XON/XOFF";
        case 2:
            return "RTS/CTS";
        case 3:
            return "BOTH";
        default:
            return {};
        }
    }

    // Stores a command as the OutputBuffer text and writes it.
    void write(const std::string& command)
    {
        outputBuffer = command;
        control->output(command);
    }

    static std::string closeCommand(const std::string& address) { return std::string(1, ESC) + "C " + address + kCrLf; }

    // Applies the settings and opens the port (PortOpen steps 1 to 7).
    void applySettingsAndOpen()
    {
        if (control->portOpen())
            control->setPortOpen(false);
        control->setCommPort(portNumber());
        const std::string baud = baudText();
        const std::string parity = parityLetter();
        const std::string data = dataBitText();
        const std::string stop = stopBitText();
        const std::int16_t handshake = handshakeCode();
        control->setSettings(baud + "," + parity + "," + data + "," + stop);
        control->setHandshaking(handshake);
        if (!control->portOpen())
            control->setPortOpen(true);
    }

    std::string startExchange(const std::string& address, const std::string& channels)
    {
        deadline = ticks->now() + timeOut;
        write(std::string(1, ESC) + "O " + address + kCrLf);

        deadline = ticks->now() + timeOut;
        write(std::string("TS0") + kCrLf);

        const std::string request = std::string(1, ESC) + "T" + kCrLf + "FM0,01," + channels + kCrLf;
        control->setInputLen(1);
        deadline = ticks->now() + timeOut;
        write(request);

        state = kAwaitingReply;
        return {};
    }

    // Gives the exchange up: back to idle, ESC to the caller.
    std::string giveUp()
    {
        state = kIdle;
        return std::string(1, ESC);
    }

    std::string readReply(const std::string& address, const std::string& channels)
    {
        if (control->inBufferCount() == 0) {
            if (ticks->now() >= deadline)
                return giveUp();
            return {};
        }

        // A negative count asks for no channel lines.
        const std::int64_t lineCount = std::max<std::int64_t>(detail::leadingNumber(channels).value_or(0), 0) + 2;
        // The lines are read straight into the reply (room made for a
        // typical one: 8 lines of about 30 characters); the line being read
        // starts at lineStart.
        std::string reply;
        reply.reserve(256);
        std::int64_t lastReadAt = -1;
        gaps.clear();
        for (std::int64_t n = 0; n < lineCount; ++n) {
            const std::size_t lineStart = reply.size();
            for (;;) {
                const bool waiting = control->inBufferCount() != 0;
                if (waiting) {
                    reply += control->input();
                    const std::int64_t readAt = ticks->now();
                    if (lastReadAt >= 0 && readAt > lastReadAt)
                        gaps.push_back(readAt - lastReadAt);
                    lastReadAt = readAt;
                    if (reply.size() - lineStart > 2 && endsWithCrLf(reply))
                        break;
                }
                const std::int64_t now = ticks->now();
                if (now >= deadline)
                    return giveUp();
                // Nothing to read yet: sleep on the port rather than spin.
                if (!waiting)
                    control->waitForInput(static_cast<std::int32_t>(std::min<std::int64_t>(deadline - now, INT32_MAX)));
            }
        }

        write(closeCommand(address));
        state = kIdle;
        // The typical pause between two deliveries: the median of the pauses.
        replyGap = 0;
        if (!gaps.empty()) {
            std::nth_element(gaps.begin(), gaps.begin() + gaps.size() / 2, gaps.end());
            replyGap = static_cast<std::int32_t>(std::min<std::int64_t>(gaps[gaps.size() / 2], INT32_MAX));
        }
        return reply;
    }
};

namespace detail {

std::optional<std::int32_t> leadingNumber(const std::string& text)
{
    std::size_t i = 0;
    while (i < text.size() && (text[i] == ' ' || text[i] == '\t'))
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    if (i >= text.size() || !std::isdigit(static_cast<unsigned char>(text[i])))
        return std::nullopt;
    std::int64_t value = 0;
    for (; i < text.size() && std::isdigit(static_cast<unsigned char>(text[i])); ++i) {
        if (value <= INT32_MAX)
            value = value * 10 + (text[i] - '0');
    }
    if (negative)
        value = -value;
    if (value > INT32_MAX)
        return INT32_MAX;
    if (value < INT32_MIN)
        return INT32_MIN;
    return static_cast<std::int32_t>(value);
}

}  // namespace detail

rdx5Comm3::rdx5Comm3() : rdx5Comm3(makeTermiosControl(), makeSystemTickCounter()) {}

rdx5Comm3::rdx5Comm3(std::unique_ptr<SerialControl> control, std::shared_ptr<TickCounter> ticks)
    : impl_(std::make_unique<rdx5Comm3Impl>(std::move(control), std::move(ticks)))
{}

rdx5Comm3::~rdx5Comm3() = default;

bool rdx5Comm3::BSuccessFlag() const
{
    return impl_->successFlag;
}
void rdx5Comm3::BSuccessFlag(bool vData)
{
    impl_->successFlag = vData;
}

std::string rdx5Comm3::RWcomm(const std::string& StrAddr, const std::string& ChData, const std::int16_t& /*Inttry*/,
                              const std::string& /*Mode*/)
{
    switch (impl_->state) {
    case kIdle:
        return impl_->startExchange(StrAddr, ChData);
    case kAwaitingReply:
        return impl_->readReply(StrAddr, ChData);
    default:
        impl_->state = kIdle;
        return {};
    }
}

void rdx5Comm3::Send_Close(const std::string& StrAddr)
{
    impl_->write(rdx5Comm3Impl::closeCommand(StrAddr));
}

// On a closed port there is nothing to discard.
void rdx5Comm3::RecvBufClear()
{
    if (impl_->control->portOpen())
        impl_->control->clearInBuffer();
}

void rdx5Comm3::SendBufClear()
{
    if (impl_->control->portOpen())
        impl_->control->clearOutBuffer();
}

void rdx5Comm3::PortClose()
{
    SerialControl& control = *impl_->control;
    if (!control.portOpen())
        return;
    // A hung-up line fails the drain: the port is closed all the same, and
    // the failure is reported afterwards.
    std::exception_ptr failure;
    try {
        if (const std::int16_t pending = control.outBufferCount(); pending != 0) {
            control.output(impl_->outputBuffer);
            // The bytes need 10 bits each at the line speed; allow one second
            // more for a line whose handshaking holds them back.
            std::int32_t baud = detail::leadingNumber(impl_->baudRate).value_or(0);
            if (baud <= 0)
                baud = 9600;
            const std::int64_t bytes = pending + static_cast<std::int64_t>(impl_->outputBuffer.size());
            const std::int64_t end = impl_->ticks->now() + bytes * 10 * 1000 / baud + 1000;
            while (control.outBufferCount() != 0 && impl_->ticks->now() < end)
                impl_->ticks->sleep(kDrainPauseMs);
        }
    } catch (...) {
        failure = std::current_exception();
    }
    control.setPortOpen(false);
    if (failure)
        std::rethrow_exception(failure);
}

void rdx5Comm3::OutputBuffer(const std::string& vData)
{
    impl_->outputBuffer = vData;
}
std::string rdx5Comm3::OutputBuffer() const
{
    return impl_->outputBuffer;
}

std::string rdx5Comm3::InputBuffer()
{
    impl_->inputBuffer = impl_->control->input();
    return impl_->inputBuffer;
}

void rdx5Comm3::RecvError(const std::string& vData)
{
    impl_->recvError = vData;
}
std::string rdx5Comm3::RecvError() const
{
    return impl_->recvError;
}

void rdx5Comm3::TimeOut(std::int32_t vData)
{
    impl_->timeOut = vData;
}

std::int16_t rdx5Comm3::inbcount()
{
    return impl_->control->inBufferCount();
}

void rdx5Comm3::OutputBufSize(std::int32_t vData)
{
    impl_->outputBufSize = vData;
    impl_->control->setOutBufferSize(toInt16(vData));
}

std::int32_t rdx5Comm3::OutputBufSize()
{
    impl_->outputBufSize = impl_->control->outBufferSize();
    return impl_->outputBufSize;
}

void rdx5Comm3::InputBufSize(std::int32_t vData)
{
    impl_->inputBufSize = vData;
    impl_->control->setInBufferSize(toInt16(vData));
}

std::int32_t rdx5Comm3::InputBufSize()
{
    impl_->inputBufSize = impl_->control->inBufferSize();
    return impl_->inputBufSize;
}

void rdx5Comm3::Flow(const std::string& vData)
{
    impl_->flow = vData;
    impl_->control->setHandshaking(impl_->handshakeCode());
}

std::string rdx5Comm3::Flow()
{
    impl_->flow = rdx5Comm3Impl::handshakeName(impl_->control->handshaking());
    return impl_->flow;
}

void rdx5Comm3::StopBit(const std::string& vData)
{
    impl_->stopBit = vData;
}
std::string rdx5Comm3::StopBit() const
{
    return impl_->stopBit;
}
void rdx5Comm3::Pality(const std::string& vData)
{
    impl_->pality = vData;
}
std::string rdx5Comm3::Pality() const
{
    return impl_->pality;
}
void rdx5Comm3::DataBit(const std::string& vData)
{
    impl_->dataBit = vData;
}
std::string rdx5Comm3::DataBit() const
{
    return impl_->dataBit;
}
void rdx5Comm3::BaudRate(const std::string& vData)
{
    impl_->baudRate = vData;
}
std::string rdx5Comm3::BaudRate() const
{
    return impl_->baudRate;
}

void rdx5Comm3::RThreshold(std::int32_t vData)
{
    impl_->rThreshold = vData;
    impl_->control->setRThreshold(toInt16(vData));
}

std::int32_t rdx5Comm3::RThreshold()
{
    impl_->rThreshold = impl_->control->rThreshold();
    return impl_->rThreshold;
}

std::int32_t rdx5Comm3::CommID()
{
    return impl_->control->commId();
}

bool rdx5Comm3::PortOpen()
{
    SerialControl& control = *impl_->control;
    // Any failure closes the port again; the caller sees 30019 with the first
    // error as its cause, so the program can tell the operator what is wrong.
    const auto fail = [&](int causeNumber, const std::string& causeDescription) {
        try {
            control.setPortOpen(false);
        } catch (...) {
            // Closing is all that is left to do; the first error is reported.
        }
        return LinkError(kErrPortOpen, LinkError::describe(kErrPortOpen), causeNumber, causeDescription);
    };
    try {
        impl_->applySettingsAndOpen();
        const std::int64_t start = impl_->ticks->now();
        while (!control.ctsHolding()) {
            if (impl_->ticks->now() - start >= kCtsWaitMs) {
                detail::showMessage(kCannotOpenText, detail::kMessageTitle);
                control.setPortOpen(false);
                return false;
            }
            impl_->ticks->sleep(kCtsPauseMs);
        }
        return true;
    } catch (const LinkError& cause) {
        throw fail(cause.number(), cause.description());
    } catch (const std::exception& cause) {
        throw fail(0, cause.what());
    } catch (...) {
        throw fail(0, {});
    }
}

void rdx5Comm3::Port(const std::string& vData)
{
    impl_->control->setCommPort(impl_->portNumber());
    impl_->port = vData;
}

std::string rdx5Comm3::Port()
{
    impl_->port = "COM" + std::to_string(impl_->control->commPort());
    return impl_->port;
}

std::string rdx5Comm3::GetNData(const std::string& StrRecv, const std::int16_t& n)
{
    if (StrRecv.size() < kShortestLine)
        return {};
    const std::size_t areaLength = StrRecv.size() - kHeadAndTail;
    if (n == 0)
        return StrRecv.substr(kHeadLength, areaLength);
    const int width = fieldWidth(StrRecv[kWidthCodePos]);
    if (width == 0)
        return {};
    if (n < 0)
        throw LinkError::of(kErrInvalidArgument);
    const std::int32_t end = static_cast<std::int32_t>(n) * width;
    if (end > std::numeric_limits<std::int16_t>::max())
        throw LinkError::of(kErrOverflow);
    if (static_cast<std::size_t>(end) > areaLength)
        return {};
    // Only the field is copied, not the whole data area.
    return StrRecv.substr(kHeadLength + static_cast<std::size_t>(end - width), static_cast<std::size_t>(width));
}

std::int32_t rdx5Comm3::ReplyGap() const
{
    return impl_->replyGap;
}

std::int16_t rdx5Comm3::isDataNum(const std::string& StrRecv)
{
    if (StrRecv.size() < kShortestLine)
        return 0;
    const std::size_t length = StrRecv.size() - kHeadAndTail;
    const int width = fieldWidth(StrRecv[kWidthCodePos]);
    if (width == 0 || length % static_cast<std::size_t>(width) != 0)
        return 0;
    const std::size_t fields = length / static_cast<std::size_t>(width);
    if (fields > static_cast<std::size_t>(std::numeric_limits<std::int16_t>::max()))
        throw LinkError::of(kErrOverflow);
    return static_cast<std::int16_t>(fields);
}

}  // namespace rdx
