// `orvana-dl-cli album` in process, and the built binary killed mid-song.
#include "cli/cli.h"
#include "jobs/portal.h"
#include "jobs/user_texts.h"
#include "tests/jobs/job_test_support.h"
#include "tests/support/cli_portal_test.h"
#include "tools/portal-sim/media.h"
#include "tools/portal-sim/portal_sim.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace orvana;
using namespace std::chrono_literals;
using portal::Endpoint;
using portal::Fault;
using test_support::readFile;

namespace {

constexpr std::size_t kSongBytes = 3000;

using Outcome = orvana::test_support::DownloadRun;

class AlbumCliTest : public test_support::CliPortalTest {
protected:
    AlbumCliTest() : CliPortalTest(portal::DemoCatalogue(), {kSongBytes, 60s}) {}

    // The tests name the portal and the output folder themselves.
    Outcome run(QStringList args) {
        args << QStringLiteral("--cookies") << cookieFile;
        return orvana::test_support::RunDownloadCli(args, clock);
    }
};

// Without a login cookie every download begins with the hint that only 128 kbps files come.
const QString kHint = jobs::UserText(jobs::kLoginHint) + u'\n';

const QString kDemoStderr = QStringLiteral("下载专辑封面: 《夜航星: 第一辑 <Live>.》 ... \n"
                                           "正在下载MP3: 晴天的海 ...\n"
                                           "正在下载MP3: A/B: Side? ...\n"
                                           "正在下载MP3: ??? ...\n"
                                           "正在下载MP3: 同名曲 ...\n"
                                           "正在下载MP3: 同名曲. ...\n"
                                           "正在下载MP3: Rock & Roll <Remix> ...\n"
                                           "正在下载MP3:  同名曲  ...\n"
                                           "正在下载MP3: 最后一首 \"再见\" ...\n"
                                           "指定专辑下载完毕.\n");

// Bytes of the MP3 files in folder.
qint64 mp3Bytes(const QString& folder) {
    qint64 n = 0;
    for (const QFileInfo& f : QDir(folder).entryInfoList({QStringLiteral("*.mp3")}, QDir::Files))
        n += f.size();
    return n;
}

QByteArray song(const char* id) {
    const std::string body = portal::SongBody(id, 128, kSongBytes);
    return QByteArray(body.data(), qsizetype(body.size()));
}

} // namespace

TEST_F(AlbumCliTest, DownloadsTheAlbumAndPrintsEveryStatusLine) {
    const Outcome o = run({QStringLiteral("album"), u"http://" + host + u"/album/31258219/",
                           QStringLiteral("--portal-host"), host, QStringLiteral("-o"), output()});
    EXPECT_EQ(o.code, cli::kExitOk);
    EXPECT_EQ(o.err, kHint + kDemoStderr);
    const QString album = output() + u"/夜航星 第一辑 Live";
    EXPECT_EQ(o.summary, QStringLiteral("已保存 8 首, 已存在 0 首, 失败 0 首, %1 字节, 用时 T 秒, "
                                        "文件夹: %2")
                             .arg(mp3Bytes(album))
                             .arg(album));
    EXPECT_EQ(o.out, QString());
    EXPECT_EQ(readFile(output() + u"/夜航星 第一辑 Live/同名曲 (3).mp3"), song("1007"));
}

TEST_F(AlbumCliTest, GlobalOptionsMayComeBeforeTheCommand) {
    const Outcome o = run({QStringLiteral("--portal-host=") + host, QStringLiteral("--output"),
                           output(), QStringLiteral("album"), QStringLiteral("31258219")});
    EXPECT_EQ(o.code, cli::kExitOk);
    EXPECT_TRUE(QFile::exists(output() + u"/夜航星 第一辑 Live/cover.jpg"));
}

TEST_F(AlbumCliTest, PortalHostComesFromTheEnvironmentWhenNotGiven) {
    qputenv("ORVANA_PORTAL_HOST", host.toUtf8());
    const Outcome o = run({QStringLiteral("album"), u"http://" + host + u"/album/31258219",
                           QStringLiteral("-o"), output()});
    qunsetenv("ORVANA_PORTAL_HOST");
    EXPECT_EQ(o.code, cli::kExitOk);
    EXPECT_EQ(o.err, kHint + kDemoStderr);
}

TEST_F(AlbumCliTest, RefusedAddressExitsTwoWithoutARequest) {
    const QStringList addresses = {QStringLiteral("http://") + host + u"/album/31258219?from=home",
                                   QStringLiteral("http://") + host + u"/artist/18104396",
                                   QString()};
    for (const QString& address : addresses) {
        const Outcome o = run({QStringLiteral("album"), address, QStringLiteral("--portal-host"),
                               host, QStringLiteral("-o"), output()});
        EXPECT_EQ(o.code, cli::kExitUsage);
        EXPECT_EQ(o.err, QStringLiteral("无法识别的地址\n"));
    }
    EXPECT_EQ(portal.requests().size(), 0u);
    EXPECT_FALSE(QDir(output()).exists());
}

