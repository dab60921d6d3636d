// The monitor's main window: the channel grid of one page of twelve
// recorders, the page buttons, the logging controls, the communication panel,
// the menus, and the logging timer. Polling runs on a thread of its own
// (PollingThread); the window keeps the values it brings.
//
// The window owns the logging controls, the printer choice and the help
// viewer; the channel name window and the link reach it through the hooks
// below (a hook left empty does nothing).
#ifndef RDXMON_WINDOWS_MAINDISP_H
#define RDXMON_WINDOWS_MAINDISP_H

#include <array>
#include <functional>
#include <map>

#include <QColor>
#include <QFont>
#include <QMainWindow>
#include <QTimer>

#include "logging/LoggingControls.h"
#include "names/NamesHost.h"
#include "polling/PollCycle.h"
#include "polling/PollWorker.h"
#include "printing/PrinterList.h"
#include "printing/Printout.h"
#include "printing/prnselect.h"
#include "startup/PortChoice.h"
#include "startup/Services.h"
#include "startup/SharedState.h"
#include "windows/HelpViewer.h"

class QAction;
class QComboBox;
class QEventLoop;
class QFrame;
class QGroupBox;
class QLabel;
class QMenu;
class QPushButton;
class QRadioButton;

namespace rdxmon {

class Opuning;
class UpDown;
class frmDVN;

// What the main window works with, made by the composition root and handed
// over in one piece (a member left empty: that part is not there).
struct MainDispParts {
    Opuning* splash = nullptr;
    frmDVN* addressWindow = nullptr;
    // Raised by the polling thread while it reopens a lost line.
    RecoveringFlag* recovering = nullptr;
    std::function<void()> nameLoad;  // the channel name window's NameLoad
    std::function<void()> channelNames;  // mnuChName: the name window, modal
    std::function<bool()> saveNames;  // write the channel table (channel buttons)
    std::function<void()> releaseLink;  // exit: release gLink (on the polling thread)
};

// A mark on a channel's value label (an alarm): a symbol before the value,
// a background colour, a line of the tooltip. An empty symbol: no mark.
struct ValueMark {
    QString symbol;
    QColor background;
    QString toolTip;
    bool operator==(const ValueMark&) const = default;
};

// What the tooltip of a value label tells: why the place is empty (or grey)
// and when the channel was last read.
struct ValueFacts {
    int channel = 0;  // 0..185
    bool selected = true;  // LogSel not 0
    PvState state = PvState::NoReading;
    bool answering = true;  // its recorder's latest poll gave values (it is not stale)
    MissReason miss = MissReason::NoReply;  // why not, when not answering
    QDateTime lastReply;  // its recorder's last whole reply (invalid: none)
    QDateTime lastReading;  // the channel's last reading (invalid: none)
    QDateTime now;  // times of another day carry their date
};
// "01-3: not selected ...", "01-1: current reading", "01-2: the recorder
// does not answer ...", then "Last reading: 10:42:05" or "No reading since
// the program started".
QString valueToolTip(const ValueFacts& facts);

class MainDisp : public QMainWindow, public PvView, public NamesHost, public PollListener {
    Q_OBJECT
public:
    // Creates the window from the settings in state.gInit and state.gChTotal
    // (the window creation steps); it stays hidden until Communicate.
    MainDisp(SharedState& state, Services& services, QWidget* parent = nullptr);
    ~MainDisp() override;

    // The windows and the work of other parts this one uses; before
    // Communicate.
    void setParts(MainDispParts parts) { parts_ = std::move(parts); }

    // --- Public procedures called by other windows and by start-up.
    // Starts the polling thread, which connects the link and polls; runs
    // the start-up polling pass (waiting with events running while the
    // splash shows progress), loads the channel names, hides the splash and
    // shows this window.
    void Communicate();
    void Pvdispset(int d) { poll_.Pvdispset(d); }
    // Channel names of page p into the name labels.
    void NameSet(int page) override;
    // Selection colours of the channel buttons of page p.
    void Logdisp(int page) override;
    // The page shown.
    int mPage() const override { return mPage_; }

    // --- Event handlers.
    void DVsele1_Click() { showPage(0); }
    void DVsele2_Click() { showPage(1); }
    void DVsele3_Click() { showPage(2); }
    void dns_Click();
    void mnuComPort_Click();
    void cmdCommOK_Click();
    // The exit command; returns false when the operator answered No.
    bool mnuEnd_Click();
    // The exit command's storing and ending steps without the question
    // (the system is ending the program: logout, shutdown, kill). Rows of
    // the log still waiting get a last attempt; those that stay unwritten
    // are counted on standard error.
    void storeAndQuit();
    // True once the exit steps have run.
    bool exiting() const { return exiting_; }

    // --- PvView.
    int shownPage() const override { return mPage_; }
    void setPvCaption(int labelIndex, const QString& text) override;
    void setProgress(int value) override;
    // A recorder not answering: its value labels greyed whenever its slot is
    // on the page shown.
    void setSlotStale(int slot, bool stale, const QDateTime& lastReply) override;
    // The lost line is shown in lblLine until the port is back.
    void setLineLost(bool lost) override;
    // No recorder answering on a line that is there: lblLine names the port
    // and its device until one answers again.
    void setNoAnswer(bool none) override;

    // --- PollListener: the value labels' tooltips follow every poll.
    void replyTaken(int slot, const QDateTime& time) override;
    void pollMissed(int slot, const QDateTime& time, MissReason why) override;
    void lineLost(bool lost) override;

    // The facts behind the tooltip of value label i (0..71) of the page shown.
    ValueFacts valueFacts(int label) const;

    // Marks channel k (0..185) on its value label whenever its page is
    // shown; a default mark takes it off.
    void setValueMark(int channel, const ValueMark& mark);

