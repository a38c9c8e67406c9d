// The opt-in download options of the jobs: dry run, archive, playlist and parallel songs,
// against the sample portal on 127.0.0.1.
#include "jobs/down_album.h"
#include "jobs/down_singer.h"
#include "jobs/download_archive.h"
#include "tests/jobs/job_test_support.h"
#include "tools/portal-sim/media.h"
#include "tools/portal-sim/portal_sim.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <gtest/gtest.h>
#include <taglib/attachedpictureframe.h>
#include <taglib/id3v2framefactory.h>
#include <taglib/id3v2tag.h>
#include <taglib/mpegfile.h>
#include <taglib/tbytevectorstream.h>

using namespace orvana;
using namespace std::chrono_literals;
using jobs::SongState;
using portal::Endpoint;
using portal::Fault;

namespace {

const QString kAlbum = QStringLiteral("31258219");
const QString kFolder = QStringLiteral("夜航星 第一辑 Live");

class EventHost : public test_support::RecordingHost {
public:
    void songFinished(const jobs::SongEvent& s) override {
        songs.append(s);
        statuses.append(u"event " + s.songId);
    }
    void warning(const QString& text) override { warnings.append(text); }
    QList<jobs::SongEvent> songs;
    QStringList warnings;
};

// Every file under root, relative, with its bytes.
std::map<QString, QByteArray> tree(const QString& root) {
    std::map<QString, QByteArray> files;
    QDirIterator it(root, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        files[QDir(root).relativeFilePath(path)] = test_support::readFile(path);
    }
    return files;
}

class DownloadOptionsTest : public test_support::PortalJobTest {
protected:
    DownloadOptionsTest() : PortalJobTest(portal::DemoCatalogue(), 2500) {}

    jobs::AlbumSummary album() { return jobs::DownAlbum(kAlbum, *transport, events, settings); }
    QString folder() const { return dir.path() + u'/' + kFolder; }
    QString archivePath() const { return dir.path() + u"/archive.txt"; }
    void useArchive(jobs::DownloadArchive::Mode mode = jobs::DownloadArchive::Mode::ReadWrite) {
        settings.download.archive = jobs::DownloadArchive::Open(archivePath(), mode);
    }
    // Paths of the portal's log, but for the album page and song list.
    std::vector<std::string> otherRequests() const {
        std::vector<std::string> paths;
        for (const auto& r : portal.requests())
            if (r.path != "/album/31258219" && r.path != "/data/music/songlist")
                paths.push_back(r.path);
        return paths;
    }

    EventHost events;
};

} // namespace

TEST_F(DownloadOptionsTest, DryRunReadsTheListsAndMakesOrFetchesNothingElse) {
    settings.download.dryRun = true;
    const jobs::AlbumSummary summary = album();

    EXPECT_EQ(QDir(dir.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden),
              QStringList());
    EXPECT_EQ(otherRequests(), std::vector<std::string>());
    EXPECT_EQ(summary.tally(), (jobs::Tally{0, 0, 0, 0, 8}));
    ASSERT_EQ(events.songs.size(), 8);
    EXPECT_EQ(events.songs[0].state, SongState::Planned);
    EXPECT_EQ(events.songs[0].path, folder() + u"/晴天的海.mp3");
    EXPECT_EQ(events.songs[4].path, folder() + u"/同名曲 (2).mp3");
    // No status line claims a download.
    EXPECT_FALSE(events.statuses.join(u'|').contains(u"正在下载MP3"))
        << events.statuses.join(u'|').toStdString();
}

TEST_F(DownloadOptionsTest, DryRunCountsFilesOnDiskAndArchivedSongsAsPresent) {
    ASSERT_TRUE(QDir().mkpath(folder()));
    QFile(folder() + u"/AB Side.mp3").open(QIODevice::WriteOnly);
    QFile archive(archivePath());
    ASSERT_TRUE(archive.open(QIODevice::WriteOnly));
    archive.write("orvana 1003\n");
    archive.close();
    settings.download.dryRun = true;
    useArchive(jobs::DownloadArchive::Mode::ReadOnly);
    const jobs::AlbumSummary summary = album();

    EXPECT_EQ(summary.tally(), (jobs::Tally{0, 2, 0, 0, 6}));
    ASSERT_EQ(events.songs.size(), 8);
    EXPECT_EQ(events.songs[1].state, SongState::Present);
    EXPECT_EQ(events.songs[2].state, SongState::Archived);
    EXPECT_EQ(test_support::readFile(archivePath()), "orvana 1003\n");
    EXPECT_FALSE(QFile::exists(folder() + u"/.orvana-album"));
}

