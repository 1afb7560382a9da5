#include "cli/CliRun.h"

#include <cstdio>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <system_error>
#include <utility>

#include "catalogue/Catalogue.h"
#include "cli/CliOptions.h"
#include "download/DownloadJob.h"
#include "runtime/CodePage.h"
#include "runtime/ProgramFolder.h"
#include "runtime/SettingsFile.h"
#include "runtime/StopFlag.h"
#include "web/CookieStore.h"
#include "web/RequestGovernor.h"
#include "web/RequestTrace.h"
#include "web/UrlHelpers.h"
#include "web/VisitorSession.h"

namespace ovx {

namespace {

namespace fs = std::filesystem;

// --program-folder for the length of one run: the settings, records and browser cookies are
// then found below that folder, and photos go beside it unless told otherwise.
class ScopedProgramFolder {
  public:
    explicit ScopedProgramFolder(const std::optional<Text>& folder) : set_(folder.has_value()) {
        if (set_) SetProgramFolderOverride(*folder);
    }
    ~ScopedProgramFolder() {
        if (set_) SetProgramFolderOverride(Text());
    }
    ScopedProgramFolder(const ScopedProgramFolder&) = delete;
    ScopedProgramFolder& operator=(const ScopedProgramFolder&) = delete;

  private:
    bool set_;
};

void ErrorLine(const CliStreams& streams, const std::string& utf8) {
    std::fprintf(streams.err, "ovatrix-cli: %s\n", utf8.c_str());
    std::fflush(streams.err);
}

// Loads a cookies.txt file into the store (which reads only a regular file of bounded size);
// empty on success, else the cause.
std::string LoadCookies(const Text& file, CookieStore& store) {
    const fs::path path = ToPath(file);
    std::error_code ec;
    const fs::file_status status = fs::status(path, ec);
    if (!fs::exists(status)) return "no such file";
    if (!fs::is_regular_file(status)) return "not a regular file";
    if (!store.Load(path)) return "cannot be read, or too large for cookies";
    return {};
}

CliAnswers AnswersFor(const CliOptions& options, const StoredSettings& settings) {
    CliAnswers answers;
    answers.homePageAddress = options.homePageAddress;
    AlbumOptions& album = answers.album;
    album.downloadRecord = options.records.value_or(settings.downloadRecord);
    if (options.period) {
        album.timeRange = true;
        album.start = options.period->start;
        album.end = options.period->end;
    } else {
        album.timeRange = settings.timeRange;
        album.start = settings.startDate;
        album.end = settings.endDate;
    }
    if (options.saveLocation) {
        album.saveLocation = *options.saveLocation;
    } else if (!settings.saveLocation.empty()) {
        album.saveLocation = settings.saveLocation;
    } else {
        album.saveLocation = DefaultSaveLocation();
    }
    // A stored scheme that names none of the four leaves the window's initial selection.
    answers.naming.scheme =
        options.naming.value_or(settings.naming.value_or(NamingScheme::NumberCaption));
    answers.naming.numbering = options.numbering.value_or(settings.numbering);
    album.livePhotos = options.livePhotos.value_or(settings.livePhotos);
    return answers;
}

// number TAB name TAB photo count TAB album key; a tab or line break inside a name the
// service gave would cut the row, so it prints as a space.
void PrintAlbumRows(CliView& view, const CliStreams& streams) {
    for (const AlbumRow& row : view.Rows()) {
        std::string line = PrintableUtf8(row.number, true) + "\t" + PrintableUtf8(row.name, true) +
                           "\t" + PrintableUtf8(row.count, true) + "\t" +
                           PrintableUtf8(row.albumKey, true) + "\n";
        std::fwrite(line.data(), 1, line.size(), streams.out);
    }
    std::fflush(streams.out);
}

}  // namespace

int RunCli(const std::vector<std::string>& args, const CliStreams& streams, JobControl& control) {
    std::string error;
    std::optional<CliOptions> parsed = ParseCliOptions(args, error);
    if (!parsed) {
        ErrorLine(streams, error + " (see ovatrix-cli --help)");
        return kExitBadArguments;
    }
    const CliOptions& options = *parsed;
    if (options.action == CliOptions::Action::Help ||
        options.action == CliOptions::Action::Version) {
        std::string text =
            options.action == CliOptions::Action::Help ? CliHelpText() : CliVersionText();
        std::fwrite(text.data(), 1, text.size(), streams.out);
        std::fflush(streams.out);
        return kExitDone;
    }

    ScopedProgramFolder programFolderOverride(options.programFolder);
    const Text programFolder = ProgramFolder();
    const StoredSettings settings = SettingsFile(SettingsFile::PathFor(programFolder)).ReadAll();

    // The session: the cookies file named, else the login the window's browser kept.
    CookieStore cookies;
    if (options.cookiesFile) {
        if (std::string cause = LoadCookies(*options.cookiesFile, cookies); !cause.empty()) {
            ErrorLine(streams,
                      "cookies file " + PrintableUtf8(*options.cookiesFile, true) + ": " + cause);
            return kExitBadArguments;
        }
    } else {
        std::error_code ec;
        if (fs::exists(ToPath(BrowserCookiesFile()), ec))
            LoadCookies(BrowserCookiesFile(), cookies);
    }

    Text photoService = WithoutTrailingSlash(settings.photoService);
    if (photoService.empty()) {
        photoService = Utf8ToLocal(SettingDefOf(SettingKey::PhotoService).fallback);
    }
    ServiceSettings service;
    service.homePage = WithoutTrailingSlash(settings.homePage);
    service.photoService = photoService;
    service.imageService = WithoutTrailingSlash(settings.imageService);
    if (service.imageService.empty())
        service.imageService = Utf8ToLocal(SettingDefOf(SettingKey::ImageService).fallback);
    service.choice = options.protocol.value_or(settings.protocol);
    // The session: every request of this run is paced and backed off by one governor.
    RequestGovernor governor(GovernorSettings::From(settings));
    CliView view(streams, AnswersFor(options, settings));
    view.SetSelection(options.albums);
    view.SetLogToError(options.action == CliOptions::Action::List);
    // Without a cookies file named, the site's visitor access stands in for a login the site
    // does not take (or that is not there), its cookies kept in the program folder.
    std::unique_ptr<VisitorSession> visitor;
    if (!options.cookiesFile) {
        Text passport = WithoutTrailingSlash(settings.visitorService);
        if (passport.empty())
            passport = Utf8ToLocal(SettingDefOf(SettingKey::VisitorService).fallback);
        visitor = std::make_unique<VisitorSession>(passport, VisitorCookiesFile());
        visitor->SetNotice([&view, &streams] {
            view.PrintLine(streams.err,
                           "ovatrix-cli: no login the site takes: going on with its visitor "
                           "access (followers-only posts are left out)");
        });
    }
    const SessionContext session{cookies, governor, visitor.get()};
    Catalogue catalogue(view, service, session);
    // --verbose: every request of the run, the list's and the download's (both on this
    // thread), as a line of standard error kept clear of the progress line.
    RequestTraceSink traceLine;
    if (options.verbose) {
        traceLine = [&view, &streams](const RequestTraceEntry& entry) {
            view.PrintLine(streams.err, PrintableUtf8(FormatRequestTrace(entry), true));
        };
    }
    ScopedRequestTrace trace(std::move(traceLine));

    // The resolution and the list are cut short by a stop as the download is.
    bool stopped = false;
    {
        ScopedStopFlag stopFlag(&control.Flag());
        catalogue.ResolveUser();
        stopped = control.Stopped();
        if (!stopped && !catalogue.User().userId.empty()) {
            catalogue.ListAlbums();
            stopped = control.Stopped();
        }
    }
    if (stopped) {
        view.Finish();
        ErrorLine(streams, "stopped");
        return kExitStopped;
    }
    const ListedUser user = catalogue.User();
    Text cause;
    const Catalogue::Failure failure = catalogue.LastFailure(&cause);
    if (failure == Catalogue::Failure::HomePage) {
        view.Finish();
        ErrorLine(streams, "cannot fetch the home page " +
                               PrintableUtf8(user.homePageAddress, true) + ": " +
                               PrintableUtf8(cause, true));
        return kExitNoUserId;
    }
    if (failure == Catalogue::Failure::Profile) {
        view.Finish();
        ErrorLine(streams, "cannot fetch the user's profile: " + PrintableUtf8(cause, true));
        return kExitNoUserId;
    }
    if (failure == Catalogue::Failure::NoSuchUser) {
        view.Finish();
        ErrorLine(streams, "the service shows no user at " +
                               PrintableUtf8(user.homePageAddress, true) + ": " +
                               PrintableUtf8(cause, true));
        return kExitNoUserId;
    }
    if (failure == Catalogue::Failure::Refused) {
        view.Finish();
        ErrorLine(streams, "the service kept refusing (throttling): run again later");
        return kExitRefused;
    }
    if (user.userId.empty() || failure == Catalogue::Failure::NotLoggedIn) {
        view.Finish();
        ErrorLine(streams,
                  "no user id found on the home page: not logged in, or a wrong address (" +
                      PrintableUtf8(user.homePageAddress, true) + ")");
        if (failure == Catalogue::Failure::NotLoggedIn) {
            ErrorLine(streams,
                      "not logged in: log in in the window, or pass --cookies with a login");
        }
        return kExitNoUserId;
    }
    const std::vector<AlbumRow> rows = view.Rows();
    if (rows.empty()) {
        view.Finish();
        const Text& who = user.userTitle.empty() ? user.userId : user.userTitle;
        if (failure == Catalogue::Failure::NotLoggedIn) {
            ErrorLine(streams,
                      "not logged in: log in in the window, or pass --cookies with a login");
            return kExitNoUserId;
        }
        if (failure == Catalogue::Failure::Refused) {
            ErrorLine(streams, "the service kept refusing (throttling): run again later");
            return kExitRefused;
        }
        if (failure == Catalogue::Failure::AlbumList) {
            ErrorLine(streams, "cannot fetch the album list of the user " +
                                   PrintableUtf8(who, true) + ": " + PrintableUtf8(cause, true));
        } else {
            ErrorLine(streams, "the user " + PrintableUtf8(who, true) + " has no albums");
        }
        return kExitNoAlbums;
    }
    if (options.action == CliOptions::Action::List) {
        view.Finish();
        PrintAlbumRows(view, streams);
        return kExitDone;
    }
    if (long beyond = options.albums.FirstBeyond(static_cast<long>(rows.size())); beyond != 0) {
        view.Finish();
        ErrorLine(streams, "album number " + std::to_string(beyond) +
                               " names no album (the user has " + std::to_string(rows.size()) +
                               ")");
        return kExitBadArguments;
    }

    // The user and protocol of the rows listed: what the download saves under.
    const Catalogue::Listing listed = catalogue.Listed();
    DownloadSetup setup;
    setup.user = listed.user;
    setup.protocol = listed.protocol;
    setup.programFolder = programFolder;
    setup.recordFolder = RecordFolder();
    // The record folder is made once, as the window does at start-up.
    std::error_code ec;
    fs::create_directories(ToPath(setup.recordFolder), ec);

    DownloadJob job(view, control, session, setup);
    const DownloadSummary summary = job.Run();
    view.Finish();
    view.PrintLine(streams.out, LocalToUtf8(SummaryLine(summary)));
    if (summary.notLoggedIn) {
        ErrorLine(streams, "not logged in: log in in the window, or pass --cookies with a login");
        return kExitNoUserId;
    }
    if (summary.refused) {
        ErrorLine(streams,
                  "the service kept refusing (throttling): what was saved is recorded, run "
                  "again later to go on from there");
        return kExitRefused;
    }
    if (summary.stopped) {
        ErrorLine(streams, "stopped");
        return kExitStopped;
    }
    if (LeftSomethingBehind(summary)) {
        ErrorLine(streams,
                  "some photos or pages could not be fetched: what was saved is recorded, run "
                  "again to fetch the rest");
        return kExitIncomplete;
    }
    return kExitDone;
}

}  // namespace ovx
