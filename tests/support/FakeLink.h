// A scripted stand-in for the link object, and helpers that build recorder
// replies.
#ifndef RDXTEST_SUPPORT_FAKE_LINK_H
#define RDXTEST_SUPPORT_FAKE_LINK_H

#include <deque>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "rdx5Comm3.h"

namespace rdxtest {

// Implements the whole link interface. Every call is recorded as
// "Member" or "Member(argument)"; RWcomm returns the scripted results in
// order (empty text once the script is used up) unless the link answers by
// address; any member can be made to throw a LinkError.
class FakeLink : public rdx::_rdx5Comm3 {
public:
    // One scripted RWcomm result: a text, or an error number to throw.
    struct Step {
        std::string text;
        std::optional<int> error;
    };

    void queueText(const std::string& text) { script.push_back({text, std::nullopt}); }
    void queueEsc() { queueText(std::string(1, '\x1b')); }
    void queueError(int number) { script.push_back({{}, number}); }
    // Every later call of the member throws LinkError(number).
    void failMember(const std::string& member, int number) { failures[member] = number; }

    std::deque<Step> script;
    std::map<std::string, int> failures;
    std::vector<std::string> calls;
    std::vector<std::string> rwAddresses;  // address passed to each RWcomm call
    bool portOpenResult = true;
    // When set, PortOpen returns what it returns (or lets its error through)
    // instead of portOpenResult.
    std::function<bool()> portOpenHook;

    // Answering by address instead of the script: every exchange takes two
    // RWcomm calls, the first returns "" (under way), the second
    // replies[address] (ESC when none) and adds the address to answered.
    bool byAddress = false;
    std::map<std::string, std::string> replies;
    std::vector<std::string> answered;

    bool BSuccessFlag() const override { return successFlag_; }
    void BSuccessFlag(bool vData) override;
    std::string RWcomm(const std::string& StrAddr, const std::string& ChData, const std::int16_t& Inttry,
                       const std::string& Mode) override;
    void Send_Close(const std::string& StrAddr) override;
    void RecvBufClear() override;
    void SendBufClear() override;
    void PortClose() override;
    void OutputBuffer(const std::string& vData) override;
    std::string OutputBuffer() const override { return output_; }
    std::string InputBuffer() override;
    void RecvError(const std::string& vData) override;
    std::string RecvError() const override { return recvError_; }
    void TimeOut(std::int32_t vData) override;
    // What inbcount reports: characters waiting in the receive buffer.
    std::int16_t inputWaiting = 0;
    std::int16_t inbcount() override;
    void OutputBufSize(std::int32_t vData) override;
    std::int32_t OutputBufSize() override;
    void InputBufSize(std::int32_t vData) override;
    std::int32_t InputBufSize() override;
    void Flow(const std::string& vData) override;
    std::string Flow() override;
    void StopBit(const std::string& vData) override;
    std::string StopBit() const override { return stopBit_; }
    void Pality(const std::string& vData) override;
    std::string Pality() const override { return parity_; }
    void DataBit(const std::string& vData) override;
    std::string DataBit() const override { return dataBit_; }
    void BaudRate(const std::string& vData) override;
    std::string BaudRate() const override { return baud_; }
    void RThreshold(std::int32_t vData) override;
    std::int32_t RThreshold() override;
    std::int32_t CommID() override;
    bool PortOpen() override;
    void Port(const std::string& vData) override;
    std::string Port() override;
    std::string GetNData(const std::string& StrRecv, const std::int16_t& n) override;
    std::int16_t isDataNum(const std::string& StrRecv) override;

private:
    void record(const std::string& member, const std::string& argument = {});

    bool successFlag_ = false;
    std::string output_, recvError_, flow_ = "NONE", stopBit_ = "1", parity_ = "Even", dataBit_ = "7",
                                     baud_ = "9600", port_ = "COM1";
    std::int32_t timeOut_ = 0, outSize_ = 512, inSize_ = 1024, rThreshold_ = 0;
    bool open_ = false;
    bool underWay_ = false;
};

// A channel line: status character at position 1, the value text ending at
// position 22, then three characters at 23..25 ("-02", "   ") and CR LF.
std::string channelLine(char status, const std::string& value, const std::string& tail = "   ");

// A complete eight-line reply with the six channel lines given.
std::string reply(const std::vector<std::string>& channelLines);

// A reply whose six channels carry firstValue, firstValue + 1, ... + 5.
std::string replyOf(double firstValue);

// A recorder's eight-line reply: two head lines, then six channel lines with
// the value text at positions 16..25 (the decimals marker included); the
// field "S" makes a skipped channel.
std::string replyWithValues(const std::vector<std::string>& valueFields);

}  // namespace rdxtest

#endif
