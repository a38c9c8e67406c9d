// The singer job end to end, against the sample portal on 127.0.0.1.
#include "jobs/down_album.h"
#include "jobs/down_singer.h"
#include "net/cookie_store.h"
#include "tests/jobs/job_test_support.h"
#include "tools/portal-sim/media.h"
#include "tools/portal-sim/portal_sim.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace orvana;
using namespace std::chrono_literals;
using portal::Endpoint;
using portal::Fault;
using test_support::bytes;
using test_support::PortalJobTest;
using test_support::readFile;
using test_support::RecordingClock;
using test_support::RecordingHost;

namespace {

constexpr std::size_t kSongBytes = 2000;
const QDateTime kNow(QDate(2026, 12, 8), QTime(9, 5, 3));
const QString kRetryText = QStringLiteral("专辑列表获取失败,重试...2026/12/8 9:05:03");

// What a folder holds, hidden entries included, but for the album marker.
QStringList entries(const QString& folder) {
    QStringList all =
        QDir(folder).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden, QDir::Name);
    all.removeOne(QStringLiteral(".orvana-album"));
    return all;
}

// The demo catalogue plus singer "555" with 20 albums (two full pages) and singer "556" with
// three, the second listed with class text "cover x".
portal::Catalogue catalogue() {
    portal::Catalogue c = portal::DemoCatalogue();
    portal::AddPagedSinger(c, "555", "分页歌手", 40000000, 20);
    portal::AddPagedSinger(c, "556", "三张专辑", 40001000, 3);
    c.albums["40001001"].listClass = "cover x";
    // Singer "557": two albums whose titles clean to one name, the first listed twice.
    portal::AddPagedSinger(c, "557", "同名专辑", 40002000, 2);
    c.albums["40002000"].title = "重名";
    c.albums["40002001"].title = "重名.";
    c.songs["4000200101"].title = c.songs["4000200001"].title;
    c.singers.back().albumIds.push_back("40002000");
    return c;
}

class DownSingerTest : public PortalJobTest {
protected:
    DownSingerTest() : PortalJobTest(catalogue(), kSongBytes) { clock->fixedNow = kNow; }

    jobs::SingerSummary run(const QString& id) {
        return jobs::DownSinger(id, *transport, host, settings, list);
    }
    std::vector<std::string> listQueries() const {
        std::vector<std::string> out;
        for (const auto& r : portal.requests("/data/user/getalbums"))
            out.push_back(r.query);
        return out;
    }
    QString path(const QString& relative) const { return dir.path() + u'/' + relative; }

    jobs::AlbumListSettings list;
};

} // namespace

TEST_F(DownSingerTest, TwoFullPagesThenAnEndPage) {
    const jobs::SingerSummary summary = run(QStringLiteral("555"));

    EXPECT_TRUE(summary.complete());
    EXPECT_EQ(summary.name, QStringLiteral("分页歌手"));
    EXPECT_EQ(summary.folder, path(QStringLiteral("分页歌手")));
    EXPECT_EQ(listQueries(), (std::vector<std::string>{"start=0&vesk_uid=555&order=hot",
                                                       "start=10&vesk_uid=555&order=hot",
                                                       "start=20&vesk_uid=555&order=hot"}));
    ASSERT_EQ(portal.requests("/artist").size(), 1u);
    EXPECT_EQ(portal.requests("/artist").front().path, "/artist/555");
    // The album pages are never fetched: the list gives ID, title and cover.
    EXPECT_TRUE(portal.requests("/album/").empty());

    ASSERT_EQ(summary.albums.size(), 20);
    EXPECT_EQ(summary.tally().stored, 20);
    EXPECT_EQ(entries(dir.path()), QStringList{QStringLiteral("分页歌手")});
    EXPECT_EQ(entries(path(QStringLiteral("分页歌手"))).size(), 20);
    const QString album11 = path(QStringLiteral("分页歌手/分页歌手 专辑 11"));
    EXPECT_EQ(entries(album11),
              (QStringList{QStringLiteral("cover.jpg"), QStringLiteral("歌 11.mp3")}));
    EXPECT_EQ(readFile(album11 + u"/cover.jpg"), bytes(portal::CoverBytes("40000010")));
    EXPECT_EQ(readFile(album11 + u"/歌 11.mp3"),
              bytes(portal::SongBody("4000001001", 128, kSongBytes)));

    // Songs of each album are asked for with that album's ID.
    const auto lists = portal.requests("/data/music/songlist");
    ASSERT_EQ(lists.size(), 20u);
    EXPECT_EQ(lists.front().body, "id=40000000&type=album");
    EXPECT_EQ(lists.back().body, "id=40000019&type=album");

    ASSERT_GE(host.statuses.size(), 2);
    EXPECT_EQ(host.statuses.at(0), QStringLiteral("下载专辑封面: 《分页歌手 专辑 1》 ... "));
    EXPECT_EQ(host.statuses.at(1), QStringLiteral("正在下载MP3: 歌 1 ..."));
    EXPECT_EQ(host.statuses.size(), 40);
}

