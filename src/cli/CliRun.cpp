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
#include "runtime/RegularFile.h"
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

// An --input-file is a list of addresses, never large.
constexpr std::size_t kMaxAddressListBytes = std::size_t{1} << 20;

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
    album.stopAtRecorded = options.stopAtRecorded.value_or(settings.stopAtRecorded);
    album.parallelImages = options.parallel.value_or(settings.parallelImages);
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

// What a run of ovatrix-cli shares between its users: the options, the settings, the session.
struct CliContext {
    const CliOptions& options;
    const StoredSettings& settings;
    const CliStreams& streams;
    JobControl& control;
    const ServiceSettings& service;
    SessionContext session;
    Text programFolder;
    bool severalUsers = false;
    // The view of the user in hand, for the lines the session prints (visitor notice, trace).
    CliView* view = nullptr;
};

// What one user's part of the run came to.
struct UserOutcome {
    int status = kExitDone;
    DownloadSummary summary;
    bool downloaded = false;
    bool endsRun = false;  // a stop, a service that keeps refusing, a login lost mid-download
};

const char* const kNotLoggedIn =
    "not logged in: log in in the window, or pass --cookies with a login";

// Says why the catalogue found no user or no albums; the exit status, or kExitDone when there
// is a user with albums.
int CatalogueStatus(const Catalogue& catalogue, const CliView& view, const CliStreams& streams) {
    const ListedUser user = catalogue.User();
    Text cause;
    const Catalogue::Failure failure = catalogue.LastFailure(&cause);
    const std::string address = PrintableUtf8(user.homePageAddress, true);
    switch (failure) {
        case Catalogue::Failure::HomePage:
            ErrorLine(streams,
                      "cannot fetch the home page " + address + ": " + PrintableUtf8(cause, true));
            return kExitNoUserId;
        case Catalogue::Failure::Profile:
            ErrorLine(streams, "cannot fetch the user's profile: " + PrintableUtf8(cause, true));
            return kExitNoUserId;
        case Catalogue::Failure::NoSuchUser:
            ErrorLine(streams, "the service shows no user at " + address + ": " +
                                   PrintableUtf8(cause, true));
            return kExitNoUserId;
        case Catalogue::Failure::Refused:
            ErrorLine(streams, "the service kept refusing (throttling): run again later");
            return kExitRefused;
        default:
            break;
    }
    if (user.userId.empty() || failure == Catalogue::Failure::NotLoggedIn) {
        ErrorLine(streams,
                  "no user id found on the home page: not logged in, or a wrong address (" +
                      address + ")");
        if (failure == Catalogue::Failure::NotLoggedIn) ErrorLine(streams, kNotLoggedIn);
        return kExitNoUserId;
    }
    if (!view.Rows().empty()) return kExitDone;
    const Text& who = user.userTitle.empty() ? user.userId : user.userTitle;
    if (failure == Catalogue::Failure::AlbumList) {
        ErrorLine(streams, "cannot fetch the album list of the user " + PrintableUtf8(who, true) +
                               ": " + PrintableUtf8(cause, true));
    } else {
        ErrorLine(streams, "the user " + PrintableUtf8(who, true) + " has no albums");
    }
    return kExitNoAlbums;
}

