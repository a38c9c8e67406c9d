#include "tools/portal-sim/media.h"
#include "tools/portal-sim/portal_sim.h"

#include <QProcess>
#include <csignal>
#include <functional>
#include <gtest/gtest.h>
#include <httplib.h>
#include <mutex>
#include <thread>

using namespace orvana::portal;

namespace {

class PortalSimTest : public testing::Test {
protected:
    void SetUp() override { portal.start(); }

    httplib::Client client() {
        httplib::Client c("127.0.0.1", portal.port());
        c.set_keep_alive(false);
        return c;
    }

    PortalSim portal{DemoCatalogue(), PortalOptions{5000, std::chrono::milliseconds(60000)}};
};

// Polls `done` until it holds or 5 s have passed; whether it held.
bool eventually(const std::function<bool()>& done) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (!done()) {
        if (std::chrono::steady_clock::now() > end)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return true;
}

// A GET on a connection of its own, in a thread; the answer's status (-1: none) and body.
struct BackgroundGet {
    BackgroundGet(int port, std::string path)
        : thread([this, port, path = std::move(path)] {
              httplib::Client c("127.0.0.1", port);
              c.set_keep_alive(false);
              auto res = c.Get(path.c_str(), [this](const char* data, std::size_t length) {
                  std::lock_guard lock(mutex);
                  body.append(data, length);
                  return true;
              });
              std::lock_guard lock(mutex);
              status = res ? res->status : -1;
          }) {}
    ~BackgroundGet() {
        if (thread.joinable())
            thread.join();
    }
    std::size_t received() {
        std::lock_guard lock(mutex);
        return body.size();
    }
    std::mutex mutex;
    std::string body;
    int status = 0;
    std::thread thread;
};

std::size_t count(const std::string& text, const std::string& part) {
    std::size_t n = 0;
    for (std::size_t pos = text.find(part); pos != std::string::npos;
         pos = text.find(part, pos + 1))
        ++n;
    return n;
}

} // namespace

TEST_F(PortalSimTest, AlbumPageHasTheBlockTitleAndRelativeCover) {
    auto res = client().Get("/album/31258219");
    ASSERT_TRUE(res);
    EXPECT_EQ(res->status, 200);
    EXPECT_NE(res->body.find("<div class=\"album-info\">\n  <h2>夜航星: 第一辑 &lt;Live&gt;.</h2>\n"
                             "  <img src=\"/cover/31258219.jpg\" alt=\"\">"),
              std::string::npos);
    // A decoy h2 before the block catches a reader that takes the page's first h2.
    EXPECT_LT(res->body.find("<h2>专辑</h2>"), res->body.find("album-info"));
    EXPECT_EQ(client().Get("/album/999")->status, 404);
}

TEST_F(PortalSimTest, BlankCoverCarriesOrgSrcAndHiddenBlockHasExtraClass) {
    const std::string blank = client().Get("/album/31258220")->body;
    const std::string h = portal.host();
    EXPECT_NE(blank.find("<img src=\"http://" + h + "/images/blank.gif\" org_src=\"http://" + h +
                         "/cover/31258220.jpg\""),
              std::string::npos);
    EXPECT_NE(client().Get("/album/31258222")->body.find("<div class=\"album-info wide\">"),
              std::string::npos);
}

TEST_F(PortalSimTest, SongListAnswersJsonWithSongLinksAndLogsTheRequest) {
    auto res = client().Post("/data/music/songlist?hotbar=1&moduleName=album",
                             "id=31258219&type=album", "application/x-www-form-urlencoded");
    ASSERT_TRUE(res);
    EXPECT_EQ(res->body.rfind("{\"errorCode\":22000,\"data\":{\"html\":\"", 0), 0u);
    EXPECT_EQ(count(res->body, "href=\\\"\\/song\\/"), 9u); // eight songs, one listed twice
    EXPECT_NE(res->body.find("title=\\\"A\\/B: Side?\\\""), std::string::npos);
    EXPECT_NE(res->body.find("title=\\\"Rock &amp; Roll &lt;Remix&gt;\\\""), std::string::npos);

    const auto log = portal.requests("/data/music/songlist");
    ASSERT_EQ(log.size(), 1u);
    EXPECT_EQ(log[0].method, "POST");
    EXPECT_EQ(log[0].query, "hotbar=1&moduleName=album");
    EXPECT_EQ(log[0].body, "id=31258219&type=album");
    EXPECT_EQ(log[0].header("content-type"), "application/x-www-form-urlencoded");
}

