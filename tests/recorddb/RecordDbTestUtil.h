#pragma once
// Helpers shared by the record database tests.

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "runtime/CodePage.h"
#include "runtime/recorddb/DbTypes.h"

namespace ovx::testing {

// A fresh folder below the system's temporary folder, removed with its contents.
class TempFolder {
  public:
    TempFolder() {
        std::string pattern = (std::filesystem::temp_directory_path() / "ovx-rdb-XXXXXX").string();
        path_ = mkdtemp(pattern.data());
    }
    ~TempFolder() {
        std::error_code ec;
        std::filesystem::remove_all(path_, ec);
    }
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    // A Text path of a name inside the folder.
    Text operator/(const char* name) const { return FromPath(path_ / name); }
    const std::filesystem::path& path() const { return path_; }

  private:
    std::filesystem::path path_;
};

inline std::string ReadAll(const Text& path) {
    std::ifstream in(ToPath(path), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

inline void WriteAll(const Text& path, const std::string& bytes) {
    std::ofstream out(ToPath(path), std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

inline std::int32_t I32At(const std::string& b, std::size_t at) {
    std::uint32_t v = 0;
    for (int i = 3; i >= 0; --i)
        v = v << 8 | static_cast<std::uint8_t>(b[at + static_cast<std::size_t>(i)]);
    return static_cast<std::int32_t>(v);
}

inline std::vector<DbFieldSpec> PhotoFields() {
    return {{Text("photo_id"), kFieldText, 20}};
}

inline Text TextOf(const DbValue& v) {
    const Text* t = std::get_if<Text>(&v);
    return t ? *t : Text("<not text>");
}

}  // namespace ovx::testing
