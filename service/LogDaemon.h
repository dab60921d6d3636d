// The logging service: the monitor's polling and logging without a window.
// It reads the same files from its data folder as the window program reads
// from its own (settings, recorder addresses, channel names), opens the
// port and polls the recorders on the polling thread as the window program
// does, and logs every cycle to a default-named CSV file there.
#ifndef RDXLOGD_LOGDAEMON_H
#define RDXLOGD_LOGDAEMON_H

#include <memory>

#include <QObject>
#include <QTimer>

#include "AlarmEngine.h"
#include "AlarmJournal.h"
#include "DaemonServices.h"
#include "Gateway.h"
#include "Publisher.h"
#include "Watchdog.h"
#include "logging/LogController.h"
#include "names/NamesHost.h"
#include "polling/PollCycle.h"
#include "polling/PollWorker.h"
#include "startup/LinkLoader.h"
#include "startup/SharedState.h"
#include "startup/SystemServices.h"

namespace rdxlogd {

class LogDaemon : public QObject,
                  private rdxmon::PvView,
                  private rdxmon::LoggingView,
                  private rdxmon::NamesHost,
                  private rdxmon::PollListener,
                  private rdxalarm::AlarmSink {
public:
    // programFolder holds the link library (and the COMn links the library
    // looks for); dataFolder the settings and the log files.
    LogDaemon(const QString& programFolder, const QString& dataFolder);
    ~LogDaemon() override;

    // Loads the link library and the files and starts polling; once the
    // port is open, logging starts. False, with the reason told, when the
    // link library cannot be loaded. A port that does not open or a log
    // file that cannot be made is told, and the event loop ends with 1.
    bool start();

    // The orderly end: polling stops, the rows waiting are written and the
    // log file closed, the port released. why, when given, is told first
    // ("on SIGTERM").
    void stop(const QString& why = {});

private:
    // PvView: nothing to show; changes of the line are told.
    int shownPage() const override { return 0; }
    void setPvCaption(int, const QString&) override {}
    void setProgress(int) override {}
    void setSlotStale(int slot, bool stale, const QDateTime& lastReply) override;
    void setLineLost(bool lost) override;
    void setNoAnswer(bool none) override;
    // PollListener: the recorders that stopped or began answering in a
    // cycle are told in one line at its end; after a lost line, once every
    // recorder has been asked again.
    void replyTaken(int slot, const QDateTime&) override { asked_[slot] = true; }
    void pollMissed(int slot, const QDateTime&, rdxmon::MissReason why) override
    {
        asked_[slot] = asked_[slot] || why != rdxmon::MissReason::LineLost;
    }
    void cycleEnded(qint64) override { tellRecorders(); }
    // LoggingView: the stored cycle, always a default-named file.
    void setRunEnabled(bool) override {}
    void setRunning(bool running) override;
    QString cycleCaption() const override;
    bool minutesSelected() const override { return state_.gInit.LogUnit != 0; }
    bool defaultFileSelected() const override { return true; }
    // Rows waiting, writing resumed, the file made again: told once each.
    void showWriteState(const rdxmon::LogWriteState& state) override;
    // NamesHost: no page, no labels.
    int mPage() const override { return 0; }
    void NameSet(int) override {}
    void Logdisp(int) override {}

    void connected(const rdxmon::ConnectResult& result);
    void afterTake();
    void startPublishing(const rdxpub::BrokerConfigResult& broker);
    void startGateway(const rdxgw::GatewayConfigResult& settings);
    // AlarmSink: every transition told as a message line at warning priority.
    void alarmChanged(const rdxalarm::AlarmEvent& event) override;
    void tell(Priority priority, const QString& text) { messages_.tell(priority, text); }
    // Tells why and ends the event loop with status.
    void stopWith(int status, const QString& why);
    void tellRecorders();
    void brokerState(rdxpub::Publisher::State state);
    QString runStatus() const;

    QString programFolder_;
    rdxmon::SharedState state_;
    rdxmon::SystemClock clock_;
    LineMessages messages_;
    NoFileDialogs dialogs_;
    rdxmon::Services services_{clock_, messages_, dialogs_};
    rdxmon::RecoveringFlag recovering_;
    std::unique_ptr<rdxmon::LinkMessageGate> linkMessages_;
    rdxmon::LinkLoader loader_;
    std::unique_ptr<rdxmon::PollCycle> poll_;
    std::unique_ptr<rdxmon::PollingThread> polling_;
    std::unique_ptr<rdxmon::LogController> log_;
    // Publishing to a message broker, when rdx512.conf in the data folder
    // asks for it.
    std::unique_ptr<rdxpub::Publisher> publisher_;
    // The alarms, evaluated as in the window program; no one acknowledges
    // here, so an alarm that returns goes back to normal at once.
    std::unique_ptr<rdxalarm::AlarmEngine> alarms_;
    std::unique_ptr<rdxalarm::AlarmJournal> alarmJournal_;
    // The Modbus TCP gateway, when rdx512.conf turns it on.
    std::unique_ptr<rdxgw::Gateway> gateway_;
    Watchdog watchdog_;
    QTimer logTimer_;
    QString writeNote_;
    QString brokerTold_;  // the broker's state as told last
    bool ready_ = false;
    // Recorders that stopped answering and that answer again, not told yet;
    // those that stopped with the lost line, told with it.
    std::array<bool, rdxmon::kSlotCount> silent_{}, back_{}, withLine_{}, asked_{};
    bool lineLost_ = false, lineBack_ = false;
};

}  // namespace rdxlogd

#endif
