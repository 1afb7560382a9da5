// Where the program keeps its files: a writable executable folder keeps everything beside the
// executable; a folder the user cannot write (an installed package) moves everything to the
// per-user data folder and the save location to the user's pictures folder.
#include <fcntl.h>
#include <grp.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <map>
#include <optional>
#include <string>

#include "TempFolder.h"
#include "runtime/CodePage.h"
#include "runtime/ProgramFolder.h"

namespace ovx {
namespace {

namespace fs = std::filesystem;
using testing_support::TempFolder;

constexpr const char* kProbeVariable = "OVX_PROGRAM_FOLDER_PROBE";

// Sets (or with nullopt unsets) an environment variable for the life of the object.
class ScopedEnv {
  public:
    ScopedEnv(const char* name, std::optional<std::string> value) : name_(name) {
        if (const char* old = std::getenv(name)) old_ = old;
        Apply(value);
    }
    ~ScopedEnv() { Apply(old_); }
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

  private:
    void Apply(const std::optional<std::string>& value) {
        if (value) {
            ::setenv(name_, value->c_str(), 1);
        } else {
            ::unsetenv(name_);
        }
    }
    const char* name_;
    std::optional<std::string> old_;
};

Text Local(const fs::path& path) {
    return FromPath(path);
}

class ProgramFolderTest : public ::testing::Test {
  protected:
    fs::path Folder(const std::string& utf8Name) const {
        const fs::path path =
            dir_.path() /
            fs::path(std::u8string(reinterpret_cast<const char8_t*>(utf8Name.c_str())));
        fs::create_directories(path);
        return path;
    }

