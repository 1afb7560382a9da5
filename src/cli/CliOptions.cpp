#include "cli/CliOptions.h"

#include <algorithm>
#include <cstdio>

#include "catalogue/Protocols.h"
#include "ovx/Version.h"
#include "runtime/CodePage.h"
#include "runtime/TextOps.h"

namespace ovx {

namespace {

enum class Option {
    List,
    Albums,
    Save,
    Naming,
    Numbering,
    Records,
    Period,
    Cookies,
    ProgramFolder,
    Protocol,
    LivePhotos,
    Verbose,
    InputFile,
    StopAtRecorded,
    Parallel,
    Help,
    Version,
};

struct OptionDef {
    const char* name;
    Option option;
    bool takesValue;
};

constexpr OptionDef kOptions[] = {
    {"--list", Option::List, false},
    {"--albums", Option::Albums, true},
    {"--save", Option::Save, true},
    {"--naming", Option::Naming, true},
    {"--numbering", Option::Numbering, true},
    {"--records", Option::Records, true},
    {"--period", Option::Period, true},
    {"--cookies", Option::Cookies, true},
    {"--program-folder", Option::ProgramFolder, true},
    {"--protocol", Option::Protocol, true},
    {"--live-photos", Option::LivePhotos, true},
    {"--verbose", Option::Verbose, false},
    {"--input-file", Option::InputFile, true},
    {"--stop-at-recorded", Option::StopAtRecorded, true},
    {"--parallel", Option::Parallel, true},
    {"--help", Option::Help, false},
    {"--version", Option::Version, false},
};

const OptionDef* FindOption(const std::string& name) {
    for (const OptionDef& def : kOptions) {
        if (name == def.name) return &def;
    }
    return nullptr;
}

// Digits only, at most 4 of them; -1 otherwise.
int SmallNumber(const std::string& digits) {
    if (digits.empty() || digits.size() > 4) return -1;
    int value = 0;
    for (char c : digits) {
        if (c < '0' || c > '9') return -1;
        value = value * 10 + (c - '0');
    }
    return value;
}

// Stores one option's value; false with `error` set when the value is bad.
bool Apply(Option option, const std::string& value, CliOptions& options, std::string& error) {
    switch (option) {
        case Option::Albums:
            if (auto selection = AlbumSelection::Parse(value)) {
                options.albums = *selection;
                return true;
            }
            error = "bad album list \"" + value + "\" (numbers from 1 and ranges, e.g. 1,3,5-7)";
            return false;
        case Option::Save:
            if (value.empty()) {
                error = "--save needs a folder";
                return false;
            }
            options.saveLocation = Utf8ToLocal(value);
            return true;
        case Option::Naming:
            if (auto scheme = SettingsFile::NamingFromValue(Utf8ToLocal(value))) {
                options.naming = *scheme;
                return true;
            }
            error =
                "bad naming scheme \"" + value + "\" (序号加内容, 内容加序号, 内容加日期 or 内容)";
            return false;
        case Option::Numbering:
            if (value == "默认" || value == "循环") {
                options.numbering = value == "循环" ? Numbering::Cycle : Numbering::Default;
                return true;
            }
            error = "bad numbering form \"" + value + "\" (默认 or 循环)";
            return false;
        case Option::Records:
            if (value == "on" || value == "off") {
                options.records = value == "on";
                return true;
            }
            error = "bad --records value \"" + value + "\" (on or off)";
            return false;
        case Option::Period: {
            std::size_t comma = value.find(',');
            std::optional<DateTime> start, end;
            if (comma != std::string::npos) {
                start = ParseCliDate(value.substr(0, comma));
                end = ParseCliDate(value.substr(comma + 1));
            }
            if (!start || !end) {
                error =
                    "bad period \"" + value + "\" (START,END as dates, e.g. 2014-12-10,2014-12-25)";
                return false;
            }
            if (*end < *start) {
                error = "bad period \"" + value + "\": the start is after the end";
                return false;
            }
            options.period = CliOptions::Period{*start, *end};
            return true;
        }
        case Option::Cookies:
            if (value.empty()) {
                error = "--cookies needs a file";
                return false;
            }
            options.cookiesFile = Utf8ToLocal(value);
            return true;
        case Option::ProgramFolder:
            if (value.empty()) {
                error = "--program-folder needs a folder";
                return false;
            }
            options.programFolder = Utf8ToLocal(value);
            return true;
        case Option::Protocol:
            if (IsProtocolId(value)) {
                options.protocol = ProtocolSettingOfId(value);
                return true;
            }
            error = "bad --protocol value \"" + value + "\" (" + ProtocolIdList(", ", " or ") + ")";
            return false;
        case Option::LivePhotos:
            if (value == "on" || value == "off") {
                options.livePhotos = value == "on";
                return true;
            }
            error = "bad --live-photos value \"" + value + "\" (on or off)";
            return false;
        case Option::Verbose:
            options.verbose = true;
            return true;
        case Option::InputFile:
            if (value.empty()) {
                error = "--input-file needs a file (or - for standard input)";
                return false;
            }
            options.inputFile = Utf8ToLocal(value);
            return true;
        case Option::StopAtRecorded: {
            const int n = SmallNumber(value);
            if (n < 0) {
                error = "bad --stop-at-recorded value \"" + value + "\" (a number, 0 to 9999)";
                return false;
            }
            options.stopAtRecorded = n;
            return true;
        }
        case Option::Parallel: {
            const int n = SmallNumber(value);
            if (n < 1 || n > 8) {
                error = "bad --parallel value \"" + value + "\" (a number, 1 to 8)";
                return false;
            }
            options.parallel = n;
            return true;
        }
        case Option::List:
        case Option::Help:
        case Option::Version:
            break;
    }
    return true;
}

}  // namespace

std::optional<DateTime> ParseCliDate(const std::string& text) {
    std::size_t first = text.find('-');
    std::size_t second = first == std::string::npos ? first : text.find('-', first + 1);
    if (second == std::string::npos) return std::nullopt;
    int year = SmallNumber(text.substr(0, first));
    int month = SmallNumber(text.substr(first + 1, second - first - 1));
    int day = SmallNumber(text.substr(second + 1));
    if (year < 1900 || month < 1 || month > 12 || day < 1 || day > DaysInMonth(year, month) ||
        text.size() - second - 1 > 2 || second - first - 1 > 2) {
        return std::nullopt;
    }
    return MakeDateTime(year, month, day);
}

std::optional<CliOptions> ParseCliOptions(const std::vector<std::string>& args,
                                          std::string& error) {
    CliOptions options;
    // --help and --version answer whatever else is on the line.
    for (const std::string& arg : args) {
        if (arg == "--") break;
        if (arg == "--help" || arg == "--version") {
            options.action =
                arg == "--help" ? CliOptions::Action::Help : CliOptions::Action::Version;
            return options;
        }
    }
    std::vector<std::string> positional;
    bool optionsEnded = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (optionsEnded || arg.size() < 2 || arg[0] != '-') {
            positional.push_back(arg);
            continue;
        }
        if (arg == "--") {
            optionsEnded = true;
            continue;
        }
        std::size_t equals = arg.find('=');
        std::string name = arg.substr(0, equals);
        const OptionDef* def = arg.rfind("--", 0) == 0 ? FindOption(name) : nullptr;
        if (!def) {
            error = "unknown option " + name;
            return std::nullopt;
        }
        std::string value;
        if (def->takesValue) {
            if (equals != std::string::npos) {
                value = arg.substr(equals + 1);
            } else if (i + 1 < args.size()) {
                value = args[++i];
            } else {
                error = name + " needs a value";
                return std::nullopt;
            }
        } else if (equals != std::string::npos) {
            error = name + " takes no value";
            return std::nullopt;
        }
        if (def->option == Option::List) options.action = CliOptions::Action::List;
        if (!Apply(def->option, value, options, error)) return std::nullopt;
    }
    if (positional.empty() && !options.inputFile) {
        error = "no home-page address given";
        return std::nullopt;
    }
    for (const std::string& address : positional) {
        options.addresses.push_back(Utf8ToLocal(address));
        if (TrimSpaces(options.addresses.back()).empty()) {
            error = "the home-page address is empty";
            return std::nullopt;
        }
    }
    if (!options.albums.All() && (positional.size() > 1 || options.inputFile)) {
        error = "--albums takes one home-page address (album numbers are each user's own)";
        return std::nullopt;
    }
    return options;
}

