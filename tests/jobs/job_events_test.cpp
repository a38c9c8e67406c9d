// What the jobs tell a front end as events (the window's results list, the command line's
// event stream), and the status texts the window ends a job with.
#include "jobs/catalogue.h"
#include "jobs/down_album.h"
#include "jobs/down_singer.h"
#include "jobs/job_report.h"
#include "tests/jobs/job_test_support.h"
#include "tools/portal-sim/portal_sim.h"

#include <QFile>
#include <gtest/gtest.h>
#include <thread>

using namespace orvana;
using namespace std::chrono_literals;
using portal::Endpoint;
using portal::Fault;

namespace {

// Every event as one line: "album ID TITLE", "song ID STATE FILE [reason]", "error ...",
// "done ID stored/present/failed".
class EventHost : public test_support::RecordingHost {
public:
    void albumStarted(const jobs::AlbumInfo& a) override {
        events << u"album " + a.id + u' ' + a.title;
    }
    void songFinished(const jobs::SongEvent& s) override {
        static const char* names[] = {"saved",   "present", "archived",
                                      "planned", "failed",  "stopped"};
        QString line = u"song " + s.songId + u' ' + QString::fromLatin1(names[int(s.state)]) +
                       u' ' + s.path.section(u'/', -1);
        if (!s.reason.isEmpty())
            line += u" [" + s.reason.section(u':', 0, 0) + u']';
        if (s.state == jobs::SongState::Saved && s.bytes != QFile(s.path).size())
            line += QStringLiteral(" (bytes %1 differ from the file)").arg(s.bytes);
        events << line;
    }
    void jobError(const jobs::JobError& e) override {
        events << u"error " + e.album.id + u'|' + e.singerId + u'|' + e.message;
    }
    void albumFinished(const jobs::AlbumInfo& a, const jobs::Tally& t) override {
        events << QStringLiteral("done %1 %2/%3/%4")
                      .arg(a.id)
                      .arg(t.stored)
                      .arg(t.present)
                      .arg(t.failed);
    }
    QStringList events;
};

class JobEventsTest : public test_support::PortalJobTest {
protected:
    JobEventsTest() : PortalJobTest(portal::DemoCatalogue(), 2000) {}
    jobs::AlbumSummary album(const QString& id = QStringLiteral("31258219")) {
        return jobs::DownAlbum(id, *transport, events, settings);
    }
    EventHost events;
};

const QStringList kDemoSongsSaved = {
    u"song 1001 saved 晴天的海.mp3"_qs,   u"song 1002 saved AB Side.mp3"_qs,
    u"song 1003 saved 1003.mp3"_qs,       u"song 1004 saved 同名曲.mp3"_qs,
    u"song 1005 saved 同名曲 (2).mp3"_qs, u"song 1006 saved Rock & Roll Remix.mp3"_qs,
    u"song 1007 saved 同名曲 (3).mp3"_qs, u"song 1008 saved 最后一首 再见.mp3"_qs,
};

} // namespace

TEST_F(JobEventsTest, AlbumTellsItsFolderEverySongInListOrderAndItsCounts) {
    const jobs::AlbumSummary summary = album();
    QStringList expected{u"album 31258219 夜航星: 第一辑 <Live>."_qs};
    expected << kDemoSongsSaved << u"done 31258219 8/0/0"_qs;
    EXPECT_EQ(events.events, expected);
    EXPECT_EQ(summary.tally(), (jobs::Tally{8, 0, 0, summary.bytes}));

    // The re-run finds every file present.
    events.events.clear();
    (void)album();
    ASSERT_EQ(events.events.size(), 10);
    EXPECT_EQ(events.events[1], u"song 1001 present 晴天的海.mp3");
    EXPECT_EQ(events.events.last(), u"done 31258219 0/8/0");
}

TEST_F(JobEventsTest, FailedSongIsAnEventWithItsReasonAndItsPlannedFile) {
    // The first song's file fails every attempt; the others are fetched.
    portal.addFault(Endpoint::SongFile, Fault::Status500, 5);
    const jobs::AlbumSummary summary = album();
    ASSERT_GE(events.events.size(), 3);
    EXPECT_EQ(events.events[1], u"song 1001 failed 晴天的海.mp3 [尝试 5 次均失败]");
    EXPECT_EQ(events.events.last(), u"done 31258219 7/0/1");
    EXPECT_EQ(jobs::AlbumEndText(summary), u"指定专辑下载完毕. 失败 1 首 (双击查看)");
}

