// Answers the sample portal does not give, from a small portal of the test's own on 127.0.0.1:
// lists the parser reads only in part (what can be read is used, a page with no list fails the
// singer) and titles with control characters.
#include "cli/cli.h"
#include "jobs/down_singer.h"
#include "tests/jobs/job_test_support.h"
#include "tests/jobs/mini_portal.h"
#include "tests/support/cli_runner.h"

#include <QDir>
#include <gtest/gtest.h>

using namespace orvana;
using test_support::kAlbumLink;
using test_support::kSongLink;
using test_support::MiniPortal;
using test_support::readFile;
using test_support::RecordingClock;
using test_support::RecordingHost;

namespace {

class ListAnswersTest : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        settings.portalHost = portal.host();
        settings.outputRoot = dir.path();
        settings.clock = clock;
    }

    jobs::SingerSummary singer() {
        net::ModDownFile transport;
        return jobs::DownSinger(QStringLiteral("1"), transport, host, settings);
    }
    jobs::AlbumSummary album() {
        net::ModDownFile transport;
        return jobs::DownAlbum(QStringLiteral("7"), transport, host, settings);
    }

    MiniPortal portal;
    QTemporaryDir dir;
    std::shared_ptr<RecordingClock> clock = std::make_shared<RecordingClock>();
    jobs::JobSettings settings;
    RecordingHost host;
};

std::string albumPage(const std::string& tail) {
    return R"({"errorCode":22000,"data":{"html":")" + kAlbumLink + R"("})" + tail;
}

} // namespace

TEST_F(ListAnswersTest, SongListWithParserMessagesStillGivesItsSongs) {
    // A bad member after "data", and an answer cut off after it.
    for (const std::string& tail : {std::string(R"(,"x":tru})"), std::string()}) {
        portal.songList = R"({"data":{"html":")" + kSongLink + R"("})" + tail;
        QDir(dir.path() + u"/专辑七").removeRecursively();
        const jobs::AlbumSummary summary = album();
        EXPECT_TRUE(summary.complete()) << tail;
        EXPECT_EQ(summary.stored, 1);
        EXPECT_EQ(readFile(dir.path() + u"/专辑七/歌七十.mp3"), QByteArray("song seventy"));
    }
}

TEST_F(ListAnswersTest, SongListCutBeforeItsFirstSongIsMissing) {
    portal.songList = R"({"data":{"html":"<a href=\"\/song\/7)";
    const jobs::AlbumSummary summary = album();
    EXPECT_TRUE(summary.songListMissing);
    EXPECT_FALSE(summary.complete());
}

TEST_F(ListAnswersTest, AlbumListPagesWithParserMessagesGiveTheirAlbums) {
    portal.albumLists[0] = albumPage(R"(,"x":tru})");
    const jobs::SingerSummary summary = singer();
    EXPECT_TRUE(summary.complete());
    ASSERT_EQ(summary.albums.size(), 1);
    EXPECT_EQ(summary.albums[0].stored, 1);
    EXPECT_EQ(readFile(dir.path() + u"/歌手一/专辑七/歌七十.mp3"), QByteArray("song seventy"));
}

TEST_F(ListAnswersTest, PageWithoutAListFailsTheSingerAndTheNextPageIsRead) {
    // No "data" at all; a list cut before its first album; then a good page.
    portal.albumLists[0] = R"({"errorCode":22000,"album-info":1})";
    portal.albumLists[10] = R"({"errorCode":22000,"data":{"html":"<div class=\"album-info)";
    portal.albumLists[20] = albumPage("}");
    const jobs::SingerSummary summary = singer();
    EXPECT_EQ(summary.unreadablePages, (QList<int>{0, 10}));
    EXPECT_FALSE(summary.complete());
    ASSERT_EQ(summary.albums.size(), 1);
    EXPECT_TRUE(summary.albums[0].complete());
    EXPECT_TRUE(clock->pauses.empty());
}

