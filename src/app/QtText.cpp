#include "app/QtText.h"

#include <string>

#include "runtime/CodePage.h"

namespace ovx {

QString ToQString(const Text& text) {
    const std::string utf8 = LocalToUtf8(text);
    return QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size()));
}

Text FromQString(const QString& s) {
    const QByteArray utf8 = s.toUtf8();
    return Utf8ToLocal(std::string_view(utf8.constData(), static_cast<std::size_t>(utf8.size())));
}

}  // namespace ovx
