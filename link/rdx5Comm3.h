// RDX500Comm3: the recorder link library.
//
// One public class, rdx5Comm3, owns one serial port and speaks the RDX-512
// recorders' line protocol over it. Everything that touches the serial line
// lives behind this header.
//
// Error contract: every failure reaches the caller as rdx::LinkError, which
// carries a number and a description. The numbers are
//   5      invalid argument          (GetNData with n below 0)
//   6      overflow                  (a 16-bit value out of range)
//   30001  port text not COM1..COM8  (Port put; inside PortOpen)
//   30002  speed text refused        (inside PortOpen)
//   30003  parity text refused       (inside PortOpen)
//   30004  data bit text refused     (inside PortOpen)
//   30005  stop bit text refused     (inside PortOpen)
//   30006  flow text refused         (Flow put; inside PortOpen)
//   30019  PortOpen failed           (any error while applying settings/opening)
// Errors of the serial control itself pass through every member but PortOpen
// unchanged; their descriptions name the device and the system's reason:
//   8000   operation not valid while the port is open (CommPort set)
//   8002   no such serial device
//   8005   the device is in use by another program; a second line names
//          the process holding it when it can be seen
//   8012   the port is not open
//   8015   the device refused the line settings or did not keep them
//   8020   the device failed while reading or writing (line lost)
//   8021   no permission to use the device; a second line gives the
//          device's owner, group and mode and what keeps this user off
//   8022   the path leads to something that is not a serial device (a
//          regular file, a FIFO, /dev/null: no terminal); the description
//          names what it resolved to in parentheses after the port
// Errors raised inside PortOpen reach the caller only as 30019; the first of
// them rides along as the 30019's cause (causeNumber, causeDescription), and
// the port is closed. RecvBufClear and SendBufClear do nothing on a closed
// port. PortClose always closes, then reports a failure of its drain.
//
// Texts crossing the interface are std::string holding the characters as
// they go on the line (one byte per character). Descriptions are UTF-8.
//
// Each member of _rdx5Comm3 below documents its own part of this contract.
// examples/one_exchange.cpp is a short program that opens a port and runs
// one exchange with one recorder through it.
#ifndef RDX500COMM3_RDX5COMM3_H
#define RDX500COMM3_RDX5COMM3_H

#include <cstdint>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>

#if defined(__GNUC__)
#define RDX_LINK_API __attribute__((visibility("default")))
#else
#define RDX_LINK_API
#endif

namespace rdx {

// Identities of the component.
inline constexpr char kLibraryName[] = "RDX500Comm3";
inline constexpr char kLibraryFileName[] = "libRDX500Comm3.so";
inline constexpr char kLibraryHelpText[] = "RDX-500 Communication ActiveX DLL";
inline constexpr char kLibraryId[] = "{31037BC0-202B-47B7-9A1E-B01A2FCD10C4}";
inline constexpr char kClassName[] = "rdx5Comm3";
inline constexpr char kClassId[] = "{67ACDFDF-81AA-4AD8-B39C-077F8CFB1AF6}";
inline constexpr char kProgId[] = "RDX500Comm3.rdx5Comm3";
inline constexpr char kInterfaceName[] = "_rdx5Comm3";
inline constexpr char kInterfaceId[] = "{D9E1FD15-4E59-4038-852E-AAE57643D46C}";
// The event interface is named for completeness only: the object raises no
// events, and no class here declares them.
inline constexpr char kEventInterfaceName[] = "__rdx5Comm3";
inline constexpr char kEventInterfaceId[] = "{BA260647-D4B6-4EFE-A74F-0D47B98F6D3D}";

// Error numbers.
inline constexpr int kErrInvalidArgument = 5;
inline constexpr int kErrOverflow = 6;
inline constexpr int kErrPortText = 30001;
inline constexpr int kErrBaudText = 30002;
inline constexpr int kErrParityText = 30003;
inline constexpr int kErrDataBitText = 30004;
inline constexpr int kErrStopBitText = 30005;
inline constexpr int kErrFlowText = 30006;
inline constexpr int kErrPortOpen = 30019;
inline constexpr int kErrWhileOpen = 8000;
inline constexpr int kErrNoDevice = 8002;
inline constexpr int kErrDeviceBusy = 8005;
inline constexpr int kErrNotOpen = 8012;
inline constexpr int kErrSettingsRefused = 8015;
inline constexpr int kErrDeviceIo = 8020;
inline constexpr int kErrPermission = 8021;
inline constexpr int kErrNotSerial = 8022;

// The one exception type of the library.
class RDX_LINK_API LinkError : public std::runtime_error {
public:
    // Inline, so a program that loads the library at run time can catch and
    // make these without linking to it.
    LinkError(int number, const std::string& description)
        : std::runtime_error(std::to_string(number) + ": " + description), number_(number), description_(description)
    {}
    // An error with the error that caused it (PortOpen's 30019 carries the
    // first error raised while opening).
    LinkError(int number, const std::string& description, int causeNumber, const std::string& causeDescription)
        : LinkError(number, description)
    {
        causeNumber_ = causeNumber;
        causeDescription_ = causeDescription;
    }
    int number() const noexcept { return number_; }
    const std::string& description() const noexcept { return description_; }
    // The error that caused this one: 0 and empty text when there is none.
    int causeNumber() const noexcept { return causeNumber_; }
    const std::string& causeDescription() const noexcept { return causeDescription_; }

