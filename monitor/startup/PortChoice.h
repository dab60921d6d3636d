// The serial device each port COMn opens. The communication panel lists the
// serial devices present and keeps the operator's choice per port in
// "RDX512PORT.INI" in the folder of the files (one "COMn=device" a line);
// the settings record keeps its 4-character port name as it is. A port
// without a choice follows the link rule: the link COMn in the folder of the
// files, else the link COMn beside the program, else /dev/ttyS<n-1>.
#ifndef RDXMON_STARTUP_PORTCHOICE_H
#define RDXMON_STARTUP_PORTCHOICE_H

#include <map>
#include <vector>

#include <QString>

namespace rdxmon {

inline const QString kPortChoiceFileName = QStringLiteral("RDX512PORT.INI");
// The choice that has the window program start the recorder simulator for
// the port; its link COMn lies in the folder of the files.
inline const QString kSimulatedChoice = QStringLiteral("simulated");

// "COM3" -> 3 (blanks around and case ignored); 0 for a text that is not
// COM1..COM99.
int portNumber(const QString& port);

// Port number -> the chosen device path or kSimulatedChoice. No file: no
// choice. Lines that are not COMn=... are passed over.
std::map<int, QString> readPortChoices(const QString& folder);

// Stores the choice for the port (empty: none, the link rule again) with
// the other ports' choices, written whole. False with a reason naming the
// file when it cannot be written.
bool storePortChoice(const QString& folder, int port, const QString& choice, QString* error);

// The path that port n opens: the device chosen for it; for the simulated
// choice the link COMn in the folder; without a choice the link rule. A
// run takes the choices once, at its start (a choice made in the panel
// counts from the next start), and passes them in.
QString portPath(const QString& folder, int port, const std::map<int, QString>& choices);
QString portPath(const QString& folder, int port);

// The choices a run took at its start, with their folder.
struct PortRule {
    QString folder;
    std::map<int, QString> choices;

    static PortRule takenFrom(const QString& folder) { return {folder, readPortChoices(folder)}; }
    QString path(int port) const { return portPath(folder, port, choices); }
};
// The path the link rule gives alone (no choice looked at).
QString linkRulePath(const QString& folder, int port);

struct SerialDevice {
    QString path;  // its stable name: /dev/serial/by-id/... when it has one, else /dev/<kernelName>
    QString kernelName;  // "ttyUSB0"
    QString driver;  // the kernel driver's name ("ftdi_sio"); empty when unknown
};

// The serial devices present, in the panel's order: those with a
// /dev/serial/by-id name first, then ttyUSB*, ttyACM* and ttyS* by number.
// A ttyS port counts only when the kernel found a UART there. root prefixes
// /dev and /sys (empty: the system's own).
std::vector<SerialDevice> serialDevices(const QString& root = QString());

// "/dev/serial/by-id/usb-FTDI_...-port0 (ttyUSB0, ftdi_sio)".
QString deviceCaption(const SerialDevice& device);

}  // namespace rdxmon

#endif
