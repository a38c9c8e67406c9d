#include "net/mod_down_file.h"
#include "net/song_tags.h"
#include "tools/portal-sim/media.h"
#include "tools/portal-sim/portal_sim.h"

#include <QDir>
#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <taglib/attachedpictureframe.h>
#include <taglib/commentsframe.h>
#include <taglib/id3v2framefactory.h>
#include <taglib/id3v2tag.h>
#include <taglib/mpegfile.h>
#include <taglib/tbytevectorstream.h>
#include <taglib/textidentificationframe.h>
#include <thread>

// Readable failure output for texts.
inline void PrintTo(const QString& text, std::ostream* os) {
    *os << text.toStdString();
}

using namespace orvana::net;
namespace ID3v2 = TagLib::ID3v2;

namespace {

QByteArray Bytes(const std::string& s) {
    return QByteArray(s.data(), qsizetype(s.size()));
}

const QByteArray kBody = Bytes(orvana::portal::SongBody("1001", 128, 5000));
const QByteArray kCover = Bytes(orvana::portal::CoverBytes("77"));
const QByteArray kPng = QByteArray("\x89PNG\r\n\x1A\n", 8) + QByteArray(40, '\x01');

SongTags FullTags() {
    SongTags tags;
    tags.title = QStringLiteral("流星雨 (Live)");
    tags.album = QStringLiteral("Blue Sky");
    tags.trackNumber = 3;
    tags.trackCount = 12;
    tags.artist = QStringLiteral("周 杰");
    tags.cover = kCover;
    return tags;
}

struct Tagged {
    QByteArray out;
    QString untagged;
};

// Feeds body to a tagger in chunks of the given sizes, cycling (empty: one write).
Tagged Feed(const SongTags& tags, const QByteArray& body, const std::vector<qint64>& chunks = {}) {
    Tagged result;
    SongTagger tagger(tags, [&](const char* data, qint64 size) { result.out.append(data, size); });
    qint64 at = 0;
    for (std::size_t i = 0; at < body.size(); ++i) {
        const qint64 n = chunks.empty() ? body.size() : chunks[i % chunks.size()];
        tagger.write(body.constData() + at, std::min(n, body.size() - at));
        at += n;
    }
    EXPECT_EQ(tagger.bodyBytes(), body.size());
    result.untagged = tagger.finish();
    return result;
}

// Where the audio starts after the leading ID3v2 tag of bytes (no footer).
qsizetype TagEnd(const QByteArray& bytes) {
    qsizetype size = 0;
    for (int i = 6; i < 10; ++i)
        size = (size << 7) | (quint8(bytes[i]) & 0x7F);
    return 10 + size;
}

// A song file as a player's library reads it, from memory.
struct ReadBack {
    explicit ReadBack(const QByteArray& bytes)
        : stream(TagLib::ByteVector(bytes.constData(), unsigned(bytes.size()))),
          file(&stream, ID3v2::FrameFactory::instance()) {}

    [[nodiscard]] ID3v2::Tag* tag() { return file.ID3v2Tag(); }
    [[nodiscard]] QString text(const char* id) {
        const ID3v2::FrameList& frames = tag()->frameList(id);
        if (frames.size() != 1)
            return QStringLiteral("<%1 frames>").arg(frames.size());
        return QString::fromStdString(frames.front()->toString().to8Bit(true));
    }
    [[nodiscard]] std::vector<ID3v2::AttachedPictureFrame*> pictures() {
        std::vector<ID3v2::AttachedPictureFrame*> found;
        for (ID3v2::Frame* frame : tag()->frameList("APIC"))
            found.push_back(dynamic_cast<ID3v2::AttachedPictureFrame*>(frame));
        return found;
    }

