#include "runtime/CodePage.h"

#include <iconv.h>

#include <cerrno>
#include <cstring>

namespace ovx {
namespace {

constexpr const char* kLocalCodePage = "GB18030";

// One converter per direction and thread; iconv descriptors are not thread-safe.
class Converter {
  public:
    Converter(const char* to, const char* from) : cd_(iconv_open(to, from)) {}
    ~Converter() {
        if (ok()) iconv_close(cd_);
    }
    Converter(const Converter&) = delete;
    Converter& operator=(const Converter&) = delete;

    bool ok() const { return cd_ != reinterpret_cast<iconv_t>(-1); }

    // Converts all of `in`; an unconvertible or incomplete sequence costs one input byte
    // and emits `replacement` instead.
    std::string Convert(std::string_view in, std::string_view replacement) {
        std::string out;
        if (!ok()) return std::string(in);
        iconv(cd_, nullptr, nullptr, nullptr, nullptr);
        out.reserve(in.size() * 3 / 2 + 8);
        char* src = const_cast<char*>(in.data());
        std::size_t srcLeft = in.size();
        char buffer[4096];
        while (srcLeft > 0) {
            char* dst = buffer;
            std::size_t dstLeft = sizeof buffer;
            std::size_t rc = iconv(cd_, &src, &srcLeft, &dst, &dstLeft);
            out.append(buffer, static_cast<std::size_t>(dst - buffer));
            if (rc == static_cast<std::size_t>(-1)) {
                if (errno == E2BIG) continue;
                // EILSEQ or EINVAL: skip the offending byte.
                out.append(replacement);
                ++src;
                --srcLeft;
                iconv(cd_, nullptr, nullptr, nullptr, nullptr);
            }
        }
        char* dst = buffer;
        std::size_t dstLeft = sizeof buffer;
        iconv(cd_, nullptr, nullptr, &dst, &dstLeft);
        out.append(buffer, static_cast<std::size_t>(dst - buffer));
        return out;
    }

  private:
    iconv_t cd_;
};

}  // namespace

Text Utf8ToLocal(std::string_view utf8) {
    thread_local Converter toLocal(kLocalCodePage, "UTF-8");
    return Text(toLocal.Convert(utf8, "?"));
}

std::string LocalToUtf8(const Text& text) {
    thread_local Converter toUtf8("UTF-8", kLocalCodePage);
    return toUtf8.Convert(text.view(), "\xEF\xBF\xBD");
}

std::filesystem::path ToPath(const Text& text) {
    return std::filesystem::path(
        std::u8string(reinterpret_cast<const char8_t*>(LocalToUtf8(text).c_str())));
}

Text FromPath(const std::filesystem::path& path) {
    std::u8string u8 = path.u8string();
    return Utf8ToLocal(std::string_view(reinterpret_cast<const char*>(u8.data()), u8.size()));
}

Text Utf8PageToText(const Bytes& page) {
    if (page.empty()) return Text();
    const auto* begin = reinterpret_cast<const char*>(page.data());
    const void* zero = std::memchr(begin, 0, page.size());
    const std::size_t n =
        zero ? static_cast<std::size_t>(static_cast<const char*>(zero) - begin) : page.size();
    return Utf8ToLocal(std::string_view(begin, n));
}

}  // namespace ovx
