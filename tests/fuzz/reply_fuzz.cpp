// The polling tick's reply handling on arbitrary text taken as the result of
// a completed exchange: the line split, the channel line reading and the
// value formatting, first called directly and then through the polling
// cycle, whose link answers every slot with the same text.
#include <array>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <string>

#include <QString>

#include "fuzz_check.h"
#include "polling/PollCycle.h"
#include "polling/Reply.h"
#include "rdx5Comm3.h"
#include "startup/Lenient.h"

namespace {

const std::string kEsc(1, '\x1b');

// A link whose exchanges each take two calls: "under way", then the reply.
class ScriptedLink : public rdx::_rdx5Comm3 {
public:
    explicit ScriptedLink(std::string reply) : reply_(std::move(reply)) {}

    std::string RWcomm(const std::string&, const std::string& ChData, const std::int16_t&,
                       const std::string&) override
    {
        FUZZ_CHECK(ChData == "06");
        underWay_ = !underWay_;
        return underWay_ ? std::string() : reply_;
    }
    bool BSuccessFlag() const override { return false; }
    void BSuccessFlag(bool) override {}
    void Send_Close(const std::string&) override {}
    void RecvBufClear() override {}
    void SendBufClear() override {}
    void PortClose() override {}
    void OutputBuffer(const std::string&) override {}
    std::string OutputBuffer() const override { return {}; }
    std::string InputBuffer() override { return {}; }
    void RecvError(const std::string&) override {}
    std::string RecvError() const override { return {}; }
    void TimeOut(std::int32_t) override {}
    std::int16_t inbcount() override { return 0; }
    void OutputBufSize(std::int32_t) override {}
    std::int32_t OutputBufSize() override { return 512; }
    void InputBufSize(std::int32_t) override {}
    std::int32_t InputBufSize() override { return 1024; }
    void Flow(const std::string&) override {}
    std::string Flow() override { return "NONE"; }
    void StopBit(const std::string&) override {}
    std::string StopBit() const override { return "1"; }
    void Pality(const std::string&) override {}
    std::string Pality() const override { return "EVEN"; }
    void DataBit(const std::string&) override {}
    std::string DataBit() const override { return "7"; }
    void BaudRate(const std::string&) override {}
    std::string BaudRate() const override { return "9600"; }
    void RThreshold(std::int32_t) override {}
    std::int32_t RThreshold() override { return 4; }
    std::int32_t CommID() override { return 3; }
    bool PortOpen() override { return true; }
    void Port(const std::string&) override {}
    std::string Port() override { return "COM1"; }
    std::string GetNData(const std::string&, const std::int16_t&) override { return {}; }
    std::int16_t isDataNum(const std::string&) override { return 0; }

private:
    std::string reply_;
    bool underWay_ = false;
};

// A value label's text: "-"? digits "." exactly `decimals` digits.
bool wellFormedPv(const QString& text, int decimals)
{
    const std::string s = text.toStdString();
    std::size_t i = s.starts_with('-') ? 1 : 0;
    const std::size_t wholeStart = i;
    while (i < s.size() && s[i] >= '0' && s[i] <= '9')
        ++i;
    if (i == wholeStart || i == s.size() || s[i] != '.')
        return false;
    const std::size_t fraction = s.size() - i - 1;
    return fraction == static_cast<std::size_t>(decimals) &&
           s.find_first_not_of("0123456789", i + 1) == std::string::npos;
}

// The label text for a reading: well formed and within half a unit of the
// last decimal of the value.
void checkFormatted(const rdxmon::ChannelReading& reading)
{
    const QString text = rdxmon::formatPv(reading.value, reading.decimals);
    if (!std::isfinite(reading.value)) {
        FUZZ_CHECK(text.isEmpty());
        return;
    }
    const int n = reading.decimals.value_or(1);
    FUZZ_CHECK(n >= 0 && n <= 15);
    FUZZ_CHECK(wellFormedPv(text, n));
    const double shown = std::strtod(text.toStdString().c_str(), nullptr);
    const double value = reading.value;
    FUZZ_CHECK(std::fabs(shown - value) <= 0.5 * std::pow(10.0, -n) * 1.000001 + std::fabs(value) * 1e-6);
}

class RecordingView : public rdxmon::PvView {
public:
    explicit RecordingView(int page) : page_(page) {}
    int shownPage() const override { return page_; }
    void setPvCaption(int labelIndex, const QString& text) override
    {
        FUZZ_CHECK(labelIndex >= 0 && labelIndex < 72);
        FUZZ_CHECK(text.isEmpty() || text.front() == QLatin1Char('-') || text.front().isDigit());
        ++captions;
    }
    void setProgress(int value) override
    {
        FUZZ_CHECK(value == progressCalls);
        ++progressCalls;
    }