    // The description the library gives for one of its own numbers
    // (empty for an unknown number).
    static std::string describe(int number);
    // An error of the library's own numbers with its standard description.
    static LinkError of(int number);

private:
    int number_;
    std::string description_;
    int causeNumber_ = 0;
    std::string causeDescription_;
};

// Millisecond tick counter of a monotonic 64-bit clock, used for the reply
// deadline and for the library's short bounded waits (CTS, draining).
class RDX_LINK_API TickCounter {
public:
    virtual ~TickCounter() = default;
    virtual std::int64_t now() = 0;
    // Sleeps for the milliseconds given.
    virtual void sleep(std::int32_t ms) = 0;
};

// The serial control: the operations the link object needs of a serial port,
// nothing more. Any operation the device refuses throws LinkError with one
// of the control's numbers (8000 to 8022).
class RDX_LINK_API SerialControl {
public:
    virtual ~SerialControl() = default;

    // Port number to open; setting it while the port is open fails.
    virtual void setCommPort(std::int16_t port) = 0;
    virtual std::int16_t commPort() const = 0;
    // "baud,parity letter,data bits,stop bits", e.g. "9600,E,7,1".
    virtual void setSettings(const std::string& settings) = 0;
    // 0 none, 1 XON/XOFF, 2 RTS/CTS, 3 both.
    virtual void setHandshaking(std::int16_t code) = 0;
    virtual std::int16_t handshaking() const = 0;
    // Opening a missing or busy port fails.
    virtual void setPortOpen(bool open) = 0;
    virtual bool portOpen() const = 0;
    virtual bool ctsHolding() = 0;
    virtual void setInBufferSize(std::int16_t size) = 0;
    virtual std::int16_t inBufferSize() const = 0;
    virtual void setOutBufferSize(std::int16_t size) = 0;
    virtual std::int16_t outBufferSize() const = 0;
    // Bytes waiting in the receive buffer.
    virtual std::int16_t inBufferCount() = 0;
    // Setting the count to 0 discards the received bytes.
    virtual void clearInBuffer() = 0;
    // Bytes not yet sent.
    virtual std::int16_t outBufferCount() = 0;
    // Setting the count to 0 discards the unsent bytes.
    virtual void clearOutBuffer() = 0;
    // Maximum characters one input() returns; 0 means all.
    virtual void setInputLen(std::int16_t len) = 0;
    // Takes up to InputLen characters out of the receive buffer without
    // blocking; empty when none wait.
    virtual std::string input() = 0;
    // Queues the text for sending and returns without waiting.
    virtual void output(const std::string& text) = 0;
    virtual void setRThreshold(std::int16_t threshold) = 0;
    virtual std::int16_t rThreshold() const = 0;
    // Handle of the open port (the file descriptor), -1 when closed.
    virtual std::int32_t commId() const = 0;
    // Waits until a character can be read or timeoutMs has passed, whichever
    // comes first. Used only while a reply is being read, so the exchange does
    // not spin; returns at once when characters are already waiting.
    virtual void waitForInput(std::int32_t timeoutMs) = 0;
};

// Real serial control over POSIX termios. Port number n opens the device
// resolved by the resolver; the default resolver asks the hosting program's
// resolver (setDeviceResolver) first and, when it gives no path, takes the
// link "COMn" in the folder of the running executable when there is one,
// else /dev/ttyS<n-1>. Once a port number was opened through a link, the
// control opens that number through the same link only (a dangling link is
// 8002).
using DeviceResolver = std::function<std::string(int port)>;
RDX_LINK_API std::string defaultDevicePath(int port);
RDX_LINK_API std::unique_ptr<SerialControl> makeTermiosControl(DeviceResolver resolver = {});
// The hosting program's device lookup for the default resolver, for every
// object of the process (empty: none). An empty answer leaves the port to
// defaultDevicePath.
RDX_LINK_API void setDeviceResolver(DeviceResolver resolver);
// The system's monotonic millisecond counter.
RDX_LINK_API std::shared_ptr<TickCounter> makeSystemTickCounter();

// Shows the PortOpen message ("Communications port cannot be opened...").
// The hosting program installs its own; the default writes to standard error.
using MessageNotifier = std::function<void(const std::string& text, const std::string& title)>;
RDX_LINK_API void setMessageNotifier(MessageNotifier notifier);

// Default interface _rdx5Comm3, members in slot order (the number at the
// right of each). A property's get and put share the member name; a put
// receives its value in vData. Parameters passed by reference are only read.
//
// Each member below says what it does, what it returns and which errors it
// raises, by number (see the table at the top of this file). "The control's
// errors" are those of the serial control, passed on unchanged: 8012 when the
// port is not open, 8020 when the device failed or hung up. A member that
// names no error raises none. Texts are stored as given and examined only
// where a member says so; the settings texts reach the port at PortOpen.
//
// Everything runs on the caller's thread; the object takes no locks, so one
// thread at a time may use it.
class RDX_LINK_API _rdx5Comm3 {
public:
    virtual ~_rdx5Comm3() = default;

