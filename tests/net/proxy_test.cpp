#include "net/mod_down_file.h"
#include "tests/net/test_server.h"

#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace orvana;
using namespace orvana::net;
using orvana::net::test::TestServer;
using namespace std::chrono_literals;

namespace {

// A real HTTP proxy (tinyproxy) on a loopback port, with a config of its own; stopped when
// destroyed.
class Tinyproxy {
public:
    // Empty when tinyproxy is not installed.
    static QString Program() { return QStandardPaths::findExecutable(QStringLiteral("tinyproxy")); }

    bool start() {
        if (!m_folder.isValid())
            return false;
        QTcpServer probe;
        if (!probe.listen(QHostAddress::LocalHost, 0))
            return false;
        m_port = probe.serverPort();
        probe.close();
        QFile config(m_folder.filePath(QStringLiteral("tinyproxy.conf")));
        if (!config.open(QIODevice::WriteOnly))
            return false;
        config.write(QStringLiteral("Port %1\n"
                                    "Listen 127.0.0.1\n"
                                    "Timeout 10\n"
                                    "MaxClients 8\n"
                                    "LogLevel Info\n"
                                    "LogFile \"%2\"\n"
                                    "Allow 127.0.0.1\n")
                         .arg(m_port)
                         .arg(m_folder.filePath(QStringLiteral("tinyproxy.log")))
                         .toUtf8());
        config.close();
        m_process.setProgram(Program());
        m_process.setArguments({QStringLiteral("-d"), QStringLiteral("-c"), config.fileName()});
        m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        m_process.start();
        if (!m_process.waitForStarted(5000))
            return false;
        // Ready once it accepts connections.
        for (int attempt = 0; attempt < 250; ++attempt) {
            QTcpSocket socket;
            socket.connectToHost(QHostAddress::LocalHost, m_port);
            if (socket.waitForConnected(100))
                return true;
            std::this_thread::sleep_for(20ms);
        }
        return false;
    }

    ~Tinyproxy() {
        if (m_process.state() != QProcess::NotRunning) {
            m_process.terminate();
            if (!m_process.waitForFinished(3000)) {
                m_process.kill();
                m_process.waitForFinished(3000);
            }
        }
    }

    [[nodiscard]] quint16 port() const { return m_port; }

private:
    QTemporaryDir m_folder;
    QProcess m_process;
    quint16 m_port = 0;
};

bool CameThroughProxy(const orvana::net::test::SeenRequest& request) {
    return request.header("Via").find("tinyproxy") != std::string::npos;
}

} // namespace

TEST(Proxy, ByteFetchesGoThroughTheProxyAndTextRequestsNever) {
    if (Tinyproxy::Program().isEmpty())
        GTEST_SKIP() << "tinyproxy is not installed (scripts/install-deps installs it)";
    Tinyproxy proxy;
    ASSERT_TRUE(proxy.start()) << "tinyproxy did not start";

    TestServer server;
    server.server().Get("/album/1", [](const httplib::Request&, httplib::Response& response) {
        response.set_content("<html>album</html>", "text/html");
    });
    server.server().Get("/song.mp3", [](const httplib::Request&, httplib::Response& response) {
        response.set_content(std::string(4096, '\x11'), "audio/mpeg");
    });
    server.server().Get("/song/1/download",
                        [](const httplib::Request&, httplib::Response& response) {
                            response.set_content("download page", "text/html");
                        });
    server.server().Post("/data/music/songlist",
                         [](const httplib::Request&, httplib::Response& response) {
                             response.set_content("{}", "application/json");
                         });
    server.start();
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());

    auto session = std::make_shared<TransportSession>();
    TransferSettings settings;
    settings.stallTimeout = 5s;
    {
        ModDownFile transport(session, settings);
        transport.ApplyProxySetting({true, QStringLiteral("127.0.0.1:%1").arg(proxy.port())});
        transport.FetchToBuffer(server.url("/album/1"));
        EXPECT_EQ(transport.downloadBuffer, QByteArray("<html>album</html>"));
        (void)transport.FetchToFile(server.url("/song.mp3"),
                                    folder.filePath(QStringLiteral("a.mp3")));
        EXPECT_EQ(transport.RequestText(QStringLiteral("UTF-8"), server.url("/song/1/download"),
                                        QString()),
                  QStringLiteral("download page"));
        EXPECT_EQ(transport.RequestText(QStringLiteral("utf-8"),
                                        server.url("/data/music/songlist?hotbar=1"),
                                        QStringLiteral("id=1&type=album")),
                  QStringLiteral("{}"));
        // Unticking the box later does not bring direct access back.
        transport.ApplyProxySetting({false, QString()});
        transport.FetchToBuffer(server.url("/album/1"));
    }
    // Nor does the next job's transport of the same session.
    {
        ModDownFile nextJob(session, settings);
        nextJob.FetchToBuffer(server.url("/album/1"));
    }

    const auto seen = server.seen();
    ASSERT_EQ(seen.size(), 6u);
    const std::pair<const char*, bool> expected[] = {
        {"/album/1", true},          {"/song.mp3", true},
        {"/song/1/download", false}, {"/data/music/songlist", false},
        {"/album/1", true},          {"/album/1", true}};
    for (size_t i = 0; i < seen.size(); ++i) {
        EXPECT_EQ(seen[i].path, expected[i].first) << i;
        EXPECT_EQ(CameThroughProxy(seen[i]), expected[i].second) << seen[i].path;
    }
}

TEST(Proxy, HttpSchemeFormReachesTheProxy) {
    if (Tinyproxy::Program().isEmpty())
        GTEST_SKIP() << "tinyproxy is not installed (scripts/install-deps installs it)";
    Tinyproxy proxy;
    ASSERT_TRUE(proxy.start()) << "tinyproxy did not start";
    TestServer server;
    server.server().Get("/x", [](const httplib::Request&, httplib::Response& response) {
        response.set_content("x", "text/plain");
    });
    server.start();
    ModDownFile transport;
    transport.ApplyProxySetting({true, QStringLiteral("http://127.0.0.1:%1").arg(proxy.port())});
    transport.FetchToBuffer(server.url("/x"));
    const auto seen = server.seen();
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_TRUE(CameThroughProxy(seen[0]));
}
