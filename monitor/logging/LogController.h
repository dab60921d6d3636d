// Logging: START and STOP, naming the log file, the file mode options, the
// channel selection buttons, resuming at start-up, and the sampling tick
// that writes one row per cycle.
#ifndef RDXMON_LOGGING_LOGCONTROLLER_H
#define RDXMON_LOGGING_LOGCONTROLLER_H

#include <deque>
#include <functional>

#include <QDateTime>
#include <QObject>
#include <QString>

#include "logging/LogFile.h"
#include "logging/LoggingView.h"
#include "names/NamesHost.h"
#include "startup/Services.h"
#include "startup/SharedState.h"

namespace rdxmon {

inline const QString kLogWriteFailedMessage
    = QStringLiteral("It can't be written in the file. Confirm whether a file isn't being opened.");
inline const QString kLoggingStoppedMessage = QStringLiteral("Logging is stopped now.");
inline const QString kLoggingRunningMessage = QStringLiteral("It is being logged now.");
// The notice at START (one blank after "it?") and from the menu (two).
inline const QString kSameNameAtStartMessage
    = QStringLiteral("There is a file of the same name. May I overwrite it? Or, input a file name again.");
inline const QString kSameNameFromMenuMessage
    = QStringLiteral("There is a file of the same name. May I overwrite it?  Or, input a file name again.");
inline const QString kCsvFilter = QStringLiteral("*.CSV(CSV files)|*.CSV");
inline const QString kCsvDefaultSuffix = QStringLiteral(".CSV");

// The most a log keeps in memory while its file cannot be written: a day's
// rows or this many bytes, whichever comes first.
inline constexpr qint64 kMaxUnwrittenBytes = 64LL * 1024 * 1024;

// kLogWriteFailedMessage, then the file and the system's reason on a line
// of their own.
QString logWriteFailedMessage(const QString& path, const QString& reason);

class LogController {
public:
    // saveNames writes the channel table (names and selection flags) to the
    // names file and tells the operator when it cannot.
    LogController(SharedState& state, Services& services, LoggingView& view, NamesHost& host,
                  std::function<bool()> saveNames);

    // cmdRUN: names the file, writes its header, opens it and starts the
    // sampling tick. Any file failure shows logWriteFailedMessage and
    // leaves logging stopped, with no file made.
    void startLogging();
    // cmdStop.
    void stopLogging();
    // mnuLogName: chooses the log file name in advance in the save dialog.
    void chooseLogFile();
    // optName1 ("User select file") and optName2 ("Default file") clicks.
    void optName1Click();
    void optName2Click();
    // cmdMLog(index) on the page the main window shows.
    void toggleChannel(int index);
    // Called once when the main window has restored the logging controls
    // from the settings: starts logging again when it was running.
    void resumeAtStartup();
    // The sampling timer (every 200 ms): writes the row when it is due. It
    // never waits on the operator: its messages are shown after it returns,
    // and the timer goes on while they are open. The first failure to write
    // is told in a box (again after rows got through); rows waiting, writing
    // resumed and a log file made again go to the write state alone.
    void tick();

    // Before the program ends: a last attempt to write the rows waiting.
    // Returns a sentence for the exit message when rows remain unwritten
    // (they are lost when the program ends), else an empty text.
    QString unwrittenRowsNote();

    bool running() const { return running_; }
    // The name the next START uses in "User select file" mode (absolute).
    QString heldName() const { return heldName_; }
    int unwrittenRows() const { return file_.unwrittenRows(); }
    qint64 droppedRows() const { return file_.droppedRows(); }
    // How writing goes while logging runs (also shown through the view).
    const LogWriteState& writeState() const { return writeState_; }

private:
    int cycle() const;
    int columns() const;
    // Shows the save dialog offering the held name; keeps a chosen name.
    // False when the dialog was cancelled.
    bool showSaveDialog(const QString& initialFolder);
    // A unique "yymmdd_hhmm.csv" in the program's folder.
    QString defaultFileName() const;
    // After each attempt to write rows: tells the operator once when rows
    // could not be written, until a row gets through again, and once a run
    // when waiting rows had to be dropped; keeps the write state.
    void reportWrite(bool written);
    // Shows the message once the present event has been handled; never two
    // at a time.
    void tellLater(const QString& text);
    // The rows dropped and waiting, for the messages at STOP and exit.
    QString lostRowsText() const;

    SharedState& state_;
    Services& services_;
    LoggingView& view_;
    NamesHost& host_;
    std::function<bool()> saveNames_;

    bool running_ = false;
    QString heldName_;
    // The held name was made for "Default file", not chosen by the operator.
    bool heldNameIsDefault_ = false;
    LogFile file_;
    // The second the next row is due (gNextLogTime is its time of day).
    QDateTime due_;
    bool failureShown_ = false;
    bool dropShown_ = false;
    LogWriteState writeState_;
    // Messages from the tick still to be shown; the first is open or about
    // to open.
    std::deque<QString> toTell_;
    // Receives the deferred messages; they die with the controller.
    QObject messenger_;
};

}  // namespace rdxmon

#endif
