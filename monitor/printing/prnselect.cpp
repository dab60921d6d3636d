#include "printing/prnselect.h"

#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>

#include "printing/Printout.h"
#include "startup/Services.h"

namespace rdxmon {

prnselect::prnselect(const PrinterList& list, const QString& currentPrinter, QWidget* parent)
    : QDialog(parent), Label1(new QLabel(QStringLiteral("Printer name"), this)), prnName(new QComboBox(this)),
      prnOK(new QPushButton(QStringLiteral("OK"), this)), prnCancel(new QPushButton(QStringLiteral("Cancel"), this)),
      mList(list), mPrinterIndex(static_cast<std::int16_t>(FindPrinter(list, currentPrinter)))
{
    setObjectName(QStringLiteral("prnselect"));
    setWindowTitle(QStringLiteral("Printer selection"));
    setModal(true);
    Label1->setObjectName(QStringLiteral("Label1"));
    prnName->setObjectName(QStringLiteral("prnName"));
    prnOK->setObjectName(QStringLiteral("prnOK"));
    prnCancel->setObjectName(QStringLiteral("prnCancel"));

    // A typed name is looked up, never added to the list.
    prnName->setEditable(true);
    prnName->setInsertPolicy(QComboBox::NoInsert);
    prnName->setMinimumContentsLength(32);
    prnName->clear();
    prnName->addItems(list.names());
    // Set after the items: adding the first item would replace the text.
    prnName->setEditText(currentPrinter);
    Label1->setBuddy(prnName);

    prnOK->setDefault(true);
    connect(prnOK, &QPushButton::clicked, this, &prnselect::prnOK_Click);
    connect(prnCancel, &QPushButton::clicked, this, &prnselect::prnCancel_Click);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(prnOK);
    buttons->addWidget(prnCancel);
    auto* layout = new QGridLayout(this);
    layout->addWidget(Label1, 0, 0);
    layout->addWidget(prnName, 1, 0);
    layout->addLayout(buttons, 2, 0);
}

void prnselect::prnOK_Click()
{
    mPrinterIndex = static_cast<std::int16_t>(FindPrinter(mList, prnName->currentText()));
    accept();
}

void prnselect::prnCancel_Click()
{
    mPrinterIndex = kPrinterCancel;
    reject();
}

PrinterSelection::PrinterSelection(const PrinterList& list, MessageBoxes& messages) : mList(list), mMessages(messages)
{}

QString PrinterSelection::currentPrinter() const
{
    if (!mChosen.isEmpty()) {
        return mChosen;
    }
    const QString systemDefault = mList.defaultName();
    if (!systemDefault.isEmpty()) {
        return systemDefault;
    }
    const QStringList names = mList.names();
    return names.isEmpty() ? QString() : names.first();
}

void PrinterSelection::priterselect(const ShowWindow& showWindow)
{
    if (mList.names().isEmpty()) {
        mMessages.information(kNoPrinterMessage);
        return;
    }
    do {
        gPrinterIndex = showWindow(currentPrinter());
        if (gPrinterIndex == kPrinterCancel) {
            return;
        }
    } while (gPrinterIndex < 0);

    const QStringList names = mList.names();
    if (gPrinterIndex < names.size()) {
        mChosen = names.at(gPrinterIndex);
    }
}

void PrinterSelection::priterselect(QWidget* parent)
{
    priterselect(modalWindow(mList, parent));
}

PrinterSelection::ShowWindow PrinterSelection::modalWindow(const PrinterList& list, QWidget* parent)
{
    return [&list, parent](const QString& currentPrinter) {
        prnselect window(list, currentPrinter, parent);
        window.exec();
        return window.printerIndex();
    };
}

}  // namespace rdxmon
