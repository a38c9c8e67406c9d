// The login browser's cookies as the program keeps them, without a browser: the conversion both
// ways, expiry, and what reaches the program's store and the cookie file.
#include "app/cookie_mirror.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <cstring>
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

using namespace orvana;
using orvana::app::CookieMirror;

namespace {

QNetworkCookie cookie(const char* name, const char* value, const char* domain,
                      const QDateTime& expiry = {}) {
    QNetworkCookie c{QByteArray(name), QByteArray(value)};
    c.setDomain(QString::fromUtf8(domain));
    c.setPath(QStringLiteral("/"));
    if (expiry.isValid())
        c.setExpirationDate(expiry);
    return c;
}

QByteArray readFile(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

ino_t inode(const QString& path) {
    struct stat info {};
    return ::stat(QFile::encodeName(path).constData(), &info) == 0 ? info.st_ino : 0;
}

const QUrl kPortal(QStringLiteral("http://127.0.0.1:4567/album/1"));

class CookieMirrorTest : public testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(dir.isValid()); }
    QString file() const { return dir.filePath(QStringLiteral("data/cookies.txt")); }
    void writeFile(const QByteArray& text) {
        QDir().mkpath(dir.filePath(QStringLiteral("data")));
        QFile f(file());
        ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(text);
    }

    QTemporaryDir dir;
    std::shared_ptr<net::CookieStore> store = std::make_shared<net::CookieStore>();
};

} // namespace

TEST(BrowserCookie, HostOnlyCookiesStayHostOnlyAndDomainCookiesKeepTheirDomain) {
    QNetworkCookie hostOnly = cookie("login", "v", "127.0.0.1");
    hostOnly.setPath(QStringLiteral("/account"));
    const app::BrowserCookie a = app::ToBrowserCookie(hostOnly);
    EXPECT_EQ(a.cookie.domain(), QString());
    EXPECT_EQ(a.origin, QUrl(QStringLiteral("http://127.0.0.1/account")));
    EXPECT_EQ(a.cookie.name(), QByteArray("login"));
    EXPECT_EQ(a.cookie.path(), QStringLiteral("/account"));

    QNetworkCookie wide = cookie("pref", "1", ".orvana.example");
    wide.setSecure(true);
    const app::BrowserCookie b = app::ToBrowserCookie(wide);
    EXPECT_EQ(b.cookie.domain(), QStringLiteral(".orvana.example"));
    EXPECT_EQ(b.origin, QUrl(QStringLiteral("https://orvana.example/")));

    QNetworkCookie noPath = cookie("x", "1", "music.orvana.example");
    noPath.setPath(QString());
    EXPECT_EQ(app::ToBrowserCookie(noPath).origin,
              QUrl(QStringLiteral("http://music.orvana.example/")));
    EXPECT_EQ(app::FromBrowserCookie(noPath).path(), QStringLiteral("/"));
}

