#include "fakes_support.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QTest>
#include <QTimer>

namespace rdxtest {

bool WaitFor(const std::function<bool()>& cond, int timeoutMs)
{
    QElapsedTimer clock;
    clock.start();
    while (!cond()) {
        if (clock.elapsed() > timeoutMs) {
            return cond();
        }
        QTest::qWait(10);
    }
    return true;
}

void WhenModalShown(std::function<void(QWidget*)> action)
{
    auto* poll = new QTimer;
    auto* clock = new QElapsedTimer;
    clock->start();
    poll->setInterval(10);
    QObject::connect(poll, &QTimer::timeout, [poll, clock, action] {
        QWidget* modal = QApplication::activeModalWidget();
        if (modal == nullptr && clock->elapsed() < 5000) {
            return;
        }
        poll->stop();
        poll->deleteLater();
        delete clock;
        if (modal != nullptr) {
            action(modal);
        }
    });
    poll->start();
}

}  // namespace rdxtest
