// The command line's own pieces that the child-process tests cannot reach precisely.

#include <gtest/gtest.h>

#include "cli/AlbumSelection.h"
#include "cli/CliOptions.h"
#include "cli/CliView.h"
#include "cli/ProgressLine.h"
#include "runtime/CodePage.h"

namespace ovx {
namespace {

TEST(AlbumSelectionTest, RangesAndTheFirstNumberBeyondTheAlbums) {
    auto selection = AlbumSelection::Parse("1,5-9,3");
    ASSERT_TRUE(selection);
    EXPECT_TRUE(selection->Contains(7));
    EXPECT_FALSE(selection->Contains(4));
    EXPECT_EQ(selection->FirstBeyond(6), 7);
    EXPECT_EQ(selection->FirstBeyond(9), 0);
    EXPECT_EQ(selection->FirstBeyond(2), 3);
    // A huge range costs nothing and names its first missing album.
    EXPECT_EQ(AlbumSelection::Parse("2-1000000000")->FirstBeyond(4), 5);
    for (const char* bad : {"", ",", "1,", "-3", "2-", "1-2-3", "+1", "1 ,2", "1000000001"}) {
        EXPECT_FALSE(AlbumSelection::Parse(bad)) << bad;
    }
}

TEST(CliDateTest, CalendarDatesOnly) {
    EXPECT_TRUE(ParseCliDate("2016-02-29"));
    EXPECT_TRUE(ParseCliDate("2014-1-5"));
    for (const char* bad : {"2015-02-29", "2014-13-01", "2014-00-10", "2014-12-32", "2014-12",
                            "2014-012-01", "14-12-10x", "2014/12/10", ""}) {
        EXPECT_FALSE(ParseCliDate(bad)) << bad;
    }
    EXPECT_LT(*ParseCliDate("2014-12-10"), *ParseCliDate("2014-12-25"));
}

TEST(ProgressLineTest, FitsTheTerminalWithoutCuttingACharacter) {
    // 中 is three bytes of UTF-8 and two columns wide.
    EXPECT_EQ(ProgressLine::FitColumns("ab中文", 3), "ab");
    EXPECT_EQ(ProgressLine::FitColumns("ab中文", 4), "ab中");
    EXPECT_EQ(ProgressLine::FitColumns("abc", 10), "abc");
    ProgressLine line;
    line.SetLabel(ViewLabel::CurrentAlbum, "下载到第[1]个相册");
    line.SetProgress(50, 100);
    line.SetLabel(ViewLabel::Percent, "50%");
    EXPECT_EQ(line.Render(), "[############------------]  50%  下载到第[1]个相册");
    // One column is kept free: 39 columns hold three of the wide characters.
    EXPECT_EQ(line.Render(40), "[############------------]  50%  下载到");
}

// Text from the service reaches a terminal: nothing in it may move the cursor, change colours
// or turn the direction of what follows, and everything else arrives unchanged.
TEST(PrintableUtf8Test, ControlsAndDirectionMarksBecomeSpacesAndTheRestIsKept) {
    struct Case {
        const char* in;
        const char* lines;    // with line breaks and tabs kept
        const char* oneLine;  // on one line
    } cases[] = {
        {"相册 乗 é — ½", "相册 乗 é — ½", "相册 乗 é — ½"},
        {"a\r\nb\tc\nd", "a\nb\tc\nd", "a b c d"},
        {"\x1b[2J\x07x\x7f", " [2J x ", " [2J x "},
        // C1 controls: U+009B is the one-character form of ESC [.
        {"\u0085a\u009b2Jb\u0080", " a 2Jb ", " a 2Jb "},
        // Marks, embeddings, overrides and isolates, each between two characters that stay.
        {"gpj.\u202eexe", "gpj. exe", "gpj. exe"},
        {"1\u202a2\u202b3\u202c4\u202d5", "1 2 3 4 5", "1 2 3 4 5"},
        {"1\u20662\u20673\u20684\u20695", "1 2 3 4 5", "1 2 3 4 5"},
        {"1\u200e2\u200f3\u061c4", "1 2 3 4", "1 2 3 4"},
        // Their neighbours in the code chart are ordinary characters.
        {"\u00a0\u00a9\u200d\u2029\u202f\u2065\u2070\u060c",
         "\u00a0\u00a9\u200d\u2029\u202f\u2065\u2070\u060c",
         "\u00a0\u00a9\u200d\u2029\u202f\u2065\u2070\u060c"},
    };
    for (const Case& c : cases) {
        const Text local = Utf8ToLocal(c.in);
        ASSERT_EQ(LocalToUtf8(local), c.in) << "the local code page holds every character";
        EXPECT_EQ(PrintableUtf8(local, false), c.lines) << c.in;
        EXPECT_EQ(PrintableUtf8(local, true), c.oneLine) << c.in;
    }
}

}  // namespace
}  // namespace ovx
