// The album job end to end, against the sample portal on 127.0.0.1.
#include "jobs/down_album.h"
#include "net/cookie_store.h"
#include "tests/jobs/job_test_support.h"
#include "tools/portal-sim/media.h"
#include "tools/portal-sim/portal_sim.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <atomic>
#include <functional>
#include <gtest/gtest.h>
#include <thread>

using namespace orvana;
using namespace std::chrono_literals;
using portal::Endpoint;
using portal::Fault;
using test_support::bytes;
using test_support::PortalJobTest;
using test_support::readFile;
using test_support::RecordingHost;

namespace {

constexpr std::size_t kSongBytes = 3000;
const QString kDemoFolder = QStringLiteral("夜航星 第一辑 Live");

QByteArray song(const char* id, int kbps = 128) {
    return bytes(portal::SongBody(id, kbps, kSongBytes));
}

// The files of a folder, hidden ones included, but for the album marker.
QStringList filesIn(const QString& folder) {
    QStringList files = QDir(folder).entryList(QDir::Files | QDir::Hidden, QDir::Name);
    files.removeOne(QStringLiteral(".orvana-album"));
    return files;
}

const QStringList kDemoFiles = {QStringLiteral("1003.mp3"),
                                QStringLiteral("AB Side.mp3"),
                                QStringLiteral("Rock & Roll Remix.mp3"),
                                QStringLiteral("cover.jpg"),
                                QStringLiteral("同名曲 (2).mp3"),
                                QStringLiteral("同名曲 (3).mp3"),
                                QStringLiteral("同名曲.mp3"),
                                QStringLiteral("晴天的海.mp3"),
                                QStringLiteral("最后一首 再见.mp3")};

class DownAlbumTest : public PortalJobTest {
protected:
    explicit DownAlbumTest(portal::Catalogue catalogue = portal::DemoCatalogue())
        : PortalJobTest(std::move(catalogue), kSongBytes) {}

    jobs::AlbumSummary run(const QString& id = QStringLiteral("31258219")) {
        return jobs::DownAlbum(id, *transport, host, settings);
    }
    QString folder(const QString& name = kDemoFolder) const { return dir.path() + u'/' + name; }
};

} // namespace

TEST_F(DownAlbumTest, StoresCoverAndEverySongUnderItsCleanedTitle) {
    const jobs::AlbumSummary summary = run();

    EXPECT_TRUE(summary.complete());
    EXPECT_EQ(summary.listed, 8);
    EXPECT_EQ(summary.stored, 8);
    EXPECT_EQ(summary.present, 0);
    EXPECT_EQ(summary.title, QStringLiteral("夜航星: 第一辑 <Live>."));
    EXPECT_EQ(summary.folder, folder());
    EXPECT_EQ(filesIn(dir.path()), QStringList());
    EXPECT_EQ(filesIn(folder()), kDemoFiles);
    EXPECT_EQ(readFile(folder() + u"/.orvana-album"), QByteArray("31258219\n"));
    EXPECT_EQ(readFile(folder() + u"/cover.jpg"), bytes(portal::CoverBytes("31258219")));
    EXPECT_EQ(readFile(folder() + u"/晴天的海.mp3"), song("1001"));
    EXPECT_EQ(readFile(folder() + u"/AB Side.mp3"), song("1002"));
    // A title that cleans to nothing is named after its song ID.
    EXPECT_EQ(readFile(folder() + u"/1003.mp3"), song("1003"));
    // Equal cleaned titles of different songs are numbered in list order.
    EXPECT_EQ(readFile(folder() + u"/同名曲.mp3"), song("1004"));
    EXPECT_EQ(readFile(folder() + u"/同名曲 (2).mp3"), song("1005"));
    EXPECT_EQ(readFile(folder() + u"/同名曲 (3).mp3"), song("1007"));
    EXPECT_EQ(readFile(folder() + u"/Rock & Roll Remix.mp3"), song("1006"));
    EXPECT_EQ(readFile(folder() + u"/最后一首 再见.mp3"), song("1008"));

    EXPECT_EQ(host.statuses,
              QStringList({QStringLiteral("下载专辑封面: 《夜航星: 第一辑 <Live>.》 ... "),
                           QStringLiteral("正在下载MP3: 晴天的海 ..."),
                           QStringLiteral("正在下载MP3: A/B: Side? ..."),
                           QStringLiteral("正在下载MP3: ??? ..."),
                           QStringLiteral("正在下载MP3: 同名曲 ..."),
                           QStringLiteral("正在下载MP3: 同名曲. ..."),
                           QStringLiteral("正在下载MP3: Rock & Roll <Remix> ..."),
                           QStringLiteral("正在下载MP3:  同名曲  ..."),
                           QStringLiteral("正在下载MP3: 最后一首 \"再见\" ...")}));
    EXPECT_EQ(host.messages, QStringList());
}

