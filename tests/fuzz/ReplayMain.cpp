// A stand-in for libFuzzer's main: runs LLVMFuzzerTestOneInput once over every file of the
// folders and files named on the command line (folders recursively, in name order), or once
// over an empty input when none is named. Built when the fuzz targets are compiled without
// libFuzzer, so that the harnesses keep compiling and their seed inputs keep passing.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <system_error>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);
extern "C" __attribute__((weak)) int LLVMFuzzerInitialize(int* argc, char*** argv);

namespace {

namespace fs = std::filesystem;

bool RunFile(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    if (!in) {
        std::fprintf(stderr, "cannot read %s\n", file.string().c_str());
        return false;
    }
    std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::fprintf(stderr, "running %s (%zu bytes)\n", file.string().c_str(), bytes.size());
    // A copy of exactly the input's size, so that a read past its end is caught.
    std::vector<std::uint8_t> data(bytes.begin(), bytes.end());
    LLVMFuzzerTestOneInput(data.empty() ? nullptr : data.data(), data.size());
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    if (LLVMFuzzerInitialize != nullptr) LLVMFuzzerInitialize(&argc, &argv);
    int runs = 0;
    bool ok = true;
    for (int i = 1; i < argc; ++i) {
        const fs::path path(argv[i]);
        std::error_code error;
        if (fs::is_directory(path, error)) {
            std::vector<fs::path> files;
            for (const auto& entry : fs::recursive_directory_iterator(path, error)) {
                if (entry.is_regular_file()) files.push_back(entry.path());
            }
            std::sort(files.begin(), files.end());
            for (const fs::path& file : files) {
                ok = RunFile(file) && ok;
                ++runs;
            }
        } else if (fs::is_regular_file(path, error)) {
            ok = RunFile(path) && ok;
            ++runs;
        } else {
            std::fprintf(stderr, "no such input: %s\n", argv[i]);
            ok = false;
        }
    }
    if (argc < 2) {
        static const std::uint8_t kEmpty[1] = {0};
        LLVMFuzzerTestOneInput(kEmpty, 0);
        ++runs;
    }
    std::fprintf(stderr, "replayed %d input(s)\n", runs);
    return ok ? 0 : 1;
}
