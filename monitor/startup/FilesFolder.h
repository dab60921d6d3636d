// Where a run keeps its files: the settings, names and address files, the
// trend's view, the port choices, the default-named CSV logs and the
// simulator's port links. Plain C++: the simulator follows the same rule, so
// its link lands where the window program looks for it.
//
// A program folder the user may write (the build's bin/, a copied folder)
// keeps the files beside the program. Otherwise (an installed program) each
// user has one folder of their own, in the XDG base directories' data home:
// $XDG_DATA_HOME/rdx512, by default ~/.local/share/rdx512. One folder holds
// them all: the settings describe the logs beside them (the names file is
// the logs' header, the settings record says whether a log runs), and the
// logging service and --folder keep them in one folder too.
#ifndef RDXMON_STARTUP_FILESFOLDER_H
#define RDXMON_STARTUP_FILESFOLDER_H

#include <string>

namespace rdxfiles {

// The name of the user's folder inside the data home.
inline constexpr char kUserFolderName[] = "rdx512";

// What the rule reads of the environment.
struct Environment {
    std::string home;  // $HOME, else the home folder of the user's account
    std::string xdgDataHome;  // $XDG_DATA_HOME as it is set (may be empty or relative)

    static Environment current();
};

// The user's own folder: $XDG_DATA_HOME/rdx512 when that is an absolute
// path, else <home>/.local/share/rdx512. Empty when no home is known.
std::string userFolder(const Environment& environment);

// Whether the files stay beside the program: the folder can be written by
// this process and does not lie in /usr (a package's folder, which root
// could write as well).
bool keepsFilesBesideProgram(const std::string& programFolder);

// The program folder when it keeps the files, else the user's folder.
std::string filesFolder(const std::string& programFolder, const Environment& environment);

// Makes the folder and the missing folders above it (mode 0700, as the XDG
// rule asks). True when it exists as a folder afterwards; else false with
// the system's reason.
bool makeFolder(const std::string& path, std::string* reason);

}  // namespace rdxfiles

#endif