TEST_F(DownAlbumTest, SendsRequestsOfTheExactShapes) {
    (void)run();
    const auto log = portal.requests();
    // Album page, cover, song list, then per song its download page and its file; the song
    // listed twice costs nothing the second time.
    ASSERT_EQ(log.size(), 19u);
    EXPECT_EQ(log[0].method, "GET");
    EXPECT_EQ(log[0].path, "/album/31258219");
    EXPECT_EQ(log[0].query, "");
    // A relative cover address becomes the portal base + "//cover/..." (Qt's request line may
    // fold the double slash).
    EXPECT_EQ(log[1].method, "GET");
    EXPECT_TRUE(log[1].path == "//cover/31258219.jpg" || log[1].path == "/cover/31258219.jpg")
        << log[1].path;
    EXPECT_EQ(log[2].method, "POST");
    EXPECT_EQ(log[2].path, "/data/music/songlist");
    EXPECT_EQ(log[2].query, "hotbar=1&moduleName=album");
    EXPECT_EQ(log[2].body, "id=31258219&type=album");
    EXPECT_EQ(log[2].header("Content-Type"), "application/x-www-form-urlencoded");
    EXPECT_EQ(log[3].method, "GET");
    EXPECT_EQ(log[3].path, "/song/1001/download");
    EXPECT_EQ(log[3].body, "");
    EXPECT_EQ(log[3].header("Content-Type"), "application/x-www-form-urlencoded");
    EXPECT_EQ(log[4].path, "/file/1001/128.mp3");
    EXPECT_EQ(log[18].path, "/file/1008/128.mp3");
    for (const auto& r : log)
        EXPECT_EQ(r.header("Cookie"), "") << r.path;
}

TEST_F(DownAlbumTest, ARerunFetchesDownloadPagesButNoSongFile) {
    (void)run();
    portal.clearRequests();
    host.statuses.clear();
    const jobs::AlbumSummary again = run();
    EXPECT_TRUE(again.complete());
    EXPECT_EQ(again.stored, 0);
    EXPECT_EQ(again.present, 8);
    EXPECT_EQ(portal.requests("/file/").size(), 0u);
    EXPECT_EQ(portal.requests("/song/").size(), 8u);
    EXPECT_EQ(portal.requests("//cover/").size() + portal.requests("/cover/").size(), 1u);
    EXPECT_EQ(filesIn(folder()), kDemoFiles);
    EXPECT_EQ(host.statuses.size(), 9);
}

TEST_F(DownAlbumTest, PresentSongsArePresentWhateverTheirDownloadPageDoes) {
    (void)run();
    for (const Fault fault : {Fault::Status500, Fault::OmitFileLink}) {
        portal.clearRequests();
        clock->pauses.clear();
        portal.addFault(Endpoint::DownloadPage, fault, -1);
        const jobs::AlbumSummary again = run();
        portal.clearFaults();
        EXPECT_TRUE(again.complete());
        EXPECT_EQ(again.present, 8);
        EXPECT_EQ(again.failed(), 0);
        // Each page is still asked for once; nothing is tried again.
        EXPECT_EQ(portal.requests("/song/").size(), 8u);
        EXPECT_EQ(portal.requests("/file/").size(), 0u);
        EXPECT_TRUE(clock->pauses.empty());
    }
}

TEST_F(DownAlbumTest, PlaceholderCoverIsFetchedFromOrgSrc) {
    EXPECT_TRUE(run(QStringLiteral("31258220")).complete());
    ASSERT_EQ(portal.requests("/cover/").size(), 1u);
    EXPECT_EQ(portal.requests("/images/").size(), 0u);
    EXPECT_EQ(readFile(folder(QStringLiteral("空白封面")) + u"/cover.jpg"),
              bytes(portal::CoverBytes("31258220")));
    EXPECT_EQ(filesIn(folder(QStringLiteral("空白封面"))),
              QStringList({QStringLiteral("cover.jpg"), QStringLiteral("第一首.mp3"),
                           QStringLiteral("第二首.mp3")}));
}