    int captions = 0;
    int progressCalls = 0;

private:
    int page_;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string input(reinterpret_cast<const char*>(data), size);

    // The split: eight items, each empty or ending at its first CR LF; the
    // items and what is left give back the text.
    std::array<std::string, 9> lines;
    lines[8] = "untouched";
    std::string rest = input;
    rdxmon::splitReply(rest, lines);
    FUZZ_CHECK(lines[8] == "untouched");
    std::string joined;
    for (int i = 0; i < 8; ++i) {
        if (!lines[i].empty()) {
            FUZZ_CHECK(lines[i].find("\r\n") == lines[i].size() - 2);
            FUZZ_CHECK(i == 0 || !lines[i - 1].empty());
        }
        joined += lines[i];
    }
    FUZZ_CHECK(joined + rest == input);

    for (int line = 2; line <= 7; ++line) {
        const rdxmon::ChannelReading reading = rdxmon::readChannelLine(lines[line]);
        if (reading.skipped)
            FUZZ_CHECK(lines[line][0] == 'S' && reading.value == 0.0f && !reading.decimals);
        checkFormatted(reading);
    }
    // The same readings on the raw text as one line.
    checkFormatted(rdxmon::readChannelLine(input));
    FUZZ_CHECK(!std::isnan(rdxmon::lenientNumber(input)));

    // Through the polling cycle: 31 slots, each answering with the input.
    rdxmon::SharedState state;
    ScriptedLink link(input);
    state.gLink = &link;
    state.gInit.RecCount = QStringLiteral("31");
    for (int k = 0; k < rdxmon::kSlotCount; ++k)
        state.gDevAddr[k] = static_cast<std::int16_t>(k + 1);
    for (int k = 0; k < rdxmon::kChannelCount; ++k)
        state.gChannel[k].LogSel = static_cast<std::int16_t>(k % 3 != 0);
    RecordingView view(size > 0 ? data[0] % 3 : 0);
    rdxmon::PollCycle cycle(state, view);

    // Each slot: the request (under way), the reply, a tick for the line to
    // settle.
    for (int tick = 0; tick < 3 * rdxmon::kSlotCount; ++tick)
        cycle.tick();

    if (input.empty()) {
        // Every exchange stays under way: the cycle stands on slot 0.
        FUZZ_CHECK(cycle.pollIndex() == 0 && state.gStartDone == 0 && view.progressCalls == 0);
        return 0;
    }
    FUZZ_CHECK(cycle.pollIndex() == 0);
    FUZZ_CHECK(state.gStartDone == 1 && view.progressCalls == rdxmon::kSlotCount);
    for (int d = 0; d < rdxmon::kSlotCount; ++d) {
        for (int i = 0; i < 8; ++i)
            FUZZ_CHECK(state.gPvLine[d][i] == (input == kEsc ? std::string() : lines[i]));
        FUZZ_CHECK(state.gPvLine[d][8].empty());
    }
    for (float value : state.gPvValue)
        FUZZ_CHECK(std::isfinite(value));
    return 0;
}
