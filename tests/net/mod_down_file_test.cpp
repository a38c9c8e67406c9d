#include "net/mod_down_file.h"
#include "tests/net/test_server.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <set>

using namespace orvana;
using namespace orvana::net;
using orvana::net::test::TestServer;
using namespace std::chrono_literals;

namespace {

// A port just freed by a server of our own: nothing listens there.
int FreedPort() {
    TestServer gone;
    gone.start();
    return gone.port();
}

TransferSettings FastSettings() {
    TransferSettings settings;
    settings.stallTimeout = 300ms;
    settings.cancelPollInterval = 5ms;
    return settings;
}

template <typename Call> TransportError CatchTransportError(Call call) {
    try {
        call();
    } catch (const TransportError& error) {
        return error;
    }
    ADD_FAILURE() << "no TransportError was thrown";
    return TransportError(QString(), -1, QString());
}

QByteArray ReadFile(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return "<missing>";
    return file.readAll();
}

void WriteFile(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(bytes);
}

QStringList FolderEntries(const QString& folder) {
    return QDir(folder).entryList(QDir::Files | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                                  QDir::Name);
}

// A body that arrives one byte every 10 ms for up to ~3 s, announcing 300 bytes.
void ServeTrickle(TestServer& server, const char* path) {
    server.server().Get(path, [&server](const httplib::Request&, httplib::Response& response) {
        response.set_content_provider(300, "audio/mpeg",
                                      [&server](size_t offset, size_t, httplib::DataSink& sink) {
                                          if (!server.pause(10ms))
                                              return false;
                                          const char byte = static_cast<char>('a' + offset % 26);
                                          return sink.write(&byte, 1);
                                      });
    });
}

class ModDownFileTest : public ::testing::Test {
protected:
    void SetUp() override {
        serveBodies();
        serveFailures();
        ServeTrickle(server, "/trickle");
        server.start();
        ASSERT_TRUE(folder.isValid());
    }

    // Answers that are bodies, a redirect to one included.
    void serveBodies() {
        server.server().Get("/page", [](const httplib::Request&, httplib::Response& response) {
            response.set_content("<p>\xe4\xb8\xad\xe6\x96\x87</p>", "text/html; charset=utf-8");
        });
        server.server().Get("/other", [](const httplib::Request&, httplib::Response& response) {
            response.set_content("second", "text/plain");
        });
        server.server().Get("/text", [](const httplib::Request&, httplib::Response& response) {
            response.set_content("\xe4\xb8\xad\xe6\x96\x87 ok", "text/plain");
        });
        server.server().Post("/text",
                             [](const httplib::Request& request, httplib::Response& response) {
                                 response.set_content("posted:" + request.body, "text/plain");
                             });
        server.server().Get("/song.mp3", [](const httplib::Request&, httplib::Response& response) {
            response.set_content(std::string(100'000, '\x55'), "audio/mpeg");
        });
        server.server().Get("/moved", [](const httplib::Request&, httplib::Response& response) {
            response.set_redirect("/other");
        });
        server.server().Get(R"(/files/(.*))",
                            [](const httplib::Request& request, httplib::Response& response) {
                                response.set_content("path:" + request.path, "audio/mpeg");
                            });
        server.server().Get("/big", [](const httplib::Request&, httplib::Response& response) {
            response.set_content(std::string(5000, 'b'), "text/plain");
        });
    }

    // Answers no fetch may take as a body.
    void serveFailures() {
        server.server().Get("/missing", [](const httplib::Request&, httplib::Response& response) {
            response.status = 404;
            response.set_content("not here", "text/html");
        });
        server.server().Get("/busy", [](const httplib::Request&, httplib::Response& response) {
            response.status = 429;
            response.set_header("Retry-After", "7");
            response.set_content("slow down", "text/plain");
        });
        server.server().Get("/down", [](const httplib::Request&, httplib::Response& response) {
            response.status = 503;
            response.set_header("Retry-After", "Wed, 21 Oct 2099 07:28:00 GMT");
        });
        server.server().Get("/one-byte", [](const httplib::Request&, httplib::Response& response) {
            response.set_content("x", "audio/mpeg");
        });
        server.server().Get("/error500", [](const httplib::Request&, httplib::Response& response) {
            response.status = 500;
            response.set_content(std::string(5000, 'e'), "text/html");
        });
        server.server().Get("/choices", [](const httplib::Request&, httplib::Response& response) {
            response.status = 300;
            response.set_content("pick one", "text/html");
        });
        server.server().Get("/to-file", [](const httplib::Request&, httplib::Response& response) {
            response.set_redirect("file:///etc/passwd");
        });
        // Announces 100 bytes, sends 50, then drops the connection.
        server.server().Get("/cut", [](const httplib::Request&, httplib::Response& response) {
            response.set_content_provider(100, "audio/mpeg",
                                          [](size_t offset, size_t, httplib::DataSink& sink) {
                                              if (offset >= 50)
                                                  return false;
                                              return sink.write(std::string(50, 'c').data(), 50);
                                          });
        });
        // Sends the headers and then nothing for a long while.
        server.server().Get("/stall", [this](const httplib::Request&, httplib::Response& response) {
            response.set_content_provider(10, "text/plain",
                                          [this](size_t, size_t, httplib::DataSink&) {
                                              server.pause(3s);
                                              return false;
                                          });
        });
    }

    TestServer server;
    QTemporaryDir folder;
};

} // namespace

TEST_F(ModDownFileTest, RequestTextSendsGetWithFormContentTypeWhenBodyIsEmpty) {
    ModDownFile transport(nullptr, FastSettings());
    EXPECT_EQ(transport.RequestText(QStringLiteral("UTF-8"), server.url("/text"), QString()),
              QStringLiteral("中文 ok"));
    const auto seen = server.seen();
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0].method, "GET");
    EXPECT_EQ(seen[0].header("Content-Type"), "application/x-www-form-urlencoded");
    EXPECT_EQ(seen[0].body, "");
}