std::vector<Text> AddressesOfList(const std::string& utf8) {
    std::vector<Text> addresses;
    std::size_t start = 0;
    while (start < utf8.size()) {
        std::size_t end = utf8.find('\n', start);
        if (end == std::string::npos) end = utf8.size();
        const Text line =
            TrimSpaces(Utf8ToLocal(std::string_view(utf8).substr(start, end - start)));
        start = end + 1;
        if (line.empty() || line.view().front() == '#') continue;
        addresses.push_back(line);
    }
    return addresses;
}

std::string CliVersionText() {
    return std::string("ovatrix-cli ") + kVersion + "\n" + kLicenceLine + "\n";
}

std::string CliHelpText() {
    return R"(Usage: ovatrix-cli [options] HOME_PAGE_ADDRESS...
Downloads the photo albums of Weibo users: finds each user on the home page named by
HOME_PAGE_ADDRESS, lists the user's albums and saves every full-size photo of the chosen
albums into one folder per album, named after the user and the album. Several users are
taken one after the other in one session; a last line adds up their figures.

What to download:
  --list                 print the albums (number TAB name TAB photo count TAB album key) and exit;
                         with several users, a line "# USERID TITLE" before each user's rows
  --albums LIST          album numbers to download, e.g. 1,3,5-7 (default: all); one user only
  --period START,END     only photos uploaded between the two dates (e.g. 2014-12-10,2014-12-25)
  --input-file FILE      more home-page addresses, one a line (blank lines and lines starting
                         with # left out); - reads standard input
  --stop-at-recorded N   end an album after N pictures in a row that are already recorded (a
                         rerun catches up with the last one); needs the records on; 0: never
                         (default: the settings file's)

Where and how to save:
  --save DIR             save location (default: the settings file's, else ProgramFolder)
  --naming SCHEME        序号加内容 | 内容加序号 | 内容加日期 | 内容 (default: the settings file's)
  --numbering FORM       默认 | 循环 (default: the settings file's)
  --records on|off       duplicate protection (default: the settings file's)
  --live-photos on|off   also save a live photo's video beside it (default: the settings file's)
  --parallel N           image transfers at once, 1 to 8; 1 fetches one picture at a time
                         (default: the settings file's, else 1)

Session and files:
  --cookies FILE         a Netscape cookies.txt file loaded into the cookie store before any request
  --program-folder DIR   where 配置.ini and the record folder live (default: ProgramFolder)
  --protocol )" +
           ProtocolIdList("|", "|") + R"(
                         how to speak to the service: the album service when the home page
                         carries its markers, else the site's web API (auto); or always one
                         (default: the settings file's)

Other:
  --verbose              one line per request on standard error (method, address, status,
                         bytes, time, the wait before it)
  --help                 print this help and exit
  --version              print the version and exit

Settings not given on the command line come from 配置.ini in the program folder (the
folder of the program when it is writable, else ~/.local/share/Ovatrix), as the window
keeps them. Without --cookies, the login the window's browser kept
(浏览器数据/cookies.txt in the program folder) is used. The records of downloaded photos
live in 防止重复下载数据库/ there.

The log goes to standard output, progress and messages to standard error. Ctrl-C or
SIGTERM stops at the next step: no half-written photo, the records closed; a second one
stops at once.

Exit status:
  0    the run completed with nothing missing (pictures the service deleted and
       followers-only posts apart)
  2    bad arguments
  3    no user id found on the home page (not logged in, or a wrong address), a user
       the service says does not exist, or a login is needed
  With several users, 0 when every user completed, else the most serious of the users'
  statuses in this order: 130, 5, 3, 4, 6.
  4    the user has no albums
  5    the service kept refusing (throttling); what was saved is recorded, run again later
  6    the run went to its end but left something behind (photos that failed, pages that
       could not be read, albums skipped); what was saved is recorded, run again to fetch
       the rest
  130  stopped by Ctrl-C or SIGTERM

Examples:
  List the albums of a user, logged in through a cookies file:
      ovatrix-cli --cookies cookies.txt --list https://weibo.com/u/1642591402

  Download albums 1, 3 and 4, each photo named by its caption and upload date:
      ovatrix-cli --albums 1,3-4 --naming 内容加日期 --save ~/图片/微博 https://weibo.com/u/1642591402
)";
}

}  // namespace ovx
