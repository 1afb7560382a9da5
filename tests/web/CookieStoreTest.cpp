#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>

#include "WebTestSupport.h"
#include "web/CookieStore.h"

namespace ovx {
namespace {

class CookieStoreTest : public test::WebTest {
  protected:
    static const Cookie* Find(const std::vector<Cookie>& all, const std::string& name) {
        auto it =
            std::find_if(all.begin(), all.end(), [&](const Cookie& c) { return c.name == name; });
        return it == all.end() ? nullptr : &*it;
    }
};

TEST_F(CookieStoreTest, ImportListReplaceRemove) {
    CookieStore& store = store_;
    ASSERT_TRUE(store.Import({.name = "SUB",
                              .value = "v1",
                              .domain = ".weibo.com",
                              .path = "/",
                              .secure = true,
                              .httpOnly = true,
                              .expires = 4102444800}));
    ASSERT_TRUE(store.Import({.name = "host", .value = "h", .domain = "photo.weibo.com"}));
    ASSERT_TRUE(store.Import({.name = "SUB", .value = "v2", .domain = ".weibo.com"}));
    auto all = store.List();
    ASSERT_EQ(all.size(), 2u);
    const Cookie* sub = Find(all, "SUB");
    ASSERT_NE(sub, nullptr);
    EXPECT_EQ(sub->value, "v2");
    EXPECT_EQ(sub->domain, ".weibo.com");
    const Cookie* host = Find(all, "host");
    ASSERT_NE(host, nullptr);
    EXPECT_EQ(host->domain, "photo.weibo.com");

    store.Remove("SUB", ".weibo.com", "/");
    all = store.List();
    ASSERT_EQ(all.size(), 1u);
    EXPECT_EQ(all[0].name, "host");
    store.Clear();
    EXPECT_TRUE(store.List().empty());
}

TEST_F(CookieStoreTest, RejectsFieldsThatWouldBreakTheFormat) {
    CookieStore& store = store_;
    EXPECT_FALSE(store.Import({.name = "a\tb", .value = "v", .domain = "x.com"}));
    EXPECT_FALSE(
        store.Import({.name = "a", .value = "v\r\nSet-Cookie: evil=1", .domain = "x.com"}));
    EXPECT_FALSE(store.Import({.name = "", .value = "v", .domain = "x.com"}));
    EXPECT_FALSE(store.Import({.name = "a", .value = "v", .domain = ""}));
    EXPECT_FALSE(store.ImportLine("x\ny"));
    EXPECT_TRUE(store.List().empty());
}

TEST_F(CookieStoreTest, SaveAndLoadRoundTrip) {
    CookieStore& store = store_;
    store.Import({.name = "a",
                  .value = "1 2",
                  .domain = ".x.com",
                  .path = "/p",
                  .secure = true,
                  .httpOnly = true,
                  .expires = 4102444800});
    store.Import({.name = "b", .value = "", .domain = "y.com"});
    const auto file = std::filesystem::temp_directory_path() / "ovx_cookie_roundtrip.txt";
    ASSERT_TRUE(store.Save(file));
    const auto before = store.List();
    store.Clear();
    {
        std::ofstream extra(file, std::ios::app | std::ios::binary);
        extra << "# a comment\r\n\r\nnot a cookie line\n" << std::string(20000, 'z') << "\n";
    }
    ASSERT_TRUE(store.Load(file));
    const auto after = store.List();
    ASSERT_EQ(after.size(), before.size());
    const Cookie* a = Find(after, "a");
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(a->value, "1 2");
    EXPECT_EQ(a->path, "/p");
    EXPECT_TRUE(a->secure);
    EXPECT_TRUE(a->httpOnly);
    EXPECT_EQ(a->expires, 4102444800);
    std::filesystem::remove(file);
    EXPECT_FALSE(store.Load(file));
}

// A line too long to be a cookie is dropped whole, whatever its tail looks like. (Which files
// are not read at all is the regular-file reader's test: Load only reports that as false.)
TEST_F(CookieStoreTest, OverlongLinesAreSkippedWhole) {
    namespace fs = std::filesystem;
    CookieStore& store = store_;
    store.Clear();
    const fs::path dir =
        fs::temp_directory_path() / ("ovx_cookie_files_" + std::to_string(::getpid()));
    fs::create_directories(dir);
    const fs::path file = dir / "cookies.txt";
    {
        std::ofstream out(file, std::ios::binary);
        out << "x.com\tFALSE\t/\tFALSE\t0\tLONG\t" << std::string(70000, 'v') << "\t"
            << "x.com\tFALSE\t/\tFALSE\t0\tTAIL\t2\n"
            << "x.com\tFALSE\t/\tFALSE\t0\tGOOD\t1\n";
    }
    ASSERT_TRUE(store.Load(file));
    const auto loaded = store.List();
    ASSERT_EQ(loaded.size(), 1u);
    EXPECT_EQ(loaded[0].name, "GOOD");
    fs::remove_all(dir);
}

}  // namespace
}  // namespace ovx
