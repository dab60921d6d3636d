// The real implementations of the window-free services.
#ifndef RDXMON_STARTUP_SYSTEMSERVICES_H
#define RDXMON_STARTUP_SYSTEMSERVICES_H

#include "startup/Services.h"

namespace rdxmon {

// The system's local date and time.
class SystemClock : public Clock {
public:
    QDateTime now() override;
};

}  // namespace rdxmon

#endif
