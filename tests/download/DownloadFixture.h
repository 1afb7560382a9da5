#pragma once
// Runs download jobs against a photo-service child: a scratch save location and record
// folder per test, album rows put into a RecordingView, the service's request log read back.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <random>
#include <set>
#include <string>

#include "RecordingView.h"
#include "ServiceProcess.h"
#include "TestSession.h"
#include "catalogue/albumservice/AlbumServiceProtocol.h"
#include "download/DownloadJob.h"
#include "download/RecordStore.h"
#include "runtime/CodePage.h"

namespace ovx::test {

namespace fs = std::filesystem;

inline Text Local(const std::string& utf8) {
    return Utf8ToLocal(utf8);
}

class DownloadFixture : public ::testing::Test {
  protected:
    void SetUp() override {
        std::random_device rd;
        root_ =
            fs::temp_directory_path() / ("ovx-dl-" + std::to_string(rd()) + std::to_string(rd()));
        fs::create_directories(root_ / "save");
        fs::create_directories(root_ / "records");
    }
    void TearDown() override {
        std::error_code ec;
        fs::remove_all(root_, ec);
    }

    // Starts (or restarts) the service; every request goes into the request log.
    void StartService(const std::string& scenario) {
        ASSERT_NE(kServicePath, nullptr);
        service_ = std::make_unique<ServiceProcess>();
        ASSERT_GT(service_->Start(scenario, {"--request-log", (root_ / "requests.log").string()}),
                  0);
    }

    // A view with the given album rows (number, name, count, key), all checked.
    void AddRow(RecordingView& view, const std::string& number, const std::string& name,
                const std::string& count, const std::string& key) {
        AlbumRow row;
        row.number = Local(number);
        row.name = Local(name);
        row.count = Local(count);
        row.albumKey = Local(key);
        view.AddAlbum(row);
    }

    DownloadSetup Setup(const std::string& uid, const std::string& title) const {
        DownloadSetup setup;
        setup.user.userId = Text(uid);
        setup.user.userTitle = Local(title);
        setup.programFolder = FromPath(root_ / "program");
        setup.recordFolder = FromPath(root_ / "records") + Text("/");
        // The album service of the stand-in, as its catalogue would have listed it.
        setup.protocol = std::make_shared<AlbumServiceProtocol>(
            ServiceSettings{Text(), Text(service_->Url()), Text(), "相册版"_t}, session_.Context());
        setup.pageRetryWait = std::chrono::milliseconds(5);
        return setup;
    }

    DownloadSummary Run(RecordingView& view, const DownloadSetup& setup) {
        JobControl control;
        return DownloadJob(view, control, session_.Context(), setup).Run();
    }

    fs::path Save() const { return root_ / "save"; }
    Text SaveText(const std::string& sub = "") const { return FromPath(Save() / sub); }

    // File names (UTF-8) directly in a folder below the save location.
    std::set<std::string> Files(const fs::path& folder) const {
        std::set<std::string> names;
        std::error_code ec;
        for (auto it = fs::directory_iterator(folder, ec); !ec && it != fs::directory_iterator();
             it.increment(ec)) {
            names.insert(it->path().filename().string());
        }
        return names;
    }

    // Request log lines containing `part`.
    int Requests(const std::string& part) const {
        std::ifstream in(root_ / "requests.log");
        int n = 0;
        for (std::string line; std::getline(in, line);) n += line.find(part) != std::string::npos;
        return n;
    }

    std::vector<std::string> RecordedIds(const std::string& uid) const {
        RecordEngine engine;
        auto store = RecordStore::ForUser(FromPath(root_ / "records") + Text("/"), Text(uid),
                                          AlbumServiceProtocol::RecordsLayout(), {}, engine);
        std::vector<std::string> ids;
        if (!store->OpenForReading()) return ids;
        for (const Text& id : store->AllIds()) ids.push_back(id.bytes());
        store->Close();
        return ids;
    }

    fs::path root_;
    std::unique_ptr<ServiceProcess> service_;
    // The session of the runs: the throttling waits a front end's governor has by default.
    mutable test::TestSession session_{GovernorSettings{}};
};

}  // namespace ovx::test
