#include "startup/SystemServices.h"

namespace rdxmon {

QDateTime SystemClock::now()
{
    return QDateTime::currentDateTime();
}

}  // namespace rdxmon
