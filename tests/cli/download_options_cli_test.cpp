// orvana-dl-cli's --dry-run, --archive, --m3u and --parallel against the sample portal: what
// the runs print, write and ask the portal for.
#include "jobs/user_texts.h"
#include "tests/support/cli_portal_test.h"

#include <QProcess>
#include <algorithm>

using namespace orvana;
using namespace std::chrono_literals;
using namespace Qt::StringLiterals;
using portal::Endpoint;
using portal::Fault;
using test_support::DownloadRun;
using test_support::FileTree;
using test_support::readFile;
using test_support::RequestPaths;

namespace {

const QString kHint = jobs::UserText(jobs::kLoginHint) + u'\n';
const QString kDemo = u"夜航星 第一辑 Live"_s;
// The demo album's files in list order.
const QStringList kDemoFiles = {
    u"晴天的海.mp3"_s,   u"AB Side.mp3"_s,           u"1003.mp3"_s,       u"同名曲.mp3"_s,
    u"同名曲 (2).mp3"_s, u"Rock & Roll Remix.mp3"_s, u"同名曲 (3).mp3"_s, u"最后一首 再见.mp3"_s};

using Paths = std::vector<std::string>;

class DownloadOptionsCliTest : public test_support::CliPortalTest {
protected:
    QString album() const { return output() + u'/' + kDemo; }
    QString archive() const { return dir.filePath(u"songs.archive"_s); }
    void writeArchive(const QByteArray& text) {
        QFile file(archive());
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(text);
    }
    QStringList entries() const {
        return QDir(dir.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden);
    }
};

// "WORD FOLDER/FILE\n" per file.
QString lines(const QString& word, const QString& folder, const QStringList& files) {
    QString text;
    for (const QString& file : files)
        text += word + u' ' + folder + u'/' + file + u'\n';
    return text;
}

} // namespace

TEST_F(DownloadOptionsCliTest, DryRunPrintsThePlanAndFetchesOnlyThePageAndTheList) {
    const DownloadRun r = run({u"album"_s, u"31258219"_s, u"--dry-run"_s});
    EXPECT_EQ(r.code, 0);
    EXPECT_EQ(r.out, lines(u"planned"_s, album(), kDemoFiles));
    EXPECT_EQ(r.err, kHint + u"指定专辑下载完毕.\n"_s);
    EXPECT_EQ(r.summary,
              u"计划 8 首, 已存在 0 首, 失败 0 首, 0 字节, 用时 T 秒, 文件夹: "_s + album());
    EXPECT_EQ(RequestPaths(portal), (Paths{"GET /album/31258219", "POST /data/music/songlist"}));
    EXPECT_EQ(entries(), QStringList{u"cookies.txt"_s});
}

TEST_F(DownloadOptionsCliTest, DryRunCountsFilesAndArchivedSongsPresentAndWritesNothing) {
    ASSERT_EQ(run({u"album"_s, u"31258219"_s}).code, 0);
    ASSERT_TRUE(QFile::remove(album() + u"/晴天的海.mp3"_s));
    ASSERT_TRUE(QFile::remove(album() + u"/AB Side.mp3"_s));
    writeArchive("orvana 1002\n");
    const auto before = FileTree(dir.path());
    portal.clearRequests();

    const DownloadRun r = run({u"album"_s, u"31258219"_s, u"--dry-run"_s, u"--archive"_s, archive(),
                               u"--tag"_s, u"--m3u"_s});
    EXPECT_EQ(r.code, 0);
    EXPECT_EQ(r.out, lines(u"planned"_s, album(), kDemoFiles.mid(0, 1)) +
                         lines(u"present"_s, album(), kDemoFiles.mid(1)));
    EXPECT_TRUE(r.summary.startsWith(u"计划 1 首, 已存在 7 首, 失败 0 首, 0 字节, "_s));
    EXPECT_EQ(RequestPaths(portal), (Paths{"GET /album/31258219", "POST /data/music/songlist"}));
    EXPECT_EQ(FileTree(dir.path()), before);

    // A missing archive is read as empty, and not made.
    QFile::remove(archive());
    EXPECT_EQ(run({u"album"_s, u"31258219"_s, u"--dry-run"_s, u"--archive"_s, archive()}).code, 0);
    EXPECT_FALSE(QFileInfo::exists(archive()));
}

TEST_F(DownloadOptionsCliTest, ArchivedSongsAreSkippedAfterTheirFolderWasMovedAway) {
    const QStringList args = {u"album"_s, u"31258220"_s, u"--archive"_s, archive()};
    ASSERT_EQ(run(args).code, 0);
    EXPECT_EQ(readFile(archive()), "orvana 2001\norvana 2002\n");
    ASSERT_TRUE(QDir().rename(output(), dir.filePath(u"moved"_s)));
    portal.clearRequests();

    const DownloadRun again = run(args + QStringList{u"--json"_s});
    EXPECT_EQ(again.code, 0);
    EXPECT_EQ(again.out.count(uR"("state":"archived")"_s), 2) << again.out.toStdString();
    EXPECT_EQ(again.err, kHint + u"下载专辑封面: 《空白封面》 ... \n指定专辑下载完毕.\n"_s);
    EXPECT_TRUE(again.summary.startsWith(u"已保存 0 首, 已存在 2 首, 失败 0 首, 0 字节"_s));
    for (const std::string& path : RequestPaths(portal))
        EXPECT_TRUE(path.find("/song/") == std::string::npos &&
                    path.find("/file/") == std::string::npos)
            << path;
    EXPECT_EQ(readFile(archive()), "orvana 2001\norvana 2002\n");
}