    TempFolder dir_;
    fs::path home_ = Folder("家");
    ScopedEnv homeEnv_{"HOME", home_.string()};
    ScopedEnv dataEnv_{"XDG_DATA_HOME", std::nullopt};
    ScopedEnv configEnv_{"XDG_CONFIG_HOME", std::nullopt};
};

TEST_F(ProgramFolderTest, AWritableFolderIsItsOwnProgramFolderAnythingElseTheDataFolder) {
    const fs::path portable = Folder("便携");
    EXPECT_EQ(ProgramFolderFor(Local(portable)), Local(portable));
    EXPECT_EQ(ProgramFolderFor(Local(portable) + Text("//")), Local(portable));

    const Text data = Local(home_ / ".local" / "share" / "Ovatrix");
    EXPECT_EQ(UserDataFolder(), data);
    EXPECT_EQ(ProgramFolderFor(Local(portable / "missing")), data);
    EXPECT_EQ(ProgramFolderFor(Text()), data);
    dir_.Write("plain", "x");
    EXPECT_EQ(ProgramFolderFor(Local(dir_.path() / "plain")), data);
    EXPECT_FALSE(fs::exists(ToPath(data))) << "asking creates nothing";
    // Installed in the system's folders, root can write there, yet it is an installed copy.
    EXPECT_EQ(ProgramFolderFor(Text("/usr/bin")), data);
    EXPECT_EQ(ProgramFolderFor(Text("/usr/local/bin/")), data);
}

TEST_F(ProgramFolderTest, TheDataFolderFollowsAnAbsoluteXdgDataHome) {
    const fs::path xdg = Folder("数据");
    {
        ScopedEnv data("XDG_DATA_HOME", xdg.string());
        EXPECT_EQ(UserDataFolder(), Local(xdg / "Ovatrix"));
    }
    {
        // A relative value is ignored, as the XDG rule says.
        ScopedEnv data("XDG_DATA_HOME", "relative/data");
        EXPECT_EQ(UserDataFolder(), Local(home_ / ".local/share/Ovatrix"));
    }
}

TEST_F(ProgramFolderTest, ThePicturesFolderComesFromTheUserDirsFile) {
    EXPECT_EQ(UserPicturesFolder(), Local(home_ / "Pictures")) << "no user-dirs file";

    // Without XDG_CONFIG_HOME the file is looked for in ~/.config.
    fs::create_directories(home_ / ".config");
    std::FILE* f = std::fopen((home_ / ".config/user-dirs.dirs").c_str(), "w");
    ASSERT_NE(f, nullptr);
    std::fputs(
        "# written by xdg-user-dirs-update\nXDG_DESKTOP_DIR=\"$HOME/桌面\"\n"
        "XDG_PICTURES_DIR=\"$HOME/图片\"\n",
        f);
    std::fclose(f);
    EXPECT_EQ(UserPicturesFolder(), Local(home_ / fs::path(u8"图片")));

    const fs::path config = Folder("配置");
    ScopedEnv configEnv("XDG_CONFIG_HOME", config.string());
    const fs::path userDirs = config / "user-dirs.dirs";
    const auto picturesWith = [&](const std::string& content) {
        std::FILE* out = std::fopen(userDirs.c_str(), "w");
        std::fputs(content.c_str(), out);
        std::fclose(out);
        return UserPicturesFolder();
    };
    EXPECT_EQ(picturesWith("XDG_PICTURES_DIR=\"/srv/相片/\"\r\n"), Local(fs::path(u8"/srv/相片")));
    EXPECT_EQ(picturesWith("XDG_PICTURES_DIR=\"$HOME\"\n"), Local(home_));
    // Lines that are not of the form fall back to ~/Pictures.
    for (const char* bad :
         {"XDG_PICTURES_DIR=relative/pics\n", "XDG_PICTURES_DIR=\"pics\"\n",
          "XDG_PICTURES_DIR=\"$HOMEWORK/x\"\n", "XDG_PICTURES_DIR=\"/open\n",
          "# XDG_PICTURES_DIR=\"/commented\"\n", "XDG_PICTURES_DIRS=\"/other\"\n"}) {
        EXPECT_EQ(picturesWith(bad), Local(home_ / "Pictures")) << bad;
    }
}

TEST_F(ProgramFolderTest, PathsBelowTheProgramFolder) {
    const fs::path portable = Folder("程序");
    SetProgramFolderOverride(Local(portable) + Text("/"));
    EXPECT_EQ(ProgramFolder(), Local(portable));
    EXPECT_EQ(SettingsPath(), Local(portable / fs::path(u8"配置.ini")));
    EXPECT_EQ(RecordFolder(), Local(portable / fs::path(u8"防止重复下载数据库")) + Text("/"));
    EXPECT_EQ(BrowserDataFolder(), Local(portable / fs::path(u8"浏览器数据")));
    EXPECT_EQ(BrowserCookiesFile(), Local(portable / fs::path(u8"浏览器数据/cookies.txt")));
    // A folder named by hand stands for a portable copy: photos go beside it.
    EXPECT_EQ(DefaultSaveLocation(), Local(portable));
    SetProgramFolderOverride(Text());
    EXPECT_EQ(ProgramFolder(), ProgramFolderFor(ExecutableFolder()));
}

// Run in a copy of this test program by the test below: prints what the copy decides.
TEST(ProgramFolderProbe, PrintsTheFoldersOfThisCopy) {
    if (std::getenv(kProbeVariable) == nullptr) GTEST_SKIP() << "run by InstalledAndPortableCopies";
    std::cout << "PROBE program=" << LocalToUtf8(ProgramFolder()) << "\n"
              << "PROBE save=" << LocalToUtf8(DefaultSaveLocation()) << "\n"
              << "PROBE settings=" << LocalToUtf8(SettingsPath()) << "\n"
              << "PROBE records=" << LocalToUtf8(RecordFolder()) << "\n"
              << "PROBE cookies=" << LocalToUtf8(BrowserCookiesFile()) << "\n"
              << std::flush;
}

// Runs a copy of this program's executable that lives in `folder` and collects its probe
// lines. As root every folder is writable, so the copy then runs as "nobody".
// With `readOnly` the folder is closed for writing while the copy runs.
std::map<std::string, std::string> RunCopyIn(const fs::path& folder, bool readOnly) {
    const fs::path copy = folder / "probe";
    fs::copy_file("/proc/self/exe", copy, fs::copy_options::overwrite_existing);
    const fs::perms open = fs::perms::all & ~fs::perms::others_write & ~fs::perms::group_write;
    fs::permissions(copy, open);
    fs::permissions(folder, readOnly ? open & ~fs::perms::owner_write : fs::perms::all);
    int out[2];
    if (::pipe(out) != 0) return {};
    const pid_t child = ::fork();
    if (child == 0) {
        ::dup2(out[1], STDOUT_FILENO);
        ::close(out[0]);
        ::close(out[1]);
        const int devnull = ::open("/dev/null", O_WRONLY);
        if (devnull >= 0) ::dup2(devnull, STDERR_FILENO);
        ::setenv(kProbeVariable, "1", 1);
        if (::geteuid() == 0 &&
            (::setgroups(0, nullptr) != 0 || ::setgid(65534) != 0 || ::setuid(65534) != 0)) {
            ::_exit(97);
        }
        ::execl(copy.c_str(), copy.c_str(), "--gtest_filter=ProgramFolderProbe.*", nullptr);
        ::_exit(98);
    }
    ::close(out[1]);
    std::string text;
    char buffer[4096];
    for (ssize_t n; (n = ::read(out[0], buffer, sizeof buffer)) > 0;) text.append(buffer, n);
    ::close(out[0]);
    int status = 0;
    ::waitpid(child, &status, 0);
    fs::permissions(folder, fs::perms::all);  // so that the folder can be removed
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "probe status " << status;

    std::map<std::string, std::string> found;
    for (std::size_t pos = 0; (pos = text.find("PROBE ", pos)) != std::string::npos;) {
        const std::size_t end = text.find('\n', pos);
        const std::string line = text.substr(pos + 6, end - pos - 6);
        const std::size_t eq = line.find('=');
        found[line.substr(0, eq)] = line.substr(eq + 1);
        pos = end;
    }
    return found;
}

TEST_F(ProgramFolderTest, InstalledAndPortableCopies) {
    // Everything the copy touches must be open to "nobody" when the test runs as root.
    const fs::path data = Folder("data"), config = Folder("config");
    for (const fs::path& p : {dir_.path(), home_, data, config}) {
        fs::permissions(p, fs::perms::all);
    }
    std::FILE* f = std::fopen((config / "user-dirs.dirs").c_str(), "w");
    ASSERT_NE(f, nullptr);
    std::fputs("XDG_PICTURES_DIR=\"$HOME/图片\"\n", f);
    std::fclose(f);
    ScopedEnv dataEnv("XDG_DATA_HOME", data.string());
    ScopedEnv configEnv("XDG_CONFIG_HOME", config.string());

    const fs::path installed = Folder("usr/bin");
    const fs::path portable = Folder("portable copy");

    auto seen = RunCopyIn(portable, false);
    EXPECT_EQ(seen["program"], portable.string());
    EXPECT_EQ(seen["save"], portable.string());
    EXPECT_EQ(seen["settings"], (portable / "配置.ini").string());
    EXPECT_EQ(seen["records"], (portable / "防止重复下载数据库/").string());
    EXPECT_EQ(seen["cookies"], (portable / "浏览器数据/cookies.txt").string());

    seen = RunCopyIn(installed, true);
    const fs::path programFolder = data / "Ovatrix";
    EXPECT_EQ(seen["program"], programFolder.string());
    EXPECT_EQ(seen["save"], (home_ / "图片").string());
    EXPECT_EQ(seen["settings"], (programFolder / "配置.ini").string());
    EXPECT_EQ(seen["records"], (programFolder / "防止重复下载数据库/").string());
    EXPECT_EQ(seen["cookies"], (programFolder / "浏览器数据/cookies.txt").string());
    EXPECT_TRUE(fs::is_directory(programFolder)) << "the data folder is made for its files";
}

}  // namespace
}  // namespace ovx
