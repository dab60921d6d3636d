// --help and --version, answered alike by every tool: the text on standard
// output and exit status 0.
#ifndef RDXTOOLS_TOOLOPTIONS_H
#define RDXTOOLS_TOOLOPTIONS_H

#include <iostream>
#include <string>

namespace rdxtools {

// True when an argument is --help (-h) or --version; the usage or the
// version line has been printed then, and the program ends with 0.
inline bool answeredHelpOrVersion(int argc, char** argv, const char* program, const std::string& usage)
{
    for (int i = 1; i < argc; ++i) {
        const std::string argument = argv[i];
        if (argument == "--help" || argument == "-h") {
            std::cout << usage << std::flush;
            return true;
        }
        if (argument == "--version") {
            std::cout << program << ' ' << RDX_VERSION << std::endl;
            return true;
        }
    }
    return false;
}

}  // namespace rdxtools

#endif
