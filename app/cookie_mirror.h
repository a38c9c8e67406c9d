#pragma once

#include "net/cookie_store.h"

#include <QList>
#include <QNetworkCookie>
#include <QObject>
#include <QString>
#include <QUrl>
#include <memory>

namespace orvana::app {

// A cookie as the login browser's store takes it: the origin it is set for, and the cookie with
// the Domain attribute only when it was a domain cookie, so a host-only cookie stays host-only.
struct BrowserCookie {
    QNetworkCookie cookie;
    QUrl origin;
};

// How a cookie of the file is handed to the browser. Pure.
[[nodiscard]] BrowserCookie ToBrowserCookie(const QNetworkCookie& cookie);

// How a cookie the browser reports is kept in the program's store and the file: host-only
// cookies keep their host as domain, domain cookies a leading dot, an empty path becomes "/".
// Pure.
[[nodiscard]] QNetworkCookie FromBrowserCookie(const QNetworkCookie& cookie);

// The login browser's cookies, kept by the program: every change the browser reports reaches the
// program's cookie store at once and the cookie file (Netscape format, mode 0600, replaced
// atomically) at the end of the current event-loop pass, so an overwrite that the browser
// reports as a removal followed by an addition is written once. The file is the record that
// survives a restart; the browser's own store does not report what it kept.
// Lives on the window thread; the cookie store may be read by job threads meanwhile.
class CookieMirror : public QObject {
    Q_OBJECT
public:
    CookieMirror(std::shared_ptr<net::CookieStore> store, QString filePath,
                 QObject* parent = nullptr);
    // Writes a change still pending.
    ~CookieMirror() override;

    // Reads the file again (a missing file holds no cookies), puts its unexpired cookies into
    // the program's store and gives them as the browser must be given them. A file that cannot
    // be read gives no cookies and emits saveFailed; the file is then not written (a write
    // emits saveFailed instead) until a later Seed reads it.
    [[nodiscard]] QList<BrowserCookie> Seed();

    // The browser added (or replaced) a cookie; an expired one counts as removed.
    void CookieAdded(const QNetworkCookie& cookie);
    // The browser removed a cookie (logout, expiry, overwrite).
    void CookieRemoved(const QNetworkCookie& cookie);

    // Writes the file now if a change is pending. A failure emits saveFailed.
    void Flush();

    // The cookies the file holds (or will hold once written).
    [[nodiscard]] const QList<QNetworkCookie>& cookies() const noexcept { return m_cookies; }
    [[nodiscard]] const QString& filePath() const noexcept { return m_filePath; }

Q_SIGNALS:
    // The cookie file could not be read or written; message says which file and why.
    void saveFailed(const QString& message);

private:
    void scheduleWrite();

    std::shared_ptr<net::CookieStore> m_store;
    QString m_filePath;
    QList<QNetworkCookie> m_cookies;
    bool m_writePending = false;
    QString m_readError; // why the last Seed could not read the file; empty when it could
};

} // namespace orvana::app
