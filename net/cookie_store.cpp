#include "net/cookie_store.h"

#include "net/file_store.h"

#include "json/error.h"
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QNetworkCookieJar>
#include <algorithm>

namespace orvana::net {

// QNetworkCookieJar already matches domains, paths, expiry and the secure flag as browsers do;
// this only opens its whole-store accessors.
class CookieStore::Jar : public QNetworkCookieJar {
public:
    using QNetworkCookieJar::allCookies;
    using QNetworkCookieJar::deleteCookie;
    using QNetworkCookieJar::insertCookie;
    using QNetworkCookieJar::setAllCookies;
};

namespace {

bool expired(const QNetworkCookie& cookie, const QDateTime& now) {
    return !cookie.isSessionCookie() && cookie.expirationDate() <= now;
}

} // namespace

CookieStore::CookieStore() : m_jar(std::make_unique<Jar>()) {}
CookieStore::~CookieStore() = default;

std::shared_ptr<CookieStore> CookieStore::Load(const QString& path) {
    auto store = std::make_shared<CookieStore>();
    store->setAllCookies(ReadFile(path));
    return store;
}

QList<QNetworkCookie> CookieStore::ReadFile(const QString& path) {
    QFile file(path);
    if (!file.exists())
        return {};
    if (!file.open(QIODevice::ReadOnly))
        throw Error(
            ErrorKind::Io,
            QStringLiteral("Cannot read the cookie file \"%1\": %2").arg(path, file.errorString()));
    return Unexpired(ParseNetscape(file.readAll()), QDateTime::currentDateTimeUtc());
}

QString CookieStore::DefaultPath() {
    // Spelled out rather than taken from QStandardPaths::AppDataLocation, which follows the
    // application name: the window and orvana-dl-cli must meet in one file.
    QString data = qEnvironmentVariable("XDG_DATA_HOME");
    if (data.isEmpty() || QDir::isRelativePath(data))
        data = QDir::homePath() + u"/.local/share";
    return QDir::cleanPath(data + u"/orvana-dl/cookies.txt");
}

QList<QNetworkCookie> CookieStore::Unexpired(const QList<QNetworkCookie>& cookies,
                                             const QDateTime& now) {
    QList<QNetworkCookie> kept;
    for (const QNetworkCookie& cookie : cookies) {
        if (!expired(cookie, now))
            kept.append(cookie);
    }
    return kept;
}

QList<QNetworkCookie> CookieStore::ParseNetscape(const QByteArray& text) {
    static constexpr QByteArrayView kHttpOnlyPrefix = "#HttpOnly_";
    QList<QNetworkCookie> cookies;
    for (QByteArray line : text.split('\n')) {
        if (line.endsWith('\r'))
            line.chop(1);
        bool httpOnly = false;
        if (line.startsWith(kHttpOnlyPrefix)) {
            httpOnly = true;
            line.remove(0, kHttpOnlyPrefix.size());
        } else if (line.isEmpty() || line.startsWith('#')) {
            continue;
        }
        QList<QByteArray> fields = line.split('\t');
        if (fields.size() == 6)
            fields.append(QByteArray()); // a cookie with an empty value
        if (fields.size() != 7 || fields[0].isEmpty() || fields[5].isEmpty())
            continue;
        bool expiryOk = false;
        const qint64 expiry = fields[4].toLongLong(&expiryOk);
        if (!expiryOk)
            continue;
        QNetworkCookie cookie(fields[5], fields[6]);
        QString domain = QString::fromUtf8(fields[0]);
        // TRUE means "this domain and its subdomains", which the jar writes as a leading dot;
        // FALSE means this host alone, a domain without the dot.
        if (fields[1] == "TRUE") {
            if (!domain.startsWith(u'.'))
                domain.prepend(u'.');
        } else if (domain.startsWith(u'.')) {
            domain.remove(0, 1);
        }
        cookie.setDomain(domain);
        cookie.setPath(fields[2].isEmpty() ? QStringLiteral("/") : QString::fromUtf8(fields[2]));
        cookie.setSecure(fields[3] == "TRUE");
        cookie.setHttpOnly(httpOnly);
        if (expiry > 0)
            cookie.setExpirationDate(QDateTime::fromSecsSinceEpoch(expiry, Qt::UTC));
        cookies.append(cookie);
    }
    return cookies;
}

QByteArray CookieStore::ToNetscape(const QList<QNetworkCookie>& cookies) {
    QByteArray text = "# Netscape HTTP Cookie File\n";
    for (const QNetworkCookie& cookie : cookies) {
        const QByteArray domain = cookie.domain().toUtf8();
        const QByteArray path = cookie.path().isEmpty() ? QByteArray("/") : cookie.path().toUtf8();
        const QByteArray fields[] = {cookie.name(), cookie.value(), domain, path};
        bool representable = !domain.isEmpty() && !cookie.name().isEmpty();
        for (const QByteArray& field : fields)
            representable = representable && !field.contains('\t') && !field.contains('\n') &&
                            !field.contains('\r');
        if (!representable)
            continue;
        if (cookie.isHttpOnly())
            text += "#HttpOnly_";
        text += domain + '\t' + (domain.startsWith('.') ? "TRUE" : "FALSE") + '\t' + path + '\t' +
                (cookie.isSecure() ? "TRUE" : "FALSE") + '\t' +
                QByteArray::number(cookie.isSessionCookie()
                                       ? qint64(0)
                                       : cookie.expirationDate().toSecsSinceEpoch()) +
                '\t' + cookie.name() + '\t' + cookie.value() + '\n';
    }
    return text;
}

void CookieStore::Save(const QString& path, const QList<QNetworkCookie>& cookies) {
    const QString folder = QFileInfo(path).absolutePath();
    if (!QDir().mkpath(folder))
        throw Error(
            ErrorKind::Io,
            QStringLiteral("Cannot create the folder \"%1\" for the cookie file").arg(folder));
    // The file holds login sessions: readable by the user alone.
    AtomicFile file(folder, 0600);
    file.write(ToNetscape(Unexpired(cookies, QDateTime::currentDateTimeUtc())));
    (void)file.commit(path, CommitMode::ReplaceExisting);
    SyncFolder(folder);
}

QList<QNetworkCookie> CookieStore::cookiesForUrl(const QUrl& url) const {
    std::lock_guard lock(m_mutex);
    return m_jar->cookiesForUrl(url);
}

bool CookieStore::setCookiesFromUrl(const QList<QNetworkCookie>& cookies, const QUrl& url) {
    std::lock_guard lock(m_mutex);
    return m_jar->setCookiesFromUrl(cookies, url);
}

QList<QNetworkCookie> CookieStore::allCookies() const {
    std::lock_guard lock(m_mutex);
    return m_jar->allCookies();
}

void CookieStore::setAllCookies(const QList<QNetworkCookie>& cookies) {
    std::lock_guard lock(m_mutex);
    m_jar->setAllCookies(cookies);
}

bool CookieStore::insertCookie(const QNetworkCookie& cookie) {
    std::lock_guard lock(m_mutex);
    return m_jar->insertCookie(cookie);
}

bool CookieStore::deleteCookie(const QNetworkCookie& cookie) {
    std::lock_guard lock(m_mutex);
    return m_jar->deleteCookie(cookie);
}

bool CookieStore::holdsCookie(const QUrl& url, QByteArrayView name) const {
    // cookiesForUrl leaves out expired cookies already.
    const QList<QNetworkCookie> cookies = cookiesForUrl(url);
    return std::any_of(cookies.begin(), cookies.end(), [name](const QNetworkCookie& cookie) {
        return cookie.name() == name && !cookie.value().isEmpty();
    });
}

} // namespace orvana::net
