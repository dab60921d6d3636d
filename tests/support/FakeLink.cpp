#include "support/FakeLink.h"

#include <cstdio>

namespace rdxtest {

void FakeLink::record(const std::string& member, const std::string& argument)
{
    calls.push_back(argument.empty() ? member : member + "(" + argument + ")");
    if (const auto it = failures.find(member); it != failures.end())
        throw rdx::LinkError(it->second, "fake failure of " + member);
}

void FakeLink::BSuccessFlag(bool vData)
{
    record("BSuccessFlag", vData ? "True" : "False");
    successFlag_ = vData;
}

std::string FakeLink::RWcomm(const std::string& StrAddr, const std::string& ChData, const std::int16_t& Inttry,
                             const std::string& Mode)
{
    record("RWcomm", StrAddr + "," + ChData + "," + std::to_string(Inttry) + "," + Mode);
    rwAddresses.push_back(StrAddr);
    if (byAddress) {
        underWay_ = !underWay_;
        if (underWay_)
            return {};
        answered.push_back(StrAddr);
        const auto it = replies.find(StrAddr);
        return it == replies.end() ? std::string(1, '\x1b') : it->second;
    }
    if (script.empty())
        return {};
    const Step step = script.front();
    script.pop_front();
    if (step.error)
        throw rdx::LinkError(*step.error, "scripted failure");
    return step.text;
}

void FakeLink::Send_Close(const std::string& StrAddr) { record("Send_Close", StrAddr); }
void FakeLink::RecvBufClear() { record("RecvBufClear"); }
void FakeLink::SendBufClear() { record("SendBufClear"); }
void FakeLink::PortClose()
{
    record("PortClose");
    open_ = false;
}
void FakeLink::OutputBuffer(const std::string& vData)
{
    record("OutputBuffer", vData);
    output_ = vData;
}
std::string FakeLink::InputBuffer()
{
    record("InputBuffer");
    return {};
}
void FakeLink::RecvError(const std::string& vData)
{
    record("RecvError", vData);
    recvError_ = vData;
}
void FakeLink::TimeOut(std::int32_t vData)
{
    record("TimeOut", std::to_string(vData));
    timeOut_ = vData;
}
std::int16_t FakeLink::inbcount()
{
    record("inbcount");
    return inputWaiting;
}
void FakeLink::OutputBufSize(std::int32_t vData)
{
    record("OutputBufSize", std::to_string(vData));
    outSize_ = vData;
}
std::int32_t FakeLink::OutputBufSize() { return outSize_; }
void FakeLink::InputBufSize(std::int32_t vData)
{
    record("InputBufSize", std::to_string(vData));
    inSize_ = vData;
}
std::int32_t FakeLink::InputBufSize() { return inSize_; }
void FakeLink::Flow(const std::string& vData)
{
    record("Flow", vData);
    flow_ = vData;
}
std::string FakeLink::Flow() { return flow_; }
void FakeLink::StopBit(const std::string& vData)
{
    record("StopBit", vData);
    stopBit_ = vData;
}
void FakeLink::Pality(const std::string& vData)
{
    record("Pality", vData);
    parity_ = vData;
}
void FakeLink::DataBit(const std::string& vData)
{
    record("DataBit", vData);
    dataBit_ = vData;
}
void FakeLink::BaudRate(const std::string& vData)
{
    record("BaudRate", vData);
    baud_ = vData;
}
void FakeLink::RThreshold(std::int32_t vData)
{
    record("RThreshold", std::to_string(vData));
    rThreshold_ = vData;
}
std::int32_t FakeLink::RThreshold() { return rThreshold_; }
std::int32_t FakeLink::CommID() { return open_ ? 3 : -1; }
bool FakeLink::PortOpen()
{
    record("PortOpen");
    open_ = portOpenHook ? portOpenHook() : portOpenResult;
    return open_;
}
void FakeLink::Port(const std::string& vData)
{
    record("Port", vData);
    port_ = vData;
}
std::string FakeLink::Port() { return port_; }
std::string FakeLink::GetNData(const std::string& StrRecv, const std::int16_t& n)
{
    record("GetNData", StrRecv + "," + std::to_string(n));
    return {};
}
std::int16_t FakeLink::isDataNum(const std::string& StrRecv)
{
    record("isDataNum", StrRecv);
    return 0;
}

std::string channelLine(char status, const std::string& value, const std::string& tail)
{
    std::string field = value;
    if (field.size() < 7)
        field.insert(0, 7 - field.size(), ' ');
    return std::string(1, status) + std::string(14, ' ') + field + tail + "\r\n";
}

std::string reply(const std::vector<std::string>& channelLines)
{
    std::string text = "H0 head line\r\nH1 second line\r\n";
    for (const std::string& line : channelLines)
        text += line;
    return text;
}

std::string replyOf(double firstValue)
{
    std::vector<std::string> lines;
    for (int c = 0; c < 6; ++c) {
        char value[32];
        std::snprintf(value, sizeof(value), "%.1f", firstValue + c);
        lines.push_back(channelLine('N', value));
    }
    return reply(lines);
}

std::string replyWithValues(const std::vector<std::string>& valueFields)
{
    std::string text = "HEAD0 RDX-512\r\nHEAD1 000000\r\n";
    for (const std::string& field : valueFields) {
        // Positions 1..15 hold the status and channel head, 16..25 the value
        // field (with the decimals marker at 23..25).
        std::string line = field == "S" ? "S  CH          " : "N  CH          ";
        if (field != "S")
            line += field;
        line.resize(25, ' ');
        text += line + "\r\n";
    }
    return text;
}

}  // namespace rdxtest
