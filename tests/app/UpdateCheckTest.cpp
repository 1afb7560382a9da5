// The update check against a local version page: the labels for a newer whole version, a
// newer minor version and a page without markers, and a check that is stopped mid-request.
#include <gtest/gtest.h>
#include <httplib.h>

#include <QSignalSpy>
#include <QTest>
#include <memory>
#include <thread>

#include "TestInteraction.h"
#include "app/QtText.h"
#include "app/UpdateCheck.h"
#include "runtime/CodePage.h"
#include "runtime/StopFlag.h"

namespace ovx {
namespace {

constexpr int kWaitMs = 20000;

// A version page server on a free loopback port, for the lifetime of the object.
class VersionServer {
  public:
    VersionServer() {
        server_.Get("/v25", [](const httplib::Request&, httplib::Response& res) {
            res.set_content("<p>latest: #weibo@@2.5#weibo</p>", "text/html");
        });
        server_.Get("/v30", [](const httplib::Request&, httplib::Response& res) {
            res.set_content("#other@@9.0#other #weibo@@3.0#weibo", "text/plain");
        });
        server_.Get("/plain", [](const httplib::Request&, httplib::Response& res) {
            res.set_content("no markers here", "text/plain");
        });
        port_ = server_.bind_to_any_port("127.0.0.1");
        // The socket listens once bound, so requests queue until the loop runs.
        thread_ = std::thread([this] { server_.listen_after_bind(); });
    }
    ~VersionServer() {
        server_.stop();
        thread_.join();
    }
    Text Url(const char* path) const {
        return Text("http://127.0.0.1:" + std::to_string(port_) + path);
    }

  private:
    httplib::Server server_;
    int port_ = 0;
    std::thread thread_;
};

class UpdateCheckTest : public ::testing::Test {
  protected:
    void SetUp() override { InstallInteraction(&interaction_); }
    void TearDown() override { InstallInteraction(nullptr); }

    struct Outcome {
        QString latest;
        QString verdict;
        bool newer = false;
    };
    // Runs a check against `url` and waits for its result.
    static Outcome Check(const Text& url) {
        UpdateCheck check(url, Text("2.0"), Text("weibo"));
        QSignalSpy spy(&check, &UpdateCheck::Finished);
        EXPECT_TRUE(check.Start());
        EXPECT_TRUE(QTest::qWaitFor([&] { return spy.count() == 1; }, kWaitMs));
        if (spy.count() != 1) return {};
        const QList<QVariant> args = spy.takeFirst();
        return {args[0].toString(), args[1].toString(), args[2].toBool()};
    }

    testing::TestInteraction interaction_;
    VersionServer server_;
};

TEST_F(UpdateCheckTest, AMinorVersionNeedsNoUpdate) {
    const Outcome o = Check(server_.Url("/v25"));
    EXPECT_EQ(o.latest, QStringLiteral("2.5"));
    EXPECT_EQ(o.verdict, QStringLiteral("无需更新"));
    EXPECT_FALSE(o.newer);
    QCoreApplication::processEvents();
    EXPECT_TRUE(interaction_.Messages().empty());
}

TEST_F(UpdateCheckTest, ANewWholeVersionIsAnnouncedOnce) {
    interaction_.PreAnswer(kOk);
    const Outcome o = Check(server_.Url("/v30"));
    EXPECT_EQ(o.latest, QStringLiteral("3.0"));
    EXPECT_EQ(o.verdict, QStringLiteral("有新版，联系客服获取最新版！"));
    EXPECT_TRUE(o.newer);
    ASSERT_TRUE(QTest::qWaitFor([&] { return interaction_.Messages().size() == 1; }, kWaitMs));
    EXPECT_EQ(interaction_.Messages()[0].text, QStringLiteral("有新版本，联系客服索取"));
    EXPECT_EQ(interaction_.Messages()[0].caption, QStringLiteral("信息："));
}

TEST_F(UpdateCheckTest, PagesWithoutAVersionNeedNoUpdate) {
    for (const Text& url : {server_.Url("/plain"), server_.Url("/missing"), Text()}) {
        const Outcome o = Check(url);
        EXPECT_EQ(o.latest, QString()) << LocalToUtf8(url);
        EXPECT_EQ(o.verdict, QStringLiteral("无需更新"));
        EXPECT_FALSE(o.newer);
    }
}

TEST(UpdateCheckRules, ComparesWholeNumbersUnlessTheTextsAreEqual) {
    const Text tag("weibo");
    EXPECT_EQ(EvaluateVersionPage(Text("#weibo@@2.0#weibo"), Text("2.0"), tag).verdict,
              "无需更新"_t);
    EXPECT_FALSE(EvaluateVersionPage(Text("#weibo@@1.0#weibo"), Text("2.0"), tag).newer);
    EXPECT_TRUE(EvaluateVersionPage(Text("#weibo@@10#weibo"), Text("2.0"), tag).newer);
    // The right marker must follow the left one.
    EXPECT_EQ(EvaluateVersionPage(Text("#weibo #weibo@@3.0"), Text("2.0"), tag).latest, Text());
}

TEST(UpdateCheckRules, OnlyTheFirstClickOnTheSettingsTabStartsACheck) {
    UpdateCheck check(Text(), Text("2.0"), Text("weibo"));
    std::atomic<int> fetches{0};
    check.SetFetcher([&](const Text&) {
        ++fetches;
        return Text();
    });
    EXPECT_FALSE(check.OnTabClicked(1));
    EXPECT_TRUE(check.OnTabClicked(2));
    ASSERT_TRUE(QTest::qWaitFor([&] { return !check.Running(); }, kWaitMs));
    EXPECT_FALSE(check.OnTabClicked(2));
    EXPECT_FALSE(check.OnTabClicked(0));
    EXPECT_TRUE(check.AutomaticCheckDone());
    // The button still checks as often as it is clicked.
    EXPECT_TRUE(check.Start());
    ASSERT_TRUE(QTest::qWaitFor([&] { return !check.Running(); }, kWaitMs));
    EXPECT_EQ(fetches.load(), 2);
}

TEST(UpdateCheckRules, ClosingDuringARequestStopsIt) {
    std::atomic<bool> entered{false};
    auto check = std::make_unique<UpdateCheck>(Text("http://unused"), Text("2.0"), Text("weibo"));
    check->SetFetcher([&](const Text&) {
        entered = true;
        // Stands for a request that only ends when its job is stopped.
        while (!StopRequested()) CurrentStopFlag()->WaitFor(std::chrono::hours(1));
        return Text("#weibo@@9#weibo");
    });
    QSignalSpy spy(check.get(), &UpdateCheck::Finished);
    ASSERT_TRUE(check->Start());
    ASSERT_TRUE(QTest::qWaitFor([&] { return entered.load(); }, kWaitMs));
    EXPECT_FALSE(check->Start()) << "a second check while one runs";
    check.reset();  // must return: the destructor stops and joins the worker
    QCoreApplication::processEvents();
    EXPECT_EQ(spy.count(), 0);
}

}  // namespace
}  // namespace ovx
