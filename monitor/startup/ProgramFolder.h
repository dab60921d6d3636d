// The folder of the running program.
#ifndef RDXMON_STARTUP_PROGRAMFOLDER_H
#define RDXMON_STARTUP_PROGRAMFOLDER_H

#include <QString>

namespace rdxmon {

// Absolute folder of the running executable, without a trailing separator:
// QCoreApplication::applicationDirPath() when an application object exists,
// else the folder of /proc/self/exe. Empty when neither can be found.
QString programFolder();

}  // namespace rdxmon

#endif
