#include <gtest/gtest.h>

#include "runtime/CodePage.h"
#include "runtime/Fatal.h"
#include "runtime/Interaction.h"

namespace ovx {
namespace {

class RecordingInteraction : public ConsoleInteraction {
public:
    using ConsoleInteraction::ConsoleInteraction;
    int ShowMessage(const Text& content, int flags, const Text& caption) override {
        content_ = content;
        flags_ = flags;
        caption_ = caption;
        return ConsoleInteraction::ShowMessage(content, flags, caption);
    }
    Text content_, caption_;
    int flags_ = -1;
};

class ScopedInteraction {
public:
    explicit ScopedInteraction(Interaction* i) { InstallInteraction(i); }
    ~ScopedInteraction() { InstallInteraction(nullptr); }
};

TEST(Fatal, MessageLayout) {
    EXPECT_EQ(FatalErrorText(1, "数组成员引用下标超出定义范围"_t),
              "运行时出错!\r\n\r\n错误代码：1\r\n\r\n错误信息：数组成员引用下标超出定义范围\r\n"_t);
    EXPECT_EQ(FatalErrorText(std::nullopt, Text("x")), "运行时出错!\r\n\r\n错误信息：x\r\n"_t);
}

TEST(FatalDeathTest, ShowsTheErrorAndExitsWithMinusOne) {
    // The console interaction prints the box on stderr as UTF-8.
    EXPECT_EXIT(FatalError(4, "数组成员引用下标必须大于等于1"_t), testing::ExitedWithCode(255),
                "错误.*运行时出错!.*错误代码：4.*错误信息：数组成员引用下标必须大于等于1");
}

TEST(Interaction, FreeShowMessageAddsCaptionAndTaskModal) {
    RecordingInteraction rec(kYes);
    ScopedInteraction scope(&rec);
    EXPECT_EQ(ShowMessage(Text("hi"), kMbYesNo), kYes);
    EXPECT_EQ(rec.caption_, "信息："_t);
    EXPECT_EQ(rec.flags_, kMbYesNo | kMbTaskModal);
    ShowMessage(Text("hi"), kMbSystemModal | kMbIconError, "标题"_t);
    EXPECT_EQ(rec.flags_, kMbSystemModal | kMbIconError);
    EXPECT_EQ(rec.caption_, "标题"_t);
    ShowMessage(Text("hi"), kMbOk, Text());
    EXPECT_EQ(rec.caption_, Text());
}

TEST(Interaction, InstallingNullRestoresTheConsole) {
    RecordingInteraction rec;
    InstallInteraction(&rec);
    EXPECT_EQ(&CurrentInteraction(), &rec);
    InstallInteraction(nullptr);
    EXPECT_NE(&CurrentInteraction(), &rec);
    EXPECT_EQ(ShowMessage(Text("console")), kOk);
}

}  // namespace
}  // namespace ovx
