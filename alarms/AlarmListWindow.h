// The alarm list: every alarm that is not normal, newest first (time
// raised, channel, name, limit, value at the raise, state), coloured by its
// state; the operator acknowledges the selected ones or all. A window of
// its own beside the main window, refreshed with every transition.
#ifndef RDXALARM_ALARMLISTWINDOW_H
#define RDXALARM_ALARMLISTWINDOW_H

#include <vector>

#include <QWidget>

#include "AlarmEngine.h"

class QLabel;
class QPushButton;
class QTreeWidget;

namespace rdxalarm {

class AlarmListWindow : public QWidget {
    Q_OBJECT
public:
    // user: who acknowledges here (the journal's "By").
    AlarmListWindow(AlarmEngine& engine, QString user, QWidget* parent = nullptr);

    // Shows the window in front, its list fresh.
    void open();
    // Fills the list from the engine; note is the journal's problem, if any.
    void refresh();
    void setNote(const QString& note);

    // The ids of the rows, top to bottom.
    const std::vector<AlarmId>& rows() const { return rows_; }

    QTreeWidget* list = nullptr;
    QPushButton* cmdAck = nullptr;
    QPushButton* cmdAckAll = nullptr;
    QLabel* lblCount = nullptr;
    QLabel* lblNote = nullptr;

private:
    void acknowledgeSelected();

    AlarmEngine& engine_;
    const QString user_;
    std::vector<AlarmId> rows_;
};

// The background of an alarm's state: red while active and unacknowledged,
// amber once acknowledged, yellow when returned and not acknowledged.
QColor stateColour(AlarmState state);

}  // namespace rdxalarm

#endif
