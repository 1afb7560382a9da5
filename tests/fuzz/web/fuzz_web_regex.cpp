// Feeds random patterns, subjects and replacements to RegexObject: it must neither crash nor
// hang, and replacing every match by itself must give back the subject.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "runtime/CodePage.h"
#include "web/RegexObject.h"

#include "../FuzzInput.h"

namespace {

using ovx::fuzz::Check;

// The next piece of the input, up to a zero byte (which a Text cannot hold anyway).
std::string Piece(const std::uint8_t*& data, std::size_t& size) {
    return ovx::fuzz::TakePiece(data, size, 0);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    const std::uint8_t flags = *data++;
    --size;
    const ovx::Text pattern(Piece(data, size));
    const ovx::Text subject(Piece(data, size));
    const ovx::Text replacement(Piece(data, size));

    ovx::RegexObject re;
    if (!re.Create(pattern, subject, flags & 1, flags & 2, flags & 4, flags & 8)) {
        Check(re.MatchCount() == 0 && re.SubMatchCount() == 0 && re.Replace(replacement).empty());
        return 0;
    }
    const int count = re.MatchCount();
    Check(count >= 0 && count <= static_cast<int>(subject.size()) + 1);
    for (int i = 0; i <= count + 1 && i < 64; ++i) {
        int position = 0;
        ovx::Text match = re.MatchText(i, &position);
        Check(i >= 1 && i <= count ? position >= 1 : position == -1 && match.empty());
        for (int g = 0; g <= re.SubMatchCount() + 1 && g < 8; ++g) re.SubMatchText(i, g, &position);
    }
    Check(re.Replace(ovx::Text("$&")) == ovx::Utf8ToLocal(ovx::LocalToUtf8(subject)));
    re.Replace(replacement);
    return 0;
}