TEST_F(PortalSimTest, DownloadPagesCloseLinksBothWaysAndOffer320WithASession) {
    const std::string h = portal.host();
    const std::string brace = client().Get("/song/1001/download")->body;
    EXPECT_NE(brace.find("\"link\":\"\\/data\\/music\\/file?link=http:\\/\\/" + h +
                         "\\/file\\/1001\\/128.mp3\"}"),
              std::string::npos);
    const std::string quot = client().Get("/song/1002/download")->body;
    EXPECT_NE(quot.find("&quot;\\/data\\/music\\/file?link=http:\\/\\/" + h +
                        "\\/file\\/1002\\/128.mp3&quot;}"),
              std::string::npos);
    EXPECT_EQ(quot.find("\"}"), std::string::npos);

    const std::string session = portal.issueSession("demo");
    auto c = client();
    const std::string logged =
        c.Get("/song/1001/download", {{"Cookie", "orvana_session=" + session}})->body;
    EXPECT_LT(logged.find("128.mp3"), logged.find("320.mp3"));
    EXPECT_EQ(c.Get("/file/1001/320.mp3")->status, 403);
    auto file = c.Get("/file/1001/320.mp3", {{"Cookie", "orvana_session=" + session}});
    EXPECT_EQ(file->body, SongBody("1001", 320, 5000));
}

TEST_F(PortalSimTest, LoginSetsTheSessionCookie) {
    auto res = client().Post("/login", "user=demo&password=x", "application/x-www-form-urlencoded");
    ASSERT_TRUE(res);
    EXPECT_EQ(res->status, 302);
    EXPECT_EQ(res->get_header_value("Set-Cookie"),
              "orvana_session=" + portal.issueSession("demo") + "; Path=/");
}

// The login window's start page: a form on a port of its own whose cookie the portal's port
// honours; the wrong password, the logged-in page and the logout that ends the session.
TEST_F(PortalSimTest, FrontPageLogsInOnItsOwnPortAndLogsOut) {
    const int frontPort = portal.startFront();
    ASSERT_GT(frontPort, 0);
    ASSERT_NE(frontPort, portal.port());
    EXPECT_EQ(portal.frontHost(), "127.0.0.1:" + std::to_string(frontPort));
    httplib::Client front("127.0.0.1", frontPort);
    front.set_keep_alive(false);

    const std::string form = front.Get("/")->body;
    EXPECT_NE(form.find("<form id=\"login\" method=\"post\" action=\"/login\">"),
              std::string::npos);
    EXPECT_NE(form.find("<input id=\"password\" name=\"password\" type=\"password\">"),
              std::string::npos);

    auto wrong =
        front.Post("/login", "user=demo&password=nope", "application/x-www-form-urlencoded");
    EXPECT_EQ(wrong->status, 403);
    EXPECT_NE(wrong->body.find("<p id=\"error\">帐号或密码错误</p>"), std::string::npos);
    EXPECT_FALSE(wrong->has_header("Set-Cookie"));

    auto ok =
        front.Post("/login", "user=demo&password=orvana320", "application/x-www-form-urlencoded");
    EXPECT_EQ(ok->status, 303);
    EXPECT_EQ(ok->get_header_value("Location"), "/");
    const std::string session = portal.issueSession("demo");
    EXPECT_EQ(ok->get_header_value("Set-Cookie"),
              "orvana_session=" + session + "; Path=/; HttpOnly");
    const httplib::Headers cookie = {{"Cookie", "orvana_session=" + session}};
    EXPECT_NE(front.Get("/", cookie)->body.find("<p id=\"status\">已登录: demo</p>"),
              std::string::npos);
    EXPECT_NE(client().Get("/song/1001/download", cookie)->body.find("320.mp3"), std::string::npos);

    auto out = front.Get("/logout", cookie);
    EXPECT_EQ(out->status, 303);
    EXPECT_EQ(out->get_header_value("Set-Cookie"),
              "orvana_session=; Path=/; HttpOnly; Max-Age=0; Expires=Thu, 01 Jan 1970 00:00:00 "
              "GMT");
    // The session is over on the server too.
    EXPECT_EQ(client().Get("/song/1001/download", cookie)->body.find("320.mp3"), std::string::npos);
    EXPECT_NE(front.Get("/", cookie)->body.find("<form id=\"login\""), std::string::npos);

    portal.addAccount("other", "pw");
    EXPECT_EQ(
        front.Post("/login", "user=other&password=pw", "application/x-www-form-urlencoded")->status,
        303);
}