TEST_F(ModDownFileTest, RequestTextPostsAnyNonEmptyBodyEvenASpace) {
    ModDownFile transport(nullptr, FastSettings());
    EXPECT_EQ(transport.RequestText(QStringLiteral("utf-8"), server.url("/text"),
                                    QStringLiteral("id=42&type=album")),
              QStringLiteral("posted:id=42&type=album"));
    EXPECT_EQ(
        transport.RequestText(QStringLiteral("utf-8"), server.url("/text"), QStringLiteral(" ")),
        QStringLiteral("posted: "));
    const auto seen = server.seen();
    ASSERT_EQ(seen.size(), 2u);
    for (const auto& request : seen) {
        EXPECT_EQ(request.method, "POST");
        EXPECT_EQ(request.header("Content-Type"), "application/x-www-form-urlencoded");
    }
    EXPECT_EQ(seen[0].body, "id=42&type=album");
    EXPECT_EQ(seen[1].body, " ");
}

TEST_F(ModDownFileTest, CharsetNamesInEitherCaseDecodeAlike) {
    ModDownFile transport(nullptr, FastSettings());
    const QString upper = transport.RequestText(QStringLiteral("UTF-8"), server.url("/page"), {});
    const QString lower = transport.RequestText(QStringLiteral("utf-8"), server.url("/page"), {});
    EXPECT_EQ(upper, QStringLiteral("<p>中文</p>"));
    EXPECT_EQ(upper, lower);
    // An unknown character set is a failed request, not a guess.
    const TransportError error = CatchTransportError([&] {
        (void)transport.RequestText(QStringLiteral("no-such-set"), server.url("/page"), {});
    });
    EXPECT_EQ(error.reason(), QStringLiteral("unknown character set \"no-such-set\""));
}

TEST_F(ModDownFileTest, BytesToTextDropsAByteOrderMarkAndFailsOnUnknownNames) {
    EXPECT_EQ(BytesToText(QByteArray("\xef\xbb\xbf"
                                     "abc"),
                          QStringLiteral("utf-8")),
              QStringLiteral("abc"));
    EXPECT_EQ(BytesToText(QByteArray(), QStringLiteral("UTF-8")), QString());
    EXPECT_THROW((void)BytesToText("abc", QStringLiteral("klingon")), Error);
}

TEST_F(ModDownFileTest, FetchToBufferIsAPlainGetAndReplacesTheBufferWhole) {
    ModDownFile transport(nullptr, FastSettings());
    transport.FetchToBuffer(server.url("/page"));
    EXPECT_EQ(transport.downloadBuffer, QByteArray("<p>\xe4\xb8\xad\xe6\x96\x87</p>"));
    transport.FetchToBuffer(server.url("/other"));
    EXPECT_EQ(transport.downloadBuffer, QByteArray("second"));
    const auto seen = server.seen();
    ASSERT_EQ(seen.size(), 2u);
    EXPECT_EQ(seen[0].method, "GET");
    EXPECT_FALSE(seen[0].hasHeader("Content-Type"));
    EXPECT_FALSE(seen[0].hasHeader("Cookie")); // the program never makes up a cookie
}

TEST_F(ModDownFileTest, FetchToBufferFollowsRedirects) {
    ModDownFile transport(nullptr, FastSettings());
    transport.FetchToBuffer(server.url("/moved"));
    EXPECT_EQ(transport.downloadBuffer, QByteArray("second"));
}

TEST_F(ModDownFileTest, ARedirectNeverLeavesHttp) {
    ModDownFile transport(nullptr, FastSettings());
    const QString target = folder.filePath(QStringLiteral("song.mp3"));
    EXPECT_THROW(transport.FetchToBuffer(server.url("/to-file")), TransportError);
    EXPECT_TRUE(transport.downloadBuffer.isEmpty());
    EXPECT_THROW((void)transport.FetchToFile(server.url("/to-file"), target), TransportError);
    EXPECT_TRUE(FolderEntries(folder.path()).isEmpty());
}

TEST_F(ModDownFileTest, AddressesWithSpacesAndChineseTextAreSentEncoded) {
    ModDownFile transport(nullptr, FastSettings());
    const QString target = folder.filePath(QStringLiteral("song.mp3"));
    (void)transport.FetchToFile(server.url("/files/") + QStringLiteral("流星 雨.mp3"), target);
    EXPECT_EQ(ReadFile(target), QByteArray("path:/files/流星 雨.mp3"));
}

