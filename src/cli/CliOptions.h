#pragma once
// The command line of ovatrix-cli, parsed. Values given on the command line arrive as UTF-8
// and are kept as local-code-page texts; what is absent falls back to the settings file when
// the run starts.

#include <optional>
#include <string>
#include <vector>

#include "cli/AlbumSelection.h"
#include "runtime/DateTime.h"
#include "runtime/SettingsFile.h"
#include "runtime/Text.h"

namespace ovx {

struct CliOptions {
    enum class Action { Download, List, Help, Version };
    Action action = Action::Download;

    // The users' home-page addresses, in the order given (then those of --input-file).
    std::vector<Text> addresses;
    std::optional<Text> inputFile;  // one address a line; "-" is standard input
    AlbumSelection albums;          // every album unless --albums
    std::optional<Text> saveLocation;
    std::optional<NamingScheme> naming;
    std::optional<Numbering> numbering;
    std::optional<bool> records;
    struct Period {
        DateTime start;
        DateTime end;
    };
    std::optional<Period> period;  // midnight of each date
    std::optional<Text> cookiesFile;
    std::optional<Text> programFolder;
    std::optional<Text> protocol;  // the "接口" value of --protocol
    std::optional<bool> livePhotos;
    bool verbose = false;  // one line per request on standard error
    // End an album after this many recorded pictures in a row (0: never).
    std::optional<int> stopAtRecorded;
    std::optional<int> parallel;  // image transfers of an album at once, 1 to 8
};

// The addresses of an --input-file text: one a line, blank lines and lines starting with "#"
// left out, spaces around an address trimmed.
std::vector<Text> AddressesOfList(const std::string& utf8);

// Parses the arguments after the program name. On a bad argument returns nothing and puts
// the cause, one line without a line break, into `error`. --help or --version anywhere wins
// over everything else, so they need no address.
std::optional<CliOptions> ParseCliOptions(const std::vector<std::string>& args, std::string& error);

// "2014-12-10" (month and day may have one digit) at midnight; nothing for an impossible date.
std::optional<DateTime> ParseCliDate(const std::string& text);

// What --help and --version print (UTF-8, ending in a line break).
std::string CliHelpText();
std::string CliVersionText();

}  // namespace ovx
