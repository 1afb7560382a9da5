#pragma once
// Where the program keeps its files: the program folder, the settings file inside it and the
// folder of the download-record databases.

#include "runtime/Text.h"

namespace ovx {

// The folder of the executable when it can be written to (portable use), otherwise the
// per-user data folder; no trailing separator. Asked afresh at each call.
Text ProgramFolder();
// ProgramFolder() + "/配置.ini" (or where the settings file has been redirected to).
Text SettingsPath();
// ProgramFolder() + "/防止重复下载数据库/", with the trailing separator.
Text RecordFolder();
// ProgramFolder() + "/浏览器数据": the embedded browser's cookies, cache and storage.
Text BrowserDataFolder();

// Test hook: every path above is then based on `folder` (an empty text restores the
// normal rule).
void SetProgramFolderOverride(const Text& folder);

}  // namespace ovx