    TagLib::ByteVectorStream stream;
    TagLib::MPEG::File file;
};

QByteArray Render(ID3v2::Tag& tag, ID3v2::Version version) {
    const TagLib::ByteVector v = tag.render(version);
    return QByteArray(v.data(), qsizetype(v.size()));
}

void AddText(ID3v2::Tag& tag, const char* id, const char* text) {
    auto* frame = new ID3v2::TextIdentificationFrame(id, TagLib::String::UTF8);
    frame->setText(TagLib::String(text, TagLib::String::UTF8));
    tag.addFrame(frame);
}

void AddPicture(ID3v2::Tag& tag, ID3v2::AttachedPictureFrame::Type type, const char* description,
                const QByteArray& bytes) {
    auto* picture = new ID3v2::AttachedPictureFrame;
    picture->setType(type);
    picture->setDescription(description);
    picture->setMimeType("image/png");
    picture->setPicture(TagLib::ByteVector(bytes.constData(), unsigned(bytes.size())));
    tag.addFrame(picture);
}

// A v2.4 tag as another tagger writes one: its own title, artist, comment, user text and three
// pictures, with UTF-8 text (which v2.3 does not have).
QByteArray PortalV24Tag() {
    ID3v2::Tag tag;
    AddText(tag, "TIT2", "portal title");
    AddText(tag, "TPE1", "Portal Singer");
    auto* comment = new ID3v2::CommentsFrame(TagLib::String::UTF8);
    comment->setLanguage("chi");
    comment->setText(TagLib::String("来自门户", TagLib::String::UTF8));
    tag.addFrame(comment);
    auto* user = new ID3v2::UserTextIdentificationFrame(TagLib::String::UTF8);
    user->setDescription("source");
    user->setText("orvana");
    tag.addFrame(user);
    AddPicture(tag, ID3v2::AttachedPictureFrame::FrontCover, "old front", kPng);
    AddPicture(tag, ID3v2::AttachedPictureFrame::BackCover, "back", kPng + "back");
    // A tag holds one picture of each description: ours (with none) takes this one's place.
    AddPicture(tag, ID3v2::AttachedPictureFrame::Other, "", kPng + "other");
    return Render(tag, ID3v2::v4);
}

// The same tag with the v2.4 footer after it (TagLib writes none): the audio starts 10 bytes
// later than the header's size says.
QByteArray WithFooter(QByteArray tag) {
    tag[5] = char(quint8(tag[5]) | 0x10);
    QByteArray footer = tag.left(10);
    footer.replace(0, 3, "3DI");
    return tag + footer;
}

} // namespace

TEST(SongTagger, WritesEveryFrameAsV23AndLeavesTheAudioAsItCame) {
    const Tagged tagged = Feed(FullTags(), kBody);
    EXPECT_EQ(tagged.untagged, QString());
    ASSERT_TRUE(tagged.out.startsWith(QByteArray("ID3\x03\x00", 5)));
    EXPECT_EQ(tagged.out.mid(TagEnd(tagged.out)), kBody);

    ReadBack file(tagged.out);
    ASSERT_TRUE(file.file.isValid());
    ASSERT_NE(file.tag(), nullptr);
    EXPECT_EQ(file.tag()->header()->majorVersion(), 3u);
    EXPECT_EQ(file.text("TIT2"), QStringLiteral("流星雨 (Live)"));
    EXPECT_EQ(file.text("TALB"), QStringLiteral("Blue Sky"));
    EXPECT_EQ(file.text("TRCK"), QStringLiteral("3/12"));
    EXPECT_EQ(file.text("TPE1"), QStringLiteral("周 杰"));
    EXPECT_EQ(file.text("TPE2"), QStringLiteral("周 杰"));
    // v2.3 has no UTF-8: Chinese text is UTF-16, Latin text stays Latin-1.
    const auto encoding = [&](const char* id) {
        return dynamic_cast<ID3v2::TextIdentificationFrame*>(file.tag()->frameList(id).front())
            ->textEncoding();
    };
    EXPECT_EQ(encoding("TIT2"), TagLib::String::UTF16);
    EXPECT_EQ(encoding("TALB"), TagLib::String::Latin1);

    const auto pictures = file.pictures();
    ASSERT_EQ(pictures.size(), 1u);
    EXPECT_EQ(pictures[0]->type(), ID3v2::AttachedPictureFrame::FrontCover);
    EXPECT_EQ(pictures[0]->mimeType(), "image/jpeg");
    EXPECT_EQ(pictures[0]->picture(), TagLib::ByteVector(kCover.constData(), kCover.size()));

    // The frames TagLib finds start right after the tag.
    EXPECT_EQ(file.file.firstFrameOffset(), long(TagEnd(tagged.out)));
    EXPECT_EQ(file.file.audioProperties()->bitrate(), 128);
}

