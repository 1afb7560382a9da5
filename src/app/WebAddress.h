#pragma once
// The addresses the embedded browser may load. The browser runs inside this process: an
// internal page such as "chrome://gpucrash" takes the whole program down, "javascript:" runs
// a script in whatever page is open and "file:" reads local files. So the settings' home page,
// the address box and the buttons may load only web addresses: http and https, a bare
// address ("weibo.com/u/1", "localhost:8080/") completed with "http://", and the blank page
// the browser starts with.

#include <QString>
#include <QUrl>
#include <optional>

namespace ovx {

// The address to load for what the user or the settings gave, or nothing when it is refused.
std::optional<QUrl> BrowsableAddress(const QString& typed);

}  // namespace ovx
