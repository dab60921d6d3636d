// The printer selection window and the command that chooses the printer for
// the rest of the run.
#ifndef RDXMON_PRINTING_PRNSELECT_H
#define RDXMON_PRINTING_PRNSELECT_H

#include <cstdint>
#include <functional>

#include <QDialog>
#include <QString>

#include "printing/PrinterList.h"

class QComboBox;
class QLabel;
class QPushButton;

namespace rdxmon {

class MessageBoxes;

// gPrinterIndex values besides a printer's index.
inline constexpr std::int16_t kNoSuchPrinter = -1;  // the name matches no printer
inline constexpr std::int16_t kPrinterCancel = -2;  // Cancel was pressed

// The modal window "Printer selection". Made anew each time it is shown.
class prnselect : public QDialog {
    Q_OBJECT
public:
    // Loading: gPrinterIndex = Find printer of currentPrinter; the combo's text
    // is currentPrinter, its list every printer of list in the list's order.
    prnselect(const PrinterList& list, const QString& currentPrinter, QWidget* parent = nullptr);

    // gPrinterIndex as the window leaves it: set by loading, then by OK (the
    // printer named in the combo, or -1) or Cancel (-2).
    std::int16_t printerIndex() const { return mPrinterIndex; }

    QLabel* Label1;
    QComboBox* prnName;
    QPushButton* prnOK;
    QPushButton* prnCancel;

private:
    void prnOK_Click();
    void prnCancel_Click();

    const PrinterList& mList;
    std::int16_t mPrinterIndex;
};

// The current printer and the "Printer selection" command. At start the
// current printer is the system's default one; a choice holds until the
// program ends and is not stored.
class PrinterSelection {
public:
    // Shows the selection window for the given current printer, waits until it
    // closes and returns the gPrinterIndex it left.
    using ShowWindow = std::function<std::int16_t(const QString& currentPrinter)>;

    PrinterSelection(const PrinterList& list, MessageBoxes& messages);

    // The printer a printout goes to: the one chosen in this run, else the
    // system's default printer, else the first of the list; empty when the
    // system has no printer at all.
    QString currentPrinter() const;

    // The command: shows the window until it is left with Cancel (the current
    // printer stays) or with a listed name (that printer becomes current). A
    // name that matches no printer shows the window again. With no printer
    // installed it says so instead of showing the window.
    void priterselect(const ShowWindow& showWindow);
    // The same with the real modal window over parent.
    void priterselect(QWidget* parent);

    // The real window as a ShowWindow.
    static ShowWindow modalWindow(const PrinterList& list, QWidget* parent);

    // The last answer of the selection window.
    std::int16_t gPrinterIndex = 0;

private:
    const PrinterList& mList;
    MessageBoxes& mMessages;
    QString mChosen;  // empty until a printer is chosen
};

}  // namespace rdxmon

#endif
