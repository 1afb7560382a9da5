// Names built from captions: cleaning, the one sanitiser, and the three-write fallback.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <random>

#include "download/PhotoNaming.h"
#include "runtime/CodePage.h"
#include "runtime/DurableFile.h"

namespace ovx {
namespace {

namespace fs = std::filesystem;

Text L(const std::string& utf8) {
    return Utf8ToLocal(utf8);
}
std::string Repeat(const std::string& s, int n) {
    std::string out;
    for (int i = 0; i < n; ++i) out += s;
    return out;
}

TEST(PhotoNamingTest, CaptionsAndNamesAreCleanedWholeCharacters) {
    EXPECT_EQ(PrepareCaption(L("\"Hello, World? 2014\"")), L("Hello,World2014"));
    // 乗 is 81 5C in GBK: removing "\" must not cut it in half.
    EXPECT_EQ(PrepareCaption(L("乗\\/.：　（甲）")), L("乗甲"));
    EXPECT_EQ(CjkOnly(L("abc中1文!")), L("中文"));
    EXPECT_EQ(CjkOnly(L("abc")), Text());

    EXPECT_EQ(SafeNameComponent(Text(".."), OverLongName::Cut), Text());
    EXPECT_EQ(SafeNameComponent(Text("."), OverLongName::Refuse), Text());
    EXPECT_EQ(SafeNameComponent(Text("a/..\x01\x1f/b"), OverLongName::Refuse), Text("a..b"));
    // 200 characters of three UTF-8 bytes: a folder name is cut to 85 whole characters, a
    // file name is refused.
    const Text wide = L(Repeat("长", 200));
    EXPECT_EQ(SafeNameComponent(wide, OverLongName::Cut), L(Repeat("长", 85)));
    EXPECT_EQ(SafeNameComponent(wide, OverLongName::Refuse), Text());
    EXPECT_EQ(SafeNameComponent(L(Repeat("长", 85)), OverLongName::Refuse), L(Repeat("长", 85)));
}

class SavePhotoTest : public ::testing::Test {
  protected:
    void SetUp() override {
        std::random_device rd;
        folder_ = fs::temp_directory_path() / ("ovx-naming-" + std::to_string(rd()));
        fs::create_directories(folder_);
    }
    void TearDown() override { fs::remove_all(folder_); }