    // A flag kept for the client; the library itself never reads or sets
    // it. False on a new object.
    virtual bool BSuccessFlag() const = 0;  // 1
    virtual void BSuccessFlag(bool vData) = 0;  // 2

    // One step of the exchange with the recorder at StrAddr, asking for the
    // ChData channels; call it again and again (the monitor calls it every
    // 50 ms) with the same texts until it returns something:
    //   ""          under way: nothing has arrived yet, call again;
    //   "\x1b"      (ESC alone) no complete reply within TimeOut ms of the
    //               request; the exchange was given up, the lines read are
    //               lost, and the next call starts a new exchange;
    //   other text  the complete reply: N + 2 lines (N read from the start of
    //               ChData, leading blanks skipped; 0 when it holds no number
    //               or a negative one), each longer than 2 characters and
    //               ending in CR LF, joined.
    // The first call of an exchange writes the open command
    // (ESC "O " StrAddr CR LF), "TS0" CR LF and the data request
    // (ESC "T" CR LF "FM0,01," ChData CR LF) and returns "" at once. Later
    // calls return "" at once while nothing has arrived; the call that finds
    // characters reads the whole reply, one character at a time and waiting
    // on the port between them, until its last line is in (then it writes the
    // close command ESC "C " StrAddr CR LF) or TimeOut ms have passed since
    // the request (then ESC; no close command). StrAddr and ChData go on the
    // line unchanged; the monitor passes "01".."31" and "06". Every command
    // written becomes the OutputBuffer text. Characters after the reply stay
    // in the receive buffer and begin the next reply.
    // The exchange belongs to the object, not to the address: the call that
    // completes a reply returns it and writes the close command for its own
    // StrAddr. Opening and closing the port do not reset the exchange.
    // Inttry and Mode are ignored (the monitor passes 1 and "N").
    // Errors: the control's errors (8012, 8020). After an error while the
    // request is written the exchange is still idle (the next call starts
    // it again); after one while the reply is read it still awaits the reply
    // (the characters read so far are lost).
    virtual std::string RWcomm(const std::string& StrAddr, const std::string& ChData, const std::int16_t& Inttry,
                               const std::string& Mode)
        = 0;  // 3
    // Writes the close command ESC "C " StrAddr CR LF at once and makes it
    // the OutputBuffer text. Reads nothing, waits for nothing, and leaves the
    // exchange of RWcomm as it was. Errors: the control's errors.
    virtual void Send_Close(const std::string& StrAddr) = 0;  // 4
    // Discard the bytes received and not yet read (RecvBufClear) or queued
    // and not yet sent (SendBufClear). Do nothing on a closed port.
    // Errors: 8020.
    virtual void RecvBufClear() = 0;  // 5
    virtual void SendBufClear() = 0;  // 6
    // Closes the port; does nothing when it is closed. When bytes are still
    // queued, first writes the OutputBuffer text once more and waits for the
    // queue to drain, for at most the time the bytes need on the line (10
    // bits each at the BaudRate, 9600 when that holds no number) plus 1 s.
    // The port is closed in any case. Errors: 8020 when the drain failed,
    // raised after the port was closed.
    virtual void PortClose() = 0;  // 7
    // The text of the last command written by RWcomm or Send_Close, or the
    // text last put, whichever came later; empty on a new object. The put
    // writes nothing to the port.
    virtual void OutputBuffer(const std::string& vData) = 0;  // 8
    virtual std::string OutputBuffer() const = 0;  // 9
    // Takes characters out of the receive buffer without waiting and
    // returns them (empty when none wait): everything waiting before the
    // first exchange, at most one character after any exchange (RWcomm reads
    // one at a time). The text is also kept as the InputBuffer text.
    // Errors: the control's errors.
    virtual std::string InputBuffer() = 0;  // 10
    // A text kept for the client; the library never sets it. Empty on a new
    // object.
    virtual void RecvError(const std::string& vData) = 0;  // 11
    virtual std::string RecvError() const = 0;  // 12
    // The reply time-out of RWcomm in milliseconds: 100 on a new object (the
    // monitor sets 1000). It counts from the data request; a new value holds
    // from the next exchange. There is no get.
    virtual void TimeOut(std::int32_t vData) = 0;  // 13
    // The number of bytes waiting in the receive buffer (at most 32767).
    // Errors: the control's errors.
    virtual std::int16_t inbcount() = 0;  // 14
    // The sizes of the transmit (OutputBufSize) and receive (InputBufSize)
    // buffers, 512 and 1024 on a new object. A put keeps the value, then
    // hands it to the control as a 16-bit number; the get returns the
    // control's size. The termios control only records the sizes: the
    // system's queues keep theirs. Errors (put): 6 for a value outside
    // -32768..32767; the control keeps its old size, and the get then
    // returns that.
    virtual void OutputBufSize(std::int32_t vData) = 0;  // 15
    virtual std::int32_t OutputBufSize() = 0;  // 16
    virtual void InputBufSize(std::int32_t vData) = 0;  // 17
    virtual std::int32_t InputBufSize() = 0;  // 18
    // Handshaking. The put keeps the text, then sets the control to it:
    // "NONE", "XON/XOFF", "RTS/CTS" or "BOTH", exactly in these capitals.
    // On an open port the device takes it at once. The get returns the
    // control's handshaking as one of those texts (empty for a code the
    // control should not hold) and keeps that text.
    // Errors (put): 30006 for any other text, which stays kept, so PortOpen
    // fails with 30019 until a good one is put; 8015 when the open device
    // refuses the handshaking.
    virtual void Flow(const std::string& vData) = 0;  // 19
    virtual std::string Flow() = 0;  // 20
    // The line settings as texts, kept as put and returned as kept; PortOpen
    // examines them. A new object holds "1", "EVEN", "7" and "9600". PortOpen
    // accepts StopBit "1" or "2" (else 30005), Pality "NONE", "EVEN" or "ODD"
    // in any case (else 30003), DataBit "7" or "8" (else 30004) and BaudRate
    // "2400", "4800", "9600" or "19200" (else 30002), each raised inside
    // PortOpen as its 30019. The puts and gets raise nothing.
    virtual void StopBit(const std::string& vData) = 0;  // 21
    virtual std::string StopBit() const = 0;  // 22
    virtual void Pality(const std::string& vData) = 0;  // 23
    virtual std::string Pality() const = 0;  // 24
    virtual void DataBit(const std::string& vData) = 0;  // 25
    virtual std::string DataBit() const = 0;  // 26
    virtual void BaudRate(const std::string& vData) = 0;  // 27
    virtual std::string BaudRate() const = 0;  // 28
    // The control's receive threshold, 4 on a new object; the object reacts
    // to no notification of the control, so it changes nothing on the line.
    // Put and get as for the buffer sizes. Errors (put): 6 as there.
    virtual void RThreshold(std::int32_t vData) = 0;  // 29
    virtual std::int32_t RThreshold() = 0;  // 30
    // The system's handle of the open port (its file descriptor); -1 when
    // the port is closed.
    virtual std::int32_t CommID() = 0;  // 31
    // Opens the port with the settings kept now: closes it first when it is
    // open (without draining), converts Port, BaudRate, Pality, DataBit,
    // StopBit and Flow in that order, puts them on the device and opens it,
    // then samples CTS for up to 200 ms.
    // Result: true when the device asserts CTS (a pseudo-terminal, which has
    // no modem lines, counts as asserting it): the port stays open. False
    // when it does not: the message "Communications port cannot be opened."
    // goes to the message notifier (setMessageNotifier) and the port is
    // closed.
    // Errors: only 30019, for any failure on the way, with the first error
    // as its cause (causeNumber, causeDescription): 30001..30006 for a
    // settings text, 8002, 8005, 8015, 8020, 8021 or 8022 for the device, 0
    // for an exception that is no LinkError (from a notifier, say). The port
    // is then closed.
    virtual bool PortOpen() = 0;  // 32
    // The port. The put converts the text kept BEFORE it (not vData) to a
    // port number and sets the control to it, and only then keeps vData,
    // which the next PortOpen or Port put examines: "COM1".."COM8", any case.
    // The get returns "COM" and the control's port number ("COM3"), and keeps
    // that in place of the text put.
    // Errors (put), after which vData is not kept: 30001 when the kept text
    // is no port (a get then puts a good one in its place); 8000 while the
    // port is open.
    virtual void Port(const std::string& vData) = 0;  // 33
    virtual std::string Port() = 0;  // 34
    // The reply-line functions; they need no port and leave the exchange
    // alone. A line of length L holds a head of 8 characters (the 4th is
    // the width code), a data area of L - 11 characters and a tail of 3.
    // Fields are 4 characters wide for the codes ' ', '"', '`', 'a' and 'r',
    // 8 for '!' and '#'; a line with any other code holds no fields.
    //
    // GetNData returns field n (counted from 1) of StrRecv's data area, or
    // the whole area for n = 0. Empty text for a line shorter than 15
    // characters, for a line without fields (n other than 0), and for a
    // field beyond the area. Errors, on a line of fields only: 5 for n below
    // 0, 6 when n times the field width exceeds 32767.
    virtual std::string GetNData(const std::string& StrRecv, const std::int16_t& n) = 0;  // 35
    // isDataNum returns how many whole fields StrRecv's data area holds: 0
    // for a line shorter than 15 characters, a line without fields, or an
    // area that is no whole number of fields. Errors: 6 when there would be
    // more than 32767.
    virtual std::int16_t isDataNum(const std::string& StrRecv) = 0;  // 36
    // Added after the 36 members above, which keep their slots.
    // How the port hands characters over (a UART FIFO or a USB adapter
    // delivers them in bursts): the typical pause, in milliseconds of the
    // tick counter, between two deliveries of characters of the last reply
    // RWcomm completed (the median of the pauses longer than 0 ms; 0 when
    // the reply came in one piece). 0 before the first complete reply; a
    // reply given up does not change it. Raises nothing.
    virtual std::int32_t ReplyGap() const { return 0; }  // 37
};

class rdx5Comm3Impl;

// The creatable class; its members are documented in _rdx5Comm3 above. The
// default constructor uses the termios control and the system tick counter;
// tests and tools hand in their own (error 5 when either is null). A new
// object sets the control's InputLen to 0 and its RThreshold to 4, and
// leaves the port closed. Destroying the object closes an open port without
// draining it.
class RDX_LINK_API rdx5Comm3 final : public _rdx5Comm3 {
public:
    rdx5Comm3();
    rdx5Comm3(std::unique_ptr<SerialControl> control, std::shared_ptr<TickCounter> ticks);
    ~rdx5Comm3() override;
    rdx5Comm3(const rdx5Comm3&) = delete;
    rdx5Comm3& operator=(const rdx5Comm3&) = delete;

