#include "app/cookie_mirror.h"

#include "json/error.h"
#include <QDateTime>
#include <QTimer>

namespace orvana::app {

namespace {

bool isExpired(const QNetworkCookie& cookie) {
    return !cookie.isSessionCookie() && cookie.expirationDate() <= QDateTime::currentDateTimeUtc();
}

} // namespace

BrowserCookie ToBrowserCookie(const QNetworkCookie& cookie) {
    BrowserCookie out{cookie, {}};
    QString host = cookie.domain();
    if (host.startsWith(u'.')) {
        host.remove(0, 1);
    } else {
        // A Domain attribute would make the browser send it to every subdomain as well.
        out.cookie.setDomain(QString());
    }
    out.origin.setScheme(cookie.isSecure() ? QStringLiteral("https") : QStringLiteral("http"));
    out.origin.setHost(host);
    out.origin.setPath(cookie.path().isEmpty() ? QStringLiteral("/") : cookie.path());
    return out;
}

QNetworkCookie FromBrowserCookie(const QNetworkCookie& cookie) {
    QNetworkCookie out = cookie;
    if (out.path().isEmpty())
        out.setPath(QStringLiteral("/"));
    return out;
}

CookieMirror::CookieMirror(std::shared_ptr<net::CookieStore> store, QString filePath,
                           QObject* parent)
    : QObject(parent), m_store(std::move(store)), m_filePath(std::move(filePath)) {}

CookieMirror::~CookieMirror() {
    Flush();
}

QList<BrowserCookie> CookieMirror::Seed() {
    // A change not yet written would otherwise be lost to the older file.
    Flush();
    try {
        m_cookies = net::CookieStore::ReadFile(m_filePath);
        m_readError.clear();
    } catch (const Error& e) {
        m_cookies.clear();
        m_readError = e.message();
        Q_EMIT saveFailed(e.message());
    }
    QList<BrowserCookie> seeds;
    for (const QNetworkCookie& cookie : std::as_const(m_cookies)) {
        m_store->insertCookie(cookie);
        seeds.append(ToBrowserCookie(cookie));
    }
    return seeds;
}

void CookieMirror::CookieAdded(const QNetworkCookie& reported) {
    if (isExpired(reported))
        return CookieRemoved(reported);
    const QNetworkCookie cookie = FromBrowserCookie(reported);
    if (cookie.name().isEmpty() || cookie.domain().isEmpty())
        return;
    m_store->insertCookie(cookie);
    for (QNetworkCookie& kept : m_cookies) {
        if (kept.hasSameIdentifier(cookie)) {
            if (kept == cookie)
                return; // the browser confirms what the file has: nothing to write
            kept = cookie;
            return scheduleWrite();
        }
    }
    m_cookies.append(cookie);
    scheduleWrite();
}

void CookieMirror::CookieRemoved(const QNetworkCookie& reported) {
    const QNetworkCookie cookie = FromBrowserCookie(reported);
    m_store->deleteCookie(cookie);
    const qsizetype removed = m_cookies.removeIf(
        [&cookie](const QNetworkCookie& kept) { return kept.hasSameIdentifier(cookie); });
    if (removed > 0)
        scheduleWrite();
}

void CookieMirror::scheduleWrite() {
    if (m_writePending)
        return;
    m_writePending = true;
    QTimer::singleShot(0, this, &CookieMirror::Flush);
}

void CookieMirror::Flush() {
    if (!m_writePending)
        return;
    m_writePending = false;
    // A file that could not be read may hold a good login: what this run knows never replaces it.
    if (!m_readError.isEmpty()) {
        Q_EMIT saveFailed(m_readError);
        return;
    }
    try {
        net::CookieStore::Save(m_filePath, m_cookies);
    } catch (const Error& e) {
        Q_EMIT saveFailed(e.message());
    }
}

} // namespace orvana::app