TEST_F(ListAnswersTest, CliNamesTheUnreadablePageAndExitsOne) {
    portal.albumLists[0] = albumPage("}");
    portal.albumLists[10] = R"({"errorCode":22000,"album-info":1})";
    const QString cookies = dir.filePath(QStringLiteral("cookies.txt"));
    QFile(cookies).open(QIODevice::WriteOnly);
    const test_support::CliRun r = test_support::RunCli(
        {QStringLiteral("singer"), QStringLiteral("1"), QStringLiteral("--portal-host"),
         portal.host(), QStringLiteral("-o"), dir.filePath(QStringLiteral("out")),
         QStringLiteral("--cookies"), cookies},
        {}, clock);
    EXPECT_EQ(r.exitCode, cli::kExitFailed);
    EXPECT_TRUE(QString::fromUtf8(r.err).contains(
        QStringLiteral("\n专辑列表无法读取 (歌手 1, start=10)\n")))
        << r.err.toStdString();
}

TEST_F(ListAnswersTest, ControlCharactersInTitlesBecomeSpaces) {
    // The page's line end reaches the title as a line feed; the tab stays.
    portal.songList = R"({"data":{"html":"<a href=\"\/song\/70\" title=\"\tA;B\r\n\">x<\/a>"}})";
    const jobs::AlbumSummary summary = album();
    EXPECT_TRUE(summary.complete());
    // In names: a space each, then the outer spaces trimmed; on the status line: a space each.
    EXPECT_EQ(readFile(dir.path() + u"/专辑七/A;B.mp3"), QByteArray("song seventy"));
    EXPECT_EQ(host.statuses.last(), QStringLiteral("正在下载MP3:  A;B  ..."));
}

TEST_F(ListAnswersTest, PagesOverTheCapsFailAtOnceAndWriteNothing) {
    auto count = [this](const std::string& path) {
        int n = 0;
        for (const auto& r : portal.server.seen())
            n += r.path == path ? 1 : 0;
        return n;
    };
    const std::string block = R"(<div class="album-info"><h2>专辑七</h2></div>)";
    portal.albumPage = block + std::string(5 * 1024 * 1024, ' ');
    jobs::AlbumSummary summary = album();
    EXPECT_TRUE(summary.albumPageMissing);
    EXPECT_EQ(summary.albumPageError, QStringLiteral("page too large: more than 4 MiB"));
    EXPECT_EQ(count("/album/7"), 1);
    EXPECT_TRUE(clock->pauses.empty());

    std::string dense = block;
    for (int i = 0; i < 200'000; ++i)
        dense += "<a>";
    portal.albumPage = dense;
    summary = album();
    EXPECT_EQ(summary.albumPageError, QStringLiteral("page too large: more than 100000 elements"));
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot), QStringList());

    // A song list of 10 MiB: no list, and no song fetched.
    portal.albumPage = block;
    std::string links;
    while (links.size() < 10u * 1024 * 1024)
        links += kSongLink;
    portal.songList = R"({"data":{"html":")" + links + R"("}})";
    summary = album();
    EXPECT_TRUE(summary.songListMissing);
    EXPECT_EQ(count("/song/70/download"), 0);

    // An album list page over the cap is a page without a list; the next page is read.
    portal.songList = R"({"data":{"html":")" + kSongLink + R"("}})";
    portal.albumLists[0] =
        R"({"errorCode":22000,"data":{"html":")" + std::string(5 * 1024 * 1024, 'x') + R"("}})";
    portal.albumLists[10] = albumPage("}");
    const jobs::SingerSummary singerSummary = singer();
    EXPECT_EQ(singerSummary.unreadablePages, QList<int>{0});
    ASSERT_EQ(singerSummary.albums.size(), 1);
    EXPECT_TRUE(singerSummary.albums[0].complete());
    EXPECT_EQ(count("/data/user/getalbums"), 3);
}
