#include "printing/Printout.h"

#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QPrinter>
#include <QPrinterInfo>
#include <QScreen>
#include <QWidget>

#include "printing/FitToPage.h"
#include "startup/Services.h"

namespace rdxmon {

namespace {

// True when the picture holds nothing but black or see-through pixels (or
// nothing at all), which is what a screen grab gives where the screen's
// contents cannot be read back.
bool isBlank(const QPixmap& picture)
{
    if (picture.isNull()) {
        return true;
    }
    const QImage image = picture.toImage().convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < image.height(); ++y) {
        const auto* line = reinterpret_cast<const QRgb*>(image.constScanLine(y));
        for (int x = 0; x < image.width(); ++x) {
            if (qAlpha(line[x]) != 0 && (line[x] & 0x00ffffffu) != 0) {
                return false;
            }
        }
    }
    return true;
}

// Platforms that only pretend to have a screen: windows have no pixels on
// it (their frame margins there are make-believe too).
bool screenHoldsPixels()
{
    const QString platform = QGuiApplication::platformName();
    return platform != QLatin1String("offscreen") && platform != QLatin1String("minimal");
}

}  // namespace

QPixmap CaptureWindow(QWidget* window)
{
    if (window == nullptr) {
        return {};
    }
    QWidget* topLevel = window->window();
    const QRect frame = topLevel->frameGeometry();
    QScreen* screen = topLevel->screen();
    if (topLevel->isVisible() && screen != nullptr && screenHoldsPixels()
        && frame != topLevel->geometry()) {
        // The window manager draws a frame: read the whole framed window off
        // the screen (window 0 = the screen; position relative to the screen).
        const QPoint origin = frame.topLeft() - screen->geometry().topLeft();
        QPixmap grabbed =
            screen->grabWindow(0, origin.x(), origin.y(), frame.width(), frame.height());
        if (!isBlank(grabbed)) {
            return grabbed;
        }
    }
    return topLevel->grab();
}

Printout::Printout(MessageBoxes& messages) : mMessages(messages) {}

bool Printout::mnuPrint(QWidget* window, const QString& printerName)
{
    // The previous picture is released here.
    mPicture1 = CaptureWindow(window);
    return PrintPictureToFitPage(mPicture1, printerName);
}

bool Printout::PrintPictureToFitPage(const QPixmap& picture, const QString& printerName)
{
    if (printerName.isEmpty()) {
        mMessages.information(kNoPrinterMessage);
        return false;
    }
    const QPrinterInfo info = QPrinterInfo::printerInfo(printerName);
    if (info.isNull()) {
        reportFailure(printerName, QStringLiteral("the printer is not available."));
        return false;
    }
    if (picture.isNull()) {
        reportFailure(printerName, QStringLiteral("the window could not be captured."));
        return false;
    }

    QPrinter printer(info, QPrinter::HighResolution);
    printer.setDocName(kProgramTitle);
    printer.setPageOrientation(PictureOrientation(picture.size()));
    // The printable area of the page as now oriented, in device pixels; the
    // painter's origin is its top-left corner.
    const QRect printable = printer.pageLayout().paintRectPixels(printer.resolution());
    const QRectF target = FitToPage(picture.size(), printable.size());
    if (target.isEmpty()) {
        reportFailure(printerName, QStringLiteral("the printer reports no printable area."));
        return false;
    }

    QPainter painter;
    if (!painter.begin(&printer)) {
        reportFailure(printerName, QStringLiteral("the printer could not be started."));
        return false;
    }
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.drawPixmap(target, picture, QRectF(picture.rect()));
    const bool ended = painter.end();
    if (!ended || printer.printerState() == QPrinter::Error) {
        reportFailure(printerName, QStringLiteral("the printer reported an error."));
        return false;
    }
    return true;
}

void Printout::reportFailure(const QString& printerName, const QString& reason)
{
    mMessages.information(
        QStringLiteral("The printout could not be made on %1: %2").arg(printerName, reason));
}

}  // namespace rdxmon