TEST(PortalMedia, SongBodiesAreWholeFramesNamingTheirSong) {
    const std::string body = SongBody("1001", 128, 5000);
    ASSERT_EQ(body.size(), 11u * 417u);
    for (std::size_t f = 0; f < body.size(); f += 417) {
        EXPECT_EQ(static_cast<unsigned char>(body[f]), 0xFF);
        EXPECT_EQ(static_cast<unsigned char>(body[f + 1]), 0xFB);
        EXPECT_EQ(static_cast<unsigned char>(body[f + 2]), 0x90);
    }
    EXPECT_NE(body.find("ORVANA song=1001 kbps=128 frame=10\n"), std::string::npos);
    std::string middle;
    AppendSongBytes(middle, "1001", 128, 400, 1000);
    EXPECT_EQ(middle, body.substr(400, 1000));
    EXPECT_EQ(SongLength(320, 100), 2088u); // never less than two frames

    const std::string cover = CoverBytes("7");
    EXPECT_EQ(cover.substr(0, 4), std::string("\xFF\xD8\xFF\xFE", 4));
    EXPECT_EQ(cover.substr(cover.size() - 2), std::string("\xFF\xD9", 2));
}

TEST_F(PortalSimTest, FaultsAreUsedUpInOrderThenTheEndpointRecovers) {
    portal.addFault(Endpoint::SongFile, Fault::EmptyBody);
    portal.addFault(Endpoint::SongFile, Fault::Status503);
    auto c = client();
    auto empty = c.Get("/file/1001/128.mp3");
    EXPECT_EQ(empty->status, 200);
    EXPECT_EQ(empty->body, "");
    auto busy = c.Get("/file/1001/128.mp3");
    EXPECT_EQ(busy->status, 503);
    EXPECT_EQ(busy->get_header_value("Retry-After"), "1");
    EXPECT_EQ(c.Get("/file/1001/128.mp3")->body, SongBody("1001", 128, 5000));

    portal.addFault(Endpoint::SongFile, Fault::DropMidBody);
    auto dropped = client().Get("/file/1001/128.mp3");
    EXPECT_FALSE(dropped && dropped->body.size() == SongLength(128, 5000));

    portal.addFault(Endpoint::DownloadPage, Fault::OmitFileLink);
    EXPECT_EQ(client().Get("/song/1001/download")->body.find("file?link="), std::string::npos);
}

TEST_F(PortalSimTest, AlbumListPagesByTenThenEnds) {
    auto c = client();
    const std::string first =
        c.Get("/data/user/getalbums?start=0&vesk_uid=18104396&order=hot")->body;
    EXPECT_NE(first.find("\"errorCode\":22000"), std::string::npos);
    EXPECT_EQ(count(first, "class=\\\"cover\\\""), 10u);
    const std::string second =
        c.Get("/data/user/getalbums?start=10&vesk_uid=18104396&order=hot")->body;
    EXPECT_EQ(count(second, "class=\\\"cover\\\""), 3u);
    const std::string end =
        c.Get("/data/user/getalbums?start=20&vesk_uid=18104396&order=hot")->body;
    EXPECT_NE(end.find("\"errorCode\":22000"), std::string::npos);
    EXPECT_EQ(end.find("album-info"), std::string::npos);

    portal.addFault(Endpoint::AlbumList, Fault::Refuse, 2);
    for (int i = 0; i < 2; ++i)
        EXPECT_EQ(
            c.Get("/data/user/getalbums?start=0&vesk_uid=18104396&order=hot")->body.find("22000"),
            std::string::npos);
    EXPECT_EQ(portal.requests("/data/user/getalbums").back().query,
              "start=0&vesk_uid=18104396&order=hot");
}