TEST(SongTagger, FieldsLeftEmptyWriteNoFrameAndOnlyJpegOrPngCoversAreWritten) {
    SongTags tags;
    tags.title = QStringLiteral("Only a title");
    tags.trackNumber = 4;
    tags.cover = kPng;
    {
        ReadBack file(Feed(tags, kBody).out);
        EXPECT_EQ(file.text("TIT2"), QStringLiteral("Only a title"));
        EXPECT_EQ(file.text("TRCK"), QStringLiteral("4"));
        for (const char* absent : {"TALB", "TPE1", "TPE2"})
            EXPECT_TRUE(file.tag()->frameList(absent).isEmpty()) << absent;
        ASSERT_EQ(file.pictures().size(), 1u);
        EXPECT_EQ(file.pictures()[0]->mimeType(), "image/png");
    }
    for (const QByteArray& notAPicture :
         {QByteArray("GIF89a......"), QByteArray("\xFF\xD8"), QByteArray()}) {
        tags.cover = notAPicture;
        const Tagged tagged = Feed(tags, kBody);
        EXPECT_EQ(tagged.untagged, QString());
        ReadBack file(tagged.out);
        EXPECT_TRUE(file.pictures().empty()) << notAPicture.toStdString();
    }
    EXPECT_EQ(CoverMimeType(kCover), "image/jpeg");
}

// The portal's own tag: its frames stay, ours replace the ones we write (its title, its front
// cover), and the whole is one v2.3 tag followed by the audio exactly.
TEST(SongTagger, MergesTheFilesOwnV24TagAndDropsIt) {
    for (const QByteArray& own : {PortalV24Tag(), WithFooter(PortalV24Tag())}) {
        SongTags tags = FullTags();
        tags.artist.clear(); // so the portal's singer stays
        const Tagged tagged = Feed(tags, own + kBody);
        EXPECT_EQ(tagged.untagged, QString());
        ASSERT_TRUE(tagged.out.startsWith(QByteArray("ID3\x03\x00", 5)));
        EXPECT_EQ(tagged.out.mid(TagEnd(tagged.out)), kBody);
        EXPECT_EQ(tagged.out.indexOf("ID3", 1), -1);

        ReadBack file(tagged.out);
        EXPECT_EQ(file.tag()->header()->majorVersion(), 3u);
        EXPECT_EQ(file.text("TIT2"), QStringLiteral("流星雨 (Live)"));
        EXPECT_EQ(file.text("TPE1"), QStringLiteral("Portal Singer"));
        EXPECT_EQ(file.text("COMM"), QStringLiteral("来自门户"));
        EXPECT_EQ(file.text("TXXX"), QStringLiteral("[source] orvana"));
        const auto pictures = file.pictures();
        ASSERT_EQ(pictures.size(), 2u);
        EXPECT_EQ(pictures[0]->type(), ID3v2::AttachedPictureFrame::FrontCover);
        EXPECT_EQ(pictures[0]->picture(), TagLib::ByteVector(kCover.constData(), kCover.size()));
        EXPECT_EQ(pictures[1]->type(), ID3v2::AttachedPictureFrame::BackCover);
        EXPECT_EQ(pictures[1]->description(), "back");
    }
}

