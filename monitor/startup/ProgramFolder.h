// The folder of the running program, and the folder of a run's files.
#ifndef RDXMON_STARTUP_PROGRAMFOLDER_H
#define RDXMON_STARTUP_PROGRAMFOLDER_H

#include <QString>

#include "startup/FilesFolder.h"

namespace rdxmon {

// Absolute folder of the running executable, without a trailing separator:
// QCoreApplication::applicationDirPath() when an application object exists,
// else the folder of /proc/self/exe. Empty when neither can be found.
QString programFolder();

// The folder of this run's files (see FilesFolder.h) and whether it can be
// used.
struct FilesFolderChoice {
    QString path;  // absolute, clean
    QString problem;  // empty when usable; else why not, naming the folder
};

// given: the folder named with --folder (empty when none was): it must be
// an existing folder. Without one, the program folder when the files stay
// beside the program, else the user's folder, made when missing.
FilesFolderChoice chooseFilesFolder(const QString& given, const QString& programFolder,
                                    const rdxfiles::Environment& environment);

// "Files (settings and logs): /home/ann/.local/share/rdx512", as the About
// box and the status line's tooltip show it.
QString filesFolderText(const QString& folder);

}  // namespace rdxmon

#endif
