#pragma once
// Where the program keeps its files, decided in one place for all three commands (the window,
// ovatrix-cli and ovatrix-records), with or without Qt.
//
// Run from a folder the user can write (the build folder, a portable copy), everything stays
// beside the executable. Installed under a folder the user cannot write (a package), the
// program folder is the per-user data folder, $XDG_DATA_HOME/Ovatrix (by default
// ~/.local/share/Ovatrix), the folder Qt's AppDataLocation names for this program.

#include "runtime/Text.h"

namespace ovx {

// The program folder for an executable in `executableFolder`; no trailing separator.
Text ProgramFolderFor(const Text& executableFolder);
// The folder of the running executable (/proc/self/exe on Linux).
Text ExecutableFolder();
// ProgramFolderFor(ExecutableFolder()), unless overridden.
Text ProgramFolder();
// Test hook: ProgramFolder() returns `folder` while set (an empty text ends it).
void SetProgramFolderOverride(const Text& folder);

// The per-user data folder of the program ($XDG_DATA_HOME/Ovatrix or ~/.local/share/Ovatrix).
Text UserDataFolder();
// The user's pictures folder: XDG_PICTURES_DIR from the user-dirs file, else ~/Pictures.
Text UserPicturesFolder();
// Where photos go when the settings name no save location: the program folder when it is
// beside the executable (portable use), the user's pictures folder when installed.
Text DefaultSaveLocation();

// Below the program folder.
Text SettingsPath();        // "配置.ini" (or where the settings file is redirected to)
Text RecordFolder();        // "防止重复下载数据库/", with the trailing separator
Text BrowserDataFolder();   // "浏览器数据": the embedded browser's cookies, cache and storage
Text BrowserCookiesFile();  // "浏览器数据/cookies.txt": the login the window's browser kept
Text VisitorCookiesFile();  // "访客cookies.txt": the cookies the site's visitor system gave

}  // namespace ovx