TEST_F(DownloadOptionsCliTest, PlaylistListsTheSongsPresentInListOrder) {
    portal.addFault(Endpoint::DownloadPage, Fault::OmitFileLink, -1, "1003");
    ASSERT_EQ(run({u"album"_s, u"31258219"_s, u"--m3u"_s}).code, 1);
    EXPECT_EQ(readFile(album() + u"/playlist.m3u8"_s),
              "#EXTM3U\n"
              "#EXTINF:-1,晴天的海\n晴天的海.mp3\n"
              "#EXTINF:-1,A/B: Side?\nAB Side.mp3\n"
              "#EXTINF:-1,同名曲\n同名曲.mp3\n"
              "#EXTINF:-1,同名曲.\n同名曲 (2).mp3\n"
              "#EXTINF:-1,Rock & Roll <Remix>\nRock & Roll Remix.mp3\n"
              "#EXTINF:-1, 同名曲 \n同名曲 (3).mp3\n"
              "#EXTINF:-1,最后一首 \"再见\"\n最后一首 再见.mp3\n");
}

// Two processes at once, one archive: every line whole, none lost, none twice.
TEST_F(DownloadOptionsCliTest, TwoRunsAppendToOneArchiveAtOnce) {
    portal::Catalogue catalogue = portal::DemoCatalogue();
    portal::AddBenchAlbum(catalogue, "90000001", 150);
    portal::AddBenchAlbum(catalogue, "90000002", 150);
    portal::PortalSim bench(catalogue, portal::PortalOptions{600, 60s});
    bench.start();
    const QString benchHost = QString::fromStdString(bench.host());
    QProcess runs[2];
    for (int i = 0; i < 2; ++i) {
        runs[i].start(binary(),
                      {u"album"_s, QString::number(90000001 + i), u"--archive"_s, archive(),
                       u"--portal-host"_s, benchHost, u"-o"_s, dir.filePath(u"out%1"_s.arg(i)),
                       u"--cookies"_s, cookieFile, u"-q"_s});
    }
    for (QProcess& p : runs) {
        ASSERT_TRUE(p.waitForFinished(60000));
        EXPECT_EQ(p.exitCode(), 0) << p.readAllStandardError().toStdString();
    }
    QStringList expected;
    for (int album = 90000001; album <= 90000002; ++album) {
        for (int n = 1; n <= 150; ++n)
            expected << u"orvana %1%2"_s.arg(album).arg(n < 100 ? u"%1"_s.arg(n, 2, 10, QChar(u'0'))
                                                                : QString::number(n));
    }
    const QByteArray text = readFile(archive());
    ASSERT_TRUE(text.endsWith('\n'));
    QStringList got = QString::fromUtf8(text).split(u'\n', Qt::SkipEmptyParts);
    got.sort();
    expected.sort();
    EXPECT_EQ(got, expected);
}

TEST_F(DownloadOptionsCliTest, ParallelStoresWhatOneAtATimeStoresWithinItsConnections) {
    portal::Catalogue catalogue = portal::DemoCatalogue();
    portal::AddBenchAlbum(catalogue, "90000001", 12);
    portal::PortalOptions options{20000, 60s};
    options.latency = 20ms;
    portal::PortalSim slow(catalogue, options);
    slow.start();
    slow.startFileHost();
    host = QString::fromStdString(slow.host());
    slow.addFault(Endpoint::DownloadPage, Fault::OmitFileLink, -1, "9000000103");
    slow.addFault(Endpoint::DownloadPage, Fault::OmitFileLink, -1, "9000000107");
    const QString one = dir.filePath(u"one"_s);
    const QString four = dir.filePath(u"four"_s);

    const DownloadRun serial = run({u"album"_s, u"90000001"_s}, one);
    slow.resetPeaks();
    const DownloadRun parallel = run({u"album"_s, u"90000001"_s, u"--parallel"_s, u"4"_s}, four);
    const portal::SiteLoad portalLoad = slow.load(portal::Site::Portal);
    const portal::SiteLoad fileLoad = slow.load(portal::Site::FileHost);

    EXPECT_EQ(serial.code, 1);
    EXPECT_EQ(parallel.code, 1);
    ASSERT_EQ(FileTree(one).size(), 12u); // ten songs, the cover and the album marker
    EXPECT_EQ(FileTree(one), FileTree(four));
    EXPECT_EQ(QString(serial.summary).replace(one, four), parallel.summary);
    // Every song's line, each when it started; the failures in list order at the end.
    auto sortedLines = [](const QString& err) {
        QStringList lines = err.split(u'\n');
        std::sort(lines.begin(), lines.end());
        return lines;
    };
    EXPECT_EQ(sortedLines(serial.err), sortedLines(parallel.err));
    EXPECT_TRUE(parallel.err.endsWith(u"下载失败: Bench 03 (下载页中没有歌曲文件地址)\n"
                                      u"下载失败: Bench 07 (下载页中没有歌曲文件地址)\n"
                                      u"指定专辑下载完毕.\n"_s))
        << parallel.err.toStdString();
    EXPECT_LE(portalLoad.peakConnections, 4);
    EXPECT_LE(fileLoad.peakConnections, 4);
    EXPECT_GE(fileLoad.peakRequests, 2) << "the songs did not overlap";
}
