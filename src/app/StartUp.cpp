#include "app/StartUp.h"

#include <filesystem>
#include <ostream>
#include <string_view>
#include <system_error>

#include "ovx/Version.h"
#include "runtime/CodePage.h"

namespace ovx {

Text CurrentVersion() {
    return Text(kVersion);
}

Text UpdateTag() {
    return Text("weibo");
}

std::optional<int> AnswerInformationOption(int argc, char** argv, std::ostream& out) {
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (arg == "--version" || arg == "-V") {
            out << "ovatrix (Ovatrix) " << kVersion << "\n" << kLicenceLine << "\n";
            return 0;
        }
        if (arg == "--help" || arg == "-h") {
            out << "Usage: ovatrix [OPTION]\n"
                   "Download the photo albums of one Weibo user in bulk, in a window: log in\n"
                   "inside the embedded browser, name the user by home-page address, tick the\n"
                   "albums and download them, one folder per album.\n"
                   "\n"
                   "Options:\n"
                   "  -h, --help     show this help and exit\n"
                   "  -V, --version  show the version and exit\n"
                   "\n"
                   "Qt's own options (such as -platform offscreen) are passed on to Qt.\n"
                   "The settings (配置.ini), the download records and the browser data are kept\n"
                   "in the program folder: beside the executable when that folder is writable,\n"
                   "otherwise ~/.local/share/Ovatrix. The command-line twin is ovatrix-cli.\n";
            return 0;
        }
    }
    return std::nullopt;
}

std::shared_ptr<WorkerThread> StartThread(std::function<void()> routine) {
    return WorkerThread::Start(std::move(routine));
}

bool EnsureFolder(const Text& path) {
    if (path.empty()) return false;
    Text folder = path;
    if (folder.bytes().back() != '/') folder += Text("/");
    const std::filesystem::path fsPath = ToPath(folder);
    std::error_code ec;
    std::filesystem::create_directories(fsPath, ec);
    return std::filesystem::is_directory(fsPath, ec);
}

}  // namespace ovx
