// What the operator gets beside the main window's own layout: the history
// of every channel (from the last hours of the logs on) and the trend
// window (menu "View", Ctrl+T), the line
// status under the layout (the window grows by its height) with the table
// of recorders, and the shortcuts F1 (help), Ctrl+P (printout) and Page Up /
// Page Down (the recorder pages). Made once the main window is there; it
// follows the poll cycle until it is destroyed.
#ifndef RDXMON_STATUS_OPERATORVIEW_H
#define RDXMON_STATUS_OPERATORVIEW_H

#include <memory>

#include <QObject>

#include "startup/Services.h"
#include "startup/SharedState.h"
#include "status/LineStatus.h"
#include "status/StatusLine.h"
#include "trend/TrendHistory.h"
#include "trend/TrendReadBack.h"
#include "trend/TrendWindow.h"

class QAction;
class QMenu;

namespace rdxmon {

class MainDisp;

class OperatorView : public QObject {
    Q_OBJECT
public:
    OperatorView(MainDisp& window, SharedState& state, Services& services);
    ~OperatorView() override;

    // The broker publisher tells its state here (empty: not configured),
    // and why it cannot reach the broker (the tooltip).
    void setBrokerState(const QString& text, const QString& detail = {}) { statusLine->setBrokerState(text, detail); }

    QMenu* mnuView = nullptr;
    QAction* mnuTrend = nullptr;
    QAction* mnuRecorders = nullptr;
    StatusLine* statusLine = nullptr;
    // The trend window is this view's own (it reads the history held here),
    // a window of its own beside the main window.
    TrendWindow* trend() const { return trend_.get(); }
    const TrendHistory& history() const { return history_; }
    const LineStatus& lineStatus() const { return status_; }
    // What the history took from the logs at start.
    const ReadBack& readBack() const { return readBack_; }

private:
    void turnPage(int step);

    MainDisp& window_;
    TrendHistory history_;
    TrendRecorder recorder_;
    std::unique_ptr<TrendWindow> trend_;
    LineStatus status_;
    ReadBack readBack_;
};

}  // namespace rdxmon

#endif
