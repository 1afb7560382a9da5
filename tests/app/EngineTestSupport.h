#pragma once
// Shared by the window's engine tests: a window against a stand-in photo service child, the
// saved files of a folder, the service's request log, and short ways to reach the controls.

#include <QCheckBox>
#include <QCryptographicHash>
#include <QDirIterator>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTextStream>
#include <map>
#include <memory>

#include "MainWindowTestSupport.h"
#include "TestInteraction.h"
#include "app/AlbumsPage.h"
#include "app/EngineDriver.h"
#include "app/MainWindow.h"
#include "app/OptionsPage.h"
#include "app/ReportList.h"
#include "support/ServiceProcess.h"
#include "web/CookieStore.h"

namespace ovx::testing {

// Every file below `root` (hidden ones too) by its relative path, with a digest of its bytes.
inline std::map<QString, QByteArray> FileTree(const QString& root) {
    std::map<QString, QByteArray> files;
    QDirIterator it(root, QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly)) continue;
        files[QDir(root).relativeFilePath(path)] =
            QCryptographicHash::hash(file.readAll(), QCryptographicHash::Sha1).toHex();
    }
    return files;
}

// The lines of the service's request log that start with `prefix` ("GET /large/").
inline QStringList Requests(const QString& logFile, const QString& prefix) {
    QStringList lines;
    QFile file(logFile);
    if (!file.open(QIODevice::ReadOnly)) return lines;
    // Method and address only: the status and time after them differ from line to line.
    for (const QString& line : QString::fromUtf8(file.readAll()).split(QLatin1Char('\n')))
        if (line.startsWith(prefix)) lines.append(line.section(QLatin1Char(' '), 0, 1));
    return lines;
}

// A window, its interaction and its program folder, against a running photo service.
class WindowAgainstService {
  public:
    // Writes the service's addresses into the settings before the window starts (it is also
    // the image host of the web API's pictures). `cookies` stand for a login kept from an
    // earlier run; `requestIntervalMs`, when not negative, paces the web API's calls.
    explicit WindowAgainstService(const std::string& base, const std::string& homePath = "/",
                                  bool navigate = false, const std::vector<Cookie>& cookies = {},
                                  int requestIntervalMs = -1) {
        folder_.Set("服务地址", "首页", QString::fromStdString(base + homePath));
        folder_.Set("服务地址", "相册服务", QString::fromStdString(base));
        folder_.Set("服务地址", "图片服务", QString::fromStdString(base));
        folder_.Set("服务地址", "访客服务", QString::fromStdString(base));
        if (requestIntervalMs >= 0)
            folder_.Set("网络", "请求间隔毫秒", QString::number(requestIntervalMs));
        InstallInteraction(&interaction_);
        window_ = std::make_unique<MainWindow>(MainWindow::Options{navigate});
        // The login kept from the earlier run, in the window's session before any request.
        for (const Cookie& c : cookies) window_->Cookies().Import(c);
        window_->show();
    }
    ~WindowAgainstService() {
        window_.reset();
        InstallInteraction(nullptr);
    }

    MainWindow& Window() { return *window_; }
    void CloseWindow() { window_.reset(); }
    bool Open() const { return window_ != nullptr; }
    TestInteraction& Interaction() { return interaction_; }
    ScratchProgramFolder& Folder() { return folder_; }
    AlbumsPage& Albums() { return *window_->Albums(); }
    OptionsPage& Options() { return *window_->OptionsTab(); }
    ReportList& List() { return *window_->Albums()->Albums(); }
    EngineDriver& Engine() { return *window_->Engine(); }
    QString Log() { return Albums().Log()->toPlainText(); }
    QString Status() { return Albums().StatusLabel()->text(); }

    bool MessageShown(const QString& text) const {
        for (const auto& m : interaction_.Messages())
            if (m.text == text) return true;
        return false;
    }

    // Fills the home-page box and presses "2：获取相册"; waits for the list to be complete.
    bool ListAlbums(const std::string& homePage, int rows) {
        Albums().UserEdit()->setText(QString::fromStdString(homePage));
        Albums().GetAlbumsButton()->click();
        return WaitUntil(
            [&] { return Status() == QStringLiteral("相册列表获取完毕,共计%1个").arg(rows); });
    }

  private:
    ScratchProgramFolder folder_;
    TestInteraction interaction_;
    std::unique_ptr<MainWindow> window_;
};

}  // namespace ovx::testing