// The status a finished download ends with, said on standard error.
int DownloadStatus(const DownloadSummary& summary, const CliStreams& streams) {
    if (summary.notLoggedIn) {
        ErrorLine(streams, kNotLoggedIn);
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

// One user: resolved, listed and (unless --list) downloaded.
UserOutcome RunUser(CliContext& context, const Text& address) {
    UserOutcome outcome;
    CliAnswers answers = AnswersFor(context.options, context.settings);
    answers.homePageAddress = address;
    CliView view(context.streams, answers);
    context.view = &view;
    view.SetSelection(context.options.albums);
    const bool listing = context.options.action == CliOptions::Action::List;
    view.SetLogToError(listing);
    Catalogue catalogue(view, context.service, context.session);
    // The resolution and the list are cut short by a stop as the download is.
    {
        ScopedStopFlag stopFlag(&context.control.Flag());
        catalogue.ResolveUser();
        if (!context.control.Stopped() && !catalogue.User().userId.empty()) catalogue.ListAlbums();
    }
    view.Finish();
    if (context.control.Stopped()) {
        ErrorLine(context.streams, "stopped");
        return {kExitStopped, {}, false, true};
    }
    outcome.status = CatalogueStatus(catalogue, view, context.streams);
    if (outcome.status != kExitDone) {
        outcome.endsRun = outcome.status == kExitRefused;
        return outcome;
    }
    const std::vector<AlbumRow> rows = view.Rows();
    if (listing) {
        if (context.severalUsers) {
            const ListedUser user = catalogue.User();
            const std::string header = "# " + PrintableUtf8(user.userId, true) + " " +
                                       PrintableUtf8(user.userTitle, true) + "\n";
            std::fwrite(header.data(), 1, header.size(), context.streams.out);
        }
        PrintAlbumRows(view, context.streams);
        return outcome;
    }
    if (long beyond = context.options.albums.FirstBeyond(static_cast<long>(rows.size()));
        beyond != 0) {
        ErrorLine(context.streams, "album number " + std::to_string(beyond) +
                                       " names no album (the user has " +
                                       std::to_string(rows.size()) + ")");
        return {kExitBadArguments, {}, false, false};
    }

    // The user and protocol of the rows listed: what the download saves under.
    const Catalogue::Listing listed = catalogue.Listed();
    DownloadSetup setup;
    setup.user = listed.user;
    setup.protocol = listed.protocol;
    setup.programFolder = context.programFolder;
    setup.recordFolder = RecordFolder();
    // The record folder is made once, as the window does at start-up.
    std::error_code ec;
    fs::create_directories(ToPath(setup.recordFolder), ec);

    outcome.summary = DownloadJob(view, context.control, context.session, setup).Run();
    outcome.downloaded = true;
    view.Finish();
    view.PrintLine(context.streams.out, LocalToUtf8(SummaryLine(outcome.summary)));
    outcome.status = DownloadStatus(outcome.summary, context.streams);
    outcome.endsRun =
        outcome.summary.notLoggedIn || outcome.summary.refused || outcome.summary.stopped;
    return outcome;
}

// The more serious of two statuses of users of one run: 130, 5, 3, 4, 6, then the rest.
int MoreSerious(int a, int b) {
    const auto rank = [](int status) {
        switch (status) {
            case kExitStopped:
                return 6;
            case kExitRefused:
                return 5;
            case kExitNoUserId:
                return 4;
            case kExitNoAlbums:
                return 3;
            case kExitIncomplete:
                return 2;
            case kExitDone:
                return 0;
            default:
                return 1;
        }
    };
    return rank(b) > rank(a) ? b : a;
}

// The addresses of --input-file ("-": standard input); false (said) when it cannot be read.
bool ReadAddressList(const Text& file, const CliStreams& streams, std::vector<Text>& addresses) {
    std::string text;
    if (file == Text("-")) {
        char buffer[4096];
        for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, stdin)) > 0;) {
            text.append(buffer, n);
            if (text.size() > kMaxAddressListBytes) break;
        }
    } else {
        const RegularFileRead read = ReadRegularFile(ToPath(file), kMaxAddressListBytes);
        if (!read.read()) {
            ErrorLine(streams, "input file " + PrintableUtf8(file, true) +
                                   ": cannot be read (no such regular file, or too large)");
            return false;
        }
        text = read.content;
    }
    for (Text& address : AddressesOfList(text)) addresses.push_back(std::move(address));
    return true;
}

}  // namespace

