// The printout of the main window: a picture of the window as the screen
// shows it, printed on one page of the current printer, scaled to fit.
#ifndef RDXMON_PRINTING_PRINTOUT_H
#define RDXMON_PRINTING_PRINTOUT_H

#include <memory>

#include <QPixmap>
#include <QPointer>
#include <QString>
#include <QWidget>

namespace rdxmon {

class MessageBoxes;

inline const QString kNoPrinterMessage
    = QStringLiteral("No printer is installed. Install a printer on this computer and try again.");

// A picture of window's top-level window as the screen shows it, the frame
// and title bar included where the window system draws them. Where there is
// no frame (no window manager, offscreen) or the screen cannot be read back
// (the grab comes out empty or black), the window's own rendering is taken,
// with the pop-up windows (menus, tool tips) that lie over it painted on top,
// as a screen would show them.
QPixmap CaptureWindow(QWidget* window);

class Printout {
public:
    explicit Printout(MessageBoxes& messages);
    ~Printout();

    // The "Printout" command. It returns at once; the picture is taken when
    // the menu that gave the command has gone and the window has been redrawn
    // where the menu lay. The picture is kept in Picture1 and printed on
    // printerName, and the operator is told that the page was sent (naming
    // the printer) or why it was not. A command given while one is waiting
    // is ignored. The window may close meanwhile: nothing is printed then.
    void mnuPrint(QWidget* window, const QString& printerName);
    bool pending() const { return mPending; }

    // Prints picture on one page of printerName: portrait when the picture is
    // at least as tall as wide, else landscape, scaled to fill the printable
    // area with its proportions kept, at the printable area's top-left.
    bool PrintPictureToFitPage(const QPixmap& picture, const QString& printerName);

    // The last captured picture; replaced by the next printout.
    const QPixmap& Picture1() const { return mPicture1; }

private:
    void printWhenSettled(QPointer<QWidget> window, QString printerName, int waitedMs);
    void reportFailure(const QString& printerName, const QString& reason);

    MessageBoxes& mMessages;
    QPixmap mPicture1;
    bool mPending = false;
    // Context of the waiting step: it is dropped with this object.
    std::unique_ptr<QObject> mGuard;
};

}  // namespace rdxmon

#endif
