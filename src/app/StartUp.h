#pragma once
// Process-wide values set once at start-up, and the two small operations every part of the
// program uses: starting a worker thread and making sure a folder exists.

#include <functional>
#include <iosfwd>
#include <memory>
#include <optional>

#include "app/WorkerThread.h"
#include "runtime/Text.h"

namespace ovx {

// The program's version as the update check compares it and the About page shows it: the
// project version ("2.0").
Text CurrentVersion();
// The name the version page files this program under ("weibo").
Text UpdateTag();

// Answers "--help" (or "-h") and "--version" (or "-V") on `out` before any window or display is
// needed, and gives the exit code; nothing for any other command line, which goes on to Qt.
std::optional<int> AnswerInformationOption(int argc, char** argv, std::ostream& out);

// Starts `routine` on a new worker thread at once; null when no thread could be created.
std::shared_ptr<WorkerThread> StartThread(std::function<void()> routine);

// Creates the folder and every missing level above it; a trailing separator is added first.
// True when the folder exists afterwards.
bool EnsureFolder(const Text& path);

}  // namespace ovx
