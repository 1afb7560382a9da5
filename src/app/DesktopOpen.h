#pragma once
// Opening a file, folder or address with the desktop's own programs. Window thread.

#include <QString>

namespace ovx {

// An existing file or folder opens as such; an address with a scheme as it is; anything else
// as the desktop reads what a user would type ("weibo.com" is a web address). `verb` is the
// runtime's shell verb (2 explore, 4 open, ...); every verb opens. True when started.
bool OpenWithDesktop(int verb, const QString& target);

}  // namespace ovx
