#include "net/cookie_store.h"
#include "net/mod_down_file.h"
#include "tests/net/test_server.h"

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

TEST(CookieStore, WritesWhatItReadsAndKeepsTheFilePrivate) {
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
                         "127.0.0.1\tFALSE\t/\tFALSE\t946684800\texpired\tno\n"
                         "127.0.0.1\tFALSE\t/private\tFALSE\t0\tdeep\tno\n"
                         ".other.example\tTRUE\t/\tFALSE\t0\tforeign\tno\n"));
    EXPECT_EQ(CookieStore::Load(path)->allCookies().size(), 6);
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
