// The system's list of printers, as the printer selection and the printout
// see it. Tests put a fixed list in its place.
#ifndef RDXMON_PRINTING_PRINTERLIST_H
#define RDXMON_PRINTING_PRINTERLIST_H

#include <QString>
#include <QStringList>

namespace rdxmon {

class PrinterList {
public:
    virtual ~PrinterList() = default;
    // Device names of all printers, in the system's order.
    virtual QStringList names() const = 0;
    // The system's default printer; empty when there is none.
    virtual QString defaultName() const = 0;
};

// The printers the print system (CUPS) knows, through QPrinterInfo.
class SystemPrinterList : public PrinterList {
public:
    QStringList names() const override;
    QString defaultName() const override;
};

// Index of the first printer whose device name equals name exactly (case
// counts); -1 when none does.
int FindPrinter(const PrinterList& list, const QString& name);

}  // namespace rdxmon

#endif
