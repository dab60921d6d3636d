#include "printing/PrinterList.h"

#include <QPrinterInfo>

namespace rdxmon {

QStringList SystemPrinterList::names() const
{
    return QPrinterInfo::availablePrinterNames();
}

QString SystemPrinterList::defaultName() const
{
    return QPrinterInfo::defaultPrinterName();
}

int FindPrinter(const PrinterList& list, const QString& name)
{
    const QStringList names = list.names();
    for (int i = 0; i < names.size(); ++i) {
        if (names.at(i).compare(name, Qt::CaseSensitive) == 0) {
            return i;
        }
    }
    return -1;
}

}  // namespace rdxmon
