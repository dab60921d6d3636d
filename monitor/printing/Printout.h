// The printout of the main window: a picture of the window as the screen
// shows it, printed on one page of the current printer, scaled to fit.
#ifndef RDXMON_PRINTING_PRINTOUT_H
#define RDXMON_PRINTING_PRINTOUT_H

#include <QPixmap>
#include <QString>

class QWidget;

namespace rdxmon {

class MessageBoxes;

inline const QString kNoPrinterMessage = QStringLiteral(
    "No printer is installed. Install a printer on this computer and try again.");

// A picture of window's top-level window as the screen shows it, the frame
// and title bar included where the window system draws them. Where there is
// no frame (no window manager, offscreen) or the screen cannot be read back
// (the grab comes out empty or black), the window's own rendering is taken.
QPixmap CaptureWindow(QWidget* window);

class Printout {
public:
    explicit Printout(MessageBoxes& messages);

    // The "Printout" command: captures the window (before anything else opens
    // on the screen), keeps the picture in Picture1 and prints it on
    // printerName. Returns true when the page was handed to the printer; a
    // failure has been reported to the operator.
    bool mnuPrint(QWidget* window, const QString& printerName);

    // Prints picture on one page of printerName: portrait when the picture is
    // at least as tall as wide, else landscape, scaled to fill the printable
    // area with its proportions kept, at the printable area's top-left.
    bool PrintPictureToFitPage(const QPixmap& picture, const QString& printerName);

    // The last captured picture; replaced by the next printout.
    const QPixmap& Picture1() const { return mPicture1; }

private:
    void reportFailure(const QString& printerName, const QString& reason);

    MessageBoxes& mMessages;
    QPixmap mPicture1;
};

}  // namespace rdxmon

#endif