TEST_F(DownSingerTest, DemoSingerStoresPlaceholderAndRelativeCoversAndEverySong) {
    const jobs::SingerSummary summary = run(QString::fromLatin1(portal::kDemoSingerId));

    EXPECT_TRUE(summary.complete());
    EXPECT_EQ(summary.albums.size(), 13);
    EXPECT_EQ(summary.tally().stored, 12 * 2 + 8);
    // Album 03 has a "blank" src and the real address in org_src; album 01 a relative src.
    EXPECT_EQ(readFile(path(QStringLiteral("夜航星乐队/专辑 03 精选/cover.jpg"))),
              bytes(portal::CoverBytes("31259003")));
    EXPECT_EQ(readFile(path(QStringLiteral("夜航星乐队/专辑 01/cover.jpg"))),
              bytes(portal::CoverBytes("31259001")));
    EXPECT_EQ(entries(path(QStringLiteral("夜航星乐队/夜航星 第一辑 Live"))).size(), 9);
    EXPECT_TRUE(portal.requests("/images/blank.gif").empty());
}

TEST_F(DownSingerTest, SingerWithoutAlbumsGetsOnlyItsFolder) {
    const jobs::SingerSummary summary = run(QString::fromLatin1(portal::kNoAlbumSingerId));

    EXPECT_TRUE(summary.complete());
    EXPECT_EQ(entries(dir.path()), QStringList{QStringLiteral("无专辑歌手")});
    EXPECT_EQ(entries(path(QStringLiteral("无专辑歌手"))), QStringList());
    EXPECT_EQ(listQueries(), std::vector<std::string>{"start=0&vesk_uid=18104397&order=hot"});
    EXPECT_EQ(host.statuses, QStringList());
}

TEST_F(DownSingerTest, SpacedErrorCodeIsARefusedPageAndIsRetried) {
    portal.addFault(Endpoint::AlbumList, Fault::SpacedErrorCode);
    const jobs::SingerSummary summary = run(QStringLiteral("556"));

    EXPECT_TRUE(summary.complete());
    EXPECT_EQ(listQueries(), (std::vector<std::string>{"start=0&vesk_uid=556&order=hot",
                                                       "start=0&vesk_uid=556&order=hot",
                                                       "start=10&vesk_uid=556&order=hot"}));
    EXPECT_EQ(host.statuses.front(), kRetryText);
    EXPECT_EQ(clock->pauses, std::vector<std::chrono::milliseconds>{1s});
}

TEST_F(DownSingerTest, CoverLinkWithAFurtherClassIsNoAlbum) {
    const jobs::SingerSummary summary = run(QStringLiteral("556"));

    EXPECT_TRUE(summary.complete());
    EXPECT_EQ(entries(path(QStringLiteral("三张专辑"))),
              (QStringList{QStringLiteral("三张专辑 专辑 1"), QStringLiteral("三张专辑 专辑 3")}));
    const auto lists = portal.requests("/data/music/songlist");
    ASSERT_EQ(lists.size(), 2u);
    EXPECT_EQ(lists.at(0).body, "id=40001000&type=album");
    EXPECT_EQ(lists.at(1).body, "id=40001002&type=album");
}

TEST_F(DownSingerTest, RefusedListIsTriedTenTimesWithGrowingPausesThenGivenUp) {
    portal.addFault(Endpoint::AlbumList, Fault::Refuse, -1);
    const jobs::SingerSummary summary = run(QStringLiteral("556"));

    EXPECT_FALSE(summary.complete());
    EXPECT_TRUE(summary.listGivenUp);
    EXPECT_EQ(summary.stoppedAtOffset, 0);
    EXPECT_EQ(listQueries().size(), 10u);
    EXPECT_EQ(clock->pauses,
              (std::vector<std::chrono::milliseconds>{1s, 2s, 4s, 8s, 16s, 30s, 30s, 30s, 30s}));
    // One retry text per retry; none after the last refusal, when nothing is retried.
    EXPECT_EQ(host.statuses, QStringList(9, kRetryText));
    // The singer folder is there; no album is.
    EXPECT_EQ(entries(path(QStringLiteral("三张专辑"))), QStringList());
}

