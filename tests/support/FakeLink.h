// A stand-in for the link object for the window tests, and a recorder reply.
// (The poll cycle test runs the real link object over FakeLine.h.)
#ifndef RDXTEST_SUPPORT_FAKE_LINK_H
#define RDXTEST_SUPPORT_FAKE_LINK_H

#include <map>
#include <string>
#include <vector>

#include "rdx5Comm3.h"

namespace rdxtest {

// Answers by address: every exchange takes two RWcomm calls, the first
// returns "" (under way), the second replies[address] (ESC when there is
// none) and adds the address to answered. Any member can be made to fail.
class FakeLink : public rdx::_rdx5Comm3 {
public:
    std::map<std::string, std::string> replies;
    std::vector<std::string> answered;
    bool byAddress = true;  // the only way it answers
    bool portOpenResult = true;
    // Every later call of the member throws LinkError(number), with the
    // error cause as its cause when given.
    void failMember(const std::string& member, int number, int cause = 0) { failures_[member] = {number, cause}; }
    std::string RWcomm(const std::string& StrAddr, const std::string&, const std::int16_t&, const std::string&) override
    {
        hit("RWcomm");
        if ((underWay_ = !underWay_))
            return {};
        answered.push_back(StrAddr);
        const auto it = replies.find(StrAddr);
        return it == replies.end() ? std::string(1, '\x1b') : it->second;
    }
    bool PortOpen() override { return hit("PortOpen"), portOpenResult; }
    // The rest answer with fixed values.
    bool BSuccessFlag() const override { return false; }
    void BSuccessFlag(bool) override { hit("BSuccessFlag"); }
    void Send_Close(const std::string&) override { hit("Send_Close"); }
    void RecvBufClear() override { hit("RecvBufClear"); }
    void SendBufClear() override { hit("SendBufClear"); }
    void PortClose() override { hit("PortClose"); }
    void OutputBuffer(const std::string&) override { hit("OutputBuffer"); }
    std::string OutputBuffer() const override { return {}; }
    std::string InputBuffer() override { return hit("InputBuffer"), std::string(); }
    void RecvError(const std::string&) override { hit("RecvError"); }
    std::string RecvError() const override { return {}; }
    void TimeOut(std::int32_t) override { hit("TimeOut"); }
    std::int16_t inbcount() override { return hit("inbcount"), 0; }
    void OutputBufSize(std::int32_t) override { hit("OutputBufSize"); }
    std::int32_t OutputBufSize() override { return 512; }
    void InputBufSize(std::int32_t) override { hit("InputBufSize"); }
    std::int32_t InputBufSize() override { return 1024; }
    void Flow(const std::string&) override { hit("Flow"); }
    std::string Flow() override { return "NONE"; }
    void StopBit(const std::string&) override { hit("StopBit"); }
    std::string StopBit() const override { return "1"; }
    void Pality(const std::string&) override { hit("Pality"); }
    std::string Pality() const override { return "Even"; }
    void DataBit(const std::string&) override { hit("DataBit"); }
    std::string DataBit() const override { return "7"; }
    void BaudRate(const std::string&) override { hit("BaudRate"); }
    std::string BaudRate() const override { return "9600"; }
    void RThreshold(std::int32_t) override { hit("RThreshold"); }
    std::int32_t RThreshold() override { return 4; }
    std::int32_t CommID() override { return 3; }
    void Port(const std::string&) override { hit("Port"); }
    std::string Port() override { return "COM1"; }
    std::string GetNData(const std::string&, const std::int16_t&) override { return {}; }
    std::int16_t isDataNum(const std::string&) override { return 0; }

private:
    void hit(const std::string& member) const
    {
        if (const auto it = failures_.find(member); it != failures_.end())
            throw rdx::LinkError(it->second.first, "fake failure of " + member, it->second.second,
                                 it->second.second != 0 ? "fake cause" : "");
    }
    std::map<std::string, std::pair<int, int>> failures_;
    bool underWay_ = false;
};

// A recorder's eight-line reply: two head lines, then a channel line for
// each field, with the field (the value, and the decimals marker at 23..25)
// at positions 16..25; the field "S" makes a skipped channel.
inline std::string replyWithValues(const std::vector<std::string>& valueFields)
{
    std::string text = "HEAD0 RDX-512\r\nHEAD1 000000\r\n";
    for (const std::string& field : valueFields) {
        std::string line = field == "S" ? "S  CH          " : "N  CH          " + field;
        line.resize(25, ' ');
        text += line + "\r\n";
    }
    return text;
}

}  // namespace rdxtest

#endif
