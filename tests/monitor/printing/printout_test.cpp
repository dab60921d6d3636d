// Printing: placing the picture on the page, the printer selection, and the
// printout of the real main window (to the PDF printer when one is set up).
#include <gtest/gtest.h>

#include "names/ChannelNames.h"
#include "printing/FitToPage.h"
#include "printing/Printout.h"
#include "printing/prnselect.h"
#include "support/FakeServices.h"
#include "windows/MainDisp.h"
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QImage>
#include <QLabel>
#include <QMenu>
#include <QPrinter>
#include <QPrinterInfo>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

namespace rdxmon {
namespace {

struct FixedPrinters : PrinterList {
    FixedPrinters(QStringList list, QString fallback) : list(std::move(list)), fallback(std::move(fallback)) {}
    QStringList names() const override { return list; }
    QString defaultName() const override { return fallback; }
    QStringList list;
    QString fallback;
};
const FixedPrinters kPrinters({"Office-Laser", "RDX-PDF", "office-laser"}, "Office-Laser");

TEST(Printing, ThePictureFillsThePrintableWidthOrHeightWithItsProportions)
{
    const struct {
        QSizeF picture, printable;
        QPageLayout::Orientation orientation;
        QSizeF printed;
    } cases[] = {
        {{1500, 1000}, {7000, 10000}, QPageLayout::Landscape, {7000, 7000 / 1.5}},  // ratio 1.5 on 0.7
        {{500, 1000}, {7000, 10000}, QPageLayout::Portrait, {5000, 10000}},  // ratio 0.5 on 0.7
        {{500, 500}, {10000, 7000}, QPageLayout::Portrait, {7000, 7000}},  // square: portrait
        {{700, 1000}, {1400, 2000}, QPageLayout::Portrait, {1400, 2000}},
        {{0, 100}, {1000, 1000}, QPageLayout::Portrait, {0, 0}},
        {{100, 50}, {1000, 0}, QPageLayout::Landscape, {0, 0}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.picture.width() << " x " << c.picture.height());
        EXPECT_EQ(PictureOrientation(c.picture), c.orientation);
        const QRectF r = FitToPage(c.picture, c.printable);
        EXPECT_EQ(r.topLeft(), QPointF(0, 0));
        EXPECT_NEAR(r.width(), c.printed.width(), 1e-6);
        EXPECT_NEAR(r.height(), c.printed.height(), 1e-6);
    }
}

TEST(Printing, PrinterSelectionKeepsOnCancelAsksAgainForAnUnknownNameAndTakesAListedOne)
{
    const struct {
        const char* name;
        int index;
    } finds[] = {{"Office-Laser", 0}, {"RDX-PDF", 1}, {"office-laser", 2}, {"rdx-pdf", -1}, {"RDX-PDF ", -1}, {"", -1}};
    for (const auto& f : finds)
        EXPECT_EQ(FindPrinter(kPrinters, f.name), f.index) << f.name;

    rdxtest::RecordingMessages messages;
    PrinterSelection selection(kPrinters, messages);
    QStringList shownWith;
    std::vector<std::int16_t> answers{kPrinterCancel, kNoSuchPrinter, kNoSuchPrinter, 1, kPrinterCancel};
    const auto scripted = [&](const QString& current) {
        shownWith.append(current);
        return answers.at(shownWith.size() - 1);
    };
    selection.priterselect(scripted);  // Cancel
    EXPECT_EQ(selection.currentPrinter(), "Office-Laser");
    selection.priterselect(scripted);  // two unknown names, then RDX-PDF
    EXPECT_EQ(selection.currentPrinter(), "RDX-PDF");
    selection.priterselect(scripted);  // Cancel keeps the choice
    EXPECT_EQ(shownWith, QStringList({"Office-Laser", "Office-Laser", "Office-Laser", "Office-Laser", "RDX-PDF"}));
    EXPECT_EQ(selection.currentPrinter(), "RDX-PDF");

    // The real window: loading finds the current printer, OK takes the name typed.
    QTimer::singleShot(0, [] {
        auto* dialog = qobject_cast<prnselect*>(QApplication::activeModalWidget());
        ASSERT_NE(dialog, nullptr);
        EXPECT_EQ(dialog->printerIndex(), 1);
        dialog->prnName->setEditText("office-laser");
        QTest::mouseClick(dialog->prnOK, Qt::LeftButton);
    });
    selection.priterselect(static_cast<QWidget*>(nullptr));
    EXPECT_EQ(selection.currentPrinter(), "office-laser");

    const FixedPrinters none({}, "");  // no printer at all: said so, no window
    PrinterSelection nothing(none, messages);
    nothing.priterselect([](const QString&) -> std::int16_t { throw std::logic_error("window shown"); });
    EXPECT_EQ(messages.shown, QStringList{kNoPrinterMessage});
    EXPECT_EQ(PrinterSelection(FixedPrinters({"B", "A"}, ""), messages).currentPrinter(), "B");
}

class MainWindowPrintout : public testing::Test {
protected:
    void SetUp() override
    {
        state.programFolder = folder.path();
        state.gInit.RecCount = QStringLiteral("12");
        state.gRecTotal = 12;
        state.gChTotal = QStringLiteral("72");
        state.gChannel = defaultChannelTable();
        window = std::make_unique<MainDisp>(state, services);
        window->DVsele1_Click();
        window->show();
    }
    // Waits (bounded) until the command has printed or failed and said so.
    void waitForTheMessage(int count)
    {
        ASSERT_TRUE(QTest::qWaitFor([&] { return !printout.pending() && messages.shown.size() == count; }, 5000));
    }
    QTemporaryDir folder;
    SharedState state;
    rdxtest::FakeClock clock;
    rdxtest::RecordingMessages messages;
    rdxtest::FakeDialogs dialogs;
    Services services{clock, messages, dialogs};
    std::unique_ptr<MainDisp> window;
    Printout printout{messages};
};

TEST_F(MainWindowPrintout, ThePictureIsTakenOnlyAfterTheMenuHasGone)
{
    // The File menu lies over the first channels when the command is given.
    window->mnuFI->popup(window->lblDevname[0]->mapToGlobal(QPoint(0, 0)));
    ASSERT_TRUE(QTest::qWaitFor([&] { return window->mnuFI->isVisible(); }));
    printout.mnuPrint(window.get(), QStringLiteral("No-Such-Printer"));
    QTest::qWait(200);
    EXPECT_TRUE(printout.Picture1().isNull());
    const QRect menu = window->mnuFI->geometry().translated(-window->geometry().topLeft());
    window->mnuFI->hide();
    waitForTheMessage(1);
    EXPECT_EQ(messages.shown[0], "The printout could not be made on No-Such-Printer: the printer is not available.");
    const QImage own = window->grab().toImage();
    const QRect under = menu & own.rect();
    ASSERT_FALSE(under.isEmpty());
    EXPECT_EQ(printout.Picture1().toImage().copy(under), own.copy(under));
}

QString run(const QString& program, const QStringList& args)
{
    QProcess process;
    process.start(program, args);
    return process.waitForFinished(30000) && process.exitCode() == 0 ? QString::fromLocal8Bit(process.readAll())
                                                                     : QString();
}

TEST_F(MainWindowPrintout, OneLandscapePageFilledToTheWidthOnThePdfPrinter)
{
    if (QPrinterInfo::printerInfo("RDX-PDF").isNull() || QStandardPaths::findExecutable("pdftoppm").isEmpty())
        GTEST_SKIP() << "no CUPS printer RDX-PDF (scripts/cups-pdf-printer.sh) or no poppler-utils";
    const QDir out(qEnvironmentVariable("RDX_PDF_OUT", QDir::homePath() + QStringLiteral("/PDF")));
    const QStringList before = out.entryList({"*.pdf"}, QDir::Files);
    ASSERT_GT(window->width(), window->height());
    printout.mnuPrint(window.get(), QStringLiteral("RDX-PDF"));
    waitForTheMessage(1);
    EXPECT_EQ(messages.shown[0], "The printout of the main window was sent to the printer RDX-PDF.");
    QString pdf;
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            for (const QString& name : out.entryList({"*.pdf"}, QDir::Files))
                if (!before.contains(name) && !run("pdfinfo", {out.filePath(name)}).isEmpty())
                    pdf = out.filePath(name);
            return !pdf.isEmpty();
        },
        60000))
        << "no new PDF in " << out.path().toStdString() << " (RDX_PDF_OUT names the cups-pdf folder)";
    EXPECT_TRUE(run("pdfinfo", {pdf}).contains(QRegularExpression("Pages:\\s+1\\b")));
    QTemporaryDir work;
    run("pdftoppm", {"-r", "40", "-png", "-singlefile", pdf, work.filePath("page")});
    QImage page(work.filePath("page.png"));
    ASSERT_FALSE(page.isNull());
    // Sheets that stay upright carry the landscape page turned a quarter.
    if (page.height() > page.width())
        page = page.transformed(QTransform().rotate(90));
    QRect picture;  // everything that is not bare paper
    for (int y = 0; y < page.height(); ++y)
        for (int x = 0; x < page.width(); ++x)
            if (qGray(page.pixel(x, y)) < 250)
                picture |= QRect(x, y, 1, 1);
    ASSERT_FALSE(picture.isEmpty()) << "the page is blank";
    QPrinter printer(QPrinterInfo::printerInfo("RDX-PDF"));
    printer.setPageOrientation(QPageLayout::Landscape);
    const QRectF printable = printer.pageLayout().paintRect(QPageLayout::Point);
    const double scale = page.width() / printer.pageLayout().fullRect(QPageLayout::Point).width();
    EXPECT_NEAR(picture.left(), printable.left() * scale, 3.0);  // 3 pixels at 40 dpi
    EXPECT_NEAR(picture.right() + 1, printable.right() * scale, 3.0);
    EXPECT_NEAR(picture.top(), printable.top() * scale, 3.0);
    EXPECT_NEAR(double(picture.width()) / picture.height(), double(window->width()) / window->height(), 0.05);
    QFile::remove(pdf);
}

}  // namespace
}  // namespace rdxmon