TEST(PortalSimSinger, SpacedErrorCodeAndFurtherCoverClassAndPagedSinger) {
    Catalogue catalogue = DemoCatalogue();
    AddPagedSinger(catalogue, "555", "分页歌手", 40000000, 11);
    catalogue.albums["40000001"].listClass = "cover x";
    PortalSim portal(catalogue);
    portal.start();
    httplib::Client c("127.0.0.1", portal.port());
    c.set_keep_alive(false);

    const std::string first = c.Get("/data/user/getalbums?start=0&vesk_uid=555&order=hot")->body;
    EXPECT_EQ(count(first, "class=\\\"cover\\\""), 9u);
    EXPECT_EQ(count(first, "class=\\\"cover x\\\" href=\\\"\\/album\\/40000001\\\""), 1u);
    EXPECT_EQ(count(c.Get("/data/user/getalbums?start=10&vesk_uid=555&order=hot")->body,
                    "title=\\\"分页歌手 专辑 11\\\""),
              1u);

    ASSERT_EQ(FaultFromName("spaced-code"), Fault::SpacedErrorCode);
    portal.addFault(Endpoint::AlbumList, Fault::SpacedErrorCode);
    const std::string spaced = c.Get("/data/user/getalbums?start=0&vesk_uid=555&order=hot")->body;
    EXPECT_EQ(spaced.rfind("{\"errorCode\": 22000,\"data\":", 0), 0u);
    EXPECT_NE(spaced.find("album-info"), std::string::npos);
}

TEST_F(PortalSimTest, SingerPageAndArtistIndexOfACategory) {
    auto c = client();
    EXPECT_NE(c.Get("/artist/18104396")->body.find("<div id=\"baseInfo\"><h2>夜航星乐队</h2>"),
              std::string::npos);
    const std::string index = c.Get("/artist/cn/group")->body;
    EXPECT_NE(index.find("<a href=\"/artist/18104396\" title=\"夜航星乐队\">"), std::string::npos);
    EXPECT_EQ(index.find("雨桐"), std::string::npos);
    EXPECT_NE(c.Get("/artist")->body.find("雨桐"), std::string::npos);
}

TEST_F(PortalSimTest, StopEndsAStalledTransfer) {
    portal.addFault(Endpoint::SongFile, Fault::StallMidBody);
    std::thread fetch([port = portal.port()] {
        httplib::Client c("127.0.0.1", port);
        (void)c.Get("/file/1001/128.mp3");
    });
    while (portal.stallsBegun() == 0)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    // A stop that did not end the stall would wait out its 60 s.
    const auto stopping = std::chrono::steady_clock::now();
    portal.stop();
    fetch.join();
    EXPECT_LT(std::chrono::steady_clock::now() - stopping, std::chrono::seconds(2));
}

