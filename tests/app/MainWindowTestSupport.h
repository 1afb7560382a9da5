#pragma once
// Shared by the window tests: a throw-away program folder, a loopback web server, finding
// controls by name and waiting for conditions.

#include <gtest/gtest.h>
#include <httplib.h>

#include <QDir>
#include <QString>
#include <QTemporaryDir>
#include <QTest>
#include <QWidget>
#include <functional>
#include <string>
#include <thread>

#include "app/AppPaths.h"
#include "app/QtText.h"
#include "runtime/Profile.h"

namespace ovx::testing {

inline constexpr int kWaitMs = 30000;

// Waits, processing events, until `condition` holds; false when it never did.
inline bool WaitUntil(const std::function<bool()>& condition, int timeoutMs = kWaitMs) {
    return QTest::qWaitFor(condition, timeoutMs);
}

// A fresh program folder that every path of the program is based on while the object lives.
class ScratchProgramFolder {
  public:
    ScratchProgramFolder() { SetProgramFolderOverride(FromQString(dir_.path())); }
    ~ScratchProgramFolder() {
        SetProgramFolderOverride(Text());
        // The browser engine lets go of its profile files a little after the window is gone.
        const QString path = dir_.path();
        (void)QTest::qWaitFor([&path] { return QDir(path).removeRecursively(); }, kWaitMs);
    }
    ScratchProgramFolder(const ScratchProgramFolder&) = delete;
    ScratchProgramFolder& operator=(const ScratchProgramFolder&) = delete;

    QString Path() const { return dir_.path(); }
    Text TextPath() const { return FromQString(dir_.path()); }
    QString File(const char* utf8Name) const { return dir_.filePath(QString::fromUtf8(utf8Name)); }
    // Stores one setting, as a user who changed it earlier would have.
    void Set(const char* section, const char* key, const QString& value) const {
        WriteIniValue(SettingsPath(), FromQString(QString::fromUtf8(section)),
                      FromQString(QString::fromUtf8(key)), FromQString(value));
    }

  private:
    QTemporaryDir dir_;
};

// An HTTP server on a free loopback port, serving what the test registers before Start().
class LoopbackServer {
  public:
    ~LoopbackServer() { Stop(); }
    httplib::Server& Routes() { return server_; }
    void Start() {
        port_ = server_.bind_to_any_port("127.0.0.1");
        thread_ = std::thread([this] { server_.listen_after_bind(); });
    }
    void Stop() {
        if (thread_.joinable()) {
            server_.stop();
            thread_.join();
        }
    }
    std::string Url(const std::string& path) const {
        return "http://127.0.0.1:" + std::to_string(port_) + path;
    }
    QString QUrlText(const std::string& path) const { return QString::fromStdString(Url(path)); }

  private:
    httplib::Server server_;
    int port_ = 0;
    std::thread thread_;
};

// The control with this object name below `root`, or null.
template <class T = QWidget>
T* Find(const QWidget* root, const char* utf8Name) {
    return root->findChild<T*>(QString::fromUtf8(utf8Name));
}

}  // namespace ovx::testing
