#include "app/WebAddress.h"

#include <QRegularExpression>

#include "app/QtText.h"
#include "web/UrlHelpers.h"

namespace ovx {

std::optional<QUrl> BrowsableAddress(const QString& typed) {
    const QString text = typed.trimmed();
    if (text.isEmpty()) return std::nullopt;
    if (text.compare(QStringLiteral("about:blank"), Qt::CaseInsensitive) == 0)
        return QUrl(QStringLiteral("about:blank"));

    // "scheme:" at the start; a host followed by a port ("localhost:8080") is no scheme.
    static const QRegularExpression schemeRe(QStringLiteral("^([A-Za-z][A-Za-z0-9+.\\-]*):"));
    static const QRegularExpression hostPortRe(
        QStringLiteral("^[A-Za-z0-9.\\-]+:[0-9]{1,5}(?:[/?#].*)?$"));
    QString address = text;
    const QRegularExpressionMatch scheme = schemeRe.match(text);
    if (scheme.hasMatch() && !hostPortRe.match(text).hasMatch()) {
        const QString name = scheme.captured(1).toLower();
        if (name != QStringLiteral("http") && name != QStringLiteral("https")) return std::nullopt;
    } else {
        // The completion the catalogue uses too: https, loopback hosts http.
        address = ToQString(CompleteWebAddress(FromQString(text)));
    }

    const QUrl url(address, QUrl::StrictMode);
    if (!url.isValid() || url.host().isEmpty()) return std::nullopt;
    const QString name = url.scheme().toLower();
    if (name != QStringLiteral("http") && name != QStringLiteral("https")) return std::nullopt;
    return url;
}

}  // namespace ovx
