#include "app/StartUp.h"

#include <filesystem>
#include <system_error>

#include "runtime/CodePage.h"

namespace ovx {

Text CurrentVersion() {
    return Text("2.0");
}

Text UpdateTag() {
    return Text("weibo");
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
