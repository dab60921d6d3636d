// Helpers shared by the printing and help tests (the services' fakes come
// from the shared test support).
#ifndef RDXMON_TESTS_PRINTING_FAKES_SUPPORT_H
#define RDXMON_TESTS_PRINTING_FAKES_SUPPORT_H

#include <functional>

#include <QString>
#include <QStringList>

#include "printing/PrinterList.h"

class QWidget;

namespace rdxtest {

// Lets events run until cond() holds or timeoutMs has passed; the result of
// the last cond().
bool WaitFor(const std::function<bool()>& cond, int timeoutMs = 5000);

// Runs action on the modal window as soon as one is shown (poll, bounded).
// Call before the exec() that shows it.
void WhenModalShown(std::function<void(QWidget*)> action);

// A fixed printer list.
class FakePrinterList : public rdxmon::PrinterList {
public:
    FakePrinterList(QStringList printers, QString defaultPrinter)
        : printers_(std::move(printers)), default_(std::move(defaultPrinter))
    {
    }
    QStringList names() const override { return printers_; }
    QString defaultName() const override { return default_; }

private:
    QStringList printers_;
    QString default_;
};

}  // namespace rdxtest

#endif