// A v2.2 tag (three-letter frames, no flags) written by hand, as TagLib writes none.
TEST(SongTagger, MergesAV22TagIntoV23Frames) {
    const auto frame = [](const char* id, const QByteArray& text) -> QByteArray {
        const QByteArray data = '\0' + text; // Latin-1
        return QByteArray(id, 3) + char(0) + char(0) + char(data.size()) + data;
    };
    const QByteArray frames = frame("TT2", "old title") + frame("TP1", "Old Singer");
    const QByteArray own =
        QByteArray("ID3\x02\x00\x00\x00\x00\x00", 9) + char(frames.size()) + frames;
    SongTags tags;
    tags.title = QStringLiteral("new title");
    const Tagged tagged = Feed(tags, own + kBody);
    EXPECT_EQ(tagged.untagged, QString());
    EXPECT_EQ(tagged.out.mid(TagEnd(tagged.out)), kBody);
    ReadBack file(tagged.out);
    EXPECT_EQ(file.text("TIT2"), QStringLiteral("new title"));
    EXPECT_EQ(file.text("TPE1"), QStringLiteral("Old Singer"));
}

// Whatever cannot be tagged is passed on byte for byte, with the reason.
TEST(SongTagger, StoresBodiesItCannotTagExactlyAndSaysWhy) {
    std::string plain;
    orvana::portal::AppendPlainBytes(plain, "1002", 0, 5000);
    const QByteArray v24 = PortalV24Tag();
    QByteArray badVersion = v24;
    badVersion[3] = 5;
    QByteArray badSize = v24;
    badSize[7] = char(0x80);
    const QByteArray huge("ID3\x03\x00\x00\x08\x00\x00\x01", 10); // 16 MiB + 1 byte of tag
    const QByteArray compressedV22("ID3\x02\x00\x40\x00\x00\x00\x05xxxxx", 15);
    const QByteArray freeFormat = QByteArray("\xFF\xFB\x04\x44", 4) + kBody.mid(4);
    const struct {
        const char* what;
        QByteArray body;
        const char* reason;
    } cases[] = {
        {"plain text", Bytes(plain), "not MPEG audio"},
        {"free-format frame", freeFormat, "not MPEG audio"},
        {"tag, then text", v24 + Bytes(plain), "not MPEG audio"},
        {"two bytes of audio", kBody.left(2), "not MPEG audio"},
        {"tag, then two bytes", v24 + kBody.left(2), "not MPEG audio"},
        {"empty", QByteArray(), "not MPEG audio"},
        {"tag version 5", badVersion + kBody, "the file's own tag cannot be read"},
        {"size byte over 127", badSize + kBody, "the file's own tag cannot be read"},
        {"compressed v2.2", compressedV22 + kBody, "the file's own tag cannot be read"},
        {"tag over the cap", huge + kBody, "the file's own tag is larger than 16 MiB"},
        {"cut inside its tag", v24.left(v24.size() - 1), "the file ends inside its own tag"},
        {"cut inside the header", QByteArray("ID3\x04\x00", 5), "the file ends inside its own tag"},
    };
    for (const auto& c : cases) {
        const Tagged tagged = Feed(FullTags(), c.body);
        EXPECT_EQ(tagged.untagged, QString::fromUtf8(c.reason)) << c.what;
        EXPECT_EQ(tagged.out, c.body) << c.what;
    }
}

// The output never depends on where the body's chunks end.
TEST(SongTagger, ChunkBoundariesAnywhereGiveTheSameFile) {
    std::string plain;
    orvana::portal::AppendPlainBytes(plain, "1002", 0, 3000);
    const QByteArray emptyTag("ID3\x03\x00\x00\x00\x00\x00\x00", 10);
    const QByteArray bodies[] = {kBody, WithFooter(PortalV24Tag()) + kBody, emptyTag + kBody,
                                 Bytes(plain)};
    QRandomGenerator random(42);
    for (const QByteArray& body : bodies) {
        const Tagged whole = Feed(FullTags(), body);
        EXPECT_EQ(Feed(FullTags(), body, {1}).out, whole.out);
        std::vector<qint64> sizes;
        for (int i = 0; i < 64; ++i)
            sizes.push_back(random.bounded(1, 40));
        const Tagged chunked = Feed(FullTags(), body, sizes);
        EXPECT_EQ(chunked.out, whole.out);
        EXPECT_EQ(chunked.untagged, whole.untagged);
    }
    // An empty tag ends where its header does: the audio right after it still counts.
    EXPECT_EQ(Feed(FullTags(), emptyTag + kBody, {1}).untagged, QString());
}

