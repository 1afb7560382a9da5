#pragma once
// Process-wide values set once at start-up, and the two small operations every part of the
// program uses: starting a worker thread and making sure a folder exists.

#include <functional>
#include <memory>

#include "app/WorkerThread.h"
#include "runtime/Text.h"

namespace ovx {

// The program's version as the update check compares it ("2.0").
Text CurrentVersion();
// The name the version page files this program under ("weibo").
Text UpdateTag();

// Starts `routine` on a new worker thread at once; null when no thread could be created.
std::shared_ptr<WorkerThread> StartThread(std::function<void()> routine);

// Creates the folder and every missing level above it; a trailing separator is added first.
// True when the folder exists afterwards.
bool EnsureFolder(const Text& path);

}  // namespace ovx
