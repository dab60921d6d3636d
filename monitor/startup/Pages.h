// Pages and slots: the arithmetic every window shares.
//
// A recorder slot is 0..30 (shown as "01".."31"); a channel index is
// slot * 6 + (channel - 1), 0..185. The main window, the channel name window
// and the recorder address window each show one of three pages: page 0 holds
// slots 0..11, page 1 slots 12..23, page 2 slots 24..30. A page of the main
// window and of the name window has 72 channel places (42 used on page 2).
#ifndef RDXMON_STARTUP_PAGES_H
#define RDXMON_STARTUP_PAGES_H

#include <algorithm>

#include "startup/SharedState.h"

namespace rdxmon::pages {

inline constexpr int kPageCount = 3;
inline constexpr int kSlotsPerPage = 12;  // recorders
inline constexpr int kChannelsPerPage = kSlotsPerPage * kChannelsPerSlot;  // 72 channel places

// The first and last slot of a page (0..2; other pages count as the nearest).
inline int firstSlot(int page)
{
    return std::clamp(page, 0, kPageCount - 1) * kSlotsPerPage;
}
inline int lastSlot(int page)
{
    return std::min(firstSlot(page) + kSlotsPerPage, kSlotCount) - 1;
}
// The page that shows a slot.
inline int pageOfSlot(int slot)
{
    return std::clamp(slot, 0, kSlotCount - 1) / kSlotsPerPage;
}
inline bool slotOnPage(int slot, int page)
{
    return slot >= firstSlot(page) && slot <= lastSlot(page);
}
// The first channel index of a page, and the channel index at place
// 0..71 of the page (may be beyond 185 on page 2).
inline int firstChannel(int page)
{
    return firstSlot(page) * kChannelsPerSlot;
}
inline int channelAt(int page, int place)
{
    return firstChannel(page) + place;
}

}  // namespace rdxmon::pages

#endif
