// Command-line handling shared by the benchmark programs.
#ifndef RDXBENCH_BENCHOPTIONS_H
#define RDXBENCH_BENCHOPTIONS_H

#include <filesystem>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

namespace rdxbench {

// One line set-up: number of recorders and line speed, written RECORDERS@BAUD.
struct LineConfig {
    int recorders;
    int baud;
};

// "12@9600,31@19200" -> the set-ups; std::invalid_argument on a bad item.
inline std::vector<LineConfig> parseLineConfigs(const std::string& text)
{
    std::vector<LineConfig> configs;
    std::stringstream in(text);
    std::string item;
    while (std::getline(in, item, ',')) {
        const auto at = item.find('@');
        if (at == std::string::npos)
            throw std::invalid_argument("--configs: \"" + item + "\" is not RECORDERS@BAUD");
        const LineConfig config{std::stoi(item.substr(0, at)), std::stoi(item.substr(at + 1))};
        if (config.recorders < 1 || config.recorders > 31)
            throw std::invalid_argument("--configs: 1 to 31 recorders");
        if (config.baud < 300)
            throw std::invalid_argument("--configs: no such line speed");
        configs.push_back(config);
    }
    return configs;
}

// Calls handle(option, value) for each "--option value" pair; handle returns
// false for an option it does not know. std::invalid_argument on an unknown
// option or a missing value.
template <class Handler> void forEachOption(int argc, char** argv, Handler handle)
{
    for (int i = 1; i < argc; i += 2) {
        const std::string option = argv[i];
        if (i + 1 >= argc)
            throw std::invalid_argument(option + ": value missing");
        if (!handle(option, std::string(argv[i + 1])))
            throw std::invalid_argument("unknown option " + option);
    }
}

// The folder of the running benchmark, where the other programs were built.
inline std::string binFolder()
{
    return std::filesystem::read_symlink("/proc/self/exe").parent_path().string();
}

}  // namespace rdxbench

#endif
