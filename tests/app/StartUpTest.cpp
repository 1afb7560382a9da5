// Start-up's traces on disk (the record folder, and no settings file), making folders, and
// worker threads that are asked to stop and waited for.
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QStandardPaths>
#include <atomic>
#include <filesystem>
#include <fstream>

#include "MainWindowTestSupport.h"
#include "TestInteraction.h"
#include "app/MainWindow.h"
#include "app/StartUp.h"
#include "runtime/CodePage.h"

namespace ovx {
namespace {

using testing::ScratchProgramFolder;

TEST(StartUp, FirstStartMakesTheRecordFolderAndWritesNoSettings) {
    ScratchProgramFolder folder;
    testing::TestInteraction interaction;
    InstallInteraction(&interaction);
    {
        MainWindow window(MainWindow::Options{false});
        EXPECT_TRUE(QDir(folder.File("防止重复下载数据库")).exists());
    }
    InstallInteraction(nullptr);
    EXPECT_FALSE(QFile::exists(folder.File("配置.ini")));
}

TEST(StartUp, PathsFollowTheProgramFolder) {
    ScratchProgramFolder folder;
    EXPECT_EQ(ProgramFolder(), folder.TextPath());
    EXPECT_EQ(SettingsPath(), folder.TextPath() + "/配置.ini"_t);
    EXPECT_EQ(RecordFolder(), folder.TextPath() + "/防止重复下载数据库/"_t);
    SetProgramFolderOverride(folder.TextPath() + Text("//"));
    EXPECT_EQ(ProgramFolder(), folder.TextPath());  // no trailing separator
}

// The command line has no Qt and computes the per-user data folder itself: it must name the
// folder the window's Qt names, or an installed window and ovatrix-cli would keep two settings
// files and two record folders.
TEST(StartUp, TheUserDataFolderIsTheOneQtNamesForTheWindow) {
    const QString savedName = QCoreApplication::applicationName();
    const QString savedOrganisation = QCoreApplication::organizationName();
    const QByteArray savedXdg = qgetenv("XDG_DATA_HOME");
    const bool hadXdg = qEnvironmentVariableIsSet("XDG_DATA_HOME");
    QCoreApplication::setApplicationName(QStringLiteral("Ovatrix"));  // as main() sets it
    QCoreApplication::setOrganizationName(QString());

    QTemporaryDir data;
    qputenv("XDG_DATA_HOME", data.path().toUtf8());
    EXPECT_EQ(ToQString(UserDataFolder()),
              QStandardPaths::writableLocation(QStandardPaths::AppDataLocation));
    EXPECT_EQ(ToQString(UserDataFolder()), data.path() + QStringLiteral("/Ovatrix"));
    qunsetenv("XDG_DATA_HOME");
    EXPECT_EQ(ToQString(UserDataFolder()),
              QStandardPaths::writableLocation(QStandardPaths::AppDataLocation));

    if (hadXdg) qputenv("XDG_DATA_HOME", savedXdg);
    QCoreApplication::setApplicationName(savedName);
    QCoreApplication::setOrganizationName(savedOrganisation);
}

TEST(StartUp, EnsureFolderMakesEveryMissingLevel) {
    ScratchProgramFolder folder;
    const Text deep = folder.TextPath() + "/一/二/三"_t;
    EXPECT_TRUE(EnsureFolder(deep));
    EXPECT_TRUE(std::filesystem::is_directory(ToPath(deep)));
    EXPECT_TRUE(EnsureFolder(deep + Text("/")));  // already there, trailing separator
    EXPECT_FALSE(EnsureFolder(Text()));

    // A file in the way cannot become a folder.
    const Text file = folder.TextPath() + Text("/plain");
    std::ofstream(ToPath(file)) << "x";
    EXPECT_FALSE(EnsureFolder(file + Text("/below")));
}

TEST(StartUp, WorkersRunWithTheirOwnStopFlagAndAreStoppedTogether) {
    std::atomic<bool> sawOwnFlag{false}, woke{false};
    auto worker = StartThread([&] {
        StopFlag* flag = CurrentStopFlag();
        sawOwnFlag = flag != nullptr;
        // Waits "forever" unless asked to stop.
        if (flag) woke = !flag->WaitFor(std::chrono::hours(1));
    });
    ASSERT_NE(worker, nullptr);
    ASSERT_TRUE(testing::WaitUntil([&] { return sawOwnFlag.load(); }));
    EXPECT_FALSE(worker->Finished());
    EXPECT_TRUE(WorkerThread::StopAll(std::chrono::seconds(30), {}));
    EXPECT_TRUE(worker->Finished());
    EXPECT_TRUE(woke);
    EXPECT_EQ(WorkerThread::RunningCount(), 0);
}

TEST(StartUp, StopAllGivesUpOnAWorkerThatIgnoresTheFlag) {
    std::atomic<bool> release{false};
    auto worker = StartThread([&] {
        while (!release) std::this_thread::yield();
    });
    int pumps = 0;
    EXPECT_FALSE(WorkerThread::StopAll(std::chrono::milliseconds(50), [&] { ++pumps; }));
    EXPECT_GT(pumps, 0);
    release = true;
    EXPECT_TRUE(WorkerThread::StopAll(std::chrono::seconds(30), {}));
}

// What the program does once its window has closed: a worker waiting in a message box and one
// waiting on its stop flag both end, so the process can exit without cutting them off.
TEST(StartUp, ClosingEndsWorkersThatWaitInAMessageBoxOrOnTheirFlag) {
    testing::TestInteraction interaction;
    InstallInteraction(&interaction);
    std::atomic<int> answer{-1};
    std::atomic<bool> inBox{false};
    StartThread([&] {
        inBox = true;
        answer = ShowMessage("全部下载完毕"_t);
    });
    StartThread([] { CurrentStopFlag()->WaitFor(std::chrono::hours(1)); });
    ASSERT_TRUE(testing::WaitUntil([&] { return inBox && !interaction.Messages().empty(); }));

    interaction.Shutdown();
    EXPECT_TRUE(
        WorkerThread::StopAll(std::chrono::seconds(30), [] { QCoreApplication::processEvents(); }));
    EXPECT_EQ(answer, GuiInteraction::CancelAnswer(kMbOk));
    InstallInteraction(nullptr);
}

}  // namespace
}  // namespace ovx
