#include "windows/Layout.h"

namespace rdxmon::layout {

namespace {

// Grid geometry in pixels.
constexpr int kMargin = 4;
constexpr int kHeadingHeight = 18;
constexpr int kGridTop = kMargin + kHeadingHeight + 2;
constexpr int kRowHeight = 17;
constexpr int kRecorderGap = 5;
constexpr int kColumnPitch = 302;
constexpr int kFrameWidth = 298;

// Logging block and page buttons.
constexpr int kBlockWidth = 462;
constexpr int kBlockHeight = 86;
constexpr int kButtonRowTop = 60;
constexpr int kPageButtonsLeft = kMargin + kBlockWidth + 10;
constexpr int kPageButtonWidth = 90;
constexpr int kPageButtonPitch = 96;

}  // namespace

int windowWidthTwips(int recorders)
{
    if (recorders >= 1 && recorders <= 4)
        return 7050;
    if (recorders >= 5 && recorders <= 8)
        return 9315;
    return kDesignedWidthTwips;
}

int windowHeightTwips(int recorders)
{
    switch (recorders) {
    case 1:
        return 3855;
    case 2:
        return 5940;
    case 3:
        return 7965;
    default:
        return kDesignedHeightTwips;
    }
}

bool headingVisible(int recorders, int page, int heading)
{
    if (heading == 0)
        return true;
    return recorders > pages::firstSlot(page) + 4 * heading;
}

bool pageButtonVisible(int recorders, int page)
{
    if (recorders <= pages::kSlotsPerPage)
        return false;
    if (page == 2)
        return recorders > pages::firstSlot(2);
    return true;
}

bool frameVisible(int channelsInUse, int page, int slot)
{
    return channelsInUse > pages::channelAt(page, slot);
}

Rect frameRect(int slot)
{
    const int column = slot / kPlacesPerColumn;
    const int row = slot % kPlacesPerColumn;
    const int recorderInColumn = row / kChannelsPerSlot;
    return {kMargin + column * kColumnPitch, kGridTop + row * kRowHeight + recorderInColumn * kRecorderGap, kFrameWidth,
            kRowHeight};
}

Rect channelButtonRect()
{
    return {0, 0, 44, kRowHeight};
}
Rect nameLabelRect()
{
    return {48, 0, 168, kRowHeight};
}
Rect valueLabelRect()
{
    return {218, 0, kFrameWidth - 222, kRowHeight};
}

Rect headingRect(int heading)
{
    return {kMargin + heading * kColumnPitch, kMargin, kFrameWidth, kHeadingHeight};
}

Rect loggingBlockRect(int clientHeight)
{
    return {kMargin, clientHeight - kBlockHeight - kMargin, kBlockWidth, kBlockHeight};
}

Rect pageButtonRect(int page, int clientHeight)
{
    const Rect block = loggingBlockRect(clientHeight);
    return {kPageButtonsLeft + page * kPageButtonPitch, block.y + kButtonRowTop, kPageButtonWidth,
            kBlockHeight - kButtonRowTop};
}

// Wide enough for a device's stable name, within the narrowest window.
Rect commPanelRect()
{
    return {8, kGridTop, 454, 182};
}

LoggingBlock loggingBlock()
{
    LoggingBlock b;
    b.lblChartSpeed = {0, 0, 96, 22};
    b.lblLogitv = {100, 0, 36, 22};
    b.updLogtitv = {138, 0, 18, 22};
    b.optTime1 = {166, 0, 56, 22};
    b.optTime2 = {226, 0, 56, 22};
    b.optName1 = {0, 30, 150, 22};
    b.optName2 = {160, 30, 120, 22};
    b.cmdRUN = {0, kButtonRowTop, 80, 26};
    b.cmdStop = {86, kButtonRowTop, 80, 26};
    b.lblMsg = {174, kButtonRowTop + 2, kBlockWidth - 174, 22};
    return b;
}

CommPanel commPanel()
{
    CommPanel p;
    p.portCaption = {10, 24, 170, 20};
    p.Combo1 = {186, 22, 84, 24};
    p.deviceCaption = {10, 54, 60, 20};
    p.Combo3 = {76, 52, 368, 24};
    p.speedCaption = {10, 84, 170, 20};
    p.Combo2 = {186, 82, 84, 24};
    p.countCaption = {10, 114, 170, 20};
    p.lblCh = {186, 112, 40, 24};
    p.updCh = {228, 112, 18, 24};
    p.cmdCommOK = {186, 146, 84, 28};
    return p;
}

}  // namespace rdxmon::layout
