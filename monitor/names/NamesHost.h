// What the channel name window and the logging buttons need from the main
// window: the page it shows and its two refresh steps.
#ifndef RDXMON_NAMES_NAMESHOST_H
#define RDXMON_NAMES_NAMESHOST_H

namespace rdxmon {

class NamesHost {
public:
    virtual ~NamesHost() = default;
    // The page the main window shows: 0, 1 or 2.
    virtual int mPage() const = 0;
    // Writes the channel names of the page into the main window's labels.
    virtual void NameSet(int page) = 0;
    // Repaints the selection colours of the channel buttons of the page.
    virtual void Logdisp(int page) = 0;
};

}  // namespace rdxmon

#endif