TEST_F(ModDownFileTest, ErrorStatusFailsAndLeavesNoEarlierBytes) {
    ModDownFile transport(nullptr, FastSettings());
    transport.FetchToBuffer(server.url("/page"));
    const QString url = server.url("/missing");
    const TransportError error = CatchTransportError([&] { transport.FetchToBuffer(url); });
    EXPECT_TRUE(transport.downloadBuffer.isEmpty());
    EXPECT_EQ(error.kind(), ErrorKind::Transport);
    EXPECT_EQ(error.httpStatus(), 404);
    EXPECT_EQ(error.url(), url);
    EXPECT_EQ(error.message(), QStringLiteral("Fetching ") + url +
                                   QStringLiteral(" failed: HTTP status 404 (Not Found)"));
    EXPECT_FALSE(error.retryAfterSeconds().has_value());
    // A redirect status that could not be followed is no body either.
    const TransportError choices =
        CatchTransportError([&] { transport.FetchToBuffer(server.url("/choices")); });
    EXPECT_EQ(choices.httpStatus(), 300);
    EXPECT_TRUE(choices.reason().startsWith(QStringLiteral("HTTP status 300 (")));

    // The text request fails the same way and gives no text.
    const TransportError textError = CatchTransportError(
        [&] { (void)transport.RequestText(QStringLiteral("UTF-8"), url, QString()); });
    EXPECT_EQ(textError.httpStatus(), 404);
}

TEST_F(ModDownFileTest, RetryAfterOf429And503ReachesTheCaller) {
    ModDownFile transport(nullptr, FastSettings());
    const TransportError busy =
        CatchTransportError([&] { transport.FetchToBuffer(server.url("/busy")); });
    EXPECT_EQ(busy.httpStatus(), 429);
    EXPECT_EQ(busy.retryAfterSeconds(), std::optional<int>(7));
    // A date far ahead is honoured up to one day.
    const TransportError down = CatchTransportError(
        [&] { (void)transport.RequestText(QStringLiteral("UTF-8"), server.url("/down"), {}); });
    EXPECT_EQ(down.httpStatus(), 503);
    EXPECT_EQ(down.retryAfterSeconds(), std::optional<int>(24 * 3600));
}

TEST_F(ModDownFileTest, BodyEndingBeforeItsContentLengthFails) {
    ModDownFile transport(nullptr, FastSettings());
    const TransportError error =
        CatchTransportError([&] { transport.FetchToBuffer(server.url("/cut")); });
    EXPECT_TRUE(transport.downloadBuffer.isEmpty());
    EXPECT_EQ(error.kind(), ErrorKind::Transport);

    const QString target = folder.filePath(QStringLiteral("song.mp3"));
    EXPECT_THROW((void)transport.FetchToFile(server.url("/cut"), target), TransportError);
    EXPECT_TRUE(FolderEntries(folder.path()).isEmpty());
}

TEST_F(ModDownFileTest, StalledTransferFails) {
    ModDownFile transport(nullptr, FastSettings());
    const TransportError error =
        CatchTransportError([&] { transport.FetchToBuffer(server.url("/stall")); });
    EXPECT_EQ(error.reason(), QStringLiteral("no data arrived for 300 ms"));
    EXPECT_EQ(error.kind(), ErrorKind::Transport);
}

TEST_F(ModDownFileTest, PageAnswersOverTheCapFail) {
    TransferSettings settings = FastSettings();
    settings.pageSizeCap = 1000;
    ModDownFile transport(nullptr, settings);
    const TransportError error =
        CatchTransportError([&] { transport.FetchToBuffer(server.url("/big")); });
    EXPECT_EQ(error.reason(), QStringLiteral("the answer is larger than 1000 bytes"));
    EXPECT_TRUE(transport.downloadBuffer.isEmpty());
    EXPECT_THROW((void)transport.RequestText(QStringLiteral("UTF-8"), server.url("/big"), {}),
                 TransportError);
    // Song files stream to disk and are not pages: no cap.
    EXPECT_NO_THROW((void)transport.FetchToFile(server.url("/song.mp3"),
                                                folder.filePath(QStringLiteral("a.mp3"))));
}

TEST_F(ModDownFileTest, OnlyHttpAndHttpsAddressesAreFetched) {
    ModDownFile transport(nullptr, FastSettings());
    const QString target = folder.filePath(QStringLiteral("x.mp3"));
    for (const char* address : {"file:///etc/passwd", "data:text/plain,hello", "ftp://127.0.0.1/x",
                                "qrc:/x", "/relative/path", ""}) {
        const QString url = QString::fromUtf8(address);
        const TransportError error = CatchTransportError([&] { transport.FetchToBuffer(url); });
        EXPECT_EQ(error.reason(), QStringLiteral("only http and https addresses are fetched"))
            << address;
        EXPECT_EQ(error.httpStatus(), 0);
        EXPECT_THROW((void)transport.FetchToFile(url, target), TransportError) << address;
        EXPECT_THROW((void)transport.RequestText(QStringLiteral("UTF-8"), url, {}), TransportError)
            << address;
    }
    EXPECT_TRUE(FolderEntries(folder.path()).isEmpty());
}

