// `orvana-dl-cli --tag`: the stored songs read back with TagLib, a body that is no audio, and the
// built binary killed mid-song.
#include "jobs/user_texts.h"
#include "tests/support/cli_portal_test.h"
#include "tools/portal-sim/media.h"

#include <QProcess>
#include <taglib/attachedpictureframe.h>
#include <taglib/id3v2tag.h>
#include <taglib/mpegfile.h>

using namespace orvana;
using namespace std::chrono_literals;
using namespace Qt::StringLiterals;
using portal::Endpoint;
using portal::Fault;
using test_support::readFile;

namespace {

constexpr std::size_t kSongBytes = 3000;

QByteArray bytesOf(const std::string& s) {
    return QByteArray(s.data(), qsizetype(s.size()));
}

// What TagLib reads of a stored song's tag: text frames by ID, the front cover, the version.
struct ReadTag {
    int version = 0;
    std::map<std::string, QString> text;
    QByteArray cover;
    QString coverMime;
    int pictures = 0;
};

ReadTag readTag(const QString& path) {
    ReadTag tag;
    TagLib::MPEG::File file(QFile::encodeName(path).constData(), false);
    TagLib::ID3v2::Tag* id3 = file.ID3v2Tag();
    if (!file.isValid() || !id3)
        return tag;
    tag.version = int(id3->header()->majorVersion());
    for (const auto& [id, frames] : id3->frameListMap()) {
        const std::string name(id.data(), id.size());
        if (name == "APIC") {
            for (TagLib::ID3v2::Frame* frame : frames) {
                auto* picture = dynamic_cast<TagLib::ID3v2::AttachedPictureFrame*>(frame);
                ++tag.pictures;
                if (picture && picture->type() == TagLib::ID3v2::AttachedPictureFrame::FrontCover) {
                    tag.cover = QByteArray(picture->picture().data(), picture->picture().size());
                    tag.coverMime = QString::fromStdString(picture->mimeType().to8Bit(true));
                }
            }
        } else if (!frames.isEmpty()) {
            tag.text[name] = QString::fromStdString(frames.front()->toString().to8Bit(true));
        }
    }
    return tag;
}

// The bytes after the ID3v2 tag at the start of data (all of data when it has none).
QByteArray audioOf(const QByteArray& data) {
    if (!data.startsWith("ID3") || data.size() < 10)
        return data;
    qsizetype size = 0;
    for (int i = 6; i < 10; ++i)
        size = (size << 7) | (quint8(data[i]) & 0x7f);
    return data.mid(10 + size);
}

class TagCliTest : public test_support::CliPortalTest {
protected:
    TagCliTest() : CliPortalTest(portal::DemoCatalogue(), {kSongBytes, 60s}) {}
};

} // namespace

TEST_F(TagCliTest, TagsCarryTitleAlbumTrackAndCoverAndLeaveTheAudioAsItCame) {
    const test_support::DownloadRun r = run({u"album"_s, u"31258220"_s, u"--tag"_s});
    EXPECT_EQ(r.code, 0) << r.err.toStdString();
    const QString folder = output() + u"/空白封面"_s;
    const struct {
        const char* id;
        QString file;
        QString title;
        QString track;
    } songs[] = {{"2001", u"第一首.mp3"_s, u"第一首"_s, u"1/2"_s},
                 {"2002", u"第二首.mp3"_s, u"第二首"_s, u"2/2"_s}};
    for (const auto& song : songs) {
        SCOPED_TRACE(song.id);
        const QString path = folder + u'/' + song.file;
        const ReadTag tag = readTag(path);
        EXPECT_EQ(tag.version, 3);
        EXPECT_EQ(tag.text,
                  (std::map<std::string, QString>{
                      {"TIT2", song.title}, {"TALB", u"空白封面"_s}, {"TRCK", song.track}}));
        EXPECT_EQ(tag.pictures, 1);
        EXPECT_EQ(tag.coverMime, u"image/jpeg"_s);
        EXPECT_EQ(tag.cover, bytesOf(portal::CoverBytes("31258220")));
        EXPECT_EQ(audioOf(readFile(path)), bytesOf(portal::SongBody(song.id, 128, kSongBytes)));
    }
    // Counted by what was stored, tag included.
    EXPECT_TRUE(r.summary.startsWith(u"已保存 2 首, 已存在 0 首, 失败 0 首, %1 字节"_s.arg(
        QFileInfo(folder + u"/第一首.mp3"_s).size() + QFileInfo(folder + u"/第二首.mp3"_s).size())))
        << r.summary.toStdString();
}

TEST_F(TagCliTest, ABodyThatIsNoAudioIsStoredUntaggedWithAWarningEvenWhenQuiet) {
    portal.addFault(Endpoint::SongFile, Fault::NotMpeg, -1, "2002");
    const test_support::DownloadRun r = run({u"album"_s, u"31258220"_s, u"--tag"_s, u"-q"_s});
    EXPECT_EQ(r.code, 0);
    std::string plain;
    portal::AppendPlainBytes(plain, "2002", 0, portal::SongLength(128, kSongBytes));
    EXPECT_EQ(readFile(output() + u"/空白封面/第二首.mp3"_s), bytesOf(plain));
    EXPECT_EQ(readTag(output() + u"/空白封面/第一首.mp3"_s).version, 3);
    EXPECT_TRUE(r.err.startsWith(u"无法写入标签: 第二首 ("_s) && r.err.endsWith(u")\n"_s) &&
                r.err.count(u'\n') == 1)
        << r.err.toStdString();
    EXPECT_TRUE(r.summary.startsWith(u"已保存 2 首, 已存在 0 首, 失败 0 首, "_s));
}

// The real binary with --tag, killed while a song's body is half way: no file under a song's
// name, and a second run stores the album tagged.
TEST_F(TagCliTest, KilledMidSongLeavesNoSongFileAndARerunTagsIt) {
    const QStringList args = QStringList{u"album"_s, u"31258220"_s, u"--tag"_s} + common(output());
    portal.addFault(Endpoint::SongFile, Fault::StallMidBody);
    ASSERT_NO_FATAL_FAILURE(killAtFirstStall(args));
    const QString folder = output() + u"/空白封面"_s;
    EXPECT_EQ(QDir(folder).entryList({u"*.mp3"_s}, QDir::Files | QDir::Hidden), QStringList());

    QProcess second;
    second.start(binary(), args);
    ASSERT_TRUE(second.waitForFinished(60000));
    EXPECT_EQ(second.exitCode(), 0) << second.readAllStandardError().toStdString();
    EXPECT_EQ(readTag(folder + u"/第一首.mp3"_s).text["TIT2"], u"第一首"_s);
    EXPECT_EQ(audioOf(readFile(folder + u"/第一首.mp3"_s)),
              bytesOf(portal::SongBody("2001", 128, kSongBytes)));
}
