#include "startup/PortChoice.h"

#include <algorithm>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

#include "startup/AtomicFile.h"
#include "startup/ProgramFolder.h"

namespace rdxmon {

namespace {

const QString kFileHeader
    = QStringLiteral("# The serial device of each port of the RDX-512 monitor, chosen in its communication panel.\n"
                     "# COMn=device path, or COMn=simulated for the recorder simulator.\n");

QString choicePath(const QString& folder)
{
    return QDir(folder).filePath(kPortChoiceFileName);
}

QString linkIn(const QString& folder, int port)
{
    if (folder.isEmpty())
        return {};
    const QString link = QDir(folder).filePath(QStringLiteral("COM%1").arg(port));
    return QFileInfo(link).isSymLink() || QFileInfo::exists(link) ? link : QString();
}

// "ttyUSB10" -> its kind's rank and the number, for sorting.
std::pair<int, int> kernelOrder(const QString& name)
{
    static const QStringList kinds = {QStringLiteral("ttyUSB"), QStringLiteral("ttyACM"), QStringLiteral("ttyS")};
    for (int k = 0; k < kinds.size(); ++k) {
        if (name.startsWith(kinds[k]))
            return {k, name.mid(kinds[k].size()).toInt()};
    }
    return {kinds.size(), 0};
}

// The name of the kernel driver behind a tty. Since Linux 6.5 a serial
// port's device is the serial core's "port" (under its "ctrl"), whose driver
// tells nothing: the hardware's driver lies above them.
QString driverOf(const QString& ttyFolder)
{
    QString device = QFileInfo(ttyFolder + QStringLiteral("/device")).canonicalFilePath();
    for (int up = 0; up < 3 && !device.isEmpty(); ++up) {
        const QString driver = QFileInfo(device + QStringLiteral("/driver")).symLinkTarget();
        if (driver.isEmpty())
            return {};
        if (!driver.contains(QLatin1String("/bus/serial-base/")))
            return QFileInfo(driver).fileName();
        device = QFileInfo(device).path();
    }
    return {};
}

}  // namespace

int portNumber(const QString& port)
{
    const QString name = port.trimmed().toUpper();
    if (!name.startsWith(QLatin1String("COM")))
        return 0;
    bool ok = false;
    const int n = name.mid(3).toInt(&ok);
    return ok && n >= 1 && n <= 99 ? n : 0;
}

std::map<int, QString> readPortChoices(const QString& folder)
{
    std::map<int, QString> choices;
    QFile file(choicePath(folder));
    if (!file.open(QIODevice::ReadOnly))
        return choices;
    for (const QByteArray& raw : file.readAll().split('\n')) {
        const QString line = QString::fromUtf8(raw).trimmed();
        const qsizetype equals = line.indexOf(QLatin1Char('='));
        if (line.startsWith(QLatin1Char('#')) || equals < 0)
            continue;
        const int port = portNumber(line.left(equals));
        const QString choice = line.mid(equals + 1).trimmed();
        if (port > 0 && !choice.isEmpty())
            choices[port] = choice;
    }
    return choices;
}

bool storePortChoice(const QString& folder, int port, const QString& choice, QString* error)
{
    const std::map<int, QString> before = readPortChoices(folder);
    std::map<int, QString> choices = before;
    if (choice.isEmpty())
        choices.erase(port);
    else
        choices[port] = choice;
    // Nothing new: the file stays as it is (or stays away).
    if (choices == before && (!choices.empty() || !QFileInfo::exists(choicePath(folder))))
        return true;
    QByteArray bytes = kFileHeader.toUtf8();
    for (const auto& [n, device] : choices)
        bytes += QStringLiteral("COM%1=%2\n").arg(n).arg(device).toUtf8();
    const QString path = choicePath(folder);
    QString reason;
    const bool ok = writeFileAtomically(path, bytes, &reason);
    if (!ok && error)
        *error = QStringLiteral("The port choice file %1 could not be written: %2.")
                     .arg(QDir::toNativeSeparators(path), reason);
    return ok;
}

QString linkRulePath(const QString& folder, int port)
{
    if (const QString link = linkIn(folder, port); !link.isEmpty())
        return link;
    if (const QString link = linkIn(programFolder(), port); !link.isEmpty())
        return link;
    return QStringLiteral("/dev/ttyS%1").arg(port - 1);
}

QString portPath(const QString& folder, int port)
{
    return portPath(folder, port, readPortChoices(folder));
}

QString portPath(const QString& folder, int port, const std::map<int, QString>& choices)
{
    const auto it = choices.find(port);
    if (it == choices.end())
        return linkRulePath(folder, port);
    if (it->second == kSimulatedChoice)
        return QDir(folder).filePath(QStringLiteral("COM%1").arg(port));
    return it->second;
}

std::vector<SerialDevice> serialDevices(const QString& root)
{
    const QString dev = root + QStringLiteral("/dev");
    const QString sysTty = root + QStringLiteral("/sys/class/tty");
    std::vector<SerialDevice> kernel;
    static const QRegularExpression kSerialName(QStringLiteral("^tty(USB|ACM|S)[0-9]+$"));
    for (const QString& name : QDir(sysTty).entryList(QDir::Dirs | QDir::NoDotAndDotDot | QDir::System)) {
        if (!kSerialName.match(name).hasMatch() || !QFileInfo::exists(dev + QLatin1Char('/') + name))
            continue;
        const QString folder = sysTty + QLatin1Char('/') + name;
        if (name.startsWith(QLatin1String("ttyS"))) {
            // The kernel keeps ttyS entries for ports it never found: type 0.
            QFile type(folder + QStringLiteral("/type"));
            if (!type.open(QIODevice::ReadOnly) || type.readAll().trimmed() == "0")
                continue;
        }
        kernel.push_back({dev + QLatin1Char('/') + name, name, driverOf(folder)});
    }
    std::sort(kernel.begin(), kernel.end(), [](const SerialDevice& a, const SerialDevice& b) {
        return kernelOrder(a.kernelName) < kernelOrder(b.kernelName);
    });

    // The stable names first; each device once.
    std::vector<SerialDevice> listed;
    const QDir byId(dev + QStringLiteral("/serial/by-id"));
    for (const QString& name : byId.entryList(QDir::Files | QDir::System | QDir::NoDotAndDotDot, QDir::Name)) {
        const QString path = byId.filePath(name);
        const QString target = QFileInfo(QFileInfo(path).symLinkTarget()).fileName();
        const auto it
            = std::find_if(kernel.begin(), kernel.end(), [&](const SerialDevice& d) { return d.kernelName == target; });
        SerialDevice device{path, target, {}};
        if (it != kernel.end()) {
            device.driver = it->driver;
            kernel.erase(it);
        }
        listed.push_back(device);
    }
    listed.insert(listed.end(), kernel.begin(), kernel.end());
    return listed;
}

QString deviceCaption(const SerialDevice& device)
{
    QStringList about;
    if (!device.path.endsWith(QLatin1Char('/') + device.kernelName))
        about << device.kernelName;
    if (!device.driver.isEmpty())
        about << device.driver;
    about.removeAll(QString());
    return about.isEmpty() ? device.path : QStringLiteral("%1 (%2)").arg(device.path, about.join(QStringLiteral(", ")));
}

}  // namespace rdxmon
