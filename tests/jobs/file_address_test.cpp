// A download page that names a file address no attempt can fetch, against the sample portal.
#include "jobs/down_album.h"
#include "tests/jobs/job_test_support.h"
#include "tools/portal-sim/portal_sim.h"

#include <QFile>
#include <gtest/gtest.h>

using namespace orvana;
using test_support::PortalJobTest;

namespace {

constexpr std::size_t kSongBytes = 3000;
const QString kFolder = QStringLiteral("夜航星 第一辑 Live");

struct BadAddress {
    const char* name;
    const char* written; // as the download page writes it, with "\/" escapes
    const char* read;    // as the job reads it
};

// The demo album, whose first song (1001, "晴天的海") offers the address under test.
portal::Catalogue CatalogueOffering(const BadAddress& address) {
    portal::Catalogue catalogue = portal::DemoCatalogue();
    catalogue.songs.at("1001").fileAddress = address.written;
    return catalogue;
}

class FileAddressTest : public PortalJobTest, public testing::WithParamInterface<BadAddress> {
protected:
    FileAddressTest() : PortalJobTest(CatalogueOffering(GetParam()), kSongBytes) {}
};

} // namespace

TEST_P(FileAddressTest, AnAddressWithoutAHostFailsTheSongAtOnceAndTheJobGoesOn) {
    const jobs::AlbumSummary summary =
        jobs::DownAlbum(QString::fromLatin1(portal::kDemoAlbumId), *transport, host, settings);
    ASSERT_EQ(summary.failed(), 1);
    EXPECT_EQ(summary.failures[0].songId, QStringLiteral("1001"));
    EXPECT_EQ(summary.failures[0].title, QStringLiteral("晴天的海"));
    EXPECT_EQ(summary.failures[0].reason, QStringLiteral("Fetching ") +
                                              QString::fromLatin1(GetParam().read) +
                                              QStringLiteral(" failed: not a valid address"));
    // One download page, no pause, no other attempt; the other songs are stored.
    EXPECT_EQ(portal.requests("/song/1001/").size(), 1u);
    EXPECT_TRUE(clock->pauses.empty());
    EXPECT_EQ(host.statuses.count(QStringLiteral("正在下载MP3: 晴天的海 ...")), 1);
    EXPECT_EQ(summary.stored, 7);
    EXPECT_EQ(portal.requests("/file/").size(), 7u);
    EXPECT_FALSE(QFile::exists(dir.path() + u'/' + kFolder + u"/晴天的海.mp3"));
}

INSTANTIATE_TEST_SUITE_P(
    NoHost, FileAddressTest,
    testing::Values(BadAddress{"EmptyHost", R"(http:\/\/\/etc\/passwd)", "http:///etc/passwd"},
                    BadAddress{"PortOnly", R"(http:\/\/:80\/x.mp3)", "http://:80/x.mp3"}),
    [](const testing::TestParamInfo<BadAddress>& info) { return std::string(info.param.name); });