    PhotoToSave Photo(const std::string& caption, const std::string& number) const {
        PhotoToSave p;
        p.folder = FromPath(folder_);
        p.caption = L(caption);
        p.number = Text(number);
        p.dateText = L("2014年5月13日8时");
        p.extension = Text(".jpg");
        p.photoId = Text("77" + number);
        return p;
    }
    std::string Read(const std::string& name) const {
        std::ifstream in(folder_ / fs::path(reinterpret_cast<const char8_t*>(name.c_str())));
        return std::string(std::istreambuf_iterator<char>(in), {});
    }
    std::size_t Count() const {
        return static_cast<std::size_t>(std::distance(fs::directory_iterator(folder_), {}));
    }
    fs::path folder_;
};

TEST_F(SavePhotoTest, FallsBackToChineseCharactersThenToThePhotoId) {
    // Too long with its Latin letters; short enough without them.
    const std::string mixed = Repeat("长", 60) + Repeat("a", 100);
    const Bytes one{'1'}, two{'2'}, three{'3'};
    EXPECT_FALSE(SavePhoto(Photo(mixed, "1"), NamingScheme::CaptionDate, one).empty());
    // The same caption and second again: the second pass, too, keeps the first photo.
    EXPECT_FALSE(SavePhoto(Photo(mixed, "2"), NamingScheme::CaptionDate, two).empty());
    EXPECT_EQ(Read(Repeat("长", 60) + "(2014年5月13日8时).jpg"), "1");
    EXPECT_EQ(Read("（2）" + Repeat("长", 60) + "(2014年5月13日8时).jpg"), "2");

    // No Chinese at all: an empty content part.
    EXPECT_FALSE(SavePhoto(Photo(Repeat("b", 300), "7"), NamingScheme::CaptionNumber, one).empty());
    EXPECT_EQ(Read("(7).jpg"), "1");
    // Still too long with only its Chinese characters: the photo id.
    EXPECT_FALSE(SavePhoto(Photo(Repeat("长", 100), "8"), NamingScheme::Caption, three).empty());
    EXPECT_EQ(Read("778.jpg"), "3");
    EXPECT_EQ(Count(), 4u);  // and no temporary left behind

    // A folder that is not there: every write fails, nothing is reported as saved.
    PhotoToSave lost = Photo("甲", "9");
    lost.folder = FromPath(folder_ / "missing");
    EXPECT_TRUE(SavePhoto(lost, NamingScheme::Caption, one).empty());
}

TEST_F(SavePhotoTest, RemovesOnlyItsOwnLeftoverTemporaries) {
    std::ofstream(folder_ / ".ovx-00ff.part") << "x";
    std::ofstream(folder_ / ".ovx-.part") << "too short to be ours";
    std::ofstream(folder_ / "photo.part") << "x";
    fs::create_directory(folder_ / ".ovx-dir.part");
    EXPECT_EQ(RemoveLeftoverTemporaries(FromPath(folder_)), 1);
    EXPECT_EQ(Count(), 3u);
}

// A name that a file already carries is never taken from it: the same bytes there are this
// photo (no second copy), other bytes keep their name and the photo takes the scheme's next
// form, then "_2", "_3"… before the extension.
TEST_F(SavePhotoTest, NeverReplacesAFileThatHoldsOtherBytes) {
    struct Case {
        NamingScheme scheme;
        std::vector<std::pair<std::string, std::string>> present;  // name, bytes
        std::string bytes;
        std::string expected;  // the name that holds `bytes` afterwards
        bool alreadyThere;
    };
    const std::string dated = "甲(2014年5月13日8时).jpg";
    const std::vector<Case> cases = {
        {NamingScheme::CaptionNumber, {}, "new", "甲(3).jpg", false},
        {NamingScheme::CaptionNumber, {{"甲(3).jpg", "same"}}, "same", "甲(3).jpg", true},
        {NamingScheme::CaptionNumber, {{"甲(3).jpg", "old"}}, "new", "甲(3)_2.jpg", false},
        {NamingScheme::NumberCaption,
         {{"(3)甲.jpg", "old"}, {"(3)甲_2.jpg", "older"}},
         "new",
         "(3)甲_3.jpg",
         false},
        {NamingScheme::NumberCaption,
         {{"(3)甲.jpg", "old"}, {"(3)甲_2.jpg", "new"}},
         "new",
         "(3)甲_2.jpg",
         true},
        {NamingScheme::Caption, {{"甲.jpg", "old"}}, "new", "甲(3).jpg", false},
        {NamingScheme::Caption, {{"甲.jpg", "same"}}, "same", "甲.jpg", true},
        {NamingScheme::Caption, {{"甲.jpg", "old"}, {"甲(3).jpg", "new"}}, "new", "甲(3).jpg", true},
        {NamingScheme::Caption,
         {{"甲.jpg", "old"}, {"甲(3).jpg", "older"}},
         "new",
         "甲(3)_2.jpg",
         false},
        {NamingScheme::CaptionDate, {{dated, "old"}}, "new", "（3）" + dated, false},
        {NamingScheme::CaptionDate,
         {{dated, "old"}, {"（3）" + dated, "older"}},
         "new",
         "（3）甲(2014年5月13日8时)_2.jpg",
         false},
    };
    for (const Case& c : cases) {
        fs::remove_all(folder_);
        fs::create_directories(folder_);
        for (const auto& [name, bytes] : c.present)
            std::ofstream(folder_ / fs::path(reinterpret_cast<const char8_t*>(name.c_str())))
                << bytes;
        NewFile temporary;
        ASSERT_EQ(CreatePhotoTemporary(FromPath(folder_), temporary), 0);
        ASSERT_EQ(temporary.Write(c.bytes.data(), c.bytes.size()), 0);
        ASSERT_EQ(temporary.Finish(), 0);
        const PlacedFile placed = PlacePhoto(Photo("甲", "3"), c.scheme, temporary);
        EXPECT_EQ(LocalToUtf8(placed.path), (folder_ / c.expected).string()) << c.expected;
        EXPECT_EQ(placed.alreadyThere, c.alreadyThere) << c.expected;
        EXPECT_EQ(Read(c.expected), c.bytes) << c.expected;
        for (const auto& [name, bytes] : c.present) EXPECT_EQ(Read(name), bytes) << name;
        // Every file present stays, at most one is added, and no temporary is left.
        EXPECT_EQ(Count(), c.present.size() + (c.alreadyThere ? 0 : 1)) << c.expected;
    }
}

// A link at a name is other bytes, whatever it points to: it is neither followed nor replaced.
TEST_F(SavePhotoTest, ALinkAtANameIsLeftAsItIs) {
    std::ofstream(folder_ / "target") << "same";
    fs::create_symlink(folder_ / "target", folder_ / fs::path(u8"(1)乙.jpg"));
    EXPECT_EQ(LocalToUtf8(SavePhoto(Photo("乙", "1"), NamingScheme::NumberCaption,
                                    Bytes{'s', 'a', 'm', 'e'})),
              (folder_ / fs::path(u8"(1)乙_2.jpg")).string());
    EXPECT_TRUE(fs::is_symlink(folder_ / fs::path(u8"(1)乙.jpg")));
    EXPECT_EQ(Read("target"), "same");
    // A video beside a photo takes the photo's name, and the suffix when that is taken.
    const Text still = FromPath(folder_ / fs::path(u8"(1)乙_2.jpg"));
    EXPECT_EQ(LocalToUtf8(SaveBeside(still, Text(".mov"), Bytes{'v'})),
              (folder_ / fs::path(u8"(1)乙_2.mov")).string());
    EXPECT_EQ(LocalToUtf8(SaveBeside(still, Text(".mov"), Bytes{'w'})),
              (folder_ / fs::path(u8"(1)乙_2_2.mov")).string());
    EXPECT_EQ(LocalToUtf8(SaveBeside(still, Text(".mov"), Bytes{'v'})),
              (folder_ / fs::path(u8"(1)乙_2.mov")).string());
    EXPECT_EQ(Count(), 5u);
}

}  // namespace
}  // namespace ovx
