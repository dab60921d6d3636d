// Small interfaces through which the monitor's logic reaches the time of day,
// message boxes and the save dialog. The window layer installs the real ones;
// tests install fakes, so no test waits on a clock or a modal box.
#ifndef RDXMON_STARTUP_SERVICES_H
#define RDXMON_STARTUP_SERVICES_H

#include <QDateTime>
#include <QString>

namespace rdxmon {

// The program's title, shown on every message box and the main window.
inline const QString kProgramTitle = QStringLiteral("RDX-512 monitor");

// Whom the logic's texts address: the operator of the window program, or
// whoever reads the logging service's log (no window, started by systemd).
enum class Wording {
    WindowProgram,
    Service
};

class Clock {
public:
    virtual ~Clock() = default;
    // Local date and time of day.
    virtual QDateTime now() = 0;
};

class MessageBoxes {
public:
    virtual ~MessageBoxes() = default;
    // An information box with an OK button only; returns when dismissed.
    virtual void information(const QString& text) = 0;
    // A question with Yes and No buttons and the exclamation icon; true for Yes.
    virtual bool question(const QString& text) = 0;
};

class FileDialogs {
public:
    virtual ~FileDialogs() = default;
    // A save dialog. Returns the chosen file name (absolute), or an empty text
    // when cancelled. filter is in the dialog's own notation
    // ("*.CSV(CSV files)|*.CSV"); the real dialog translates it.
    virtual QString saveFileName(const QString& initialFolder, const QString& proposedName, const QString& filter,
                                 const QString& defaultSuffix)
        = 0;
};

// The set handed to the windows and the logic.
struct Services {
    Clock& clock;
    MessageBoxes& messages;
    FileDialogs& dialogs;
};

}  // namespace rdxmon

#endif
