#pragma once

#include <QList>
#include <QNetworkCookie>
#include <QString>
#include <QUrl>
#include <memory>
#include <mutex>

class QNetworkCookieJar;

namespace orvana::net {

// The cookies every transport sends: those read from a Netscape cookies.txt file at start, plus
// the Set-Cookie answers received during the run (kept in memory only; the file is written by
// the login window alone). The program never makes up a cookie. Thread-safe; one per process,
// shared by every ModDownFile.
class CookieStore {
public:
    CookieStore();
    ~CookieStore();
    CookieStore(const CookieStore&) = delete;
    CookieStore& operator=(const CookieStore&) = delete;

    // Reads a Netscape cookies.txt file (a missing file gives no cookies; lines that cannot be
    // read are skipped). Fails with Error(Io) when the file exists but cannot be opened.
    [[nodiscard]] static std::shared_ptr<CookieStore> Load(const QString& path);

    // <application data folder>/cookies.txt (QStandardPaths::AppDataLocation).
    [[nodiscard]] static QString DefaultPath();

    // Parses / writes the Netscape format ("#HttpOnly_" prefix kept; expiry 0 = session cookie).
    [[nodiscard]] static QList<QNetworkCookie> ParseNetscape(const QByteArray& text);
    [[nodiscard]] static QByteArray ToNetscape(const QList<QNetworkCookie>& cookies);

    // Writes the cookies to path atomically, the file mode 0600, creating its folder.
    // Fails with Error(Io).
    static void Save(const QString& path, const QList<QNetworkCookie>& cookies);

    [[nodiscard]] QList<QNetworkCookie> cookiesForUrl(const QUrl& url) const;
    bool setCookiesFromUrl(const QList<QNetworkCookie>& cookies, const QUrl& url);
    [[nodiscard]] QList<QNetworkCookie> allCookies() const;
    void setAllCookies(const QList<QNetworkCookie>& cookies);

private:
    class Jar;
    mutable std::mutex m_mutex;
    std::unique_ptr<Jar> m_jar;
};

} // namespace orvana::net