TEST_F(DownloadOptionsTest, DrySingerRunMakesNoSingerFolder) {
    settings.download.dryRun = true;
    const jobs::SingerSummary summary =
        jobs::DownSinger(QStringLiteral("18104396"), *transport, events, settings);
    EXPECT_EQ(summary.albums.size(), 13);
    EXPECT_EQ(summary.tally().planned, 12 * 2 + 8);
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot), QStringList());
    for (const auto& r : portal.requests())
        EXPECT_TRUE(r.path.rfind("/artist/", 0) == 0 || r.path == "/data/user/getalbums" ||
                    r.path == "/data/music/songlist")
            << r.path;
}

TEST_F(DownloadOptionsTest, ArchivedSongsAreSkippedAfterTheFolderWasMovedAway) {
    useArchive();
    ASSERT_EQ(album().stored, 8);
    EXPECT_EQ(test_support::readFile(archivePath()),
              "orvana 1001\norvana 1002\norvana 1003\norvana 1004\norvana 1005\norvana 1006\n"
              "orvana 1007\norvana 1008\n");
    ASSERT_TRUE(QDir().rename(folder(), dir.path() + u"/moved"));
    portal.clearRequests();
    events.songs.clear();

    useArchive();
    const jobs::AlbumSummary again = album();
    EXPECT_EQ(again.tally(), (jobs::Tally{0, 8, 0, 0, 0}));
    EXPECT_TRUE(portal.requests("/song/").empty());
    EXPECT_TRUE(portal.requests("/file/").empty());
    ASSERT_EQ(events.songs.size(), 8);
    EXPECT_EQ(events.songs[7].state, SongState::Archived);
}

TEST_F(DownloadOptionsTest, SongsFoundOnDiskJoinTheArchive) {
    ASSERT_EQ(album().stored, 8);
    useArchive();
    const jobs::AlbumSummary again = album();
    EXPECT_EQ(again.present, 8);
    EXPECT_EQ(test_support::readFile(archivePath()).count('\n'), 8);
}

TEST_F(DownloadOptionsTest, PlaylistListsThePresentSongsInListOrder) {
    // The fifth song fails for good: it is left out.
    portal.addFault(Endpoint::SongFile, Fault::Status500, -1, "1005");
    settings.download.playlist = true;
    (void)album();
    EXPECT_EQ(QString::fromUtf8(test_support::readFile(folder() + u"/playlist.m3u8")),
              u"#EXTM3U\n"
              u"#EXTINF:-1,晴天的海\n晴天的海.mp3\n"
              u"#EXTINF:-1,A/B: Side?\nAB Side.mp3\n"
              u"#EXTINF:-1,???\n1003.mp3\n"
              u"#EXTINF:-1,同名曲\n同名曲.mp3\n"
              u"#EXTINF:-1,Rock & Roll <Remix>\nRock & Roll Remix.mp3\n"
              u"#EXTINF:-1, 同名曲 \n同名曲 (3).mp3\n"
              u"#EXTINF:-1,最后一首 \"再见\"\n最后一首 再见.mp3\n");
    EXPECT_FALSE(QFile::exists(dir.path() + u"/playlist.m3u8"));
}

TEST_F(DownloadOptionsTest, ParallelSongsStoreTheSameBytesWithinTheCap) {
    const auto sequential = [&] {
        const jobs::AlbumSummary s = album();
        return std::pair(s.tally(), tree(dir.path()));
    }();
    ASSERT_TRUE(QDir(folder()).removeRecursively());
    portal.resetPeaks();
    // A distant portal, so songs really overlap.
    portal::PortalSim slow(portal::DemoCatalogue(), portal::PortalOptions{2500, 60s, 30ms, 0});
    slow.start();
    settings.portalHost = QString::fromStdString(slow.host());
    // Two songs fail, the later one first (at once, for good): their lines still come in list
    // order.
    slow.addFault(Endpoint::SongFile, Fault::Status500, -1, "1002");
    slow.addFault(Endpoint::SongFile, Fault::EncodedBody, -1, "1006");
    settings.download.parallel = 4;
    events.statuses.clear();
    const jobs::AlbumSummary parallel = album();

    EXPECT_EQ(parallel.stored, 6);
    ASSERT_EQ(parallel.failed(), 2);
    EXPECT_EQ(parallel.failures[0].songId, u"1002");
    EXPECT_EQ(parallel.failures[1].songId, u"1006");
    auto files = tree(dir.path());
    auto expected = sequential.second;
    expected.erase(kFolder + u"/AB Side.mp3");
    expected.erase(kFolder + u"/Rock & Roll Remix.mp3");
    EXPECT_EQ(files, expected);
    const portal::SiteLoad load = slow.load();
    EXPECT_LE(load.peakRequests, 4);
    EXPECT_GE(load.peakRequests, 2);
    // Whichever worker finished first, the songs are told in list order.
    QStringList told;
    for (const jobs::SongEvent& e : events.songs)
        told << e.songId;
    EXPECT_EQ(told.mid(8), (QStringList{u"1001"_qs, u"1002"_qs, u"1003"_qs, u"1004"_qs, u"1005"_qs,
                                        u"1006"_qs, u"1007"_qs, u"1008"_qs}));
    // One line per attempt: six songs, five attempts at 1002, one at 1006.
    EXPECT_EQ(events.statuses.filter(u"正在下载MP3: "_qs).size(), 6 + 5 + 1);
}