TEST_F(DownAlbumTest, TitleThatCleansToNothingNamesTheFolderAfterTheAlbumId) {
    EXPECT_TRUE(run(QStringLiteral("31258221")).complete());
    EXPECT_EQ(filesIn(dir.path()), QStringList());
    EXPECT_EQ(filesIn(folder(QStringLiteral("31258221"))),
              QStringList({QStringLiteral("cover.jpg"), QStringLiteral("无名之歌.mp3")}));
}

TEST_F(DownAlbumTest, BlockWithAFurtherClassIsNotTheAlbumBlock) {
    const jobs::AlbumSummary summary = run(QStringLiteral("31258222"));
    EXPECT_EQ(summary.title, QString());
    EXPECT_EQ(host.statuses.first(), QStringLiteral("下载专辑封面: 《》 ... "));
    // No cover address: no cover request and no empty cover.jpg; the songs still come.
    EXPECT_EQ(portal.requests("/cover/").size(), 0u);
    EXPECT_EQ(filesIn(folder(QStringLiteral("31258222"))),
              QStringList({QStringLiteral("藏起来的歌.mp3")}));
    EXPECT_TRUE(summary.complete());
}

TEST_F(DownAlbumTest, FailedCoverFetchKeepsTheCoverThatWasThere) {
    ASSERT_TRUE(QDir().mkdir(folder()));
    QFile old(folder() + u"/cover.jpg");
    ASSERT_TRUE(old.open(QIODevice::WriteOnly));
    old.write("old cover");
    old.close();
    portal.addFault(Endpoint::Cover, Fault::DropMidBody);
    EXPECT_TRUE(run().complete());
    EXPECT_EQ(readFile(folder() + u"/cover.jpg"), QByteArray("old cover"));

    portal.addFault(Endpoint::Cover, Fault::Status500);
    (void)run();
    EXPECT_EQ(readFile(folder() + u"/cover.jpg"), QByteArray("old cover"));
    (void)run();
    EXPECT_EQ(readFile(folder() + u"/cover.jpg"), bytes(portal::CoverBytes("31258219")));
}

TEST_F(DownAlbumTest, ShortBodiesAreTriedAgainAfterGrowingPauses) {
    portal.addFault(Endpoint::SongFile, Fault::EmptyBody);
    portal.addFault(Endpoint::SongFile, Fault::OneByteBody);
    const jobs::AlbumSummary summary = run();
    EXPECT_TRUE(summary.complete());
    EXPECT_EQ(readFile(folder() + u"/晴天的海.mp3"), song("1001"));
    EXPECT_EQ(clock->pauses, (std::vector<std::chrono::milliseconds>{1s, 2s}));
    // Each attempt writes the status and fetches the download page again.
    EXPECT_EQ(host.statuses.count(QStringLiteral("正在下载MP3: 晴天的海 ...")), 3);
    EXPECT_EQ(portal.requests("/song/1001/").size(), 3u);
}

TEST_F(DownAlbumTest, SongGivenUpAfterFiveAttemptsAndTheJobGoesOn) {
    portal.addFault(Endpoint::SongFile, Fault::OneByteBody, 5);
    const jobs::AlbumSummary summary = run();
    EXPECT_FALSE(summary.complete());
    ASSERT_EQ(summary.failed(), 1);
    EXPECT_EQ(summary.failures[0].songId, QStringLiteral("1001"));
    EXPECT_EQ(summary.failures[0].title, QStringLiteral("晴天的海"));
    EXPECT_EQ(summary.stored, 7);
    EXPECT_EQ(clock->pauses, (std::vector<std::chrono::milliseconds>{1s, 2s, 4s, 8s}));
    EXPECT_FALSE(QFile::exists(folder() + u"/晴天的海.mp3"));
    EXPECT_EQ(filesIn(folder()).size(), kDemoFiles.size() - 1);
}

TEST_F(DownAlbumTest, ErrorAnswersAndCutBodiesAreNeverStored) {
    portal.addFault(Endpoint::SongFile, Fault::Status500);
    portal.addFault(Endpoint::SongFile, Fault::DropMidBody);
    EXPECT_TRUE(run().complete());
    EXPECT_EQ(portal.requests("/file/1001/").size(), 3u);
    EXPECT_EQ(readFile(folder() + u"/晴天的海.mp3"), song("1001"));
}

