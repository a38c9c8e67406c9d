#include "net/cookie_store.h"
#include "net/mod_down_file.h"
#include "tests/net/test_server.h"

#include <QCoreApplication>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <sys/stat.h>

using namespace orvana;
using namespace orvana::net;
using orvana::net::test::TestServer;

namespace {

const QByteArray kCookieFile = "# Netscape HTTP Cookie File\n"
                               "# a comment line\n"
                               "\n"
                               "127.0.0.1\tFALSE\t/\tFALSE\t0\tsession\tabc123\n"
                               "#HttpOnly_127.0.0.1\tFALSE\t/\tFALSE\t4102444800\tlogin\tyes\n"
                               "127.0.0.1\tFALSE\t/\tTRUE\t0\tsecureonly\tno\n"
                               "127.0.0.1\tFALSE\t/\tFALSE\t946684800\texpired\tno\n"
                               "127.0.0.1\tFALSE\t/private\tFALSE\t0\tdeep\tno\n"
                               ".other.example\tTRUE\t/\tFALSE\t0\tforeign\tno\n"
                               "broken line without tabs\n"
                               "127.0.0.1\tFALSE\t/\tFALSE\tnotanumber\tbad\tno\n";

} // namespace

TEST(CookieStore, ReadsTheNetscapeFormat) {
    const QList<QNetworkCookie> cookies = CookieStore::ParseNetscape(kCookieFile);
    ASSERT_EQ(cookies.size(), 6);
    EXPECT_EQ(cookies[0].name(), QByteArray("session"));
    EXPECT_EQ(cookies[0].value(), QByteArray("abc123"));
    EXPECT_EQ(cookies[0].domain(), QStringLiteral("127.0.0.1"));
    EXPECT_TRUE(cookies[0].isSessionCookie());
    EXPECT_TRUE(cookies[1].isHttpOnly());
    EXPECT_EQ(cookies[1].expirationDate().toSecsSinceEpoch(), 4102444800);
    EXPECT_TRUE(cookies[2].isSecure());
    EXPECT_EQ(cookies[4].path(), QStringLiteral("/private"));
    EXPECT_EQ(cookies[5].domain(), QStringLiteral(".other.example"));
}

// The expired cookie of the file is read by the parser but neither loaded nor written again.
TEST(CookieStore, WritesWhatItReadsButTheExpiredAndKeepsTheFilePrivate) {
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    const QString path = folder.filePath(QStringLiteral("data/cookies.txt"));
    const QList<QNetworkCookie> cookies = CookieStore::ParseNetscape(kCookieFile);
    CookieStore::Save(path, cookies);

    struct stat info {};
    ASSERT_EQ(::stat(QFile::encodeName(path).constData(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(),
              QByteArray("# Netscape HTTP Cookie File\n"
                         "127.0.0.1\tFALSE\t/\tFALSE\t0\tsession\tabc123\n"
                         "#HttpOnly_127.0.0.1\tFALSE\t/\tFALSE\t4102444800\tlogin\tyes\n"
                         "127.0.0.1\tFALSE\t/\tTRUE\t0\tsecureonly\tno\n"
                         "127.0.0.1\tFALSE\t/private\tFALSE\t0\tdeep\tno\n"
                         ".other.example\tTRUE\t/\tFALSE\t0\tforeign\tno\n"));
    EXPECT_EQ(CookieStore::Load(path)->allCookies().size(), 5);
}

TEST(CookieStore, AMissingFileGivesNoCookies) {
    QTemporaryDir folder;
    const auto store = CookieStore::Load(folder.filePath(QStringLiteral("none.txt")));
    EXPECT_TRUE(store->allCookies().isEmpty());
    EXPECT_FALSE(QFile::exists(folder.filePath(QStringLiteral("none.txt"))));
}

TEST(CookieStore, BothTransportsSendTheFileCookiesAndAnswersAddToMemoryOnly) {
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    const QString path = folder.filePath(QStringLiteral("cookies.txt"));
    {
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(kCookieFile);
    }
    TestServer server;
    server.server().Get("/page", [](const httplib::Request&, httplib::Response& response) {
        response.set_header("Set-Cookie", "fresh=1; Path=/");
        response.set_content("page", "text/html");
    });
    server.server().Post("/list", [](const httplib::Request&, httplib::Response& response) {
        response.set_content("list", "text/plain");
    });
    server.start();

    auto session = std::make_shared<TransportSession>(CookieStore::Load(path));
    ModDownFile transport(session);
    transport.FetchToBuffer(server.url("/page"));
    EXPECT_EQ(
        transport.RequestText(QStringLiteral("UTF-8"), server.url("/list"), QStringLiteral("id=1")),
        QStringLiteral("list"));
    {
        // Another job's transport of the same session sees the answer's cookie too.
        ModDownFile other(session);
        other.FetchToBuffer(server.url("/page"));
    }
    const auto seen = server.seen();
    ASSERT_EQ(seen.size(), 3u);
    // Secure, expired, other-path and other-domain cookies are not sent.
    EXPECT_EQ(seen[0].header("Cookie"), "session=abc123; login=yes");
    EXPECT_EQ(seen[1].header("Cookie"), "session=abc123; login=yes; fresh=1");
    EXPECT_EQ(seen[2].header("Cookie"), "session=abc123; login=yes; fresh=1");

    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), kCookieFile); // the transports never write the file
}