TEST_F(ModDownFileTest, AMalformedOrRefusedAddressFailsForGoodWithoutARequest) {
    ModDownFile transport(nullptr, FastSettings());
    const QString target = folder.filePath(QStringLiteral("x.mp3"));
    const QString refusedScheme = QStringLiteral("ftp://127.0.0.1:%1/x").arg(server.port());
    const std::pair<QString, const char*> addresses[] = {
        {QStringLiteral("http:///etc/passwd"), "not a valid address"},
        {QStringLiteral("http://:%1/song.mp3").arg(server.port()), "not a valid address"},
        {refusedScheme, "only http and https addresses are fetched"}};
    for (const auto& [address, reason] : addresses) {
        const QString& url = address; // a lambda cannot capture a structured binding in clang 14
        std::vector<TransportError> errors;
        errors.push_back(CatchTransportError([&] { transport.FetchToBuffer(url); }));
        errors.push_back(CatchTransportError(
            [&] { (void)transport.RequestText(QStringLiteral("UTF-8"), url, {}); }));
        errors.push_back(CatchTransportError([&] { (void)transport.FetchToFile(url, target); }));
        errors.push_back(
            CatchTransportError([&] { transport.FetchToFileDeferred(url, target, {}, {}); }));
        for (const TransportError& error : errors) {
            EXPECT_TRUE(error.permanent()) << error.message().toStdString();
            EXPECT_EQ(error.message(), QStringLiteral("Fetching ") + url +
                                           QStringLiteral(" failed: ") + QString::fromUtf8(reason));
        }
    }
    EXPECT_EQ(transport.FinishCommits(), 0);
    EXPECT_EQ(server.acceptedConnections(), 0);
    EXPECT_TRUE(FolderEntries(folder.path()).isEmpty());
}

