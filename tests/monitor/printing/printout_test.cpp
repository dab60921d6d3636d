#include <gtest/gtest.h>

#include <algorithm>
#include <memory>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QLabel>
#include <QPrinter>
#include <QPrinterInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QVBoxLayout>
#include <QWidget>

#include "fakes_support.h"
#include "names/ChannelNames.h"
#include "printing/Printout.h"
#include "startup/SharedState.h"
#include "support/FakeServices.h"
#include "windows/MainDisp.h"

using rdxmon::Printout;
using rdxtest::RecordingMessages;

namespace {

const QString kPdfPrinter = QStringLiteral("RDX-PDF");

// A window standing for the main window: a dark surface edge to edge, so
// the printed picture's extent can be measured on the page.
std::unique_ptr<QWidget> makeWindow(int width, int height)
{
    auto window = std::make_unique<QWidget>();
    window->setWindowTitle(QStringLiteral("RDX-512 monitor"));
    QPalette palette = window->palette();
    palette.setColor(QPalette::Window, QColor(31, 59, 92));
    palette.setColor(QPalette::WindowText, Qt::white);
    window->setPalette(palette);
    window->setAutoFillBackground(true);
    auto* layout = new QVBoxLayout(window.get());
    layout->addWidget(new QLabel(QStringLiteral("01-1"), window.get()));
    // A red mark in the top-left corner shows which way up the picture is.
    auto* mark = new QWidget(window.get());
    mark->setAutoFillBackground(true);
    QPalette red = mark->palette();
    red.setColor(QPalette::Window, QColor(220, 20, 20));
    mark->setPalette(red);
    mark->setGeometry(0, 0, width / 8, height / 8);
    window->resize(width, height);
    window->show();
    return window;
}

// Folders where cups-pdf may put its files: the one the test command found
// out, else the usual places.
QStringList pdfFolders()
{
    const QString told = qEnvironmentVariable("RDX_PDF_OUT");
    if (!told.isEmpty()) {
        return {told};
    }
    QStringList folders{QDir::homePath() + QStringLiteral("/PDF"), QStringLiteral("/root/PDF"),
                        QStringLiteral("/var/spool/cups-pdf/ANONYMOUS")};
    const QDir spool(QStringLiteral("/var/spool/cups-pdf"));
    for (const QString& sub : spool.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        folders.append(spool.filePath(sub));
    }
    return folders;
}

QStringList pdfFilesIn(const QStringList& folders)
{
    QStringList files;
    for (const QString& folder : folders) {
        const QDir dir(folder);
        for (const QString& name : dir.entryList({QStringLiteral("*.pdf")}, QDir::Files)) {
            files.append(dir.filePath(name));
        }
    }
    return files;
}

QString run(const QString& program, const QStringList& args)
{
    QProcess process;
    process.start(program, args);
    if (!process.waitForFinished(30000) || process.exitCode() != 0) {
        return {};
    }
    return QString::fromLocal8Bit(process.readAllStandardOutput());
}

// Prints window on the PDF printer and waits (bounded) for the scheduler to
// write the new PDF; its path, or an empty text after a failed expectation.
QString printAndWaitForPdf(Printout& printout, QWidget* window, RecordingMessages& messages)
{
    const QStringList folders = pdfFolders();
    const QStringList before = pdfFilesIn(folders);
    EXPECT_TRUE(printout.mnuPrint(window, kPdfPrinter)) << messages.shown.join('\n').toStdString();
    EXPECT_TRUE(messages.shown.isEmpty());
    // The scheduler converts the job in the background.
    QString pdf;
    const bool printed = rdxtest::WaitFor(
        [&] {
            for (const QString& file : pdfFilesIn(folders)) {
                if (!before.contains(file) && QFileInfo(file).size() > 0
                    && !run(QStringLiteral("pdfinfo"), {file}).isEmpty()) {
                    pdf = file;
                    return true;
                }
            }
            return false;
        },
        60000);
    EXPECT_TRUE(printed) << "no new PDF appeared within 60 s in " << folders.join(", ").toStdString()
                         << " (set RDX_PDF_OUT to the cups-pdf output folder)";
    return pdf;
}

// Why the real printout cannot be tested here, or an empty text.
QString printoutUntestable()
{
    if (QPrinterInfo::printerInfo(kPdfPrinter).isNull()) {
        return QStringLiteral("no CUPS printer %1 is reachable (start one with scripts/cups-pdf-printer.sh as "
                              "root); the real printout was not tested")
            .arg(kPdfPrinter);
    }
    for (const char* tool : {"pdfinfo", "pdftoppm"}) {
        if (QStandardPaths::findExecutable(QString::fromLatin1(tool)).isEmpty()) {
            return QStringLiteral("%1 (package poppler-utils) is missing; the printed page cannot be checked")
                .arg(QString::fromLatin1(tool));
        }
    }
    return {};
}

}  // namespace