TEST_F(DownAlbumTest, RetryAfterOfABusyPortalIsObeyed) {
    settings.retry.pauses = {1ms, 2ms, 4ms, 8ms};
    portal.addFault(Endpoint::DownloadPage, Fault::Status429);
    portal.addFault(Endpoint::SongFile, Fault::Status503);
    EXPECT_TRUE(run().complete());
    EXPECT_EQ(clock->pauses, (std::vector<std::chrono::milliseconds>{1s, 1s}));
    EXPECT_EQ(readFile(folder() + u"/晴天的海.mp3"), song("1001"));
}

TEST_F(DownAlbumTest, PageWithoutFileLinkSkipsTheSongAtOnce) {
    portal.addFault(Endpoint::DownloadPage, Fault::OmitFileLink);
    const jobs::AlbumSummary summary = run();
    ASSERT_EQ(summary.failed(), 1);
    EXPECT_EQ(summary.failures[0].songId, QStringLiteral("1001"));
    EXPECT_EQ(portal.requests("/song/1001/").size(), 1u);
    EXPECT_TRUE(clock->pauses.empty());
    EXPECT_EQ(summary.stored, 7);
}

TEST_F(DownAlbumTest, UnreadableSongListEndsTheJobAfterTheCover) {
    portal.addFault(Endpoint::SongList, Fault::MalformedJson);
    const jobs::AlbumSummary summary = run();
    EXPECT_TRUE(summary.songListMissing);
    EXPECT_FALSE(summary.complete());
    EXPECT_EQ(filesIn(folder()), QStringList({QStringLiteral("cover.jpg")}));
    EXPECT_EQ(portal.requests("/song/").size(), 0u);
}

TEST_F(DownAlbumTest, AlbumPageThatCannotBeFetchedFailsTheAlbumAndWritesNothing) {
    portal.addFault(Endpoint::AlbumPage, Fault::Status500, 5);
    const jobs::AlbumSummary summary = run();
    EXPECT_TRUE(summary.albumPageMissing);
    EXPECT_FALSE(summary.albumPageError.isEmpty());
    EXPECT_FALSE(summary.complete());
    // Tried as a song is, then given up before the cover, the song list or any folder.
    EXPECT_EQ(clock->pauses, (std::vector<std::chrono::milliseconds>{1s, 2s, 4s, 8s}));
    EXPECT_EQ(portal.requests("/album/").size(), 5u);
    EXPECT_EQ(portal.requests().size(), 5u);
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden),
              QStringList());
    EXPECT_EQ(host.statuses, QStringList());

    portal.clearRequests();
    clock->pauses.clear();
    portal.addFault(Endpoint::AlbumPage, Fault::Status500, 2);
    const jobs::AlbumSummary second = run();
    EXPECT_TRUE(second.complete());
    EXPECT_EQ(clock->pauses, (std::vector<std::chrono::milliseconds>{1s, 2s}));
    EXPECT_EQ(filesIn(folder()), kDemoFiles);
}

TEST_F(DownAlbumTest, UnknownAlbumMakesNoFolder) {
    const jobs::AlbumSummary summary = run(QStringLiteral("99999"));
    EXPECT_TRUE(summary.albumPageMissing);
    EXPECT_FALSE(summary.complete());
    EXPECT_FALSE(QFileInfo::exists(folder(QStringLiteral("99999"))));
}

TEST_F(DownAlbumTest, FolderAtASongsOrTheCoversNameIsAFailureOfIt) {
    ASSERT_TRUE(QDir().mkpath(folder() + u"/晴天的海.mp3"));
    ASSERT_TRUE(QDir().mkpath(folder() + u"/cover.jpg"));
    const jobs::AlbumSummary summary = run();
    EXPECT_FALSE(summary.complete());
    EXPECT_EQ(summary.stored, 7);
    EXPECT_EQ(summary.present, 0);
    ASSERT_EQ(summary.failed(), 1);
    EXPECT_EQ(summary.failures[0].songId, QStringLiteral("1001"));
    EXPECT_EQ(summary.failures[0].reason,
              u"歌曲无法保存: 已有同名文件夹 " + folder() + u"/晴天的海.mp3");
    EXPECT_EQ(summary.coverError, u"封面无法保存: 已有同名文件夹 " + folder() + u"/cover.jpg");
    EXPECT_EQ(portal.requests("/file/1001/").size(), 0u);
}

