// A stand-in for libFuzzer's driver, for builds without clang: feeds every file of the
// folders and files named on the command line to the target once, in name order, and
// says how many it ran. A broken rule or a sanitizer report ends it as it would end a
// fuzzing run, so `make test` runs each target over its seed corpus with g++ alone.
#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "fuzz/FuzzSupport.h"

namespace {

// The files named, folders replaced by the regular files in them, in name order.
std::vector<std::filesystem::path> inputsOf(int argc, char** argv) {
    std::vector<std::filesystem::path> inputs;
    for (int i = 1; i < argc; ++i) {
        const std::filesystem::path named = argv[i];
        std::error_code error;
        if (!std::filesystem::is_directory(named, error)) {
            inputs.push_back(named);
            continue;
        }
        std::vector<std::filesystem::path> inFolder;
        for (const auto& entry : std::filesystem::directory_iterator(named, error))
            if (entry.is_regular_file(error)) inFolder.push_back(entry.path());
        std::sort(inFolder.begin(), inFolder.end());
        inputs.insert(inputs.end(), inFolder.begin(), inFolder.end());
    }
    return inputs;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s CORPUS_FOLDER_OR_FILE...\n", argv[0]);
        return 2;
    }
    const std::vector<std::filesystem::path> inputs = inputsOf(argc, argv);
    for (const std::filesystem::path& path : inputs) {
        std::ifstream file(path, std::ios::binary);
        if (!file) {
            std::fprintf(stderr, "cannot read %s\n", path.c_str());
            return 1;
        }
        const std::string bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
        std::fprintf(stderr, "running %s (%zu bytes)\n", path.c_str(), bytes.size());
        LLVMFuzzerTestOneInput(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
    }
    if (inputs.empty()) {
        std::fprintf(stderr, "no inputs found\n");
        return 1;
    }
    std::printf("%zu inputs ran without a report\n", inputs.size());
    return 0;
}