TEST_F(JobEventsTest, AlbumPageThatFailsIsAnErrorAndNoAlbum) {
    portal.addFault(Endpoint::AlbumPage, Fault::Status500, -1);
    const jobs::AlbumSummary summary = album();
    ASSERT_EQ(events.events.size(), 1);
    EXPECT_TRUE(events.events[0].startsWith(u"error 31258219||无法获取专辑页面: "))
        << events.events[0].toStdString();
    EXPECT_EQ(jobs::AlbumEndText(summary),
              u"无法获取专辑页面: " + summary.albumPageError + u" (双击查看)");
    EXPECT_TRUE(summary.albumPageError.contains(u"500")) << summary.albumPageError.toStdString();
}

TEST_F(JobEventsTest, SongInFlightWhenCancelledIsStopped) {
    portal.addFault(Endpoint::SongFile, Fault::StallMidBody);
    std::thread canceller([&] {
        while (portal.stallsBegun() == 0)
            std::this_thread::sleep_for(2ms);
        cancel->cancel();
    });
    const jobs::AlbumSummary summary = album();
    canceller.join();
    EXPECT_EQ(events.events,
              (QStringList{u"album 31258219 夜航星: 第一辑 <Live>."_qs,
                           u"song 1001 stopped 晴天的海.mp3"_qs, u"done 31258219 0/0/0"_qs}));
    EXPECT_EQ(jobs::AlbumEndText(summary), u"下载已停止.");
}

TEST_F(JobEventsTest, SingerWithoutPageIsASingerError) {
    portal.addFault(Endpoint::SingerPage, Fault::Status500);
    const jobs::SingerSummary summary =
        jobs::DownSinger(QStringLiteral("18105010"), *transport, events, settings);
    ASSERT_FALSE(events.events.isEmpty());
    EXPECT_EQ(events.events[0], u"error |18105010|无法获取歌手页面: 18105010");
    EXPECT_EQ(jobs::SingerEndText(QStringLiteral("18105010"), summary),
              u"无法获取歌手页面: 18105010 (双击查看)");
}

// The window's end texts, from summaries alone.
TEST(JobEndTexts, SayDoneFailedOrWhatWentWrong) {
    jobs::AlbumSummary ok;
    EXPECT_EQ(jobs::AlbumEndText(ok), u"指定专辑下载完毕.");
    jobs::AlbumSummary noList;
    noList.songListMissing = true;
    EXPECT_EQ(jobs::AlbumEndText(noList), u"无法获取歌曲列表 (双击查看)");

    jobs::SingerSummary singer;
    EXPECT_EQ(jobs::SingerEndText(u"1"_qs, singer), u"指定歌手下载完毕.");
    jobs::AlbumSummary twoFailed;
    twoFailed.failures = {{u"1"_qs, u"a"_qs, u"x"_qs}, {u"2"_qs, u"b"_qs, u"y"_qs}};
    singer.albums = {ok, twoFailed};
    EXPECT_EQ(jobs::SingerEndText(u"1"_qs, singer), u"指定歌手下载完毕. 失败 2 首 (双击查看)");
    singer.listGivenUp = true;
    singer.stoppedAtOffset = 10;
    EXPECT_EQ(jobs::SingerEndText(u"1"_qs, singer),
              u"专辑列表获取失败, 已放弃 (歌手 1, start=10) (双击查看)");

    // A run names the failed songs of all its singers before any one singer's trouble.
    jobs::TickedRunSummary run;
    run.ids = {u"1"_qs, u"2"_qs};
    run.singers = {singer, jobs::SingerSummary{}};
    EXPECT_EQ(jobs::TickedRunEndText(run), u"所选专辑已下载完毕. 失败 2 首 (双击查看)");
    run.singers[0].albums = {ok};
    EXPECT_EQ(jobs::TickedRunEndText(run),
              u"专辑列表获取失败, 已放弃 (歌手 1, start=10) (双击查看)");
    run.singers = {jobs::SingerSummary{}};
    EXPECT_EQ(jobs::TickedRunEndText(run), u"所选专辑已下载完毕.");
    run.cancelled = true;
    EXPECT_EQ(jobs::TickedRunEndText(run), u"下载已停止.");
}