TEST_F(ModDownFileTest, FetchToFileStreamsIntoTheFinalNameAndReportsProgress) {
    ModDownFile transport(nullptr, FastSettings());
    const QString target = folder.filePath(QStringLiteral("歌.mp3"));
    qint64 lastReceived = -1;
    qint64 lastTotal = -1;
    const QString written =
        transport.FetchToFile(server.url("/song.mp3"), target, [&](qint64 received, qint64 total) {
            lastReceived = received;
            lastTotal = total;
        });
    EXPECT_EQ(written, target);
    EXPECT_EQ(ReadFile(target), QByteArray(100'000, '\x55'));
    EXPECT_EQ(lastReceived, 100'000);
    EXPECT_EQ(lastTotal, 100'000);
    EXPECT_EQ(FolderEntries(folder.path()), QStringList{QStringLiteral("歌.mp3")});
}

TEST_F(ModDownFileTest, FailedSongFetchLeavesAnExistingFileUntouched) {
    ModDownFile transport(nullptr, FastSettings());
    const QString target = folder.filePath(QStringLiteral("song.mp3"));
    WriteFile(target, "good old bytes");
    for (const char* path : {"/error500", "/one-byte", "/cut", "/missing", "/choices"}) {
        EXPECT_THROW((void)transport.FetchToFile(server.url(path), target), TransportError) << path;
        EXPECT_EQ(ReadFile(target), QByteArray("good old bytes")) << path;
        EXPECT_EQ(FolderEntries(folder.path()), QStringList{QStringLiteral("song.mp3")}) << path;
    }
    const TransportError shortBody =
        CatchTransportError([&] { (void)transport.FetchToFile(server.url("/one-byte"), target); });
    EXPECT_EQ(shortBody.reason(), QStringLiteral("the body has only 1 byte(s)"));
    EXPECT_EQ(shortBody.httpStatus(), 200);
}

TEST_F(ModDownFileTest, FetchToFileIntoAMissingFolderFailsBeforeFetching) {
    ModDownFile transport(nullptr, FastSettings());
    try {
        (void)transport.FetchToFile(server.url("/song.mp3"),
                                    folder.filePath(QStringLiteral("nope/song.mp3")));
        ADD_FAILURE() << "no error";
    } catch (const Error& error) {
        EXPECT_EQ(error.kind(), ErrorKind::Io);
    }
    EXPECT_TRUE(server.seen().empty());
}

TEST_F(ModDownFileTest, ASongNameTheFileSystemRefusesFallsBackToNoTitle) {
    ModDownFile transport(nullptr, FastSettings());
    const QString tooLong = QString(300, u'a') + QStringLiteral(".mp3");
    const QString written =
        transport.FetchToFile(server.url("/song.mp3"), folder.filePath(tooLong));
    const QString name = QFileInfo(written).fileName();
    EXPECT_TRUE(
        QRegularExpression(QStringLiteral("^noTitle(0(\\.\\d+)?|\\d(\\.\\d+)?e-\\d+)\\.mp3$"))
            .match(name)
            .hasMatch())
        << name.toStdString();
    EXPECT_EQ(QFileInfo(written).absolutePath(), QFileInfo(folder.path()).absoluteFilePath());
    EXPECT_EQ(ReadFile(written).size(), 100'000);
}

TEST_F(ModDownFileTest, CancelFromAnotherThreadStopsTheTransferAndStoresNothing) {
    auto token = std::make_shared<CancelToken>();
    ModDownFile transport(nullptr, FastSettings(), token);
    std::atomic<bool> started{false};
    std::thread canceller([&] {
        while (!started)
            std::this_thread::sleep_for(1ms);
        token->cancel();
    });
    const QString target = folder.filePath(QStringLiteral("song.mp3"));
    const TransportError error = CatchTransportError([&] {
        (void)transport.FetchToFile(server.url("/trickle"), target, [&](qint64 received, qint64) {
            if (received > 0)
                started = true;
        });
    });
    canceller.join();
    EXPECT_EQ(error.kind(), ErrorKind::Cancelled);
    EXPECT_EQ(error.reason(), QStringLiteral("cancelled"));
    EXPECT_TRUE(FolderEntries(folder.path()).isEmpty());
    // A cancelled token stops later transfers at once, until reset.
    EXPECT_THROW(transport.FetchToBuffer(server.url("/page")), TransportError);
    token->reset();
    transport.FetchToBuffer(server.url("/page"));
    EXPECT_FALSE(transport.downloadBuffer.isEmpty());
}

TEST_F(ModDownFileTest, WorksInAWorkerThreadOfItsOwn) {
    ModDownFile transport(nullptr, FastSettings());
    QByteArray body;
    QString text;
    std::thread worker([&] {
        transport.FetchToBuffer(server.url("/other"));
        body = transport.downloadBuffer;
        text = transport.RequestText(QStringLiteral("UTF-8"), server.url("/text"), {});
    });
    worker.join();
    EXPECT_EQ(body, QByteArray("second"));
    EXPECT_EQ(text, QStringLiteral("中文 ok"));
    // Bound to that thread now: another thread gets an error, not a crash.
    EXPECT_THROW(transport.FetchToBuffer(server.url("/other")), Error);
}

TEST_F(ModDownFileTest, StoreBufferWritesExactlyTheBufferAndRefusesAnEmptyOne) {
    ModDownFile transport(nullptr, FastSettings());
    const QString cover = folder.filePath(QStringLiteral("cover.jpg"));
    transport.FetchToBuffer(server.url("/other"));
    transport.StoreBuffer(cover);
    EXPECT_EQ(ReadFile(cover), QByteArray("second"));

    // A failed fetch empties the buffer; storing it must not empty the good cover.
    EXPECT_THROW(transport.FetchToBuffer(server.url("/missing")), TransportError);
    EXPECT_THROW(transport.StoreBuffer(cover), Error);
    EXPECT_EQ(ReadFile(cover), QByteArray("second"));
    EXPECT_EQ(FolderEntries(folder.path()), QStringList{QStringLiteral("cover.jpg")});
}

TEST_F(ModDownFileTest, SaveSongFileWritesUnderItsNameOrTheFallback) {
    ModDownFile transport(nullptr, FastSettings());
    const QString path = transport.SaveSongFile(folder.path() + u'/', QStringLiteral("a.mp3"),
                                                QByteArray("ID3 bytes"));
    EXPECT_EQ(path, folder.filePath(QStringLiteral("a.mp3")));
    EXPECT_EQ(ReadFile(path), QByteArray("ID3 bytes"));
    const QString fallback =
        transport.SaveSongFile(folder.path(), QStringLiteral(".mp3/x"), QByteArray("other"));
    EXPECT_TRUE(QFileInfo(fallback).fileName().startsWith(QStringLiteral("noTitle")));
    EXPECT_EQ(ReadFile(fallback), QByteArray("other"));
}

TEST(ProxyText, ReadsTheThreeForms) {
    const auto plain = ParseProxyText(QStringLiteral("127.0.0.1:8081"));
    ASSERT_TRUE(plain);
    EXPECT_EQ(plain->type(), QNetworkProxy::HttpProxy);
    EXPECT_EQ(plain->hostName(), QStringLiteral("127.0.0.1"));
    EXPECT_EQ(plain->port(), 8081);
    const auto http = ParseProxyText(QStringLiteral(" http://proxy.example:3128 "));
    ASSERT_TRUE(http);
    EXPECT_EQ(http->type(), QNetworkProxy::HttpProxy);
    EXPECT_EQ(http->hostName(), QStringLiteral("proxy.example"));
    const auto socks = ParseProxyText(QStringLiteral("socks5://[::1]:1080"));
    ASSERT_TRUE(socks);
    EXPECT_EQ(socks->type(), QNetworkProxy::Socks5Proxy);
    EXPECT_EQ(socks->port(), 1080);
    for (const char* bad : {"", "   ", "127.0.0.1", "127.0.0.1:", "127.0.0.1:0", "host:99999",
                            "ftp://host:21", "http://host:80/path", "host:port", "socks4://h:1"})
        EXPECT_FALSE(ParseProxyText(QString::fromUtf8(bad))) << bad;
}

TEST(ProxyText, UnreadableTickedProxyIsRefusedAndChangesNothing) {
    ModDownFile transport;
    transport.ApplyProxySetting({false, QStringLiteral("garbage")}); // not ticked: ignored
    EXPECT_FALSE(transport.session()->byteFetchProxy());
    try {
        transport.ApplyProxySetting({true, QStringLiteral("garbage")});
        ADD_FAILURE() << "no error";
    } catch (const Error& error) {
        EXPECT_EQ(error.kind(), ErrorKind::InvalidArgument);
        EXPECT_EQ(error.message(),
                  QStringLiteral("The proxy address \"garbage\" cannot be read; write host:port, "
                                 "http://host:port or socks5://host:port"));
    }
    EXPECT_FALSE(transport.session()->byteFetchProxy());
}

TEST_F(ModDownFileTest, AProxyThatDoesNotAnswerNeverFallsBackToDirect) {
    const int deadPort = FreedPort();
    ModDownFile transport(nullptr, FastSettings());
    transport.ApplyProxySetting({true, QStringLiteral("127.0.0.1:%1").arg(deadPort)});
    EXPECT_THROW(transport.FetchToBuffer(server.url("/page")), TransportError);
    EXPECT_TRUE(server.seen().empty());
    // The text request never uses the proxy, so it still reaches the server.
    EXPECT_EQ(transport.RequestText(QStringLiteral("UTF-8"), server.url("/text"), {}),
              QStringLiteral("中文 ok"));
}

// --- Connections, cookies across hosts, and what no answer may cost ---

namespace {

class TransportLimitsTest : public ::testing::Test {
protected:
    void SetUp() override {
        auto& s = server.server();
        s.Get("/a", [](const httplib::Request&, httplib::Response& response) {
            response.set_content("a", "text/plain");
        });
        s.Post("/list", [](const httplib::Request&, httplib::Response& response) {
            response.set_content("list", "text/plain");
        });
        s.Get("/song.mp3", [](const httplib::Request&, httplib::Response& response) {
            response.set_content(std::string(5000, '\x55'), "audio/mpeg");
        });
        s.Get("/gzip", [](const httplib::Request&, httplib::Response& response) {
            response.set_header("Content-Encoding", "gzip");
            response.set_content(std::string(4000, '\x1f'), "audio/mpeg");
        });
        s.Get("/loop", [](const httplib::Request&, httplib::Response& response) {
            response.set_redirect("/loop");
        });
        s.Get("/login", [](const httplib::Request&, httplib::Response& response) {
            response.set_header("Set-Cookie", "sid=s1; Path=/");
            response.set_content("in", "text/plain");
        });
        // A redirect that sets a cookie and sends the file to another host name of this server.
        s.Get("/to-other-host", [this](const httplib::Request&, httplib::Response& response) {
            response.set_header("Set-Cookie", "hop=h1; Path=/");
            response.set_redirect(
                QStringLiteral("http://localhost:%1/song.mp3").arg(server.port()).toStdString());
        });
        s.Get("/to-same-host", [](const httplib::Request&, httplib::Response& response) {
            response.set_header("Set-Cookie", "hop=h1; Path=/");
            response.set_redirect("/a");
        });
        // Answers once two requests are in the server at the same time (or after 3 s alone).
        s.Get("/together", [this](const httplib::Request&, httplib::Response& response) {
            ++inside;
            bool met = false;
            for (int i = 0; i < 600 && !met && server.pause(5ms); ++i)
                met = inside >= 2;
            response.set_content(met ? "together" : "alone", "text/plain");
        });
        ServeTrickle(server, "/trickle");
        server.start();
        ASSERT_TRUE(folder.isValid());
    }

    TestServer server;
    QTemporaryDir folder;
    std::atomic<int> inside{0};
    std::shared_ptr<TransportSession> session = std::make_shared<TransportSession>();
};

template <typename Call> TransportError PermanentError(Call call) {
    const TransportError error = CatchTransportError(call);
    EXPECT_TRUE(error.permanent()) << error.message().toStdString();
    return error;
}

} // namespace

TEST_F(TransportLimitsTest, RequestsOfEachKindShareOneKeptAliveConnection) {
    ModDownFile transport(nullptr, FastSettings());
    for (int i = 0; i < 3; ++i) {
        transport.FetchToBuffer(server.url("/a"));
        EXPECT_EQ(transport.RequestText(QStringLiteral("UTF-8"), server.url("/list"),
                                        QStringLiteral("id=1")),
                  QStringLiteral("list"));
    }
    const auto seen = server.seen();
    ASSERT_EQ(seen.size(), 6u);
    std::set<int> ports;
    for (const auto& request : seen)
        ports.insert(request.remotePort);
    // The server closes a connection after five requests; never one per request.
    EXPECT_LE(ports.size(), 2u);
    for (const auto& request : seen)
        EXPECT_FALSE(request.hasHeader("Accept-Encoding")) << request.path;
    EXPECT_EQ(seen[0].header("User-Agent"), "orvana-dl/0.1");
}

TEST_F(TransportLimitsTest, CookiesGoOnlyToTheirOwnHostAlsoAcrossRedirects) {
    ModDownFile transport(nullptr, FastSettings());
    transport.FetchToBuffer(server.url("/login"));
    transport.FetchToBuffer(server.url("/to-same-host"));
    EXPECT_EQ(transport.downloadBuffer, QByteArray("a"));
    const QString target = folder.filePath(QStringLiteral("song.mp3"));
    (void)transport.FetchToFile(server.url("/to-other-host"), target);
    EXPECT_EQ(ReadFile(target), QByteArray(5000, '\x55'));
    (void)transport.FetchToFile(QStringLiteral("http://localhost:%1/song.mp3").arg(server.port()),
                                target);

    const auto seen = server.seen();
    ASSERT_EQ(seen.size(), 6u);
    EXPECT_FALSE(seen[0].hasHeader("Cookie"));
    EXPECT_EQ(seen[1].header("Cookie"), "sid=s1");
    // The hop's own Set-Cookie is stored before the next hop is asked for.
    EXPECT_EQ(seen[2].path, "/a");
    EXPECT_EQ(seen[2].header("Cookie"), "sid=s1; hop=h1");
    EXPECT_EQ(seen[3].header("Cookie"), "sid=s1; hop=h1");
    // A file on another host gets none of the portal's cookies, redirected or asked directly.
    EXPECT_EQ(seen[4].path, "/song.mp3");
    EXPECT_EQ(seen[4].header("Host"),
              QStringLiteral("localhost:%1").arg(server.port()).toStdString());
    EXPECT_FALSE(seen[4].hasHeader("Cookie"));
    EXPECT_FALSE(seen[5].hasHeader("Cookie"));
}

TEST_F(TransportLimitsTest, EncodedAnswersLoopsAndOversizedSongsFailAtOnceAndLeaveNoFile) {
    for (const bool named : {false, true}) {
        detail::ForceNamedTemporaryFiles(named);
        TransferSettings settings = FastSettings();
        settings.songSizeCap = 4096;
        ModDownFile transport(nullptr, settings);
        const QString target = folder.filePath(QStringLiteral("song.mp3"));

        const TransportError gzip =
            PermanentError([&] { (void)transport.FetchToFile(server.url("/gzip"), target); });
        EXPECT_EQ(gzip.reason(), QStringLiteral("the answer's encoding \"gzip\" cannot be read"));
        (void)PermanentError([&] { transport.FetchToBuffer(server.url("/gzip")); });
        EXPECT_TRUE(transport.downloadBuffer.isEmpty());

        const TransportError loop =
            PermanentError([&] { transport.FetchToBuffer(server.url("/loop")); });
        EXPECT_EQ(loop.reason(), QStringLiteral("more than 10 redirects"));
        EXPECT_EQ(loop.httpStatus(), 302);

        const TransportError big =
            PermanentError([&] { (void)transport.FetchToFile(server.url("/song.mp3"), target); });
        EXPECT_EQ(big.reason(), QStringLiteral("the answer is larger than 4096 bytes"));
        EXPECT_TRUE(FolderEntries(folder.path()).isEmpty()) << named;

        // A plain error status stays worth another attempt.
        EXPECT_FALSE(
            CatchTransportError([&] { transport.FetchToBuffer(server.url("/none")); }).permanent());
    }
    detail::ForceNamedTemporaryFiles(false);
}

TEST_F(ModDownFileTest, RefusedRedirectSchemeIsPermanent) {
    ModDownFile transport(nullptr, FastSettings());
    const TransportError error =
        PermanentError([&] { transport.FetchToBuffer(server.url("/to-file")); });
    EXPECT_EQ(
        error.reason(),
        QStringLiteral("redirected to an address that is not http or https: file:///etc/passwd"));
}

TEST_F(TransportLimitsTest, ABodyTricklingBelowTheMinimumRateFails) {
    TransferSettings settings = FastSettings(); // stall after 300 ms: never reached by a trickle
    settings.minRateBytesPerSecond = 1024;
    settings.minRateWindow = 200ms;
    ModDownFile transport(nullptr, settings);
    const auto started = std::chrono::steady_clock::now();
    const TransportError error = CatchTransportError([&] {
        (void)transport.FetchToFile(server.url("/trickle"),
                                    folder.filePath(QStringLiteral("t.mp3")));
    });
    EXPECT_EQ(error.reason(), QStringLiteral("fewer than 1024 bytes a second arrived over 200 ms"));
    EXPECT_FALSE(error.permanent());
    EXPECT_LT(std::chrono::steady_clock::now() - started, 2s);
    EXPECT_TRUE(FolderEntries(folder.path()).isEmpty());
}

TEST_F(TransportLimitsTest, AFailingProxyIsNamedInTheReason) {
    const int deadPort = FreedPort();
    ModDownFile transport(nullptr, FastSettings());
    transport.ApplyProxySetting({true, QStringLiteral("127.0.0.1:%1").arg(deadPort)});
    const QString url = server.url("/a");
    const TransportError refused = CatchTransportError([&] { transport.FetchToBuffer(url); });
    EXPECT_EQ(refused.reason(),
              QStringLiteral("proxy 127.0.0.1:%1: Connection refused").arg(deadPort));
    EXPECT_EQ(refused.url(), url);

    ModDownFile unresolved(nullptr, FastSettings());
    unresolved.ApplyProxySetting({true, QStringLiteral("no-such-proxy.invalid:8080")});
    EXPECT_EQ(CatchTransportError([&] { unresolved.FetchToBuffer(url); }).reason(),
              QStringLiteral("proxy no-such-proxy.invalid:8080: the host name cannot be resolved"));
    EXPECT_TRUE(server.seen().empty());
}

TEST_F(TransportLimitsTest, DeferredFilesHaveNoNameUntilTheirCommitsAreFinished) {
    ModDownFile transport(nullptr, FastSettings());
    QStringList written;
    QStringList failed;
    auto done = [&](const QString& path, std::exception_ptr error) {
        if (!error) {
            written.append(QFileInfo(path).fileName());
            return;
        }
        try {
            std::rethrow_exception(error);
        } catch (const Error& e) {
            failed.append(e.message());
        }
    };
    for (const char* name : {"a.mp3", "b.mp3"})
        transport.FetchToFileDeferred(server.url("/song.mp3"),
                                      folder.filePath(QString::fromUtf8(name)), {}, done);
    // A name the file system refuses takes the fallback, as FetchToFile does.
    transport.FetchToFileDeferred(server.url("/song.mp3"),
                                  folder.filePath(QString(300, u'x') + QStringLiteral(".mp3")), {},
                                  done);
    EXPECT_TRUE(written.isEmpty()); // callbacks run only inside FinishCommits
    EXPECT_EQ(transport.FinishCommits(), 3);
    ASSERT_EQ(written.size(), 3);
    EXPECT_EQ(written[0], QStringLiteral("a.mp3"));
    EXPECT_EQ(written[1], QStringLiteral("b.mp3"));
    EXPECT_TRUE(written[2].startsWith(QStringLiteral("noTitle")));
    EXPECT_TRUE(failed.isEmpty());
    EXPECT_EQ(ReadFile(folder.filePath(QStringLiteral("b.mp3"))), QByteArray(5000, '\x55'));
    EXPECT_EQ(FolderEntries(folder.path()).size(), 3);
    EXPECT_EQ(transport.FinishCommits(), 0);

    // A deferred buffer replaces the file of its exact name, and an empty one is refused at once.
    transport.FetchToBuffer(server.url("/a"));
    transport.StoreBufferDeferred(folder.filePath(QStringLiteral("a.mp3")));
    EXPECT_EQ(transport.FinishCommits(), 1);
    EXPECT_EQ(ReadFile(folder.filePath(QStringLiteral("a.mp3"))), QByteArray("a"));
    transport.StoreBufferDeferred(folder.filePath(QStringLiteral("a.mp3"))); // the same bytes
    EXPECT_EQ(transport.FinishCommits(), 0);
    transport.downloadBuffer.clear();
    EXPECT_THROW(transport.StoreBufferDeferred(folder.filePath(QStringLiteral("a.mp3"))), Error);
    EXPECT_EQ(transport.FinishCommits(), 0);
    EXPECT_EQ(ReadFile(folder.filePath(QStringLiteral("a.mp3"))), QByteArray("a"));
    EXPECT_EQ(FolderEntries(folder.path()).size(), 3);
}

TEST_F(TransportLimitsTest, TransportsOnTwoThreadsFetchAtOnceOnConnectionsOfTheirOwn) {
    QByteArray bodies[2];
    QString texts[2];
    auto work = [&](int i) {
        ModDownFile transport(session, FastSettings());
        transport.FetchToBuffer(server.url("/together"));
        bodies[i] = transport.downloadBuffer;
        texts[i] = transport.RequestText(QStringLiteral("UTF-8"), server.url("/a"), {});
    };
    std::thread first(work, 0);
    std::thread second(work, 1);
    first.join();
    second.join();
    for (int i = 0; i < 2; ++i) {
        EXPECT_EQ(bodies[i], QByteArray("together")) << i;
        EXPECT_EQ(texts[i], QStringLiteral("a")) << i;
    }
    EXPECT_EQ(server.acceptedConnections(), 2);

    // Both connections stay open for the transports that come after.
    ModDownFile later(session, FastSettings());
    later.FetchToBuffer(server.url("/a"));
    EXPECT_EQ(server.acceptedConnections(), 2);
}

TEST_F(TransportLimitsTest, TheNextTransportOfTheSessionReusesTheLastOnesConnection) {
    {
        ModDownFile first(session, FastSettings());
        first.FetchToBuffer(server.url("/a"));
    }
    std::thread([&] {
        ModDownFile second(session, FastSettings());
        second.FetchToBuffer(server.url("/a"));
        EXPECT_EQ(second.RequestText(QStringLiteral("UTF-8"), server.url("/a"), {}),
                  QStringLiteral("a"));
    }).join();
    EXPECT_EQ(server.acceptedConnections(), 1);
    const auto seen = server.seen();
    ASSERT_EQ(seen.size(), 3u);
    EXPECT_EQ(seen[0].remotePort, seen[2].remotePort);

    // Another session has connections of its own.
    ModDownFile stranger(nullptr, FastSettings());
    stranger.FetchToBuffer(server.url("/a"));
    EXPECT_EQ(server.acceptedConnections(), 2);
}