TEST_F(DownAlbumTest, AlbumWithoutSongsIsComplete) {
    const jobs::AlbumSummary summary = run(QStringLiteral("31258223"));
    EXPECT_TRUE(summary.complete());
    EXPECT_EQ(summary.stored, 0);
    EXPECT_EQ(host.statuses.size(), 1);
}

TEST_F(DownAlbumTest, NonNumericIdOrUnreadableProxyStartsNothing) {
    EXPECT_EQ(run(QStringLiteral("12a")).outcome, jobs::JobOutcome::NotStarted);
    settings.proxy = {true, QStringLiteral("not a proxy")};
    EXPECT_EQ(run().outcome, jobs::JobOutcome::NotStarted);
    EXPECT_EQ(host.messages, QStringList({QStringLiteral("代理地址无效")}));
    EXPECT_EQ(portal.requests().size(), 0u);
    EXPECT_EQ(filesIn(dir.path()) + QDir(dir.path()).entryList(QDir::Dirs | QDir::NoDotAndDotDot),
              QStringList());
}

TEST_F(DownAlbumTest, LoginCookieBringsThe320File) {
    const std::string session = portal.issueSession("demo");
    QNetworkCookie cookie(QByteArray(portal::PortalSim::kSessionCookie),
                          QByteArray::fromStdString(session));
    cookies->setCookiesFromUrl({cookie},
                               QUrl(QString::fromStdString("http://" + portal.host() + "/")));
    EXPECT_TRUE(run(QStringLiteral("31258220")).complete());
    EXPECT_EQ(readFile(folder(QStringLiteral("空白封面")) + u"/第一首.mp3"),
              bytes(portal::SongBody("2001", 320, kSongBytes)));
    const auto files = portal.requests("/file/");
    ASSERT_EQ(files.size(), 2u);
    EXPECT_EQ(files[0].path, "/file/2001/320.mp3");
    EXPECT_EQ(files[0].header("Cookie"), "orvana_session=" + session);
}

TEST_F(DownAlbumTest, CancelStopsBeforeTheNextRequest) {
    host.onStatus = [this](const QString& text) {
        if (text == u"正在下载MP3: ??? ...")
            cancel->cancel();
    };
    const jobs::AlbumSummary summary = run();
    EXPECT_EQ(summary.outcome, jobs::JobOutcome::Cancelled);
    EXPECT_EQ(summary.stored, 2);
    EXPECT_EQ(portal.requests("/song/1003/").size(), 0u);
    EXPECT_EQ(portal.requests("/song/").size(), 2u);
}

namespace {

portal::Catalogue oddCatalogue() {
    portal::Catalogue c;
    std::string longTitle;
    for (int i = 0; i < 100; ++i)
        longTitle += "长";
    portal::Album album{"500", "Odd", portal::CoverStyle::Absolute, "album-info", {}};
    const std::vector<portal::Song> songs = {
        {"501", longTitle, portal::LinkEnding::Brace, {}},
        {"502", "local file", portal::LinkEnding::Brace, "file:\\/\\/\\/etc\\/passwd"},
        {"503", "data", portal::LinkEnding::Quot, "data:audio\\/mpeg;base64,AAAA"},
        {"5x4", "not numeric", portal::LinkEnding::Brace, {}},
    };
    for (const auto& s : songs) {
        c.songs.emplace(s.id, s);
        album.songIds.push_back(s.id);
    }
    c.albums.emplace(album.id, album);
    return c;
}

class OddAlbumTest : public DownAlbumTest {
protected:
    OddAlbumTest() : DownAlbumTest(oddCatalogue()) {}
};

} // namespace

TEST_F(OddAlbumTest, LongTitlesAreCutAndFoundAgainOnTheNextRun) {
    const jobs::AlbumSummary first = run(QStringLiteral("500"));
    const QString name = QString(80, QChar(u'长')) + u".mp3"; // 240 bytes of UTF-8
    EXPECT_EQ(readFile(folder(QStringLiteral("Odd")) + u'/' + name), song("501"));
    EXPECT_EQ(first.stored, 1);
    const jobs::AlbumSummary second = run(QStringLiteral("500"));
    EXPECT_EQ(second.present, 1);
    EXPECT_EQ(second.stored, 0);
}

