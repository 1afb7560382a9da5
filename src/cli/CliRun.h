#pragma once
// One run of ovatrix-cli, in-process: parses the arguments, reads the settings and cookies,
// resolves the user, lists the albums and downloads the chosen ones. Returns the exit status.
// Signals are the caller's business: a stop asked of `control` (from a signal-waiting thread)
// cuts the resolution, the list and the download short, and the run returns kExitStopped.

#include <string>
#include <vector>

#include "cli/CliView.h"
#include "download/JobControl.h"

namespace ovx {

inline constexpr int kExitDone = 0;
inline constexpr int kExitBadArguments = 2;
inline constexpr int kExitNoUserId = 3;
inline constexpr int kExitNoAlbums = 4;
inline constexpr int kExitRefused = 5;  // the service kept refusing (throttling)
// The run went to its end but left photos, pages or albums behind for a later run.
inline constexpr int kExitIncomplete = 6;
inline constexpr int kExitStopped = 130;

// `args` are the arguments after the program name.
int RunCli(const std::vector<std::string>& args, const CliStreams& streams, JobControl& control);

}  // namespace ovx
