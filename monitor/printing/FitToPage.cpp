#include "printing/FitToPage.h"

namespace rdxmon {

QPageLayout::Orientation PictureOrientation(QSizeF picture)
{
    return picture.height() >= picture.width() ? QPageLayout::Portrait : QPageLayout::Landscape;
}

QRectF FitToPage(QSizeF picture, QSizeF printable)
{
    if (picture.width() <= 0 || picture.height() <= 0 || printable.width() <= 0 || printable.height() <= 0) {
        return {};
    }
    const double pictureRatio = picture.width() / picture.height();
    const double printerRatio = printable.width() / printable.height();
    if (pictureRatio >= printerRatio) {
        const double width = printable.width();
        return {0.0, 0.0, width, width / pictureRatio};
    }
    const double height = printable.height();
    return {0.0, 0.0, height * pictureRatio, height};
}

}  // namespace rdxmon