TEST_F(DownSingerTest, FailedListRequestsAreRetriedLikeRefusedOnes) {
    portal.addFault(Endpoint::AlbumList, Fault::Status500);
    portal.addFault(Endpoint::AlbumList, Fault::Refuse);
    const jobs::SingerSummary summary = run(QStringLiteral("556"));

    EXPECT_TRUE(summary.complete());
    EXPECT_EQ(listQueries().size(), 4u); // 500, refused, page 0, end page
    EXPECT_EQ(clock->pauses, (std::vector<std::chrono::milliseconds>{1s, 2s}));
    EXPECT_EQ(host.statuses.mid(0, 2), QStringList(2, kRetryText));
    EXPECT_EQ(summary.albums.size(), 2);
}

TEST_F(DownSingerTest, RetryTextUsesTheClocksLocalTime) {
    EXPECT_EQ(jobs::AlbumListRetryText(QDateTime(QDate(2027, 1, 31), QTime(23, 59, 58))),
              QStringLiteral("专辑列表获取失败,重试...2027/1/31 23:59:58"));
}

TEST_F(DownSingerTest, UnreadableListPageIsSkippedAndTheNextOffsetFollows) {
    portal.addFault(Endpoint::AlbumList, Fault::MalformedJson);
    const jobs::SingerSummary summary = run(QStringLiteral("555"));

    EXPECT_EQ(listQueries().size(), 3u);
    ASSERT_EQ(summary.albums.size(), 10);
    EXPECT_EQ(summary.albums.front().title, QStringLiteral("分页歌手 专辑 11"));
    EXPECT_EQ(summary.unreadablePages, QList<int>{0});
    EXPECT_FALSE(summary.complete());
}

TEST_F(DownSingerTest, ExistingAlbumFolderIsReusedAndPresentSongsSkipped) {
    ASSERT_TRUE(run(QStringLiteral("556")).complete());
    const QString album = path(QStringLiteral("三张专辑/三张专辑 专辑 3"));
    ASSERT_TRUE(QFile::remove(album + u"/歌 3.mp3"));
    portal.clearRequests();

    const jobs::SingerSummary again = run(QStringLiteral("556"));

    EXPECT_TRUE(again.complete());
    EXPECT_EQ(again.tally().stored, 1);
    EXPECT_EQ(again.tally().present, 1);
    ASSERT_EQ(portal.requests("/file/").size(), 1u);
    EXPECT_EQ(portal.requests("/file/").front().path, "/file/4000100201/128.mp3");
    EXPECT_EQ(entries(album),
              (QStringList{QStringLiteral("cover.jpg"), QStringLiteral("歌 3.mp3")}));
}

TEST_F(DownSingerTest, SingerWithoutAUsableNameGetsAFolderNamedAfterItsId) {
    portal.addFault(Endpoint::SingerPage, Fault::Status500);
    const jobs::SingerSummary summary = run(QStringLiteral("556"));

    EXPECT_TRUE(summary.singerPageMissing);
    EXPECT_EQ(summary.name, QString());
    EXPECT_EQ(summary.folder, path(QStringLiteral("556")));
    EXPECT_EQ(entries(dir.path()), QStringList{QStringLiteral("556")});
    EXPECT_EQ(entries(path(QStringLiteral("556"))).size(), 2);
}

TEST_F(DownSingerTest, StopsBeforeAnOffsetPastTheLimit) {
    list.maxOffset = 10;
    const jobs::SingerSummary summary = run(QStringLiteral("555"));

    EXPECT_EQ(listQueries().size(), 2u);
    EXPECT_TRUE(summary.offsetLimitReached);
    EXPECT_EQ(summary.stoppedAtOffset, 20);
    EXPECT_FALSE(summary.complete());
}

TEST_F(DownSingerTest, CancelStopsBetweenRetries) {
    portal.addFault(Endpoint::AlbumList, Fault::Refuse, -1);
    struct CancellingClock : RecordingClock {
        std::shared_ptr<net::CancelToken> token;
        void sleep(std::chrono::milliseconds d, const net::CancelToken* c) override {
            RecordingClock::sleep(d, c);
            token->cancel();
        }
    };
    auto cancelling = std::make_shared<CancellingClock>();
    cancelling->token = cancel;
    cancelling->fixedNow = kNow;
    settings.clock = cancelling;
    const jobs::SingerSummary summary = run(QStringLiteral("556"));

    EXPECT_EQ(summary.outcome, jobs::JobOutcome::Cancelled);
    EXPECT_FALSE(summary.listGivenUp);
    EXPECT_EQ(listQueries().size(), 1u);
}