// The browser's login reaches the transports at once and the file by the end of the pass,
// written once for a burst of changes, in the Netscape format, readable by the user alone.
TEST_F(CookieMirrorTest, ABrowserLoginReachesTheStoreAtOnceAndTheFileOnce) {
    CookieMirror mirror(store, file());
    QNetworkCookie login = cookie("orvana_session", "s1", "127.0.0.1");
    login.setHttpOnly(true);
    mirror.CookieAdded(login);
    EXPECT_TRUE(store->holdsCookie(kPortal, "orvana_session"));
    EXPECT_FALSE(QFile::exists(file()));

    // An overwrite, as the browser reports it: removed, then added with the new value.
    mirror.CookieRemoved(login);
    EXPECT_FALSE(store->holdsCookie(kPortal, "orvana_session"));
    login.setValue("s2");
    mirror.CookieAdded(login);
    mirror.CookieAdded(
        cookie("pref", "1", ".orvana.example", QDateTime::fromSecsSinceEpoch(4102444800, Qt::UTC)));
    QCoreApplication::processEvents();

    EXPECT_EQ(readFile(file()),
              QByteArray("# Netscape HTTP Cookie File\n"
                         "#HttpOnly_127.0.0.1\tFALSE\t/\tFALSE\t0\torvana_session\ts2\n"
                         ".orvana.example\tTRUE\t/\tFALSE\t4102444800\tpref\t1\n"));
    struct stat info {};
    ASSERT_EQ(::stat(QFile::encodeName(file()).constData(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);
    EXPECT_EQ(store->cookiesForUrl(kPortal).at(0).value(), QByteArray("s2"));
}

// Logout: the browser removes the cookie or sets it expired; either way it leaves the store and
// the file, and other cookies stay.
TEST_F(CookieMirrorTest, LogoutRemovesTheCookieFromStoreAndFile) {
    writeFile("#HttpOnly_127.0.0.1\tFALSE\t/\tFALSE\t0\torvana_session\ts1\n"
              "127.0.0.1\tFALSE\t/\tFALSE\t0\tother\tkeep\n");
    CookieMirror mirror(store, file());
    ASSERT_EQ(mirror.Seed().size(), 2);
    ASSERT_TRUE(store->holdsCookie(kPortal, "orvana_session"));

    mirror.CookieAdded(
        cookie("orvana_session", "", "127.0.0.1", QDateTime::fromSecsSinceEpoch(0, Qt::UTC)));
    EXPECT_FALSE(store->holdsCookie(kPortal, "orvana_session"));
    mirror.Flush();
    EXPECT_EQ(readFile(file()), QByteArray("# Netscape HTTP Cookie File\n"
                                           "127.0.0.1\tFALSE\t/\tFALSE\t0\tother\tkeep\n"));

    mirror.CookieRemoved(cookie("other", "keep", "127.0.0.1"));
    mirror.Flush();
    EXPECT_EQ(readFile(file()), QByteArray("# Netscape HTTP Cookie File\n"));
    EXPECT_TRUE(store->allCookies().isEmpty());
}

// A restart: the file is the record. Expired lines are neither seeded nor kept; the seeds carry
// their origins; a cookie the browser confirms unchanged causes no write.
TEST_F(CookieMirrorTest, SeedGivesTheFileUnexpiredCookiesToStoreAndBrowser) {
    writeFile("#HttpOnly_127.0.0.1\tFALSE\t/\tFALSE\t0\torvana_session\ts1\n"
              "127.0.0.1\tFALSE\t/\tFALSE\t946684800\told\tgone\n"
              ".orvana.example\tTRUE\t/\tTRUE\t4102444800\tpref\t1\n");
    CookieMirror mirror(store, file());
    const QList<app::BrowserCookie> seeds = mirror.Seed();
    ASSERT_EQ(seeds.size(), 2);
    EXPECT_EQ(seeds[0].origin, QUrl(QStringLiteral("http://127.0.0.1/")));
    EXPECT_EQ(seeds[0].cookie.domain(), QString());
    EXPECT_TRUE(seeds[0].cookie.isHttpOnly());
    EXPECT_EQ(seeds[1].origin, QUrl(QStringLiteral("https://orvana.example/")));
    EXPECT_EQ(store->allCookies().size(), 2);
    EXPECT_TRUE(store->holdsCookie(kPortal, "orvana_session"));

    // The browser reports the seeded login back: the file is not replaced (same inode).
    const ino_t before = inode(file());
    QNetworkCookie same = cookie("orvana_session", "s1", "127.0.0.1");
    same.setHttpOnly(true);
    mirror.CookieAdded(same);
    mirror.Flush();
    EXPECT_EQ(inode(file()), before);
    mirror.CookieAdded(cookie("orvana_session", "s2", "127.0.0.1"));
    mirror.Flush();
    EXPECT_NE(inode(file()), before);
}

// The window reopened before the pass that writes the file: the browser's latest login is what
// the new opening gets, not the older file.
TEST_F(CookieMirrorTest, ALoginNotYetWrittenIsNotLostToTheNextSeed) {
    writeFile("127.0.0.1\tFALSE\t/\tFALSE\t0\torvana_session\told\n");
    CookieMirror mirror(store, file());
    ASSERT_EQ(mirror.Seed().size(), 1);
    mirror.CookieAdded(cookie("orvana_session", "new", "127.0.0.1"));
    const QList<app::BrowserCookie> seeds = mirror.Seed();
    ASSERT_EQ(seeds.size(), 1);
    EXPECT_EQ(seeds[0].cookie.value(), QByteArray("new"));
    EXPECT_EQ(store->cookiesForUrl(kPortal).at(0).value(), QByteArray("new"));
}

// A cookie file that cannot be written costs the login's survival, never the login itself.
TEST_F(CookieMirrorTest, AnUnwritableFileIsReportedAndTheStoreStillGetsTheLogin) {
    // A file where the folder should be: refused to root as well.
    const QString blocker = dir.filePath(QStringLiteral("blocker"));
    QFile(blocker).open(QIODevice::WriteOnly);
    CookieMirror mirror(store, blocker + u"/cookies.txt");
    QSignalSpy failures(&mirror, &CookieMirror::saveFailed);
    mirror.CookieAdded(cookie("orvana_session", "s1", "127.0.0.1"));
    mirror.Flush();
    EXPECT_TRUE(store->holdsCookie(kPortal, "orvana_session"));
    ASSERT_EQ(failures.size(), 1);
    EXPECT_TRUE(failures.at(0).at(0).toString().contains(blocker));
}

// A cookie file that exists but cannot be read may hold a good login: the browser's cookies
// still reach the store, but never replace the file; each skipped write is reported. Once the
// file reads again, writes resume.
TEST_F(CookieMirrorTest, AFileThatCannotBeReadIsNeverReplaced) {
    ASSERT_TRUE(QDir().mkpath(dir.filePath(QStringLiteral("data"))));
    // A socket where the file should be: it exists and cannot be opened, whoever runs the test.
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    ASSERT_GE(fd, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const QByteArray path = QFile::encodeName(file());
    ASSERT_LT(std::size_t(path.size()), sizeof address.sun_path);
    std::memcpy(address.sun_path, path.constData(), std::size_t(path.size()));
    ASSERT_EQ(::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address), 0);
    const ino_t before = inode(file());

    CookieMirror mirror(store, file());
    QSignalSpy failures(&mirror, &CookieMirror::saveFailed);
    EXPECT_TRUE(mirror.Seed().isEmpty());
    ASSERT_EQ(failures.size(), 1);
    const QString reason = failures.at(0).at(0).toString();
    EXPECT_TRUE(reason.startsWith(u"Cannot read the cookie file \"" + file() + u"\": "))
        << reason.toStdString();

    mirror.CookieAdded(cookie("orvana_session", "s1", "127.0.0.1"));
    mirror.Flush();
    EXPECT_TRUE(store->holdsCookie(kPortal, "orvana_session"));
    EXPECT_EQ(inode(file()), before);
    ASSERT_EQ(failures.size(), 2);
    EXPECT_EQ(failures.at(1).at(0).toString(), reason);
    ::close(fd);

    ASSERT_TRUE(QFile::remove(file()));
    writeFile("127.0.0.1\tFALSE\t/\tFALSE\t0\tother\tkeep\n");
    ASSERT_EQ(mirror.Seed().size(), 1);
    mirror.CookieAdded(cookie("orvana_session", "s2", "127.0.0.1"));
    mirror.Flush();
    EXPECT_EQ(readFile(file()), QByteArray("# Netscape HTTP Cookie File\n"
                                           "127.0.0.1\tFALSE\t/\tFALSE\t0\tother\tkeep\n"
                                           "127.0.0.1\tFALSE\t/\tFALSE\t0\torvana_session\ts2\n"));
    EXPECT_EQ(failures.size(), 2);
}