int RunCli(const std::vector<std::string>& args, const CliStreams& streams, JobControl& control) {
    std::string error;
    std::optional<CliOptions> parsed = ParseCliOptions(args, error);
    if (!parsed) {
        ErrorLine(streams, error + " (see ovatrix-cli --help)");
        return kExitBadArguments;
    }
    CliOptions& options = *parsed;
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
    if (options.inputFile && !ReadAddressList(*options.inputFile, streams, options.addresses))
        return kExitBadArguments;
    if (options.addresses.empty()) {
        ErrorLine(streams, "no home-page address given (see ovatrix-cli --help)");
        return kExitBadArguments;
    }
    if (options.stopAtRecorded.value_or(0) > 0 &&
        !options.records.value_or(settings.downloadRecord)) {
        ErrorLine(streams, "--stop-at-recorded needs the records on (--records on)");
        return kExitBadArguments;
    }

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

    ServiceSettings service;
    service.homePage = WithoutTrailingSlash(settings.homePage);
    service.photoService = WithoutTrailingSlash(settings.photoService);
    if (service.photoService.empty())
        service.photoService = Utf8ToLocal(SettingDefOf(SettingKey::PhotoService).fallback);
    service.imageService = WithoutTrailingSlash(settings.imageService);
    if (service.imageService.empty())
        service.imageService = Utf8ToLocal(SettingDefOf(SettingKey::ImageService).fallback);
    service.choice = options.protocol.value_or(settings.protocol);
    // The session: every request of this run is paced and backed off by one governor, the
    // service sees one steady client whatever the number of users.
    RequestGovernor governor(GovernorSettings::From(settings));
    CliContext context{options,       settings,
                       streams,       control,
                       service,       SessionContext{cookies, governor},
                       programFolder, options.addresses.size() > 1};
    // Without a cookies file named, the site's visitor access stands in for a login the site
    // does not take (or that is not there), its cookies kept in the program folder.
    std::unique_ptr<VisitorSession> visitor;
    if (!options.cookiesFile) {
        Text passport = WithoutTrailingSlash(settings.visitorService);
        if (passport.empty())
            passport = Utf8ToLocal(SettingDefOf(SettingKey::VisitorService).fallback);
        visitor = std::make_unique<VisitorSession>(passport, VisitorCookiesFile());
        visitor->SetNotice([&context, &streams] {
            context.view->PrintLine(streams.err,
                                    "ovatrix-cli: no login the site takes: going on with its "
                                    "visitor access (followers-only posts are left out)");
        });
        context.session.visitor = visitor.get();
    }
    // --verbose: every request of the run, the list's and the download's (both on this
    // thread), as a line of standard error kept clear of the progress line.
    RequestTraceSink traceLine;
    if (options.verbose) {
        traceLine = [&context, &streams](const RequestTraceEntry& entry) {
            context.view->PrintLine(streams.err, PrintableUtf8(FormatRequestTrace(entry), true));
        };
    }
    ScopedRequestTrace trace(std::move(traceLine));

    int status = kExitDone;
    DownloadSummary total;
    std::size_t reached = 0;
    for (const Text& address : options.addresses) {
        const UserOutcome outcome = RunUser(context, address);
        ++reached;
        status = MoreSerious(status, outcome.status);
        if (outcome.downloaded) total += outcome.summary;
        if (outcome.endsRun) break;
    }
    context.view = nullptr;
    if (context.severalUsers) {
        if (options.action != CliOptions::Action::List) {
            const std::string line = "共 " + std::to_string(options.addresses.size()) +
                                     " 个用户：" + LocalToUtf8(SummaryLine(total)) + "\n";
            std::fwrite(line.data(), 1, line.size(), streams.out);
            std::fflush(streams.out);
        }
        std::string rest;
        for (std::size_t i = reached; i < options.addresses.size(); ++i)
            rest += (rest.empty() ? "" : ", ") + PrintableUtf8(options.addresses[i], true);
        if (!rest.empty()) ErrorLine(streams, "not reached: " + rest);
    }
    return status;
}

}  // namespace ovx
