// Fakes shared by the window tests: message boxes and dialogs that record
// what they were asked, a link that answers every recorder at once, and the
// application object the widgets need.
#ifndef RDXMON_TESTS_WINDOWS_SUPPORT_H
#define RDXMON_TESTS_WINDOWS_SUPPORT_H

#include <map>
#include <string>
#include <vector>

#include <QString>
#include <QStringList>

#include "rdx5Comm3.h"
#include "startup/Services.h"

namespace rdxmon::testing {

// Makes the one QApplication of the test program (offscreen).
void ensureApplication();

class FakeMessages : public MessageBoxes {
public:
    void information(const QString& text) override { shown << text; }
    bool question(const QString& text) override {
        asked << text;
        return answer;
    }
    QStringList shown;
    QStringList asked;
    bool answer = true;
};

class FakeDialogs : public FileDialogs {
public:
    QString saveFileName(const QString&, const QString&, const QString&, const QString&) override { return {}; }
};

class FakeClock : public Clock {
public:
    QDateTime now() override { return QDateTime(QDate(2024, 3, 7), QTime(9, 5, 0)); }
};

// A recorder's eight-line reply: two head lines, then six channel lines with
// the value text at positions 16..25 (the decimals marker included); the
// field "S" makes a skipped channel.
std::string replyWithValues(const std::vector<std::string>& valueFields);

// A link whose recorders answer on the second call of every exchange: the
// first RWcomm of an exchange returns "" and the next the reply that
// replies[address] holds (ESC when none).
class FakeLink : public rdx::_rdx5Comm3 {
public:
    std::map<std::string, std::string> replies;
    std::vector<std::string> polled;  // address of every completed exchange
    bool opens = true;
    bool pending = false;

    bool BSuccessFlag() const override { return false; }
    void BSuccessFlag(bool) override {}
    std::string RWcomm(const std::string& StrAddr, const std::string&, const std::int16_t&,
                       const std::string&) override;
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
    std::string Pality() const override { return "Even"; }
    void DataBit(const std::string&) override {}
    std::string DataBit() const override { return "7"; }
    void BaudRate(const std::string&) override {}
    std::string BaudRate() const override { return "9600"; }
    void RThreshold(std::int32_t) override {}
    std::int32_t RThreshold() override { return 4; }
    std::int32_t CommID() override { return 3; }
    bool PortOpen() override { return opens; }
    void Port(const std::string&) override {}
    std::string Port() override { return "COM1"; }
    std::string GetNData(const std::string&, const std::int16_t&) override { return {}; }
    std::int16_t isDataNum(const std::string&) override { return 0; }
};

}  // namespace rdxmon::testing

#endif
