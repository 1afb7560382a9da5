#include <gtest/gtest.h>

#include <filesystem>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "TempFolder.h"
#include "runtime/Profile.h"
#include "runtime/SettingsFile.h"

namespace ovx {
namespace {

using testing_support::TempFolder;

class Profile : public ::testing::Test {
protected:
    Text Read(const char* section, const char* key, const Text& fallback = Text()) {
        return ReadIniValue(file_, Text(section), Text(key), fallback);
    }
    TempFolder dir_;
    Text file_ = dir_.Local("配置.ini");
    std::string Content() { return dir_.Read("配置.ini"); }
    void SetContent(const std::string& s) { dir_.Write("配置.ini", s); }
};

TEST_F(Profile, MatchingIgnoresCaseAndBlanks) {
    SetContent("top=1\r\n[ Main ]\r\n  Name = \"quoted\" \r\nplain= a b \r\nbare\r\n;c=1\r\n"
               "[main]\r\nname=second\r\n[other]\r\nx='y'\r\nq=\"unbalanced'\r\n");
    EXPECT_EQ(Read("main", "NAME"), Text("quoted"));
    EXPECT_EQ(Read("  main", "\tname "), Text("quoted"));
    EXPECT_EQ(Read("main", "plain"), Text("a b"));
    EXPECT_EQ(Read("main", "bare", Text("def  ")), Text("def"));
    EXPECT_EQ(Read("main", ";c"), Text());
    EXPECT_EQ(Read("main", "top", Text("d")), Text("d"));
    EXPECT_EQ(Read("other", "x"), Text("y"));
    EXPECT_EQ(Read("other", "q"), Text("\"unbalanced'"));
    EXPECT_EQ(Read("none", "x", Text("d")), Text("d"));
}

TEST_F(Profile, EmptyNamesReadNothing) {
    SetContent("[s]\nk=v\n");
    EXPECT_EQ(ReadIniValue(file_, Text(), Text("k"), Text("d")), Text());
    EXPECT_EQ(ReadIniValue(file_, Text(" \x01"), Text("k"), Text("d")), Text());
    EXPECT_EQ(ReadIniValue(file_, Text("s"), Text("  "), Text("d")), Text());
    EXPECT_EQ(ReadIniValue(Text(" "), Text("s"), Text("k"), Text("d")), Text());
    EXPECT_EQ(ReadIniValue(Text("\x01") + file_, Text("s"), Text("k")), Text("v"));
    EXPECT_EQ(ReadIniValue(dir_.Local("missing.ini"), Text("s"), Text("k"), Text("d")), Text("d"));
}

TEST_F(Profile, ChineseNamesWithAsciiLookingTrailBytes) {
    // 乗 (81 5C) and 81 5D, whose trail byte is ']', in a section name; 81 41 ('A') in a key.
    Text section = "全局设置乗"_t + Text("\x81\x5D");
    Text key = "保存位置"_t + Text("\x81\x41");
    ASSERT_TRUE(WriteIniValue(file_, section, key, "D:\\相册"_t));
    EXPECT_EQ(ReadIniValue(file_, section, key), "D:\\相册"_t);
    EXPECT_EQ(ReadIniValue(file_, section, "保存位置"_t + Text("\x81\x61")), Text());
}

TEST_F(Profile, LongValuesAreCut) {
    std::string big(20000, 'v');
    SetContent("[s]\r\nk=" + big + "\r\n");
    EXPECT_EQ(Read("s", "k").size(), static_cast<std::size_t>(kMaxIniValue));
    EXPECT_EQ(Read("s", "none", Text(big)).size(), static_cast<std::size_t>(kMaxIniValue));
}

TEST_F(Profile, WritesKeepOtherLinesByteForByte) {
    SetContent("; header\n[a]\nk1 = old \nk2=x\n\n[b]\nz=1");
    ASSERT_TRUE(WriteIniValue(file_, Text("A"), Text("K1"), Text("new")));
    EXPECT_EQ(Content(), "; header\n[a]\nk1=new\nk2=x\n\n[b]\nz=1");
    ASSERT_TRUE(WriteIniValue(file_, Text("a"), Text("k3"), Text("3")));
    EXPECT_EQ(Content(), "; header\n[a]\nk1=new\nk2=x\nk3=3\n\n[b]\nz=1");
    ASSERT_TRUE(WriteIniValue(file_, Text("b"), Text("y"), Text("2")));
    EXPECT_EQ(Content(), "; header\n[a]\nk1=new\nk2=x\nk3=3\n\n[b]\nz=1\ny=2\n");
    ASSERT_TRUE(WriteIniValue(file_, Text("c"), Text("k"), Text("v")));
    EXPECT_EQ(Content(), "; header\n[a]\nk1=new\nk2=x\nk3=3\n\n[b]\nz=1\ny=2\n[c]\nk=v\n");
    EXPECT_EQ(Read("a", "k1"), Text("new"));
}

TEST_F(Profile, DeletesKeysAndSections) {
    SetContent("[a]\r\nk1=1\r\nk2=2\r\n[b]\r\nk=3\r\n");
    ASSERT_TRUE(WriteIniValue(file_, Text("a"), Text("k1"), std::nullopt));
    EXPECT_EQ(Content(), "[a]\r\nk2=2\r\n[b]\r\nk=3\r\n");
    ASSERT_TRUE(WriteIniValue(file_, Text("a"), Text("gone"), std::nullopt));
    ASSERT_TRUE(WriteIniValue(file_, Text("a"), std::nullopt, std::nullopt));
    EXPECT_EQ(Content(), "[b]\r\nk=3\r\n");
    ASSERT_TRUE(WriteIniValue(file_, Text("missing"), std::nullopt, std::nullopt));
    EXPECT_EQ(Content(), "[b]\r\nk=3\r\n");
}

TEST_F(Profile, NewFilesUseCrlfAndWritesCreateTheFile) {
    ASSERT_TRUE(WriteIniValue(file_, "全局设置"_t, "下载记录"_t, "已启用"_t));
    ASSERT_TRUE(WriteIniValue(file_, "全局设置"_t, "时间段"_t, "未启用"_t));
    EXPECT_EQ(Content(), ("[全局设置]\r\n下载记录=已启用\r\n时间段=未启用\r\n"_t).bytes());
    EXPECT_EQ(ReadIniValue(file_, "全局设置"_t, "下载记录"_t), "已启用"_t);
}

TEST_F(Profile, ValuesCannotAddLines) {
    ASSERT_TRUE(WriteIniValue(file_, Text("s"), Text("k"), Text("v\r\n[evil]\r\nx=1")));
    EXPECT_EQ(Read("s", "k"), Text("v"));
    EXPECT_EQ(Read("evil", "x", Text("none")), Text("none"));
}

TEST_F(Profile, FailedWritesKeepTheOldFile) {
    EXPECT_FALSE(WriteIniValue(dir_.Local("no/such/dir/x.ini"), Text("s"), Text("k"), Text("v")));
    EXPECT_FALSE(WriteIniValue(Text(), Text("s"), Text("k"), Text("v")));
    EXPECT_FALSE(WriteIniValue(file_, Text(" "), Text("k"), Text("v")));
    // A folder where the file should be cannot be replaced.
    std::filesystem::create_directory(dir_.path() / "folder.ini");
    EXPECT_FALSE(WriteIniValue(dir_.Local("folder.ini"), Text("s"), Text("k"), Text("v")));
    EXPECT_TRUE(std::filesystem::is_directory(dir_.path() / "folder.ini"));
    // A read-only file stays as it is.
    SetContent("[s]\nk=v\n");
    std::filesystem::permissions(dir_.path() / "配置.ini", std::filesystem::perms::owner_read);
    EXPECT_FALSE(WriteIniValue(file_, Text("s"), Text("k"), Text("w")));
    EXPECT_EQ(Read("s", "k"), Text("v"));
    std::filesystem::permissions(dir_.path() / "配置.ini", std::filesystem::perms::owner_all);
    // No temporary files are left behind.
    SetContent("[s]\nk=v\n");
    ASSERT_TRUE(WriteIniValue(file_, Text("s"), Text("k"), Text("w")));
    auto entries = std::distance(std::filesystem::directory_iterator(dir_.path()),
                                 std::filesystem::directory_iterator());
    EXPECT_EQ(entries, 2);  // the settings file and the folder
}

TEST_F(Profile, GarbageAndHugeFilesAreReadSafely) {
    std::mt19937 rng(7);
    std::string garbage(1 << 20, '\0');
    for (char& c : garbage) c = static_cast<char>(rng());
    SetContent(garbage);
    EXPECT_EQ(Read("s", "k", Text("d")), Text("d"));
    ASSERT_TRUE(WriteIniValue(file_, Text("s"), Text("k"), Text("v")));
    EXPECT_EQ(Read("s", "k"), Text("v"));

    // Megabytes of keys, the wanted one last, and a huge line without breaks, within the cap.
    std::string many = "[s]\n";
    for (int i = 0; i < 150000; ++i) many += "key" + std::to_string(i) + "=value\n";
    many += "last=found\n[t]\n" + std::string(1 << 20, '[') + "\n";
    ASSERT_LE(many.size(), kMaxSettingsFileBytes);
    SetContent(many);
    EXPECT_EQ(Read("s", "last"), Text("found"));
    EXPECT_EQ(Read("t", "x", Text("d")), Text("d"));

    // Past the cap the file is no settings file: absent for reading, left alone by writing.
    many.resize(kMaxSettingsFileBytes + 1, '\n');
    SetContent(many);
    EXPECT_EQ(Read("s", "last", Text("d")), Text("d"));
    EXPECT_FALSE(WriteIniValue(file_, Text("s"), Text("k"), Text("v")));
    EXPECT_EQ(Content().size(), kMaxSettingsFileBytes + 1);
}

TEST_F(Profile, ConcurrentWritersLoseNoKey) {
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([this, t] {
            for (int i = 0; i < 25; ++i)
                WriteIniValue(file_, Text("s"), Text("k" + std::to_string(t) + "_" + std::to_string(i)),
                              Text("v"));
        });
    for (auto& th : threads) th.join();
    for (int t = 0; t < 4; ++t)
        for (int i = 0; i < 25; ++i)
            EXPECT_EQ(Read("s", ("k" + std::to_string(t) + "_" + std::to_string(i)).c_str()), Text("v"));
}

}  // namespace
}  // namespace ovx
