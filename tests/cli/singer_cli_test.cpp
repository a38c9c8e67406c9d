// `orvana-dl-cli singer` and `orvana-dl-cli singers`, in process against the sample portal.
#include "cli/cli.h"
#include "jobs/portal.h"
#include "jobs/user_texts.h"
#include "tests/jobs/job_test_support.h"
#include "tests/support/cli_runner.h"
#include "tools/portal-sim/media.h"
#include "tools/portal-sim/portal_sim.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace orvana;
using namespace std::chrono_literals;
using portal::Endpoint;
using portal::Fault;

namespace {

// Without a login cookie every download begins with the hint that only 128 kbps files come.
const QString kHint = jobs::UserText(jobs::kLoginHint) + u'\n';

using Outcome = orvana::test_support::DownloadRun;

class SingerCliTest : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        portal.start();
        host = QString::fromStdString(portal.host());
        QFile(dir.filePath(QStringLiteral("cookies.txt"))).open(QIODevice::WriteOnly);
    }

    Outcome run(QStringList args) {
        // An empty cookie file of our own: the user's login never leaks into a test.
        args << QStringLiteral("--portal-host") << host << QStringLiteral("-o") << output()
             << QStringLiteral("--cookies") << dir.filePath(QStringLiteral("cookies.txt"));
        return orvana::test_support::RunDownloadCli(args);
    }

    QString output() const { return dir.filePath(QStringLiteral("out")); }
    QStringList folders(const QString& relative = {}) const {
        return QDir(output() + u'/' + relative)
            .entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name);
    }

    portal::PortalSim portal{portal::DemoCatalogue(), portal::PortalOptions{1500, 60s}};
    QTemporaryDir dir;
    QString host;
};

} // namespace

TEST_F(SingerCliTest, SingerDownloadsEveryAlbumAndEndsWithTheSingerText) {
    const Outcome r = run({u"singer"_qs, u"http://"_qs + host + u"/artist/18104396/"_qs});

    EXPECT_EQ(r.code, 0) << r.err.toStdString();
    EXPECT_EQ(r.out, QString());
    EXPECT_TRUE(
        r.err.startsWith(kHint + u"下载专辑封面: 《专辑 01》 ... \n正在下载MP3: 第01张 歌1 ...\n"))
        << r.err.toStdString();
    EXPECT_TRUE(r.err.endsWith(u"正在下载MP3: 最后一首 \"再见\" ...\n指定歌手下载完毕.\n"));
    EXPECT_TRUE(r.summary.endsWith(u" 用时 T 秒, 文件夹: " + output() + u"/夜航星乐队"))
        << r.summary.toStdString();
    EXPECT_EQ(folders(), QStringList{u"夜航星乐队"_qs});
    EXPECT_EQ(folders(u"夜航星乐队"_qs).size(), 13);
}

TEST_F(SingerCliTest, SingerRefusesAnAlbumAddress) {
    const Outcome r = run({u"singer"_qs, u"http://"_qs + host + u"/album/31258219"_qs});
    EXPECT_EQ(r.code, 2);
    EXPECT_EQ(r.err, u"无法识别的地址\n");
    EXPECT_TRUE(portal.requests().empty());
}

TEST_F(SingerCliTest, SingerWithAFailedSongExitsOne) {
    portal.addFault(Endpoint::DownloadPage, Fault::OmitFileLink);
    const Outcome r = run({u"singer"_qs, u"18105001"_qs});
    EXPECT_EQ(r.code, 1);
    EXPECT_EQ(r.err, kHint + u"下载专辑封面: 《雨桐 首张专辑》 ... \n"
                             u"正在下载MP3: 雨桐 之歌 ...\n"
                             u"下载失败: 雨桐 之歌 (下载页中没有歌曲文件地址)\n"
                             u"指定歌手下载完毕.\n");
}

TEST_F(SingerCliTest, SingersListsACategoryByIndexOrPath) {
    const Outcome byIndex = run({u"singers"_qs, u"4"_qs});
    const Outcome byPath = run({u"singers"_qs, u"cn/group"_qs});
    EXPECT_EQ(byIndex.code, 0);
    EXPECT_EQ(byIndex.out, u"0\t18104396\t夜航星乐队\n");
    EXPECT_EQ(byIndex.err, u"共获取歌手1位, 请勾选需要下载的歌手\n");
    EXPECT_EQ(byPath.out, byIndex.out);
    ASSERT_EQ(portal.requests("/artist").size(), 2u);
    EXPECT_EQ(portal.requests("/artist").at(1).path, "/artist/cn/group");

    const Outcome all = run({u"singers"_qs});
    EXPECT_EQ(portal.requests("/artist").back().path, "/artist");
    EXPECT_TRUE(all.out.startsWith(u"0\t18104396\t夜航星乐队\n1\t18104397\t无专辑歌手\n"));
    EXPECT_EQ(all.err, u"共获取歌手10位, 请勾选需要下载的歌手\n");
    // A listing downloads nothing, so it makes no output folder either.
    EXPECT_FALSE(QFileInfo::exists(output()));
}

