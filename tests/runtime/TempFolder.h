#pragma once
// A fresh folder below the system temporary folder, removed with everything in it.

#include <filesystem>
#include <fstream>
#include <random>
#include <string>

#include "runtime/CodePage.h"
#include "runtime/Text.h"

namespace ovx::testing_support {

class TempFolder {
public:
    TempFolder() {
        std::random_device rd;
        path_ = std::filesystem::temp_directory_path() /
                ("ovx-runtime-" + std::to_string(rd()) + std::to_string(rd()));
        std::filesystem::create_directories(path_);
    }
    ~TempFolder() {
        std::error_code ec;
        std::filesystem::remove_all(path_, ec);
    }
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    const std::filesystem::path& path() const { return path_; }
    // A path inside the folder as a local-code-page text; `name` is UTF-8.
    Text Local(const std::string& name) const {
        std::u8string u8(reinterpret_cast<const char8_t*>(name.c_str()));
        return FromPath(path_ / std::filesystem::path(u8));
    }

    std::string Read(const std::string& name) const {
        std::ifstream in(path_ / name, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    void Write(const std::string& name, const std::string& bytes) const {
        std::ofstream out(path_ / name, std::ios::binary | std::ios::trunc);
        out << bytes;
    }

private:
    std::filesystem::path path_;
};

}  // namespace ovx::testing_support
