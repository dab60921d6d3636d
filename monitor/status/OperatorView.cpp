#include "status/OperatorView.h"

#include <QAction>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QShortcut>

#include "trend/TrendReadBack.h"
#include "windows/MainDisp.h"

namespace rdxmon {

OperatorView::OperatorView(MainDisp& window, SharedState& state, Services& services)
    : window_(window), recorder_(state, history_), status_(state.gRecTotal)
{
    // The trend's history begins with the last hours of the logs, before
    // the first reply of this run comes in.
    readBack_ = readBackLogs(state.programFolder, services.clock.now(), state.gRecTotal, history_);
    window.pollCycle().addListener(&recorder_);
    window.pollCycle().addListener(&status_);

    // The status line under the layout; the layout keeps its size.
    statusLine = new StatusLine(state, status_, services.clock, &window);
    const QString port = state.gInit.Port.trimmed();
    statusLine->setDeviceSource([&state, &window, port] {
        return deviceText(port, window.runDevice(), state.gPortOpened == QLatin1String("True"), window.portCause());
    });
    statusLine->setLogFileSource([&window] {
        const LogController& log = window.logging().controller();
        return log.running() ? log.heldName() : QString();
    });
    statusLine->setLogStateSource([&window] { return window.logging().controller().writeState(); });
    window.setStatusBar(statusLine);
    window.setFixedSize(window.width(), window.height() + statusLine->sizeHint().height());

    trend_ = std::make_unique<TrendWindow>(state, history_, window, services);

    // "View" between "Setting" and "Help".
    mnuView = new QMenu(QStringLiteral("View(&V)"), &window);
    window.menuBar()->insertMenu(window.mnuHel->menuAction(), mnuView);
    mnuTrend = mnuView->addAction(QStringLiteral("Trend(&T)"));
    mnuTrend->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_T));
    connect(mnuTrend, &QAction::triggered, trend_.get(), &TrendWindow::open);
    mnuRecorders = mnuView->addAction(QStringLiteral("Recorders on the line(&R)"));
    connect(mnuRecorders, &QAction::triggered, statusLine, &StatusLine::showRecorders);

    window.mnuHelp->setShortcut(QKeySequence(Qt::Key_F1));
    window.mnuPrint->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_P));
    connect(new QShortcut(QKeySequence(Qt::Key_PageDown), &window), &QShortcut::activated, this,
            [this] { turnPage(1); });
    connect(new QShortcut(QKeySequence(Qt::Key_PageUp), &window), &QShortcut::activated, this,
            [this] { turnPage(-1); });
}

OperatorView::~OperatorView()
{
    window_.pollCycle().removeListener(&recorder_);
    window_.pollCycle().removeListener(&status_);
}

void OperatorView::turnPage(int step)
{
    // Only to a page whose button the window offers.
    QPushButton* buttons[3] = {window_.DVsele1, window_.DVsele2, window_.DVsele3};
    const int page = window_.page() + step;
    if (page < 0 || page > 2 || buttons[page]->isHidden())
        return;
    buttons[page]->click();
}

}  // namespace rdxmon