TEST_F(SingerCliTest, SingersRefusesSeparatorsAndUnknownRows) {
    const Outcome separator = run({u"singers"_qs, u"13"_qs});
    EXPECT_EQ(separator.code, 2);
    EXPECT_EQ(separator.err, u"请选择一个有效的分类\n");
    EXPECT_EQ(run({u"singers"_qs, u"15"_qs}).code, 2);
    EXPECT_EQ(run({u"singers"_qs, u"cn"_qs}).code, 2);
    EXPECT_EQ(run({u"singers"_qs, u"0"_qs, u"--download"_qs, u"1,x"_qs}).code, 2);
    EXPECT_TRUE(portal.requests().empty());
}

TEST_F(SingerCliTest, SingersDownloadRunsTheChosenRowsInListOrder) {
    const Outcome r = run({u"singers"_qs, u"--download"_qs, u"3,1"_qs});

    EXPECT_EQ(r.code, 0) << r.err.toStdString();
    EXPECT_EQ(r.err, u"共获取歌手10位, 请勾选需要下载的歌手\n" + kHint +
                         u"下载专辑封面: 《River Lane 首张专辑》 ... \n"
                         u"正在下载MP3: River Lane 之歌 ...\n"
                         u"所选专辑已下载完毕.\n");
    const auto pages = portal.requests("/artist/1");
    ASSERT_EQ(pages.size(), 2u);
    EXPECT_EQ(pages.at(0).path, "/artist/18104397");
    EXPECT_EQ(pages.at(1).path, "/artist/18105004");
    EXPECT_EQ(folders(), (QStringList{u"River Lane"_qs, u"无专辑歌手"_qs}));
}

TEST_F(SingerCliTest, SingersDownloadOfAMissingIndexIsRefusedBeforeAnyDownload) {
    const Outcome r = run({u"singers"_qs, u"14"_qs, u"--download=0,1"_qs});
    EXPECT_EQ(r.code, 2);
    EXPECT_TRUE(r.err.endsWith(u"--download: no singer at index 1 (the list has 1)\n"));
    EXPECT_TRUE(portal.requests("/artist/1").empty());
    EXPECT_FALSE(QFileInfo::exists(output()));
}

TEST_F(SingerCliTest, FailedIndexFetchIsReportedAndExitsOne) {
    portal.addFault(Endpoint::ArtistIndex, Fault::Status500);
    const Outcome r = run({u"singers"_qs, u"other"_qs});
    EXPECT_EQ(r.code, 1);
    EXPECT_EQ(r.out, QString());
    EXPECT_TRUE(r.err.startsWith(u"无法获取歌手列表: ")) << r.err.toStdString();
}

TEST_F(SingerCliTest, UnreadableProxyIsRefusedBeforeAnyFetch) {
    const Outcome singer = run({u"singer"_qs, u"18104396"_qs, u"--proxy"_qs, u"ftp://x:1"_qs});
    EXPECT_EQ(singer.code, 2);
    EXPECT_EQ(singer.err, u"代理地址无效\n");
    const Outcome singers =
        run({u"singers"_qs, u"--download"_qs, u"all"_qs, u"--proxy"_qs, u"ftp://x:1"_qs});
    EXPECT_EQ(singers.code, 2);
    EXPECT_EQ(singers.err, u"代理地址无效\n");
    EXPECT_TRUE(portal.requests().empty());
}

TEST_F(SingerCliTest, HelpNamesTheRows) {
    const Outcome help = run({u"singers"_qs, u"--help"_qs});
    EXPECT_EQ(help.code, 0);
    EXPECT_TRUE(help.out.contains(u"  14  other  其他歌手\n"));
    EXPECT_TRUE(help.out.contains(u"   0  (all)  全部歌手\n"));
    EXPECT_FALSE(help.out.contains(u"====="));
    EXPECT_TRUE(run({u"singer"_qs, u"--help"_qs})
                    .out.startsWith(u"usage: orvana-dl-cli singer [OPTIONS] ADDRESS"));
}

TEST_F(SingerCliTest, QuietSingersDownloadPrintsOnlyTheSummary) {
    const Outcome r = run({u"singers"_qs, u"--download"_qs, u"3,1"_qs, u"-q"_qs});
    EXPECT_EQ(r.code, 0);
    EXPECT_EQ(r.out.count(u'\n'), 10);
    EXPECT_EQ(r.err, QString());
    qint64 bytes = 0;
    QDirIterator it(output(), {QStringLiteral("*.mp3")}, QDir::Files, QDirIterator::Subdirectories);
    for (int n = 0; it.hasNext(); ++n) {
        bytes += QFileInfo(it.next()).size();
        EXPECT_EQ(n, 0) << "one song only";
    }
    EXPECT_EQ(r.summary,
              QStringLiteral("已保存 1 首, 已存在 0 首, 失败 0 首, %1 字节, 用时 T 秒, 文件夹: %2")
                  .arg(bytes)
                  .arg(output()));
}