TEST_F(AlbumCliTest, AFailedSongMakesExitOneAndIsNamed) {
    portal.addFault(Endpoint::DownloadPage, Fault::OmitFileLink);
    const Outcome o = run({QStringLiteral("album"), QStringLiteral("31258219"),
                           QStringLiteral("--portal-host"), host, QStringLiteral("-o"), output()});
    EXPECT_EQ(o.code, cli::kExitFailed);
    EXPECT_TRUE(o.err.endsWith(QStringLiteral("下载失败: 晴天的海 (下载页中没有歌曲文件地址)\n"
                                              "指定专辑下载完毕.\n")))
        << o.err.toStdString();
}

TEST_F(AlbumCliTest, MissingSongListMakesExitOne) {
    portal.addFault(Endpoint::SongList, Fault::Status500);
    const Outcome o = run({QStringLiteral("album"), QStringLiteral("31258219"),
                           QStringLiteral("--portal-host"), host, QStringLiteral("-o"), output()});
    EXPECT_EQ(o.code, cli::kExitFailed);
    EXPECT_EQ(o.err, kHint + QStringLiteral("下载专辑封面: 《夜航星: 第一辑 <Live>.》 ... \n"
                                            "无法获取歌曲列表\n"
                                            "指定专辑下载完毕.\n"));
}

TEST_F(AlbumCliTest, AlbumPageThatCannotBeFetchedMakesExitOneAndNoFolder) {
    portal.addFault(Endpoint::AlbumPage, Fault::Status500, -1);
    const Outcome o = run({QStringLiteral("album"), QStringLiteral("31258219"),
                           QStringLiteral("--portal-host"), host, QStringLiteral("-o"), output()});
    EXPECT_EQ(o.code, cli::kExitFailed);
    ASSERT_TRUE(o.err.startsWith(kHint)) << o.err.toStdString();
    const QStringList lines = o.err.mid(kHint.size()).split(u'\n');
    ASSERT_GE(lines.size(), 2);
    EXPECT_TRUE(lines[0].startsWith(QStringLiteral("无法获取专辑页面: ")) &&
                lines[0].contains(QStringLiteral("500")))
        << o.err.toStdString();
    EXPECT_EQ(lines[1], QStringLiteral("指定专辑下载完毕."));
    EXPECT_EQ(portal.requests("/album/").size(), 5u);
    EXPECT_EQ(QDir(output()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot), QStringList());
}

TEST_F(AlbumCliTest, UnreadableProxyIsRefusedAndNothingIsFetched) {
    const Outcome o = run({QStringLiteral("album"), QStringLiteral("31258219"),
                           QStringLiteral("--portal-host"), host, QStringLiteral("--proxy"),
                           QStringLiteral("ftp://x:1"), QStringLiteral("-o"), output()});
    EXPECT_EQ(o.code, cli::kExitUsage);
    EXPECT_EQ(o.err, QStringLiteral("代理地址无效\n"));
    EXPECT_EQ(portal.requests().size(), 0u);
}

TEST_F(AlbumCliTest, UsageHelpAndVersion) {
    const Outcome help = run({QStringLiteral("album"), QStringLiteral("--help")});
    EXPECT_EQ(help.code, cli::kExitOk);
    EXPECT_TRUE(
        help.out.startsWith(QStringLiteral("usage: orvana-dl-cli album [OPTIONS] ADDRESS")));
    EXPECT_TRUE(help.out.contains(QStringLiteral("--portal-host HOST[:PORT]")));
    const Outcome version = run({QStringLiteral("--version")});
    EXPECT_EQ(version.code, cli::kExitOk);
    EXPECT_TRUE(version.out.startsWith(QStringLiteral("orvana-dl-cli ")));
    const Outcome noAddress = run({QStringLiteral("album")});
    EXPECT_EQ(noAddress.code, cli::kExitUsage);
    const Outcome noValue =
        run({QStringLiteral("album"), QStringLiteral("1"), QStringLiteral("-o")});
    EXPECT_EQ(noValue.code, cli::kExitUsage);
}

// The real binary, killed while a song body is half way: no partial file under a final name,
// and a second run completes the album and removes what the killed run left. Run with unnamed
// temporary files and with O_TMPFILE made to fail (hidden named ones, as on vfat or NFS).
class AlbumCliKillTest : public AlbumCliTest, public testing::WithParamInterface<bool> {};

INSTANTIATE_TEST_SUITE_P(TemporaryFiles, AlbumCliKillTest, testing::Values(false, true),
                         [](const auto& info) { return info.param ? "Named" : "Unnamed"; });

