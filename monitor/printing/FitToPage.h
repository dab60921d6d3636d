// Placing a picture on one printed page: orientation and printed size.
#ifndef RDXMON_PRINTING_FITTOPAGE_H
#define RDXMON_PRINTING_FITTOPAGE_H

#include <QPageLayout>
#include <QRectF>
#include <QSizeF>

namespace rdxmon {

// Orientation for a picture of the given size: portrait when it is at least
// as tall as it is wide (a square prints in portrait), landscape otherwise.
QPageLayout::Orientation PictureOrientation(QSizeF picture);

// The rectangle the picture is printed in, at (0, 0) of the printable area,
// in the printable area's unit. The picture keeps its proportions and fills
// the printable width when it is at least as wide (relative to its height)
// as the printable area, else the printable height.
// printable is the printable area after the orientation has been set.
// An empty picture or printable area gives an empty rectangle.
QRectF FitToPage(QSizeF picture, QSizeF printable);

}  // namespace rdxmon

#endif
