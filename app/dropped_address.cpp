#include "app/dropped_address.h"

#include "jobs/portal.h"

#include <QList>
#include <QMimeData>
#include <QUrl>

namespace orvana::app {

namespace {

// The one address of a drop: a list of several is not one portal address.
std::optional<QUrl> droppedUrl(const QMimeData& mime) {
    if (mime.hasUrls()) {
        const QList<QUrl> urls = mime.urls();
        if (urls.size() != 1)
            return std::nullopt;
        return urls.first();
    }
    if (mime.hasText())
        return QUrl(mime.text().trimmed(), QUrl::StrictMode);
    return std::nullopt;
}

} // namespace

std::optional<DroppedAddress> DroppedPortalAddress(const QMimeData& mime,
                                                   const QString& portalHost) {
    const std::optional<QUrl> url = droppedUrl(mime);
    const QString base = jobs::PortalBase(portalHost);
    const QUrl portal(base);
    if (!url || !url->isValid() || url->scheme() != u"http" || url->host() != portal.host() ||
        url->port(80) != portal.port(80) || !url->userInfo().isEmpty() || url->hasQuery() ||
        url->hasFragment())
        return std::nullopt;
    const QString path = url->path(QUrl::FullyEncoded);
    for (const auto& [prefix, kind] : {std::pair{u"/album/", jobs::AddressKind::Album},
                                       std::pair{u"/artist/", jobs::AddressKind::Singer}}) {
        const QStringView prefixView(prefix);
        if (path.startsWith(prefixView) &&
            jobs::IsNumericId(QStringView(path).mid(prefixView.size())))
            return DroppedAddress{kind, base + path};
    }
    return std::nullopt;
}

} // namespace orvana::app
