// The window's side of the runtime: message boxes from the window and from workers,
// pre-answered boxes, appending to the log box, shell open and the finishing sound.
#include <gtest/gtest.h>

#include <QApplication>
#include <QFile>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QVBoxLayout>
#include <atomic>
#include <thread>

#include "TestInteraction.h"
#include "app/QtText.h"

namespace ovx {
namespace {

constexpr int kWaitMs = 20000;

QMessageBox* VisibleBox() {
    for (QWidget* w : QApplication::topLevelWidgets()) {
        if (auto* box = qobject_cast<QMessageBox*>(w); box != nullptr && box->isVisible())
            return box;
    }
    return nullptr;
}

TEST(GuiInteractionTest, AWorkersMessageBoxBlocksOnlyThatWorkerUntilAnswered) {
    testing::TestInteraction gui;
    std::atomic<int> answer{-1};
    std::thread worker(
        [&] { answer = gui.ShowMessage("要继续吗？"_t, kMbYesNo | kMbIconQuestion, Text()); });

    ASSERT_TRUE(QTest::qWaitFor([] { return VisibleBox() != nullptr; }, kWaitMs));
    QMessageBox* box = VisibleBox();
    EXPECT_EQ(box->text(), QStringLiteral("要继续吗？"));
    EXPECT_EQ(box->windowTitle(), QStringLiteral("信息："));
    EXPECT_EQ(box->icon(), QMessageBox::Question);
    // The window keeps running while the worker waits.
    QTest::qWait(50);
    EXPECT_EQ(answer.load(), -1);

    box->button(QMessageBox::No)->click();
    EXPECT_TRUE(QTest::qWaitFor([&] { return answer.load() != -1; }, kWaitMs));
    worker.join();
    EXPECT_EQ(answer.load(), kNo);
}

TEST(GuiInteractionTest, PreAnsweredBoxesAreRecordedAndNeverShown) {
    testing::TestInteraction gui;
    gui.PreAnswer(kYes);
    gui.PreAnswer(kCancel);
    EXPECT_EQ(gui.ShowMessage("第一"_t, kMbYesNo, Text()), kYes);
    int fromWorker = -1;
    std::thread([&] { fromWorker = gui.ShowMessage("第二"_t, kMbOkCancel, "错误"_t); }).join();
    EXPECT_EQ(fromWorker, kCancel);
    EXPECT_EQ(VisibleBox(), nullptr);

    const auto messages = gui.Messages();
    ASSERT_EQ(messages.size(), 2u);
    EXPECT_EQ(messages[0].text, QStringLiteral("第一"));
    EXPECT_EQ(messages[0].caption, QStringLiteral("信息："));
    EXPECT_EQ(messages[1].caption, QStringLiteral("错误"));
    EXPECT_EQ(messages[1].flags, kMbOkCancel);
}

TEST(GuiInteractionTest, ShutdownReleasesWaitingWorkersWithTheirCancelAnswer) {
    auto gui = std::make_unique<GuiInteraction>();
    std::atomic<int> answer{-1};
    std::thread worker([&] { answer = gui->ShowMessage(Text("?"), kMbOkCancel, Text()); });
    ASSERT_TRUE(QTest::qWaitFor([] { return VisibleBox() != nullptr; }, kWaitMs));

    gui->Shutdown();
    EXPECT_TRUE(QTest::qWaitFor([&] { return answer.load() != -1; }, kWaitMs));
    worker.join();
    EXPECT_EQ(answer.load(), kCancel);
    EXPECT_TRUE(QTest::qWaitFor([] { return VisibleBox() == nullptr; }, kWaitMs));

    // Later boxes return at once, from any thread.
    EXPECT_EQ(gui->ShowMessage(Text("late"), kMbYesNo, Text()), kNo);
    int late = -1;
    std::thread([&] { late = gui->ShowMessage(Text("late"), kMbOk, Text()); }).join();
    EXPECT_EQ(late, kOk);

    // Destroying it while a worker is inside ShowMessage must not leave the worker hanging.
    auto gui2 = std::make_unique<GuiInteraction>();
    std::atomic<int> answer2{-1};
    std::thread worker2([&] { answer2 = gui2->ShowMessage(Text("?"), kMbYesNo, Text()); });
    ASSERT_TRUE(QTest::qWaitFor([] { return VisibleBox() != nullptr; }, kWaitMs));
    gui2.reset();
    worker2.join();
    EXPECT_EQ(answer2.load(), kNo);
    EXPECT_TRUE(QTest::qWaitFor([] { return VisibleBox() == nullptr; }, kWaitMs));
}

TEST(GuiInteractionTest, AppendedTextGoesToTheEndInCallOrder) {
    QWidget window;
    auto* log = new QPlainTextEdit(&window);
    log->setObjectName(QStringLiteral("编辑框_操作记录"));
    auto* line = new QLineEdit(&window);
    line->setObjectName(QStringLiteral("编辑框_号码"));
    testing::TestInteraction gui;
    gui.SetRoot(&window);

    log->setPlainText(QStringLiteral("旧的\n"));
    log->moveCursor(QTextCursor::Start);  // the user clicked at the top: appends still go last
    gui.AppendEditText("编辑框_操作记录", {"开始下载\r\n"_t});
    std::thread worker([&] {
        for (int i = 0; i < 50; ++i)
            gui.AppendEditText("编辑框_操作记录", {Text(std::to_string(i)), Text(",")});
        gui.AppendEditText("编辑框_操作记录", {"完毕\r\n\r\n"_t});
    });
    worker.join();
    QString expected = QStringLiteral("旧的\n开始下载\n");
    for (int i = 0; i < 50; ++i) expected += QString::number(i) + QLatin1Char(',');
    expected += QStringLiteral("完毕\n\n");
    EXPECT_TRUE(QTest::qWaitFor([&] { return log->toPlainText() == expected; }, kWaitMs))
        << log->toPlainText().toStdString();

    line->setText(QStringLiteral("http://"));
    gui.AppendEditText("编辑框_号码", {Text("weibo.com")});
    EXPECT_EQ(line->text(), QStringLiteral("http://weibo.com"));
    // An unknown box is ignored.
    gui.AppendEditText("编辑框_不存在", {Text("x")});
}

TEST(GuiInteractionTest, ShellOpenHandsTheTargetToTheDesktopOnTheWindowThread) {
    testing::TestInteraction gui;
    std::vector<std::pair<int, QString>> opened;
    std::vector<bool> onWindowThread;
    gui.SetShellOpenHandler([&](int verb, const QString& target) {
        opened.emplace_back(verb, target);
        onWindowThread.push_back(QThread::currentThread() == gui.thread());
        return true;
    });
    EXPECT_TRUE(gui.ShellOpen(4, Text("https://example.org/help"), Text(), Text(), 1));
    EXPECT_FALSE(gui.ShellOpen(4, Text(), Text(), Text(), 1)) << "nothing to open";
    std::thread([&] { gui.ShellOpen(2, "/照片"_t, Text(), Text(), 1); }).join();
    ASSERT_TRUE(QTest::qWaitFor([&] { return opened.size() == 2; }, kWaitMs));
    EXPECT_EQ(opened[0], std::make_pair(4, QStringLiteral("https://example.org/help")));
    EXPECT_EQ(opened[1], std::make_pair(2, QStringLiteral("/照片")));
    EXPECT_EQ(onWindowThread, std::vector<bool>({true, true}));
}

TEST(GuiInteractionTest, SoundWithoutAFileIsSilentAndNoError) {
    testing::TestInteraction gui;
    gui.PlayMp3(1, {Text()});
    EXPECT_TRUE(gui.PlayedFiles().isEmpty());
    gui.PlayMp3(0, {Text("/nowhere/done.mp3")});
    EXPECT_TRUE(gui.PlayedFiles().isEmpty());

    QTemporaryDir dir;
    const QString missing = dir.path() + QStringLiteral("/没有.mp3");
    gui.PlayMp3(1, {FromQString(missing)});
    std::thread([&] { gui.PlayMp3(1, {FromQString(missing)}); }).join();
    QTest::qWait(20);
    EXPECT_EQ(gui.PlayedFiles(), QStringList({missing, missing}));

    // A file that is no MP3 at all is skipped by the player, twice over, without a word.
    const QString garbage = dir.path() + QStringLiteral("/坏.mp3");
    QFile file(garbage);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(QByteArray(4096, 'x'));
    file.close();
    gui.PlayMp3(2, {FromQString(garbage)});
    QTest::qWait(200);
}

TEST(GuiInteractionTest, ProcessEventsRunsQueuedWindowWork) {
    testing::TestInteraction gui;
    bool ran = false;
    QMetaObject::invokeMethod(
        &gui, [&] { ran = true; }, Qt::QueuedConnection);
    gui.ProcessEvents();
    EXPECT_TRUE(ran);
    // On a worker without an event loop it has nothing to do and returns.
    std::thread([&] { gui.ProcessEvents(); }).join();
}

}  // namespace
}  // namespace ovx