TEST_F(DownloadOptionsTest, SavedSongsAreToldBeforeTheAlbumEnds) {
    portal::PortalSim slow(portal::DemoCatalogue(), portal::PortalOptions{2500, 60s, 10ms, 0});
    slow.start();
    settings.portalHost = QString::fromStdString(slow.host());
    (void)album();
    const qsizetype savedFirst = events.statuses.indexOf(u"event 1001"_qs);
    const qsizetype lastSong = events.statuses.indexOf(u"正在下载MP3: 最后一首 \"再见\" ..."_qs);
    ASSERT_GE(savedFirst, 0);
    EXPECT_LT(savedFirst, lastSong) << events.statuses.join(u'|').toStdString();
}

namespace {

// The ID3v2 frames of a stored song, as a music library reads them: "ID=text", pictures as
// "APIC=type mime size".
QStringList framesOf(const QString& path) {
    const QByteArray bytes = test_support::readFile(path);
    TagLib::ByteVectorStream stream(TagLib::ByteVector(bytes.constData(), unsigned(bytes.size())));
    TagLib::MPEG::File file(&stream, TagLib::ID3v2::FrameFactory::instance());
    QStringList frames;
    if (!file.ID3v2Tag())
        return frames;
    for (TagLib::ID3v2::Frame* f : file.ID3v2Tag()->frameList()) {
        const QString id = QString::fromLatin1(f->frameID().data(), 4);
        if (auto* p = dynamic_cast<TagLib::ID3v2::AttachedPictureFrame*>(f))
            frames << QStringLiteral("APIC=%1 %2 %3")
                          .arg(int(p->type()))
                          .arg(QString::fromStdString(p->mimeType().to8Bit()))
                          .arg(p->picture().size());
        else
            frames << id + u'=' + QString::fromStdString(f->toString().to8Bit(true));
    }
    return frames;
}

} // namespace

TEST_F(DownloadOptionsTest, TagsCarryTheSongAlbumTrackSingerAndCover) {
    settings.download.tags = true;
    // The second song of the singer's first album is no MPEG audio: stored as it came.
    portal.addFault(Endpoint::SongFile, Fault::NotMpeg, -1, "3000012");
    const jobs::SingerSummary summary =
        jobs::DownSinger(QStringLiteral("18104396"), *transport, events, settings);
    ASSERT_EQ(summary.tally().failed, 0);
    const QString album = dir.path() + u"/夜航星乐队/专辑 01";
    const std::string cover = portal::CoverBytes("31259001");
    EXPECT_EQ(framesOf(album + u"/第01张 歌1.mp3"),
              (QStringList{u"TIT2=第01张 歌1"_qs, u"TALB=专辑 01"_qs, u"TRCK=1/2"_qs,
                           u"TPE1=夜航星乐队"_qs, u"TPE2=夜航星乐队"_qs,
                           QStringLiteral("APIC=3 image/jpeg %1").arg(cover.size())}));
    // The audio after the tag is the portal's, byte for byte.
    const QByteArray stored = test_support::readFile(album + u"/第01张 歌1.mp3");
    const QByteArray body = test_support::bytes(portal::SongBody("3000011", 128, 2500));
    EXPECT_TRUE(stored.endsWith(body));
    EXPECT_TRUE(stored.startsWith("ID3\x03"));

    EXPECT_EQ(events.warnings, QStringList{u"无法写入标签: 第01张 歌2 (not MPEG audio)"_qs});
    EXPECT_FALSE(test_support::readFile(album + u"/第01张 歌2.mp3").startsWith("ID3"));
    EXPECT_EQ(summary.albums[0].stored, 2);
}

TEST_F(DownloadOptionsTest, UntaggedUnlessAskedAndPresentSongsAreNeverRewritten) {
    (void)album();
    const QByteArray plain = test_support::readFile(folder() + u"/晴天的海.mp3");
    EXPECT_FALSE(plain.startsWith("ID3"));
    settings.download.tags = true;
    (void)album();
    EXPECT_EQ(test_support::readFile(folder() + u"/晴天的海.mp3"), plain);
}