TEST(Printout, NoPrinterOrAFailingPrinterGivesAMessageAndTheProgramGoesOn)
{
    RecordingMessages messages;
    Printout printout(messages);
    auto window = makeWindow(300, 200);

    EXPECT_FALSE(printout.mnuPrint(window.get(), QString()));
    EXPECT_EQ(messages.shown, QStringList{rdxmon::kNoPrinterMessage});

    EXPECT_FALSE(printout.mnuPrint(window.get(), QStringLiteral("No-Such-Printer")));
    ASSERT_EQ(messages.shown.size(), 2);
    EXPECT_EQ(messages.shown.at(1),
              "The printout could not be made on No-Such-Printer: the printer is not available.");
}

TEST(Printout, EachPrintoutReplacesTheKeptPicture)
{
    RecordingMessages messages;
    Printout printout(messages);
    auto wide = makeWindow(300, 200);
    auto tall = makeWindow(200, 400);

    printout.mnuPrint(wide.get(), QStringLiteral("No-Such-Printer"));
    const QPixmap first = printout.Picture1();
    // Without a window manager frame the window's own picture is taken.
    EXPECT_EQ(first.deviceIndependentSize().toSize(), wide->size());
    EXPECT_EQ(first.toImage().pixelColor(5, 5), QColor(220, 20, 20));
    EXPECT_EQ(first.toImage().pixelColor(first.width() - 5, first.height() - 5), QColor(31, 59, 92));

    printout.mnuPrint(tall.get(), QStringLiteral("No-Such-Printer"));
    EXPECT_EQ(printout.Picture1().deviceIndependentSize().toSize(), tall->size());
    EXPECT_GT(printout.Picture1().height(), printout.Picture1().width());
}

TEST(Printout, WideWindowPrintsOneLandscapePageFilledToTheWidth)
{
    if (const QString why = printoutUntestable(); !why.isEmpty()) {
        GTEST_SKIP() << why.toStdString();
    }
    RecordingMessages messages;
    Printout printout(messages);
    auto window = makeWindow(900, 600);
    const QString pdf = printAndWaitForPdf(printout, window.get(), messages);
    ASSERT_FALSE(pdf.isEmpty());

    const QString info = run(QStringLiteral("pdfinfo"), {pdf});
    const auto pages = QRegularExpression(QStringLiteral("Pages:\\s+(\\d+)")).match(info);
    const auto size =
        QRegularExpression(QStringLiteral("Page size:\\s+([\\d.]+) x ([\\d.]+) pts")).match(info);
    const auto rotation = QRegularExpression(QStringLiteral("Page rot:\\s+(\\d+)")).match(info);
    ASSERT_TRUE(pages.hasMatch() && size.hasMatch()) << info.toStdString();
    EXPECT_EQ(pages.captured(1).toInt(), 1);
    double sheetWidth = size.captured(1).toDouble();
    double sheetHeight = size.captured(2).toDouble();
    if (rotation.hasMatch() && rotation.captured(1).toInt() % 180 == 90) {
        std::swap(sheetWidth, sheetHeight);
    }

    QTemporaryDir work;
    ASSERT_TRUE(work.isValid());
    const QString prefix = work.filePath(QStringLiteral("page"));
    run(QStringLiteral("pdftoppm"), {QStringLiteral("-r"), QStringLiteral("20"), QStringLiteral("-png"),
                                     QStringLiteral("-singlefile"), pdf, prefix});
    const QImage sheet(prefix + QStringLiteral(".png"));
    ASSERT_FALSE(sheet.isNull());
    EXPECT_EQ(sheet.width() > sheet.height(), sheetWidth > sheetHeight);

    // The landscape page as printed. A printer whose sheets stay upright
    // (cups-pdf writes A4 as 595 x 842) carries a landscape page turned a
    // quarter turn counter-clockwise onto the sheet (IPP orientation 4); the
    // page is then turned back here, and the mark at the window's top-left
    // corner shows that the turn was the landscape one.
    QImage page = sheet;
    if (sheetHeight > sheetWidth) {
        page = sheet.transformed(QTransform().rotate(90));
    }
    EXPECT_GT(page.width(), page.height()) << "not printed in landscape";

    // The extent of the printed picture (everything that is not paper) and
    // of the red mark.
    QRect picture, mark;
    for (int y = 0; y < page.height(); ++y) {
        for (int x = 0; x < page.width(); ++x) {
            const QColor c = page.pixelColor(x, y);
            if (qGray(c.rgb()) < 200) {
                picture |= QRect(x, y, 1, 1);
            }
            if (c.red() > 160 && c.green() < 90 && c.blue() < 90) {
                mark |= QRect(x, y, 1, 1);
            }
        }
    }
    ASSERT_FALSE(picture.isEmpty()) << "the page is blank";
    ASSERT_FALSE(mark.isEmpty()) << "the window's corner mark is not on the page";
    EXPECT_LE(mark.left() - picture.left(), 1);
    EXPECT_LE(mark.top() - picture.top(), 1);

    // Where the printable area lies on the landscape page, as the printer
    // declares it; the picture fills its width from its top-left corner.
    QPrinter printer(QPrinterInfo::printerInfo(kPdfPrinter));
    printer.setPageOrientation(QPageLayout::Landscape);
    const QRectF printable = printer.pageLayout().paintRect(QPageLayout::Point);
    const double scale = page.width() / printer.pageLayout().fullRect(QPageLayout::Point).width();
    const double tolerance = 2.0;  // pixels at 20 dpi: rounding of the rendering
    EXPECT_NEAR(picture.left(), printable.left() * scale, tolerance);
    EXPECT_NEAR(picture.right() + 1, printable.right() * scale, tolerance);
    EXPECT_NEAR(picture.top(), printable.top() * scale, tolerance);
    // The proportions are kept: 900 x 600.
    EXPECT_NEAR(double(picture.width()) / picture.height(), 1.5, 0.05);
    QFile::remove(pdf);
}

