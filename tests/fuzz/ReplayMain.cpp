// The corpus replay: without libFuzzer, every file named on the command line,
// and every file in a folder named there, goes once through the target's
// LLVMFuzzerTestOneInput, whose checks abort on a broken invariant. Run by
// CTest in the normal and the sanitizer builds.

#include "FuzzSupport.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <vector>

namespace fs = std::filesystem;

int main(int argc, char **argv)
{
    std::vector<fs::path> inputs;
    for (int i = 1; i < argc; ++i) {
        const fs::path arg = argv[i];
        if (fs::is_directory(arg)) {
            for (const auto &entry : fs::recursive_directory_iterator(arg))
                if (entry.is_regular_file())
                    inputs.push_back(entry.path());
        } else {
            inputs.push_back(arg);
        }
    }
    // An empty or missing corpus must not pass as a successful replay.
    if (inputs.empty()) {
        std::fprintf(stderr, "usage: %s CORPUS_FOLDER_OR_FILE...: no inputs found\n", argv[0]);
        return 2;
    }
    std::sort(inputs.begin(), inputs.end());
    for (const fs::path &input : inputs) {
        std::ifstream in(input, std::ios::binary);
        if (!in) {
            std::fprintf(stderr, "cannot read %s\n", input.c_str());
            return 2;
        }
        const std::vector<char> bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
        // A heap block of exactly the input's size, so that the address
        // sanitizer sees any read past its end.
        const std::size_t size = bytes.size();
        const std::unique_ptr<std::uint8_t[]> data(new std::uint8_t[size]);
        std::copy(bytes.begin(), bytes.end(), data.get());
        LLVMFuzzerTestOneInput(data.get(), size);
    }
    std::printf("%zu inputs replayed\n", inputs.size());
    return 0;
}
