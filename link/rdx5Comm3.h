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
#ifndef RDX500COMM3_RDX5COMM3_H
#define RDX500COMM3_RDX5COMM3_H

#include <any>
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
        : std::runtime_error(std::to_string(number) + ": " + description),
          number_(number),
          description_(description) {}
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
// of the control's numbers (8000 to 8021).
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

// Event interface __rdx5Comm3. Declared for completeness; the object never
// raises either event.
class RDX_LINK_API __rdx5Comm3 {
public:
    virtual ~__rdx5Comm3() = default;
    virtual void Checked(bool& BOperation) = 0;
    virtual void OnComm(std::any& ComEvent) = 0;
};

// Default interface _rdx5Comm3, members in slot order. A property's get and
// put share the member name. Every member may throw LinkError.
class RDX_LINK_API _rdx5Comm3 {
public:
    virtual ~_rdx5Comm3() = default;

    virtual bool BSuccessFlag() const = 0;                                   // 1
    virtual void BSuccessFlag(bool vData) = 0;                               // 2
    virtual std::string RWcomm(const std::string& StrAddr, const std::string& ChData,
                               const std::int16_t& Inttry, const std::string& Mode) = 0;  // 3
    virtual void Send_Close(const std::string& StrAddr) = 0;                 // 4
    virtual void RecvBufClear() = 0;                                         // 5
    virtual void SendBufClear() = 0;                                         // 6
    virtual void PortClose() = 0;                                            // 7
    virtual void OutputBuffer(const std::string& vData) = 0;                 // 8
    virtual std::string OutputBuffer() const = 0;                            // 9
    virtual std::string InputBuffer() = 0;                                   // 10
    virtual void RecvError(const std::string& vData) = 0;                    // 11
    virtual std::string RecvError() const = 0;                               // 12
    virtual void TimeOut(std::int32_t vData) = 0;                            // 13
    virtual std::int16_t inbcount() = 0;                                     // 14
    virtual void OutputBufSize(std::int32_t vData) = 0;                      // 15
    virtual std::int32_t OutputBufSize() = 0;                                // 16
    virtual void InputBufSize(std::int32_t vData) = 0;                       // 17
    virtual std::int32_t InputBufSize() = 0;                                 // 18
    virtual void Flow(const std::string& vData) = 0;                         // 19
    virtual std::string Flow() = 0;                                          // 20
    virtual void StopBit(const std::string& vData) = 0;                      // 21
    virtual std::string StopBit() const = 0;                                 // 22
    virtual void Pality(const std::string& vData) = 0;                       // 23
    virtual std::string Pality() const = 0;                                  // 24
    virtual void DataBit(const std::string& vData) = 0;                      // 25
    virtual std::string DataBit() const = 0;                                 // 26
    virtual void BaudRate(const std::string& vData) = 0;                     // 27
    virtual std::string BaudRate() const = 0;                                // 28
    virtual void RThreshold(std::int32_t vData) = 0;                         // 29
    virtual std::int32_t RThreshold() = 0;                                   // 30
    virtual std::int32_t CommID() = 0;                                       // 31
    virtual bool PortOpen() = 0;                                             // 32
    virtual void Port(const std::string& vData) = 0;                         // 33
    virtual std::string Port() = 0;                                          // 34
    virtual std::string GetNData(const std::string& StrRecv, const std::int16_t& n) = 0;  // 35
    virtual std::int16_t isDataNum(const std::string& StrRecv) = 0;          // 36
    // Added after the 36 members above, which keep their slots.
    // How the port hands characters over (a UART FIFO or a USB adapter
    // delivers them in bursts): the typical pause, in milliseconds of the
    // tick counter, between two deliveries of characters of the last reply
    // RWcomm completed (the median of the pauses longer than 0 ms; 0 when
    // the reply came in one piece). 0 before the first complete reply; a
    // reply given up does not change it. Raises nothing.
    virtual std::int32_t ReplyGap() const { return 0; }                      // 37
};

class rdx5Comm3Impl;

// The creatable class. The default constructor uses the termios control and
// the system tick counter; tests and tools hand in their own.
class RDX_LINK_API rdx5Comm3 final : public _rdx5Comm3 {
public:
    rdx5Comm3();
    rdx5Comm3(std::unique_ptr<SerialControl> control, std::shared_ptr<TickCounter> ticks);
    ~rdx5Comm3() override;
    rdx5Comm3(const rdx5Comm3&) = delete;
    rdx5Comm3& operator=(const rdx5Comm3&) = delete;

    bool BSuccessFlag() const override;
    void BSuccessFlag(bool vData) override;
    std::string RWcomm(const std::string& StrAddr, const std::string& ChData,
                       const std::int16_t& Inttry, const std::string& Mode) override;
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
