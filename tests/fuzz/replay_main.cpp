// Replays fuzz inputs without libFuzzer: runs the target's
// LLVMFuzzerTestOneInput over the empty input and every file of the folders
// (or the files) given, in name order. A broken invariant aborts.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

int main(int argc, char** argv)
{
    namespace fs = std::filesystem;
    std::vector<fs::path> inputs;
    for (int i = 1; i < argc; ++i) {
        if (!fs::is_directory(argv[i]))
            inputs.emplace_back(argv[i]);
        else
            for (const fs::directory_entry& entry : fs::directory_iterator(argv[i]))
                inputs.push_back(entry.path());
    }
    std::sort(inputs.begin(), inputs.end());
    if (inputs.empty()) {
        std::fprintf(stderr, "usage: %s <corpus folder or input>...: no inputs found\n", argv[0]);
        return 1;
    }
    static const std::uint8_t nothing = 0;
    LLVMFuzzerTestOneInput(&nothing, 0);
    for (const fs::path& path : inputs) {
        std::ifstream in(path, std::ios::binary);
        if (!in)
            return std::fprintf(stderr, "cannot read %s\n", path.c_str()), 1;
        const std::vector<char> bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
        std::fprintf(stderr, "replaying %s (%zu bytes)\n", path.c_str(), bytes.size());
        LLVMFuzzerTestOneInput(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
    }
    std::printf("replayed %zu inputs\n", inputs.size());
    return 0;
}
