// The alarms in the window program: the menu entries (Setting > Alarm
// limits, View > Alarm list with Ctrl+L), the alarm list window, and the
// marks on the main window's value labels. Follows the engine as a sink;
// made by the composition root once the main window and its view are there.
//
// A channel in alarm shows a symbol before its value and a background by
// the state of its most pressing alarm: ▲▲ high-high, ▲ high, ▼ low,
// ▼▼ low-low while active, △ / ▽ once returned and not yet acknowledged,
// "!" for its recorder's communication alarm; red while unacknowledged,
// amber once acknowledged, yellow when returned. The tooltip names every
// alarm of the channel.
#ifndef RDXALARM_ALARMVIEW_H
#define RDXALARM_ALARMVIEW_H

#include <QObject>
#include <QTimer>

#include "AlarmEngine.h"
#include "AlarmJournal.h"
#include "AlarmListWindow.h"
#include "windows/MainDisp.h"

class QAction;
class QMenu;

namespace rdxalarm {

// The mark of channel k from the alarm states.
rdxmon::ValueMark channelMark(const AlarmStates& states, int channel);

class AlarmView : public QObject, public AlarmSink {
    Q_OBJECT
public:
    // viewMenu: where the alarm list's entry goes. backUpFirst: the limits
    // file was read with a problem and is copied before it is next written.
    AlarmView(rdxmon::MainDisp& window, QMenu* viewMenu, rdxmon::SharedState& state, AlarmEngine& engine,
              AlarmJournal& journal, rdxmon::MessageBoxes& messages, bool backUpFirst);
    ~AlarmView() override;

    void alarmChanged(const AlarmEvent& event) override;
    // Opens the limits window (modal); OK stores the file and hands the
    // limits to the engine.
    void editLimits();

    QAction* mnuAlarmSet = nullptr;
    QAction* mnuAlarmList = nullptr;
    AlarmListWindow* list() const { return list_; }

private:
    bool store(const AlarmSettings& settings);
    void markSlot(int slot);

    rdxmon::MainDisp& window_;
    rdxmon::SharedState& state_;
    AlarmEngine& engine_;
    AlarmJournal& journal_;
    rdxmon::MessageBoxes& messages_;
    bool backUpFirst_;
    AlarmListWindow* list_ = nullptr;
    // The list is filled once for a burst of transitions, from the event
    // loop; the journal's waiting lines are tried again every few seconds.
    QTimer refresh_;
    QTimer retry_;
};

}  // namespace rdxalarm

#endif