    bool BSuccessFlag() const override;
    void BSuccessFlag(bool vData) override;
    std::string RWcomm(const std::string& StrAddr, const std::string& ChData, const std::int16_t& Inttry,
                       const std::string& Mode) override;
    void Send_Close(const std::string& StrAddr) override;
    void RecvBufClear() override;
    void SendBufClear() override;
    void PortClose() override;
    void OutputBuffer(const std::string& vData) override;
    std::string OutputBuffer() const override;
    std::string InputBuffer() override;
    void RecvError(const std::string& vData) override;
    std::string RecvError() const override;
    void TimeOut(std::int32_t vData) override;
    std::int16_t inbcount() override;
    void OutputBufSize(std::int32_t vData) override;
    std::int32_t OutputBufSize() override;
    void InputBufSize(std::int32_t vData) override;
    std::int32_t InputBufSize() override;
    void Flow(const std::string& vData) override;
    std::string Flow() override;
    void StopBit(const std::string& vData) override;
    std::string StopBit() const override;
    void Pality(const std::string& vData) override;
    std::string Pality() const override;
    void DataBit(const std::string& vData) override;
    std::string DataBit() const override;
    void BaudRate(const std::string& vData) override;
    std::string BaudRate() const override;
    void RThreshold(std::int32_t vData) override;
    std::int32_t RThreshold() override;
    std::int32_t CommID() override;
    bool PortOpen() override;
    void Port(const std::string& vData) override;
    std::string Port() override;
    std::string GetNData(const std::string& StrRecv, const std::int16_t& n) override;
    std::int16_t isDataNum(const std::string& StrRecv) override;
    std::int32_t ReplyGap() const override;

private:
    std::unique_ptr<rdx5Comm3Impl> impl_;
};

}  // namespace rdx

// C entry points, looked up by name when the library is loaded at run time.
extern "C" {
// Creates an object by class identifier or programmatic name and returns its
// default interface; null for an unknown identity. Release with delete (the
// interface has a virtual destructor) or RDX500Comm3_Release.
RDX_LINK_API rdx::_rdx5Comm3* RDX500Comm3_Create(const char* identity);
RDX_LINK_API void RDX500Comm3_Release(rdx::_rdx5Comm3* object);
// Installs the notifier for the PortOpen message; null restores the default.
typedef void (*RDX500Comm3_Notifier)(const char* text, const char* title, void* context);
RDX_LINK_API void RDX500Comm3_SetNotifier(RDX500Comm3_Notifier notifier, void* context);
// Installs the hosting program's device lookup (setDeviceResolver): for a
// port number it writes the path to open into device (NUL-terminated, at
// most size bytes) and returns nonzero, or returns 0 to leave the port to
// the library's rule. Null removes it.
typedef int (*RDX500Comm3_Resolver)(int port, char* device, int size, void* context);
RDX_LINK_API void RDX500Comm3_SetResolver(RDX500Comm3_Resolver resolver, void* context);
}

#endif
