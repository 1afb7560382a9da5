#pragma once
// The update check: fetches the maker's version page on a worker thread, takes the latest
// version from between the markers "#" + tag + "@@" and "#" + tag, and reports the two
// labels on the window's thread. Only whole version numbers are compared, so "2.5" is no
// update for "2.0" and "3.0" is. A newer version also brings up the message box
// "有新版本，联系客服索取" (from the worker, which waits for it).

#include <QObject>
#include <QString>
#include <atomic>
#include <functional>
#include <thread>

#include "runtime/StopFlag.h"
#include "runtime/Text.h"

namespace ovx {

struct UpdateCheckResult {
    Text latest;   // for the "最新版本：" label; "" when the page holds no markers
    Text verdict;  // "无需更新" or "有新版，联系客服获取最新版！"
    bool newer = false;
};

// The comparison alone, on a fetched page (the page is read up to its first zero byte).
UpdateCheckResult EvaluateVersionPage(const Text& page, const Text& current, const Text& tag);

class UpdateCheck : public QObject {
    Q_OBJECT
  public:
    // Fetches an address and gives the body as text ("" on any failure). Must be bounded and
    // give up when the calling thread's stop flag is raised.
    using Fetcher = std::function<Text(const Text& address)>;

    // `versionPage` may be empty: the check then finds nothing and reports "无需更新".
    UpdateCheck(Text versionPage, Text current, Text tag, QObject* parent = nullptr);
    // Asks a running check to stop and waits for its worker.
    ~UpdateCheck() override;

    // Replaces the web request (tests).
    void SetFetcher(Fetcher fetcher);

    // The "检测程序是否有更新" button: starts a check unless one is running. True when started.
    bool Start();
    // The tab control's tab click: the first click on the settings tab (index 2) starts the
    // automatic check; later clicks and other tabs do nothing. True when it started a check.
    bool OnTabClicked(int index);

    bool Running() const { return running_.load(); }
    bool AutomaticCheckDone() const { return automaticStarted_; }

    static QString VersionMessage();  // "有新版本，联系客服索取"

  signals:
    // On the window's thread, before the new-version message box (if any) appears.
    void Finished(const QString& latest, const QString& verdict, bool newer);

  private:
    void Run();
    void Join();

    Text versionPage_;
    Text current_;
    Text tag_;
    Fetcher fetcher_;
    std::thread worker_;
    StopFlag stop_;
    std::atomic<bool> running_{false};
    bool automaticStarted_ = false;
};

}  // namespace ovx