TEST(Printout, MainWindowPrintsOneLandscapePageFilledToTheWidth)
{
    if (const QString why = printoutUntestable(); !why.isEmpty()) {
        GTEST_SKIP() << why.toStdString();
    }
    // The main window of twelve recorders, with values on page 0.
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    rdxmon::SharedState state;
    state.programFolder = folder.path();
    state.gInit.RecCount = QStringLiteral("12");
    state.gChTotal = QStringLiteral("72");
    state.gChannel = rdxmon::defaultChannelTable();
    for (int k = 0; k < 72; ++k) state.gPvValue[k] = 10.0f + static_cast<float>(k) / 4;
    rdxtest::FakeClock clock;
    RecordingMessages messages;
    rdxtest::FakeDialogs dialogs;
    rdxmon::Services services{clock, messages, dialogs};
    rdxmon::MainDisp window(state, services);
    window.DVsele1_Click();
    window.show();
    ASSERT_GT(window.width(), window.height());

    Printout printout(messages);
    const QString pdf = printAndWaitForPdf(printout, &window, messages);
    ASSERT_FALSE(pdf.isEmpty());
    const QString info = run(QStringLiteral("pdfinfo"), {pdf});
    EXPECT_TRUE(info.contains(QRegularExpression(QStringLiteral("Pages:\\s+1\\b")))) << info.toStdString();

    QTemporaryDir work;
    ASSERT_TRUE(work.isValid());
    const QString prefix = work.filePath(QStringLiteral("page"));
    run(QStringLiteral("pdftoppm"), {QStringLiteral("-r"), QStringLiteral("40"), QStringLiteral("-png"),
                                     QStringLiteral("-singlefile"), pdf, prefix});
    QImage page(prefix + QStringLiteral(".png"));
    ASSERT_FALSE(page.isNull());
    // Sheets that stay upright carry the landscape page turned (see above).
    if (page.height() > page.width()) page = page.transformed(QTransform().rotate(90));
    const QString keep = qEnvironmentVariable("RDX_PRINTOUT_PNG");
    if (!keep.isEmpty()) page.save(keep);

    // Everything that is not bare paper belongs to the picture.
    QRect picture;
    for (int y = 0; y < page.height(); ++y) {
        for (int x = 0; x < page.width(); ++x) {
            if (qGray(page.pixel(x, y)) < 250) picture |= QRect(x, y, 1, 1);
        }
    }
    ASSERT_FALSE(picture.isEmpty()) << "the page is blank";
    QPrinter printer(QPrinterInfo::printerInfo(kPdfPrinter));
    printer.setPageOrientation(QPageLayout::Landscape);
    const QRectF printable = printer.pageLayout().paintRect(QPageLayout::Point);
    const double scale = page.width() / printer.pageLayout().fullRect(QPageLayout::Point).width();
    const double tolerance = 3.0;  // pixels at 40 dpi
    EXPECT_NEAR(picture.left(), printable.left() * scale, tolerance);
    EXPECT_NEAR(picture.right() + 1, printable.right() * scale, tolerance);
    EXPECT_NEAR(picture.top(), printable.top() * scale, tolerance);
    EXPECT_NEAR(double(picture.width()) / picture.height(), double(window.width()) / window.height(), 0.05);
    QFile::remove(pdf);
}
