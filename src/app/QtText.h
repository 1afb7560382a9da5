#pragma once
// The one pair of helpers through which texts cross between the engine (local code page) and
// Qt widgets (QString).

#include <QString>

#include "runtime/Text.h"

namespace ovx {

// A local-code-page text as a QString (local code page -> UTF-8 -> QString).
QString ToQString(const Text& text);
// A QString as a local-code-page text (QString -> UTF-8 -> local code page). Characters that
// the local code page cannot hold become '?'; a zero character cuts the text.
Text FromQString(const QString& s);

}  // namespace ovx