namespace {

// Sets or clears an environment variable for one scope.
class ScopedEnv {
public:
    ScopedEnv(const char* name, const QByteArray& value, bool set = true)
        : m_name(name), m_old(qgetenv(name)), m_had(qEnvironmentVariableIsSet(name)) {
        if (set)
            qputenv(name, value);
        else
            qunsetenv(name);
    }
    ~ScopedEnv() {
        if (m_had)
            qputenv(m_name, m_old);
        else
            qunsetenv(m_name);
    }

private:
    const char* m_name;
    QByteArray m_old;
    bool m_had;
};

QNetworkCookie cookie(const char* name, const char* value, const QString& domain,
                      const QDateTime& expiry = {}) {
    QNetworkCookie c{QByteArray(name), QByteArray(value)};
    c.setDomain(domain);
    c.setPath(QStringLiteral("/"));
    if (expiry.isValid())
        c.setExpirationDate(expiry);
    return c;
}

} // namespace

// The window and orvana-dl-cli have different application names but must share one file.
TEST(CookieStore, DefaultPathIsTheSameForEveryApplicationName) {
    const QString name = QCoreApplication::applicationName();
    const ScopedEnv home("HOME", "/home/someone");
    {
        const ScopedEnv data("XDG_DATA_HOME", "/data/xdg/");
        QCoreApplication::setApplicationName(QStringLiteral("orvana-dl-cli"));
        EXPECT_EQ(CookieStore::DefaultPath(), QStringLiteral("/data/xdg/orvana-dl/cookies.txt"));
        QCoreApplication::setApplicationName(QStringLiteral("orvana-dl"));
        EXPECT_EQ(CookieStore::DefaultPath(), QStringLiteral("/data/xdg/orvana-dl/cookies.txt"));
    }
    {
        const ScopedEnv data("XDG_DATA_HOME", {}, false);
        EXPECT_EQ(CookieStore::DefaultPath(),
                  QStringLiteral("/home/someone/.local/share/orvana-dl/cookies.txt"));
    }
    for (const QByteArray& ignored : {QByteArray(), QByteArray("relative/data")}) {
        const ScopedEnv data("XDG_DATA_HOME", ignored);
        EXPECT_EQ(CookieStore::DefaultPath(),
                  QStringLiteral("/home/someone/.local/share/orvana-dl/cookies.txt"));
    }
    QCoreApplication::setApplicationName(name);
}

TEST(CookieStore, HoldsOnlyAnUnexpiredCookieWithAValueForTheUrl) {
    CookieStore store;
    const QUrl otherPort(QStringLiteral("http://127.0.0.1:5000/"));
    EXPECT_FALSE(store.holdsCookie(otherPort, "login"));

    // Expired a second ago: present in the store, never sent, so not held.
    store.setAllCookies({cookie("login", "old", QStringLiteral("127.0.0.1"),
                                QDateTime::currentDateTimeUtc().addSecs(-1))});
    EXPECT_FALSE(store.holdsCookie(otherPort, "login"));

    store.setAllCookies({cookie("login", "", QStringLiteral("127.0.0.1")),
                         cookie("login", "x", QStringLiteral("elsewhere.example"))});
    EXPECT_FALSE(store.holdsCookie(otherPort, "login"));

    // A host-only cookie of 127.0.0.1 reaches every port of it.
    store.insertCookie(cookie("login", "yes", QStringLiteral("127.0.0.1")));
    EXPECT_TRUE(store.holdsCookie(otherPort, "login"));
    EXPECT_FALSE(store.holdsCookie(otherPort, "log"));
    EXPECT_FALSE(store.holdsCookie(QUrl(QStringLiteral("http://127.0.0.2/")), "login"));
}