    int page() const { return mPage_; }
    const QString& helpFile() const { return mHelpFile; }
    PollCycle& pollCycle() { return poll_; }
    // The recorders are being polled (the port opened, no exit yet).
    bool polling() const { return polling_.polling(); }
    // The device this run's port opens (portDevice by the port choices
    // taken at start-up).
    QString runDevice() const;
    // Why the port did not open, in a few words ("speed 1920 refused");
    // empty when it opened or no reason is known.
    const QString& portCause() const { return portCause_; }
    // Stops the polling thread; the link is released on it (releaseLink)
    // and gLink cleared. Part of exit; safe to call twice.
    void stopPolling();
    // Runs fn on the window thread and waits for it (from the polling
    // thread: the link library's box); see PollingThread::callHere.
    void callOnWindowThread(std::function<void()> fn) { polling_.callHere(std::move(fn)); }
    LoggingControls& logging() { return *logging_; }
    PrinterSelection& printerSelection() { return printerSelection_; }
    HelpViewer& help() { return help_; }

    // --- Controls (names as the program knows them).
    std::array<QFrame*, 72> frmM{};
    std::array<QPushButton*, 72> cmdMLog{};
    std::array<QLabel*, 72> lblDevname{};
    std::array<QLabel*, 72> lblPv{};
    std::array<QLabel*, 3> Label1{};
    QPushButton* DVsele1 = nullptr;
    QPushButton* DVsele2 = nullptr;
    QPushButton* DVsele3 = nullptr;

    // Logging block.
    QWidget* loggingBlock = nullptr;
    QLabel* lblChartSpeed = nullptr;
    QLabel* lblLogitv = nullptr;
    UpDown* updLogtitv = nullptr;
    QRadioButton* optTime1 = nullptr;
    QRadioButton* optTime2 = nullptr;
    QRadioButton* optName1 = nullptr;
    QRadioButton* optName2 = nullptr;
    QPushButton* cmdRUN = nullptr;
    QPushButton* cmdStop = nullptr;
    QLabel* lblMsg = nullptr;
    // The state of the line when it needs telling: lost (being reopened),
    // or no recorder answering (noAnswerMessage); hidden otherwise.
    QLabel* lblLine = nullptr;

    // Communication panel.
    QGroupBox* frmCommInit = nullptr;
    std::map<int, QLabel*> Label2;  // 0, 19, 20, 21
    QComboBox* Combo1 = nullptr;
    // The device of the port in Combo1: the link rule's, the simulated
    // recorders, or one of the serial devices present (item data: the
    // choice kept in the port choice file, empty for the link rule).
    QComboBox* Combo3 = nullptr;
    QComboBox* Combo2 = nullptr;
    QLabel* lblCh = nullptr;
    UpDown* updCh = nullptr;
    QPushButton* cmdCommOK = nullptr;

    // Menus.
    QMenu* mnuFI = nullptr;
    QAction* mnuLogName = nullptr;
    QAction* priterselect = nullptr;
    QAction* mnuPrint = nullptr;
    QAction* mnuEnd = nullptr;
    QMenu* mnuOther = nullptr;
    QAction* mnuChName = nullptr;
    QAction* mnuComPort = nullptr;
    QAction* dns = nullptr;
    QMenu* mnuHel = nullptr;
    QAction* mnuHelp = nullptr;
    QAction* mnuHelpVer = nullptr;

    // The logging timer.
    QTimer tmrLogitv;

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void buildMenus();
    void buildGrid();
    void buildLoggingBlock(int clientHeight);
    void buildCommPanel();
    // Combo3 for the port in Combo1, its stored choice selected.
    void fillDeviceList();
    void placeForRecorders();
    void showPage(int page);
    // Greys the value labels of the stale recorders on the page shown.
    void showStale();
    // Value label i shows text (a value or nothing), after its channel's
    // mark symbol when it has one.
    void showPv(int label, const QString& text);
    // The tooltips of the value labels of the page shown (slot: only that
    // recorder's, when it is on the page).
    void showValueTips(int slot = -1);
    // Exit steps 2 to 7.
    void storeAndEnd(bool tellFailures);
    void showLineNotice();
    // A value label emptied when its channel is unselected or has had no
    // reading yet, else showing the channel's value (one decimal).
    void showStoredValue(int label, int channel);

    SharedState& state_;
    Services& services_;
    PollCycle poll_;
    PollingThread polling_{state_, poll_};
    MainDispParts parts_;
    QEventLoop* startWait_ = nullptr;  // set while Communicate waits
    int mPage_ = 0;
    QString mHelpFile;
    std::unique_ptr<LoggingControls> logging_;
    SystemPrinterList printers_;
    PrinterSelection printerSelection_;
    Printout printout_;
    HelpViewer help_;
    bool exiting_ = false;
    bool lineLost_ = false;
    bool noAnswer_ = false;
    std::array<ValueMark, kChannelCount> marks_{};
    std::array<QString, 72> pvText_{};  // what each value label shows, without its mark
    QString runPort_;  // the port this run polls on
    PortRule runPorts_;  // its device, as chosen at start-up
    QString portCause_;
};

// The device a port "COMn" opens by the choice and link rule of the folder
// of the files (startup/PortChoice.h), a link followed to its end when it
// exists. Empty for a port that is not COM1..COM99.
QString portDevice(const QString& folder, const QString& port);
QString portDevice(const PortRule& rule, const QString& port);

// "No recorder answers on COM1 (/dev/ttyS0)"; without a device, the port alone.
QString noAnswerMessage(const QString& port, const QString& device);

// The font of the channel name labels: the base font, made smaller where
// needed, so that every default channel name fits labelWidth pixels.
QFont channelNameFont(const QFont& base, int labelWidth);

}  // namespace rdxmon

#endif
