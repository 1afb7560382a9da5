// The bridge's own copy of the browser's cookies: something that is not a small regular file
// is neither read back at start nor replaced (which things those are is the regular-file
// reader's test; a FIFO stands for them here); an overlong line is skipped whole.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QFile>
#include <QTemporaryDir>
#include <QWebEngineProfile>
#include <filesystem>
#include <fstream>
#include <string>

#include "app/BrowserCookieBridge.h"
#include "web/CookieStore.h"

namespace ovx {
namespace {

namespace fs = std::filesystem;

class BrowserCookieBridgeTest : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_TRUE(dir_.isValid()); }

    fs::path CopyPath() const { return fs::path(QFile::encodeName(copy_).toStdString()); }
    bool StoreHas(const std::string& name) const {
        for (const Cookie& c : store_.List())
            if (c.name == name) return true;
        return false;
    }

    CookieStore store_;
    QTemporaryDir dir_;
    QString copy_ = dir_.filePath(QStringLiteral("cookies.txt"));
    QWebEngineProfile profile_;  // off the record: its cookies live in memory only
};

TEST_F(BrowserCookieBridgeTest, AFifoInPlaceOfTheCopyIsNeitherReadNorReplaced) {
    ASSERT_EQ(::mkfifo(CopyPath().c_str(), 0600), 0);
    {
        BrowserCookieBridge bridge(store_, profile_.cookieStore(), copy_, nullptr);
        EXPECT_FALSE(bridge.SaveCopy());
    }
    EXPECT_TRUE(fs::is_fifo(CopyPath()));
}

TEST_F(BrowserCookieBridgeTest, AnOverlongLineIsSkippedWholeAndTheRestIsRead) {
    {
        std::ofstream out(CopyPath(), std::ios::binary);
        // Longer than any line the reader takes, and cut where a 64 KiB line reader would cut
        // it, so that its tail is a well-formed line of its own.
        std::string head = "x.com\tFALSE\t/\tFALSE\t0\tLONG\t";
        head.resize(64 * 1024 - 1, 'v');
        out << head << "x.com\tFALSE\t/\tFALSE\t0\tTAIL\t2\n"
            << "x.com\tFALSE\t/\tFALSE\t0\tGOOD\t1\n";
    }
    BrowserCookieBridge bridge(store_, profile_.cookieStore(), copy_, nullptr);
    EXPECT_TRUE(StoreHas("GOOD"));
    EXPECT_FALSE(StoreHas("TAIL"));
    EXPECT_FALSE(StoreHas("LONG"));
    // A copy of ours is rewritten as usual.
    EXPECT_TRUE(bridge.SaveCopy());
    std::ifstream in(CopyPath(), std::ios::binary);
    const std::string saved(std::istreambuf_iterator<char>(in), {});
    EXPECT_NE(saved.find("\tGOOD\t1"), std::string::npos);
    EXPECT_EQ(saved.find("TAIL"), std::string::npos);
}

}  // namespace
}  // namespace ovx