TEST_P(AlbumCliKillTest, KilledMidSongLeavesNoPartialFileAndARerunCompletes) {
    const QStringList args =
        QStringList{QStringLiteral("album"), QStringLiteral("31258219")} + common(output());
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    if (GetParam())
        environment.insert(QStringLiteral("LD_PRELOAD"), QStringLiteral(ORVANA_NO_TMPFILE_LIBRARY));
    portal.addFault(Endpoint::SongFile, Fault::StallMidBody);
    ASSERT_NO_FATAL_FAILURE(killAtFirstStall(args, environment));

    const QString album = output() + u"/夜航星 第一辑 Live";
    QStringList left = QDir(album).entryList(QDir::Files | QDir::Hidden);
    EXPECT_EQ(left.removeAll(QStringLiteral(".orvana-album")), 1);
    // The cover is named on the committer thread: whole if it has its name by now.
    if (left.removeAll(QStringLiteral("cover.jpg")) == 1) {
        EXPECT_EQ(readFile(album + u"/cover.jpg"),
                  QByteArray::fromStdString(portal::CoverBytes("31258219")));
    }
    // The half song (and a cover not yet named), if anywhere, under hidden temporary names only.
    EXPECT_EQ(left.isEmpty(), !GetParam()) << left.join(u' ').toStdString();
    for (const QString& name : std::as_const(left))
        EXPECT_TRUE(name.startsWith(u".orvana-") && name.endsWith(u".part")) << name.toStdString();

    QProcess second;
    second.setProcessEnvironment(environment);
    second.start(binary(), args);
    ASSERT_TRUE(second.waitForFinished(60000));
    EXPECT_EQ(second.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(second.exitCode(), 0);
    QString secondErr = QString::fromUtf8(second.readAllStandardError());
    EXPECT_FALSE(orvana::test_support::TakeSummaryLine(secondErr).isEmpty());
    EXPECT_EQ(secondErr, kHint + kDemoStderr);
    EXPECT_EQ(readFile(album + u"/晴天的海.mp3"), song("1001"));
    const QStringList entries = QDir(album).entryList(QDir::Files | QDir::Hidden);
    EXPECT_EQ(entries.size(), 10) << entries.join(u' ').toStdString();
    EXPECT_TRUE(entries.filter(QStringLiteral(".part")).isEmpty());
}

TEST_F(AlbumCliTest, QuietPrintsOnlyFailuresAndTheSummary) {
    const QStringList args = {QStringLiteral("album"),
                              QStringLiteral("31258219"),
                              QStringLiteral("--portal-host"),
                              host,
                              QStringLiteral("-o"),
                              output(),
                              QStringLiteral("--quiet")};
    portal.addFault(Endpoint::DownloadPage, Fault::OmitFileLink);
    const Outcome first = run(args);
    EXPECT_EQ(first.code, cli::kExitFailed);
    EXPECT_EQ(first.err, QStringLiteral("下载失败: 晴天的海 (下载页中没有歌曲文件地址)\n"));
    const QString album = output() + u"/夜航星 第一辑 Live";
    EXPECT_EQ(first.summary,
              QStringLiteral("已保存 7 首, 已存在 0 首, 失败 1 首, %1 字节, 用时 T 秒, 文件夹: %2")
                  .arg(mp3Bytes(album))
                  .arg(album));
    const Outcome second = run(args);
    EXPECT_EQ(second.code, cli::kExitOk);
    EXPECT_EQ(second.err, QString());
    EXPECT_EQ(second.summary,
              QStringLiteral("已保存 1 首, 已存在 7 首, 失败 0 首, %1 字节, 用时 T 秒, 文件夹: %2")
                  .arg(song("1001").size())
                  .arg(album));
}

// The login window leaves the portal's login cookie in the cookie file: the command line then
// fetches the 320 kbps files and has no hint to give. An expired one counts as no login.
TEST_F(AlbumCliTest, ALoginCookieInTheFileBringsThe320FilesAndNoHint) {
    const QByteArray session = QByteArray::fromStdString(portal.issueSession("demo"));
    auto writeCookie = [this, &session](const QByteArray& expiry) {
        QFile file(cookieFile);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write("#HttpOnly_127.0.0.1\tFALSE\t/\tFALSE\t" + expiry + "\torvana_session\t" +
                   session + "\n");
    };
    const QStringList args = {QStringLiteral("album"),
                              QStringLiteral("31258219"),
                              QStringLiteral("--portal-host"),
                              host,
                              QStringLiteral("-o"),
                              output()};

    writeCookie("1000000000");
    const Outcome expired = run(args);
    EXPECT_EQ(expired.err, kHint + kDemoStderr);
    EXPECT_EQ(readFile(output() + u"/夜航星 第一辑 Live/晴天的海.mp3"), song("1001"));

    QDir(output()).removeRecursively();
    writeCookie("0");
    const Outcome loggedIn = run(args);
    EXPECT_EQ(loggedIn.code, cli::kExitOk);
    EXPECT_EQ(loggedIn.err, kDemoStderr);
    const std::string body = portal::SongBody("1001", 320, kSongBytes);
    EXPECT_EQ(readFile(output() + u"/夜航星 第一辑 Live/晴天的海.mp3"),
              QByteArray(body.data(), qsizetype(body.size())));
}
