// The pieces the window and its worker thread share: the tick rows, the progress forwarding and
// the cancel tokens.
#include "app/job_bridge.h"
#include "tests/net/test_server.h"

#include <QElapsedTimer>
#include <QTest>
#include <gtest/gtest.h>
#include <thread>

using namespace orvana::app;

TEST(TickedRows, TicksFollowTheRowsAndNewRowsStartUnticked) {
    TickedRows rows;
    EXPECT_EQ(rows.tickedId(0), std::nullopt);
    rows.setRows({QStringLiteral("11"), QStringLiteral("22"), QStringLiteral("11")});
    EXPECT_EQ(rows.count(), 3);
    rows.setTicked(2, true);
    rows.setTicked(7, true); // no such row: ignored
    rows.setTicked(-1, true);
    EXPECT_EQ(rows.tickedId(0), std::nullopt);
    EXPECT_EQ(rows.tickedId(2), QStringLiteral("11"));
    EXPECT_EQ(rows.tickedId(3), std::nullopt);
    rows.setRows({QStringLiteral("33")});
    EXPECT_EQ(rows.tickedId(0), std::nullopt);
    EXPECT_EQ(rows.tickedId(2), std::nullopt);
}

namespace {

constexpr qint64 kTotal = 1'000'000'000'000;

struct Delivery {
    qint64 atMs;
    qint64 received;
};

} // namespace

// A transfer reporting every byte count as fast as it can: at most 20 updates a second reach the
// window thread, and the last value reported is the last one shown (no stale tail).
TEST(JobBridge, SongProgressIsThrottledAndEndsOnTheLatestValue) {
    JobBridge bridge(std::make_shared<orvana::net::TransportSession>(), {});
    QElapsedTimer clock;
    std::vector<Delivery> deliveries;
    QObject::connect(&bridge, &JobBridge::songProgress, [&](qint64 received, qint64 total) {
        EXPECT_EQ(total, kTotal);
        deliveries.push_back({clock.elapsed(), received});
    });
    bool done = false;
    clock.start();
    bridge.runOnJobThread(
        [](orvana::net::ModDownFile&, orvana::jobs::JobHost& host) {
            QElapsedTimer running;
            running.start();
            qint64 received = 0;
            while (running.elapsed() < 600)
                host.songProgress({}, ++received, kTotal);
            host.songProgress({}, kTotal - 1, kTotal);
            // The window picks the last value up before the job ends.
            std::this_thread::sleep_for(std::chrono::milliseconds(150));
        },
        [&done] { done = true; });
    ASSERT_TRUE(QTest::qWaitFor([&done] { return done; }, 10000));
    const qint64 seconds = (clock.elapsed() + 999) / 1000;
    ASSERT_FALSE(deliveries.empty());
    EXPECT_LE(qint64(deliveries.size()), seconds * 20 + 1);
    for (std::size_t i = 1; i < deliveries.size(); ++i) {
        EXPECT_GE(deliveries[i].atMs - deliveries[i - 1].atMs, 45) << i;
        EXPECT_GT(deliveries[i].received, deliveries[i - 1].received) << i;
    }
    EXPECT_EQ(deliveries.back().received, kTotal - 1);
}

// A stop cancels the running download only: the next download starts uncancelled, and a
// get-singers fetch (which runs on the close token) is not touched. Closing cancels both, and
// no download token handed out afterwards escapes it.
TEST(JobBridge, StopCancelsTheDownloadOnlyAndCloseCancelsEverything) {
    orvana::net::test::TestServer index;
    index.server().Get("/artist", [](const httplib::Request&, httplib::Response& res) {
        res.set_content(R"(<a href="/artist/7" title="Seven">7</a>)", "text/html");
    });
    index.start();
    JobBridge bridge(std::make_shared<orvana::net::TransportSession>(), {});
    const auto first = bridge.newDownloadToken();
    bridge.stopDownload();
    EXPECT_TRUE(first->isCancelled());
    const auto second = bridge.newDownloadToken();
    EXPECT_FALSE(second->isCancelled());

    std::optional<QString> listed;
    const QString host = QStringLiteral("127.0.0.1:%1").arg(index.port());
    bridge.getSingers(
        host, 0,
        [&listed](const orvana::jobs::SingerLists& lists) { listed = lists.names.join(u','); },
        [&listed](const QString& reason) { listed = u"failed: " + reason; });
    ASSERT_TRUE(QTest::qWaitFor([&listed] { return listed.has_value(); }, 10000));
    EXPECT_EQ(*listed, u"Seven");

    bridge.cancelAll();
    EXPECT_TRUE(second->isCancelled());
    EXPECT_TRUE(bridge.newDownloadToken()->isCancelled());
}
