#include "printing/Printout.h"

#include <QApplication>
#include <QImage>
#include <QPainter>
#include <QPrinter>
#include <QPrinterInfo>
#include <QScreen>
#include <QTimer>
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

// The window's own rendering with the visible pop-up windows that overlap it
// painted over it.
QPixmap renderWithPopups(QWidget* topLevel)
{
    QPixmap picture = topLevel->grab();
    const QRect area = topLevel->geometry();
    QPainter painter(&picture);
    for (QWidget* other : QApplication::topLevelWidgets()) {
        const Qt::WindowType type = other->windowType();
        if (other != topLevel && other->isVisible() && (type == Qt::Popup || type == Qt::ToolTip)
            && other->geometry().intersects(area)) {
            painter.drawPixmap(other->geometry().topLeft() - area.topLeft(), other->grab());
        }
    }
    return picture;
}

// How long the command waits for the menu to go, in steps; then it prints
// whatever the screen shows.
constexpr int kSettleStepMs = 50;
constexpr int kMaxWaitMs = 2000;

}  // namespace

QPixmap CaptureWindow(QWidget* window)
{
    if (window == nullptr) {
        return {};
    }
    QWidget* topLevel = window->window();
    const QRect frame = topLevel->frameGeometry();
    QScreen* screen = topLevel->screen();
    if (topLevel->isVisible() && screen != nullptr && screenHoldsPixels() && frame != topLevel->geometry()) {
        // The window manager draws a frame: read the whole framed window off
        // the screen (window 0 = the screen; position relative to the screen).
        const QPoint origin = frame.topLeft() - screen->geometry().topLeft();
        QPixmap grabbed = screen->grabWindow(0, origin.x(), origin.y(), frame.width(), frame.height());
        if (!isBlank(grabbed)) {
            return grabbed;
        }
    }
    return renderWithPopups(topLevel);
}

Printout::Printout(MessageBoxes& messages) : mMessages(messages), mGuard(std::make_unique<QObject>()) {}

Printout::~Printout() = default;

void Printout::mnuPrint(QWidget* window, const QString& printerName)
{
    if (mPending || window == nullptr) {
        return;
    }
    mPending = true;
    printWhenSettled(window, printerName, 0);
}

void Printout::printWhenSettled(QPointer<QWidget> window, QString printerName, int waitedMs)
{
    // The command runs from the menu: the menu closes first, then the window
    // repaints where it lay (on a real screen the window system asks for that
    // repaint a moment later). Only then is the picture taken.
    QTimer::singleShot(kSettleStepMs, mGuard.get(), [this, window, printerName, waitedMs] {
        if (window.isNull()) {
            mPending = false;
            return;
        }
        const int waited = waitedMs + kSettleStepMs;
        if (QApplication::activePopupWidget() != nullptr && waited < kMaxWaitMs) {
            printWhenSettled(window, printerName, waited);
            return;
        }
        window->window()->repaint();
        mPending = false;
        // The previous picture is released here.
        mPicture1 = CaptureWindow(window);
        if (PrintPictureToFitPage(mPicture1, printerName)) {
            mMessages.information(
                QStringLiteral("The printout of the main window was sent to the printer %1.").arg(printerName));
        }
    });
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
    mMessages.information(QStringLiteral("The printout could not be made on %1: %2").arg(printerName, reason));
}

}  // namespace rdxmon