TEST_F(OddAlbumTest, FileAddressesOtherThanHttpAreRefused) {
    const jobs::AlbumSummary summary = run(QStringLiteral("500"));
    QStringList failed;
    for (const auto& f : summary.failures)
        failed.append(f.songId);
    EXPECT_EQ(failed,
              QStringList({QStringLiteral("502"), QStringLiteral("503"), QStringLiteral("5x4")}));
    EXPECT_EQ(summary.failures[0].reason,
              QStringLiteral("歌曲文件地址不是 http 或 https 地址: file:///etc/passwd"));
    EXPECT_EQ(filesIn(folder(QStringLiteral("Odd"))),
              QStringList({QStringLiteral("cover.jpg"), QString(80, QChar(u'长')) + u".mp3"}));
}

TEST_F(OddAlbumTest, NonNumericSongIdIsReportedOnceAndStillRequested) {
    (void)run(QStringLiteral("500"));
    EXPECT_EQ(host.messages, QStringList({QStringLiteral("song ID not numeric")}));
    EXPECT_GE(portal.requests("/song/5x4/download").size(), 1u);
}

// The job's one token ends a transfer in flight and a retry pause alike, promptly, and nothing
// is tried again after it.
TEST_F(DownAlbumTest, CancelDuringATransferOrARetryPauseEndsTheJobWithinASecond) {
    QStringList afterCancel;
    host.onStatus = [&](const QString& text) {
        if (cancel->isCancelled())
            afterCancel.append(text);
    };
    std::atomic<std::chrono::steady_clock::time_point> cancelledAt{};
    auto cancelWhen = [&](std::function<bool()> ready) {
        return std::thread([&, ready] {
            while (!ready())
                std::this_thread::sleep_for(2ms);
            cancelledAt = std::chrono::steady_clock::now();
            cancel->cancel();
        });
    };

    // A song body that stops half way for a minute.
    portal.addFault(Endpoint::SongFile, Fault::StallMidBody);
    std::thread canceller = cancelWhen([&] { return portal.stallsBegun() > 0; });
    jobs::AlbumSummary summary = run();
    auto ended = std::chrono::steady_clock::now();
    canceller.join();
    EXPECT_EQ(summary.outcome, jobs::JobOutcome::Cancelled);
    EXPECT_LT(ended - cancelledAt.load(), 1s);
    EXPECT_EQ(summary.stored, 0);
    EXPECT_EQ(summary.failed(), 0);
    EXPECT_TRUE(afterCancel.isEmpty()) << afterCancel.join(u'|').toStdString();
    EXPECT_EQ(portal.requests("/file/").size(), 1u);

    // A retry pause of a minute, on the real clock.
    cancel->reset();
    portal.clearFaults();
    portal.clearRequests();
    settings.clock = nullptr;
    settings.retry.pauses = {60s};
    portal.addFault(Endpoint::SongFile, Fault::Status500);
    canceller = cancelWhen([&] { return !portal.requests("/file/").empty(); });
    summary = run();
    ended = std::chrono::steady_clock::now();
    canceller.join();
    EXPECT_EQ(summary.outcome, jobs::JobOutcome::Cancelled);
    EXPECT_LT(ended - cancelledAt.load(), 1s);
    EXPECT_TRUE(afterCancel.isEmpty()) << afterCancel.join(u'|').toStdString();
    EXPECT_EQ(portal.requests("/file/").size(), 1u);
    EXPECT_EQ(portal.requests("/song/").size(), 1u);
}

TEST_F(DownAlbumTest, AnAnswerNoAttemptCanMendFailsTheSongAtOnce) {
    portal.addFault(Endpoint::SongFile, Fault::EncodedBody);
    const jobs::AlbumSummary summary = run();
    ASSERT_EQ(summary.failed(), 1);
    EXPECT_EQ(summary.failures[0].songId, QStringLiteral("1001"));
    EXPECT_TRUE(summary.failures[0].reason.endsWith(
        QStringLiteral("failed: the answer's encoding \"gzip\" cannot be read")))
        << summary.failures[0].reason.toStdString();
    EXPECT_TRUE(clock->pauses.empty());
    EXPECT_EQ(portal.requests("/file/1001/").size(), 1u);
    EXPECT_EQ(summary.stored, 7);
    EXPECT_FALSE(QFile::exists(folder() + u"/晴天的海.mp3"));
    EXPECT_EQ(filesIn(folder()).size(), kDemoFiles.size() - 1);
}