// The standalone portal: prints its two ports, obeys fault flags, stops on SIGTERM.
TEST(PortalSimBinary, PrintsItsPortsServesAndStopsOnTerm) {
    QProcess sim;
    sim.start(QStringLiteral(ORVANA_BINARY_DIR "/tools/portal-sim/orvana-portal-sim"),
              {QStringLiteral("--port"), QStringLiteral("0"), QStringLiteral("--print-port"),
               QStringLiteral("--song-bytes"), QStringLiteral("1000"), QStringLiteral("--fault"),
               QStringLiteral("song-file=500:1")});
    ASSERT_TRUE(sim.waitForStarted());
    for (int i = 0; i < 100 && !sim.canReadLine(); ++i)
        sim.waitForReadyRead(100);
    const int port = sim.readLine().trimmed().toInt();
    ASSERT_GT(port, 0);
    for (int i = 0; i < 100 && !sim.canReadLine(); ++i)
        sim.waitForReadyRead(100);
    const int frontPort = sim.readLine().trimmed().toInt();
    ASSERT_GT(frontPort, 0);

    httplib::Client c("127.0.0.1", port);
    EXPECT_EQ(c.Get("/file/1001/128.mp3")->status, 500);
    EXPECT_EQ(c.Get("/file/1001/128.mp3")->body, SongBody("1001", 128, 1000));
    c.stop();
    httplib::Client front("127.0.0.1", frontPort);
    EXPECT_NE(front.Get("/")->body.find("<form id=\"login\""), std::string::npos);
    front.stop();

    sim.terminate();
    ASSERT_TRUE(sim.waitForFinished(10000));
    EXPECT_EQ(sim.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(sim.exitCode(), 0);
}

TEST(PortalSimBinary, RefusesAnUnknownFault) {
    // An unknown kind, and an aimed fault without its ID.
    for (const char* fault : {"song-file=melt", "song-file=500:-1:"}) {
        QProcess sim;
        sim.start(QStringLiteral(ORVANA_BINARY_DIR "/tools/portal-sim/orvana-portal-sim"),
                  {QStringLiteral("--fault"), QString::fromLatin1(fault)});
        ASSERT_TRUE(sim.waitForFinished(10000));
        EXPECT_EQ(sim.exitCode(), 2);
        EXPECT_EQ(sim.readAllStandardError(),
                  QByteArray("orvana-portal-sim: bad fault: ") + fault + '\n');
    }
}

// A distant portal: answers start late and bodies (whole pages and streamed songs alike) are
// paced, yet arrive whole and unchanged.
TEST(PortalSimLink, LatencyDelaysEachAnswerAndTheRateSlowsBodiesWithoutChangingThem) {
    PortalOptions options{128 * 1024, std::chrono::milliseconds(60000)};
    options.latency = std::chrono::milliseconds(150);
    options.rateBytesPerSecond = 256 * 1024;
    PortalSim portal(DemoCatalogue(), options);
    portal.start();
    httplib::Client c("127.0.0.1", portal.port());
    using Clock = std::chrono::steady_clock;

    auto started = Clock::now();
    auto page = c.Get("/album/31258219");
    ASSERT_TRUE(page);
    EXPECT_GE(Clock::now() - started, std::chrono::milliseconds(150));
    EXPECT_NE(page->body.find("<div class=\"album-info\">"), std::string::npos);
    EXPECT_EQ(page->get_header_value_count("Content-Type"), 1u);
    EXPECT_EQ(page->get_header_value("Content-Type"), "text/html; charset=utf-8");

    started = Clock::now();
    auto song = c.Get("/file/1001/128.mp3");
    ASSERT_TRUE(song);
    // 128 KiB at 256 KiB/s: at least half a second after the latency.
    EXPECT_GE(Clock::now() - started, std::chrono::milliseconds(150 + 450));
    EXPECT_EQ(song->body, SongBody("1001", 128, 128 * 1024));
    c.stop();
    portal.stop();
}

TEST(PortalSimBinary, BenchAlbumsOfAThousandSongsAndBenchSingers) {
    QProcess sim;
    sim.start(QStringLiteral(ORVANA_BINARY_DIR "/tools/portal-sim/orvana-portal-sim"),
              {QStringLiteral("--port"), QStringLiteral("0"), QStringLiteral("--print-port"),
               QStringLiteral("--bench-album"), QStringLiteral("90000001:1000"),
               QStringLiteral("--bench-singer"), QStringLiteral("777:25:70000001")});
    ASSERT_TRUE(sim.waitForStarted());
    ASSERT_TRUE(sim.waitForReadyRead(10000));
    const int port = sim.readLine().trimmed().toInt();
    ASSERT_GT(port, 0);
    httplib::Client c("127.0.0.1", port);
    auto list = c.Post("/data/music/songlist?hotbar=1&moduleName=album", "id=90000001&type=album",
                       "application/x-www-form-urlencoded");
    ASSERT_TRUE(list);
    EXPECT_EQ(count(list->body, "\\/song\\/"), 1000u);
    EXPECT_NE(list->body.find("\\/song\\/9000000199\\\""), std::string::npos);
    EXPECT_NE(list->body.find("\\/song\\/900000011000\\\""), std::string::npos);
    EXPECT_EQ(c.Get("/song/900000011000/download")->status, 200);
    // The singer's third list page holds albums 21 to 25.
    auto albums = c.Get("/data/user/getalbums?start=20&vesk_uid=777&order=hot");
    ASSERT_TRUE(albums);
    EXPECT_EQ(count(albums->body, "class=\\\"name\\\""), 5u);
    EXPECT_NE(albums->body.find("\\/album\\/70000021\\\""), std::string::npos);
    c.stop();
    sim.terminate();
    ASSERT_TRUE(sim.waitForFinished(10000));
    EXPECT_EQ(sim.exitCode(), 0);
}

// Three held answers and a fourth request beside them: four connections and four requests at
// once, then none; a reset starts the peaks from what is open; requests one after another are
// one connection and one request at a time.
TEST_F(PortalSimTest, LoadCountsConnectionsAndRequestsOpenAtOnce) {
    portal.addFault(Endpoint::ArtistIndex, Fault::Hold, 3);
    std::vector<std::unique_ptr<BackgroundGet>> held;
    for (int i = 0; i < 3; ++i)
        held.push_back(std::make_unique<BackgroundGet>(portal.port(), "/artist"));
    ASSERT_TRUE(eventually([&] { return portal.holdsBegun() == 3; }));
    SiteLoad load = portal.load();
    EXPECT_EQ(load.connections, 3);
    EXPECT_EQ(load.requests, 3);
    EXPECT_EQ(client().Get("/album/31258219")->status, 200);
    EXPECT_EQ(portal.load().peakConnections, 4);
    EXPECT_EQ(portal.load().peakRequests, 4);

    portal.release();
    for (auto& get : held) {
        get->thread.join();
        EXPECT_EQ(get->status, 200);
        EXPECT_NE(get->body.find("title=\"夜航星乐队\""), std::string::npos);
    }
    ASSERT_TRUE(eventually([&] { return portal.load().connections == 0; }));
    load = portal.load();
    EXPECT_EQ(load.requests, 0);
    EXPECT_EQ(load.peakConnections, 4);
    EXPECT_EQ(load.peakRequests, 4);

    // A body cut short still ends its request.
    portal.addFault(Endpoint::SongFile, Fault::DropMidBody);
    EXPECT_FALSE(client().Get("/file/1001/128.mp3"));
    EXPECT_TRUE(eventually([&] { return portal.load().connections == 0; }));
    EXPECT_EQ(portal.load().requests, 0);

    portal.resetPeaks();
    EXPECT_EQ(portal.load().peakConnections, 0);
    httplib::Client kept("127.0.0.1", portal.port());
    kept.set_keep_alive(true);
    for (const char* path : {"/artist", "/album/31258219", "/file/1001/128.mp3"})
        EXPECT_EQ(kept.Get(path)->status, 200);
    kept.stop();
    // The portal sees a connection that its client closed only a moment later.
    ASSERT_TRUE(eventually([&] { return portal.load().connections == 0; }));
    // A fresh connection for each request: the answer that closes one ends it.
    for (int i = 0; i < 10; ++i)
        EXPECT_EQ(client().Get(i % 2 ? "/artist" : "/file/1001/128.mp3")->status, 200);
    EXPECT_EQ(portal.load().peakConnections, 1);
    EXPECT_EQ(portal.load().peakRequests, 1);
    EXPECT_EQ(portal.load(Site::FileHost).peakRequests, 0);
}

// An aimed fault meets only requests for its ID and is used up by them; the others pass it by,
// and meet the faults added after it.
TEST_F(PortalSimTest, FaultsAimedAtAnIdPassOtherRequestsBy) {
    portal.addFault(Endpoint::SongFile, Fault::Status500, -1, "1003");
    auto c = client();
    EXPECT_EQ(c.Get("/file/1003/128.mp3")->status, 500);
    EXPECT_EQ(c.Get("/file/1001/128.mp3")->body, SongBody("1001", 128, 5000));
    EXPECT_EQ(c.Get("/file/1003/128.mp3")->status, 500);

    portal.addFault(Endpoint::DownloadPage, Fault::OmitFileLink, 1, "1002");
    portal.addFault(Endpoint::DownloadPage, Fault::Status503);
    EXPECT_EQ(c.Get("/song/1001/download")->status, 503);
    EXPECT_EQ(c.Get("/song/1002/download")->body.find("file?link="), std::string::npos);
    EXPECT_NE(c.Get("/song/1002/download")->body.find("file?link="), std::string::npos);

    portal.addFault(Endpoint::AlbumList, Fault::Refuse, 1, kNoAlbumSingerId);
    portal.addFault(Endpoint::SongList, Fault::Status500, 1, kBlankCoverAlbumId);
    portal.addFault(Endpoint::ArtistIndex, Fault::Status429, 1, "/artist/cn/male");
    const std::string list = "/data/user/getalbums?start=0&order=hot&vesk_uid=";
    EXPECT_NE(c.Get(list + kDemoSingerId)->body.find("22000"), std::string::npos);
    EXPECT_EQ(c.Get(list + kNoAlbumSingerId)->body, "{\"errorCode\":21000,\"msg\":\"busy\"}");
    const auto songList = [&](const std::string& id) {
        return c
            .Post("/data/music/songlist?hotbar=1&moduleName=album", "id=" + id + "&type=album",
                  "application/x-www-form-urlencoded")
            ->status;
    };
    EXPECT_EQ(songList(kDemoAlbumId), 200);
    EXPECT_EQ(songList(kBlankCoverAlbumId), 500);
    EXPECT_EQ(c.Get("/artist")->status, 200);
    EXPECT_EQ(c.Get("/artist/cn/male")->status, 429);
    EXPECT_EQ(c.Get("/artist/cn/male")->status, 200);
}

// A held answer is logged at once and answered in full after the release; a hung body stops
// at its half until then. Later ones wait for the next release, and a stop ends them.
TEST_F(PortalSimTest, HeldAnswersAndHungBodiesWaitForRelease) {
    portal.addFault(Endpoint::ArtistIndex, Fault::Hold);
    portal.addFault(Endpoint::SongFile, Fault::HangMidBody);
    BackgroundGet index(portal.port(), "/artist/other");
    BackgroundGet song(portal.port(), "/file/1001/128.mp3");
    const std::size_t half = SongLength(128, 5000) / 2;
    ASSERT_TRUE(eventually([&] {
        return portal.holdsBegun() == 1 && portal.stallsBegun() == 1 && song.received() >= half;
    }));
    EXPECT_EQ(song.received(), half);
    EXPECT_EQ(index.received(), 0u);
    EXPECT_EQ(portal.requests("/artist/other").size(), 1u);

    portal.release();
    index.thread.join();
    song.thread.join();
    EXPECT_EQ(index.status, 200);
    EXPECT_NE(index.body.find("title=\"Other/Voice\""), std::string::npos);
    EXPECT_EQ(song.status, 200);
    EXPECT_EQ(song.body, SongBody("1001", 128, 5000));

    portal.addFault(Endpoint::ArtistIndex, Fault::Hold);
    portal.addFault(Endpoint::Cover, Fault::HangMidBody);
    BackgroundGet again(portal.port(), "/artist");
    BackgroundGet cover(portal.port(), "/cover/31258219.jpg");
    ASSERT_TRUE(eventually([&] { return portal.holdsBegun() == 2 && portal.stallsBegun() == 2; }));
    const auto stopping = std::chrono::steady_clock::now();
    portal.stop();
    again.thread.join();
    cover.thread.join();
    EXPECT_LT(std::chrono::steady_clock::now() - stopping, std::chrono::seconds(2));
    EXPECT_EQ(again.body.find("Other/Voice"), std::string::npos);
    EXPECT_LT(cover.body.size(), CoverBytes(kDemoAlbumId).size());
}

// Started, the file host serves the song files (and nothing else) that the download pages now
// link to; its requests are logged with its port and counted as its load.
TEST_F(PortalSimTest, FileHostServesTheSongsTheDownloadPagesLinkTo) {
    const int filePort = portal.startFileHost();
    ASSERT_GT(filePort, 0);
    EXPECT_EQ(portal.fileHostPort(), filePort);
    EXPECT_NE(filePort, portal.port());
    const std::string page = client().Get("/song/1001/download")->body;
    EXPECT_NE(page.find("file?link=http:\\/\\/127.0.0.1:" + std::to_string(filePort) +
                        "\\/file\\/1001\\/128.mp3\"}"),
              std::string::npos);

    httplib::Client files("127.0.0.1", filePort);
    files.set_keep_alive(false);
    EXPECT_EQ(files.Get("/file/1001/128.mp3")->body, SongBody("1001", 128, 5000));
    EXPECT_EQ(files.Get("/file/1001/320.mp3")->status, 403);
    const httplib::Headers session = {{"Cookie", "orvana_session=" + portal.issueSession("demo")}};
    EXPECT_EQ(files.Get("/file/1001/320.mp3", session)->body, SongBody("1001", 320, 5000));
    EXPECT_EQ(files.Get("/album/31258219")->status, 404);
    portal.addFault(Endpoint::SongFile, Fault::Status500);
    EXPECT_EQ(files.Get("/file/1002/128.mp3")->status, 500);

    const std::vector<LoggedRequest> log = portal.requests();
    ASSERT_EQ(log.size(), 6u);
    EXPECT_EQ(log[0].path, "/song/1001/download");
    EXPECT_EQ(log[0].port, portal.port());
    for (std::size_t i = 1; i < log.size(); ++i)
        EXPECT_EQ(log[i].port, filePort) << log[i].path;
    EXPECT_EQ(portal.load(Site::FileHost).peakRequests, 1);
    EXPECT_EQ(portal.load(Site::Portal).peakRequests, 1);
}

// The file host, peaks on exit, aimed faults and a held answer released by SIGUSR1, from the
// command line.
TEST(PortalSimBinary, FileHostAimedFaultsReleaseSignalAndPeaksOnExit) {
    QProcess sim;
    sim.start(QStringLiteral(ORVANA_BINARY_DIR "/tools/portal-sim/orvana-portal-sim"),
              {QStringLiteral("--print-port"), QStringLiteral("--file-port"), QStringLiteral("0"),
               QStringLiteral("--print-peaks"), QStringLiteral("--song-bytes"),
               QStringLiteral("1000"), QStringLiteral("--fault"),
               QStringLiteral("song-file=500:-1:1003"), QStringLiteral("--fault"),
               QStringLiteral("artist-index=hold")});
    ASSERT_TRUE(sim.waitForStarted());
    std::vector<int> ports;
    while (ports.size() < 3 && (sim.canReadLine() || sim.waitForReadyRead(10000)))
        ports.push_back(sim.readLine().trimmed().toInt());
    ASSERT_EQ(ports.size(), 3u);

    // One kept-alive connection to each host, so each peak is exactly one.
    httplib::Client portal("127.0.0.1", ports[0]);
    httplib::Client files("127.0.0.1", ports[2]);
    EXPECT_NE(portal.Get("/song/1003/download")
                  ->body.find("127.0.0.1:" + std::to_string(ports[2]) + "\\/file\\/1003"),
              std::string::npos);
    EXPECT_EQ(files.Get("/file/1003/128.mp3")->status, 500);
    EXPECT_EQ(files.Get("/file/1001/128.mp3")->body, SongBody("1001", 128, 1000));
    std::atomic<int> status = 0;
    std::thread held([&] { status = portal.Get("/artist")->status; });
    // A release before the answer is held lets it wait for the next one.
    EXPECT_TRUE(eventually([&] {
        ::kill(pid_t(sim.processId()), SIGUSR1);
        return status != 0;
    }));
    held.join();
    EXPECT_EQ(status, 200);
    portal.stop();
    files.stop();

    sim.terminate();
    ASSERT_TRUE(sim.waitForFinished(10000));
    EXPECT_EQ(sim.exitCode(), 0);
    EXPECT_EQ(sim.readAllStandardOutput().toStdString(),
              "portal peak connections=1 requests=1\nfile-host peak connections=1 requests=1\n");
}