TEST_F(DownSingerTest, DifferentAlbumsOfEqualCleanedTitleGetNumberedFolders) {
    const jobs::SingerSummary summary = run(QStringLiteral("557"));

    EXPECT_TRUE(summary.complete());
    ASSERT_EQ(summary.albums.size(), 3);
    EXPECT_EQ(entries(path(QStringLiteral("同名专辑"))),
              (QStringList{QStringLiteral("重名"), QStringLiteral("重名 (2)")}));
    // Both songs share a title; each album keeps its own.
    EXPECT_EQ(readFile(path(QStringLiteral("同名专辑/重名/歌 1.mp3"))),
              bytes(portal::SongBody("4000200001", 128, kSongBytes)));
    EXPECT_EQ(readFile(path(QStringLiteral("同名专辑/重名 (2)/歌 1.mp3"))),
              bytes(portal::SongBody("4000200101", 128, kSongBytes)));
    // The album listed again is handled in its first folder, where its song is present.
    EXPECT_EQ(summary.albums.at(2).folder, path(QStringLiteral("同名专辑/重名")));
    EXPECT_EQ(summary.albums.at(2).present, 1);
    EXPECT_EQ(portal.requests("/file/").size(), 2u);

    portal.clearRequests();
    const jobs::SingerSummary again = run(QStringLiteral("557"));
    EXPECT_EQ(again.tally().present, 3);
    EXPECT_TRUE(portal.requests("/file/").empty());
}

TEST_F(DownSingerTest, EqualTitledAlbumsKeepTheirFoldersWhateverTheListOrder) {
    // Album B (40002001) was fetched first, on its own: it holds the plain name.
    const QString singer = path(QStringLiteral("同名专辑"));
    ASSERT_TRUE(QDir().mkdir(singer));
    jobs::JobSettings alone = settings;
    alone.outputRoot = singer;
    ASSERT_TRUE(jobs::DownAlbum(QStringLiteral("40002001"), *transport, host, alone).complete());
    EXPECT_EQ(readFile(singer + u"/重名/.orvana-album"), QByteArray("40002001\n"));
    portal.clearRequests();

    // The singer lists A first: A must not take B's folder and its equally named song.
    const jobs::SingerSummary summary = run(QStringLiteral("557"));
    EXPECT_TRUE(summary.complete());
    EXPECT_EQ(summary.albums.at(0).folder, singer + u"/重名 (2)");
    EXPECT_EQ(summary.albums.at(1).folder, singer + u"/重名");
    EXPECT_EQ(summary.albums.at(2).folder, singer + u"/重名 (2)");
    EXPECT_EQ(readFile(singer + u"/重名 (2)/歌 1.mp3"),
              bytes(portal::SongBody("4000200001", 128, kSongBytes)));
    EXPECT_EQ(readFile(singer + u"/重名/歌 1.mp3"),
              bytes(portal::SongBody("4000200101", 128, kSongBytes)));
    EXPECT_EQ(readFile(singer + u"/重名 (2)/.orvana-album"), QByteArray("40002000\n"));
    ASSERT_EQ(portal.requests("/file/").size(), 1u);
    EXPECT_EQ(portal.requests("/file/").front().path, "/file/4000200001/128.mp3");
}

TEST_F(DownSingerTest, FolderWithoutMarkerCountsAsTheAlbumsOwn) {
    // Made by hand (or an older run): the first album of that name takes it, as before.
    ASSERT_TRUE(QDir().mkpath(path(QStringLiteral("同名专辑/重名"))));
    const jobs::SingerSummary summary = run(QStringLiteral("557"));
    EXPECT_TRUE(summary.complete());
    EXPECT_EQ(summary.albums.at(0).folder, path(QStringLiteral("同名专辑/重名")));
    EXPECT_EQ(summary.albums.at(1).folder, path(QStringLiteral("同名专辑/重名 (2)")));
    EXPECT_FALSE(QFile::exists(path(QStringLiteral("同名专辑/重名/.orvana-album"))));
    // A file standing at an album's name is passed over.
    QFile plain(path(QStringLiteral("同名专辑/重名 (3)")));
    ASSERT_TRUE(plain.open(QIODevice::WriteOnly));
    plain.close();
    ASSERT_TRUE(QDir(path(QStringLiteral("同名专辑/重名 (2)"))).removeRecursively());
    ASSERT_TRUE(QDir().mkdir(path(QStringLiteral("同名专辑/重名 (2)"))));
    QFile marker(path(QStringLiteral("同名专辑/重名 (2)/.orvana-album")));
    ASSERT_TRUE(marker.open(QIODevice::WriteOnly));
    marker.write("123\n");
    marker.close();
    const jobs::SingerSummary again = run(QStringLiteral("557"));
    EXPECT_TRUE(again.complete());
    EXPECT_EQ(again.albums.at(1).folder, path(QStringLiteral("同名专辑/重名 (4)")));
}