TEST(SongTagger, FrameHeadersNeedSyncAndNoReservedField) {
    const struct {
        const char* bytes;
        bool header;
    } cases[] = {
        {"\xFF\xFB\x90\x44", true},  // MPEG-1 Layer III 128 kbps 44.1 kHz
        {"\xFF\xF3\x90\x44", true},  // MPEG-2 Layer III
        {"\xFF\xE3\x90\x44", true},  // MPEG-2.5 Layer III
        {"\xFF\xFD\x90\x44", true},  // MPEG-1 Layer II
        {"\xFF\xEB\x90\x44", false}, // reserved version
        {"\xFF\xF9\x90\x44", false}, // reserved layer
        {"\xFF\xFB\xF0\x44", false}, // bit rate 15
        {"\xFF\xFB\x9C\x44", false}, // reserved sample rate
        {"\xFF\xDB\x90\x44", false}, // sync cut short
        {"\xFE\xFB\x90\x44", false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(IsMpegFrameHeader(c.bytes), c.header) << QByteArray(c.bytes).toHex().data();
}

namespace {

using orvana::portal::Endpoint;
using orvana::portal::Fault;
using orvana::portal::PortalSim;
using namespace std::chrono_literals;

QByteArray ReadFile(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

QStringList FolderEntries(const QString& folder) {
    return QDir(folder).entryList(QDir::Files | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                                  QDir::Name);
}

// Songs of 5000 bytes (twelve frames at 128 kbps) from the sample portal, into a fresh folder.
class TaggedFetch : public ::testing::Test {
protected:
    void SetUp() override {
        portal.start();
        ASSERT_TRUE(folder.isValid());
    }
    [[nodiscard]] QString songUrl(const char* songId) const {
        return QStringLiteral("http://%1/file/%2/128.mp3")
            .arg(QString::fromStdString(portal.host()), QString::fromUtf8(songId));
    }
    [[nodiscard]] QString target(const char* name = "song.mp3") const {
        return folder.filePath(QString::fromUtf8(name));
    }
    static orvana::net::TransferSettings Fast() {
        orvana::net::TransferSettings settings;
        settings.stallTimeout = 2s;
        settings.cancelPollInterval = 5ms;
        return settings;
    }

    PortalSim portal{orvana::portal::DemoCatalogue(), orvana::portal::PortalOptions{5000}};
    QTemporaryDir folder;
    const QByteArray body = Bytes(orvana::portal::SongBody("1001", 128, 5000));
};

} // namespace

// Both forms write the tag into the file before it is named; the audio after it is the portal's,
// and the size reported is the file's, while progress and the caps count the portal's body.
TEST_F(TaggedFetch, StoresTheTaggedFileDirectlyOrThroughTheCommitter) {
    ModDownFile transport(nullptr, Fast());
    qint64 lastReceived = 0;
    const StoredSong direct = transport.FetchToFile(
        songUrl("1001"), target("direct.mp3"),
        [&](qint64 received, qint64) { lastReceived = received; }, FullTags());
    EXPECT_EQ(direct.path, target("direct.mp3"));
    EXPECT_EQ(direct.untagged, QString());
    EXPECT_EQ(lastReceived, body.size());
    const QByteArray file = ReadFile(direct.path);
    EXPECT_EQ(direct.bytes, file.size());
    EXPECT_EQ(file.mid(TagEnd(file)), body);
    EXPECT_EQ(ReadBack(file).text("TIT2"), QStringLiteral("流星雨 (Live)"));

    std::vector<StoredSong> done;
    transport.FetchToFileDeferred(songUrl("1001"), target("deferred.mp3"), {}, FullTags(),
                                  [&](const StoredSong& song, std::exception_ptr error) {
                                      EXPECT_FALSE(error);
                                      done.push_back(song);
                                  });
    EXPECT_EQ(FolderEntries(folder.path()), QStringList{QStringLiteral("direct.mp3")});
    EXPECT_EQ(transport.FinishCommits(), 1);
    ASSERT_EQ(done.size(), 1u);
    EXPECT_EQ(done[0].path, target("deferred.mp3"));
    EXPECT_EQ(done[0].bytes, direct.bytes);
    EXPECT_EQ(done[0].untagged, QString());
    EXPECT_EQ(ReadFile(done[0].path), file);
}

TEST_F(TaggedFetch, ANotMpegBodyIsStoredAsItCameAndSaysWhy) {
    portal.addFault(Endpoint::SongFile, Fault::NotMpeg, -1, "1002");
    std::string plain;
    orvana::portal::AppendPlainBytes(plain, "1002", 0, body.size());
    ModDownFile transport(nullptr, Fast());
    const StoredSong direct = transport.FetchToFile(songUrl("1002"), target(), {}, FullTags());
    EXPECT_EQ(direct.untagged, QStringLiteral("not MPEG audio"));
    EXPECT_EQ(direct.bytes, body.size());
    EXPECT_EQ(ReadFile(target()), Bytes(plain));

    StoredSong deferred;
    transport.FetchToFileDeferred(
        songUrl("1002"), target("again.mp3"), {}, FullTags(),
        [&](const StoredSong& song, std::exception_ptr) { deferred = song; });
    (void)transport.FinishCommits();
    EXPECT_EQ(deferred.untagged, QStringLiteral("not MPEG audio"));
    EXPECT_EQ(ReadFile(deferred.path), Bytes(plain));
}

TEST_F(TaggedFetch, TheSizeCapAndTheTwoByteRuleCountThePortalsBody) {
    orvana::net::TransferSettings settings = Fast();
    settings.songSizeCap = body.size(); // the tagged file is larger: it must still pass
    ModDownFile transport(nullptr, settings);
    EXPECT_GT(transport.FetchToFile(songUrl("1001"), target(), {}, FullTags()).bytes, body.size());

    settings.songSizeCap = body.size() - 1;
    ModDownFile capped(nullptr, settings);
    EXPECT_THROW((void)capped.FetchToFile(songUrl("1001"), target("capped.mp3"), {}, FullTags()),
                 TransportError);

    portal.addFault(Endpoint::SongFile, Fault::OneByteBody);
    try {
        (void)transport.FetchToFile(songUrl("1001"), target("short.mp3"), {}, FullTags());
        ADD_FAILURE() << "a one-byte body was stored";
    } catch (const TransportError& error) {
        EXPECT_EQ(error.reason(), QStringLiteral("the body has only 1 byte(s)"));
    }
    EXPECT_EQ(FolderEntries(folder.path()), QStringList{QStringLiteral("song.mp3")});
}

// A song whose body stops half-way has no name while it waits, and none after it fails: the tag
// written first never stands as a file of its own.
TEST_F(TaggedFetch, ABodyCutShortLeavesNoFile) {
    portal.addFault(Endpoint::SongFile, Fault::HangMidBody);
    auto cancel = std::make_shared<orvana::net::CancelToken>();
    ModDownFile transport(nullptr, Fast(), cancel);
    std::thread fetch([&] {
        EXPECT_THROW((void)transport.FetchToFile(songUrl("1001"), target(), {}, FullTags()),
                     TransportError);
    });
    while (portal.stallsBegun() == 0)
        std::this_thread::sleep_for(1ms);
    EXPECT_TRUE(FolderEntries(folder.path()).isEmpty());
    cancel->cancel();
    fetch.join();
    EXPECT_TRUE(FolderEntries(folder.path()).isEmpty());

    portal.addFault(Endpoint::SongFile, Fault::DropMidBody);
    ModDownFile again(nullptr, Fast());
    EXPECT_THROW((void)again.FetchToFile(songUrl("1001"), target(), {}, FullTags()),
                 TransportError);
    EXPECT_TRUE(FolderEntries(folder.path()).isEmpty());
}
