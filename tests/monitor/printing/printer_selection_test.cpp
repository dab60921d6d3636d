#include <gtest/gtest.h>

#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QTest>

#include "fakes_support.h"
#include "printing/Printout.h"
#include "printing/prnselect.h"
#include "support/FakeServices.h"

using rdxmon::FindPrinter;
using rdxmon::PrinterSelection;
using rdxmon::prnselect;
using rdxtest::FakePrinterList;
using rdxtest::RecordingMessages;

namespace {

const FakePrinterList kPrinters({"Office-Laser", "RDX-PDF", "office-laser"}, "Office-Laser");

// A selection window that answers from a script and records what it showed.
struct ScriptedWindow {
    std::vector<std::int16_t> answers;
    QStringList shownWith;
    PrinterSelection::ShowWindow show()
    {
        return [this](const QString& current) {
            shownWith.append(current);
            const std::int16_t answer = answers.at(shownWith.size() - 1);
            return answer;
        };
    }
};

}  // namespace

TEST(PrinterSelection, FindPrinterIsExactAndCaseSensitive)
{
    EXPECT_EQ(FindPrinter(kPrinters, "Office-Laser"), 0);
    EXPECT_EQ(FindPrinter(kPrinters, "RDX-PDF"), 1);
    EXPECT_EQ(FindPrinter(kPrinters, "office-laser"), 2);
    EXPECT_EQ(FindPrinter(kPrinters, "rdx-pdf"), -1);
    EXPECT_EQ(FindPrinter(kPrinters, "RDX-PDF "), -1);
    EXPECT_EQ(FindPrinter(kPrinters, ""), -1);
}

TEST(PrinterSelection, CancelKeepsOkSelectsUnknownNameShowsAgain)
{
    RecordingMessages messages;
    PrinterSelection selection(kPrinters, messages);
    EXPECT_EQ(selection.currentPrinter(), "Office-Laser");  // the system's default at start

    ScriptedWindow cancel{{rdxmon::kPrinterCancel}, {}};
    selection.priterselect(cancel.show());
    EXPECT_EQ(cancel.shownWith, QStringList{"Office-Laser"});
    EXPECT_EQ(selection.gPrinterIndex, -2);
    EXPECT_EQ(selection.currentPrinter(), "Office-Laser");

    // Two unknown names, then a listed one.
    ScriptedWindow retry{{-1, -1, 1}, {}};
    selection.priterselect(retry.show());
    EXPECT_EQ(retry.shownWith.size(), 3);
    EXPECT_EQ(selection.gPrinterIndex, 1);
    EXPECT_EQ(selection.currentPrinter(), "RDX-PDF");

    // The choice holds: the next selection starts from it, Cancel keeps it.
    ScriptedWindow again{{rdxmon::kPrinterCancel}, {}};
    selection.priterselect(again.show());
    EXPECT_EQ(again.shownWith, QStringList{"RDX-PDF"});
    EXPECT_EQ(selection.currentPrinter(), "RDX-PDF");
    EXPECT_TRUE(messages.shown.isEmpty());
}

TEST(PrinterSelection, NoPrinterInstalledSaysSoWithoutAWindow)
{
    RecordingMessages messages;
    const FakePrinterList none({}, "");
    PrinterSelection selection(none, messages);
    ScriptedWindow window{{}, {}};
    selection.priterselect(window.show());
    EXPECT_TRUE(window.shownWith.isEmpty());
    EXPECT_EQ(messages.shown, QStringList{rdxmon::kNoPrinterMessage});
    EXPECT_TRUE(selection.currentPrinter().isEmpty());

    // Printers but no default: the first one is used.
    const FakePrinterList noDefault({"B", "A"}, "");
    EXPECT_EQ(PrinterSelection(noDefault, messages).currentPrinter(), "B");
}

TEST(PrinterSelection, RealWindowOkAndCancel)
{
    RecordingMessages messages;
    PrinterSelection selection(kPrinters, messages);
    const auto window = PrinterSelection::modalWindow(kPrinters, nullptr);

    bool checked = false;
    rdxtest::WhenModalShown([&checked](QWidget* modal) {
        auto* dialog = qobject_cast<prnselect*>(modal);
        if (dialog == nullptr) {
            ADD_FAILURE() << "the modal window is not the printer selection";
            modal->close();
            return;
        }
        EXPECT_EQ(dialog->windowTitle(), "Printer selection");
        EXPECT_EQ(dialog->Label1->text(), "Printer name");
        EXPECT_EQ(dialog->prnName->currentText(), "Office-Laser");
        ASSERT_EQ(dialog->prnName->count(), 3);
        EXPECT_EQ(dialog->prnName->itemText(1), "RDX-PDF");
        EXPECT_EQ(dialog->printerIndex(), 0);  // loading found the current printer
        dialog->prnName->setEditText("RDX-PDF");
        checked = true;
        QTest::mouseClick(dialog->prnOK, Qt::LeftButton);
    });
    selection.priterselect(window);
    EXPECT_TRUE(checked);
    EXPECT_EQ(selection.currentPrinter(), "RDX-PDF");

    rdxtest::WhenModalShown([](QWidget* modal) {
        auto* dialog = qobject_cast<prnselect*>(modal);
        if (dialog == nullptr) {
            ADD_FAILURE() << "the modal window is not the printer selection";
            modal->close();
            return;
        }
        EXPECT_EQ(dialog->prnName->currentText(), "RDX-PDF");
        dialog->prnName->setEditText("office-laser");
        QTest::mouseClick(dialog->prnCancel, Qt::LeftButton);
    });
    selection.priterselect(window);
    EXPECT_EQ(selection.gPrinterIndex, -2);
    EXPECT_EQ(selection.currentPrinter(), "RDX-PDF");
}

TEST(PrinterSelection, ClosingTheWindowOtherwiseKeepsWhatLoadingFound)
{
    prnselect unknown(kPrinters, "Gone-Printer");
    EXPECT_EQ(unknown.printerIndex(), -1);
    EXPECT_EQ(unknown.prnName->currentText(), "Gone-Printer");
    unknown.show();
    unknown.close();
    EXPECT_EQ(unknown.printerIndex(), -1);

    prnselect known(kPrinters, "office-laser");
    known.show();
    QTest::keyClick(&known, Qt::Key_Escape);
    EXPECT_FALSE(known.isVisible());
    EXPECT_EQ(known.printerIndex(), 2);
}
