#pragma once

#include <QByteArrayView>
#include <QDateTime>
#include <QList>
#include <QNetworkCookie>
#include <QString>
#include <QUrl>
#include <memory>
#include <mutex>

class QNetworkCookieJar;

namespace orvana::net {

// The cookies every transport sends: those read from a Netscape cookies.txt file at start, those
// the login window's browser reports, plus the Set-Cookie answers received during the run (kept
// in memory only; the file is written by the login window alone). The program never makes up a
// cookie, and an expired cookie is never sent. Thread-safe; one per process, shared by every
// ModDownFile.
class CookieStore {
public:
    CookieStore();
    ~CookieStore();
    CookieStore(const CookieStore&) = delete;
    CookieStore& operator=(const CookieStore&) = delete;

    // Reads a Netscape cookies.txt file (a missing file gives no cookies; lines that cannot be
    // read and expired cookies are skipped). Fails with Error(Io) when the file exists but cannot
    // be opened.
    [[nodiscard]] static std::shared_ptr<CookieStore> Load(const QString& path);
    // The unexpired cookies of the file at path, as Load reads them. Fails as Load does.
    [[nodiscard]] static QList<QNetworkCookie> ReadFile(const QString& path);

    // The one cookie file of the window and the command-line tool, whatever their application
    // names: $XDG_DATA_HOME/orvana-dl/cookies.txt, or ~/.local/share/orvana-dl/cookies.txt when
    // XDG_DATA_HOME is unset, empty or relative.
    [[nodiscard]] static QString DefaultPath();

    // Parses / writes the Netscape format ("#HttpOnly_" prefix kept; expiry 0 = session cookie).
    [[nodiscard]] static QList<QNetworkCookie> ParseNetscape(const QByteArray& text);
    [[nodiscard]] static QByteArray ToNetscape(const QList<QNetworkCookie>& cookies);

    // Writes the unexpired cookies to path atomically, the file mode 0600, creating its folder.
    // Fails with Error(Io).
    static void Save(const QString& path, const QList<QNetworkCookie>& cookies);

    // Session cookies and those expiring after now. Pure.
    [[nodiscard]] static QList<QNetworkCookie> Unexpired(const QList<QNetworkCookie>& cookies,
                                                         const QDateTime& now);

    [[nodiscard]] QList<QNetworkCookie> cookiesForUrl(const QUrl& url) const;
    bool setCookiesFromUrl(const QList<QNetworkCookie>& cookies, const QUrl& url);
    [[nodiscard]] QList<QNetworkCookie> allCookies() const;
    void setAllCookies(const QList<QNetworkCookie>& cookies);

    // Adds cookie, replacing one of the same name, domain and path; an expired cookie only
    // removes that one. True when it was added.
    bool insertCookie(const QNetworkCookie& cookie);
    // Removes the cookie of the same name, domain and path; true when there was one.
    bool deleteCookie(const QNetworkCookie& cookie);

    // Whether a request to url would carry an unexpired cookie called name with a value.
    [[nodiscard]] bool holdsCookie(const QUrl& url, QByteArrayView name) const;

private:
    class Jar;
    mutable std::mutex m_mutex;
    std::unique_ptr<Jar> m_jar;
};

} // namespace orvana::net
