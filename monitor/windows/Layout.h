// Layout rules of the main window: what shows for a given number of
// recorders, the window size, and where every control sits. No widgets here;
// the window asks these functions and places its controls accordingly.
//
// Sizes follow the designed form: 15 twips to a pixel, a client area of
// 13695 x 9225 twips (913 x 615 pixels), narrower and lower for few recorders.
#ifndef RDXMON_WINDOWS_LAYOUT_H
#define RDXMON_WINDOWS_LAYOUT_H

#include "startup/Pages.h"

namespace rdxmon::layout {

inline constexpr int kTwipsPerPixel = 15;
inline constexpr int kDesignedWidthTwips = 13695;
inline constexpr int kDesignedHeightTwips = 9225;

inline constexpr int kPlacesPerColumn = 24;  // four recorders of six channels

constexpr int twipsToPixels(int twips)
{
    return twips / kTwipsPerPixel;
}

struct Rect {
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;
    int right() const { return x + width; }
    int bottom() const { return y + height; }
    bool contains(const Rect& inner) const
    {
        return inner.x >= x && inner.y >= y && inner.right() <= right() && inner.bottom() <= bottom();
    }
    bool intersects(const Rect& other) const
    {
        return x < other.right() && other.x < right() && y < other.bottom() && other.y < bottom();
    }
};

// Window size in twips for n recorders: width 7050 for 1..4, 9315 for 5..8;
// height 3855, 5940, 7965 for 1, 2, 3; the designed size otherwise.
int windowWidthTwips(int recorders);
int windowHeightTwips(int recorders);
inline int windowWidthPixels(int recorders)
{
    return twipsToPixels(windowWidthTwips(recorders));
}
inline int windowHeightPixels(int recorders)
{
    return twipsToPixels(windowHeightTwips(recorders));
}

// Column heading Label1(h), h = 0..2, on page p: heading 0 always shows,
// heading h when n > 12p + 4h (at creation page 0 applies).
bool headingVisible(int recorders, int page, int heading);

// Page buttons DVsele1..3 (page 0..2): all hidden up to 12 recorders, the
// third hidden up to 24.
bool pageButtonVisible(int recorders, int page);

// Frame frmM(i) on page p shows channel index 72p + i; it is visible when
// that index is below the number of channels in use.
bool frameVisible(int channelsInUse, int page, int slot);

// --- Pixel geometry, in the coordinates of the window's client area below
// the menu bar. clientHeight is the window height minus the menu bar.

// Frame frmM(i): three columns of 24 rows, a small gap between recorders.
Rect frameRect(int slot);
// Inside a frame: the channel button, the name label, the value label.
Rect channelButtonRect();
Rect nameLabelRect();
Rect valueLabelRect();
// Column heading Label1(h), above its column.
Rect headingRect(int heading);
// The logging block (cycle, unit, file mode, START/STOP, status line),
// anchored to the bottom left; its controls are placed relative to it.
Rect loggingBlockRect(int clientHeight);
// Page button for page p, beside the logging block on its bottom row.
Rect pageButtonRect(int page, int clientHeight);
// The communication panel frmCommInit, shown over the grid at the top left.
Rect commPanelRect();

// Controls inside the logging block (relative to the block).
struct LoggingBlock {
    Rect lblChartSpeed, lblLogitv, updLogtitv, optTime1, optTime2;
    Rect optName1, optName2;
    Rect cmdRUN, cmdStop, lblMsg;
};
LoggingBlock loggingBlock();

// Controls inside the communication panel (relative to the panel).
struct CommPanel {
    Rect portCaption, Combo1, deviceCaption, Combo3, speedCaption, Combo2, countCaption, lblCh, updCh, cmdCommOK;
};
CommPanel commPanel();

}  // namespace rdxmon::layout

#endif
