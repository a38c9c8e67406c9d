#include "net/file_store.h"

#include "json/error.h"
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <sys/stat.h>

using namespace orvana;
using namespace orvana::net;

namespace {

QByteArray ReadFile(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return "<missing>";
    return file.readAll();
}

QStringList FolderEntries(const QString& folder) {
    return QDir(folder).entryList(QDir::Files | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                                  QDir::Name);
}

// Every AtomicFile test runs twice: with unnamed temporary files and with the named ones used on
// file systems that have no unnamed files.
class AtomicFileTest : public ::testing::TestWithParam<bool> {
protected:
    void SetUp() override { detail::ForceNamedTemporaryFiles(GetParam()); }
    void TearDown() override { detail::ForceNamedTemporaryFiles(false); }
};

} // namespace

INSTANTIATE_TEST_SUITE_P(TemporaryFiles, AtomicFileTest, ::testing::Values(false, true),
                         [](const auto& info) { return info.param ? "Named" : "Unnamed"; });

TEST(CutNameToBytes, CutsAtACharacterBoundaryWithinTheByteLimit) {
    EXPECT_EQ(CutNameToBytes(QStringLiteral("abc"), 3), QStringLiteral("abc"));
    EXPECT_EQ(CutNameToBytes(QStringLiteral("abcd"), 3), QStringLiteral("abc"));
    // Three bytes each: 4 bytes hold one, 6 hold two.
    EXPECT_EQ(CutNameToBytes(QStringLiteral("中文字"), 4), QStringLiteral("中"));
    EXPECT_EQ(CutNameToBytes(QStringLiteral("中文字"), 6), QStringLiteral("中文"));
    EXPECT_EQ(CutNameToBytes(QStringLiteral("é中"), 4), QStringLiteral("é"));
    // A surrogate pair (4 bytes) is never split.
    const QString emoji = QStringLiteral("a\U0001F3B5b");
    EXPECT_EQ(CutNameToBytes(emoji, 4), QStringLiteral("a"));
    EXPECT_EQ(CutNameToBytes(emoji, 5), QStringLiteral("a\U0001F3B5"));
    EXPECT_EQ(CutNameToBytes(QString(), 5), QString());
}

TEST(CutNameToBytes, DefaultLimitLeavesRoomForTheExtension) {
    const QString longTitle = QString(200, QChar(u'歌'));
    const QString cut = CutNameToBytes(longTitle);
    EXPECT_EQ(cut.toUtf8().size(), 240);
    EXPECT_EQ(cut, QString(80, QChar(u'歌')));
    EXPECT_LE((cut + QStringLiteral(".mp3")).toUtf8().size(), 255);
    EXPECT_EQ(kMaxNameBytes, 240);
}

TEST_P(AtomicFileTest, NothingAppearsUntilCommitAndNothingStaysWithoutIt) {
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    const QString path = folder.filePath(QStringLiteral("song.mp3"));
    {
        AtomicFile file(folder.path());
        file.write(QByteArray("partial"));
        EXPECT_EQ(file.size(), 7);
        // At most a hidden temporary file while it is written; never the final name.
        const QStringList during = FolderEntries(folder.path());
        EXPECT_EQ(during.size(), GetParam() ? 1 : 0);
        for (const QString& name : during)
            EXPECT_TRUE(name.startsWith(QStringLiteral(".orvana-")) &&
                        name.endsWith(QStringLiteral(".part")))
                << name.toStdString();
    } // dropped without commit, as a failed fetch does
    EXPECT_TRUE(FolderEntries(folder.path()).isEmpty());
    {
        AtomicFile file(folder.path());
        file.write(QByteArray("whole"));
        EXPECT_EQ(file.commit(path, CommitMode::ReplaceExisting),
                  AtomicFile::CommitResult::Committed);
        EXPECT_THROW((void)file.commit(path, CommitMode::ReplaceExisting), Error);
    }
    EXPECT_EQ(ReadFile(path), QByteArray("whole"));
    EXPECT_EQ(FolderEntries(folder.path()), QStringList{QStringLiteral("song.mp3")});
}

TEST_P(AtomicFileTest, ReplaceOrKeepAnExistingFile) {
    QTemporaryDir folder;
    const QString path = folder.filePath(QStringLiteral("a.mp3"));
    StoreBytes("first", path);
    {
        AtomicFile file(folder.path());
        file.write(QByteArray("second"));
        EXPECT_EQ(file.commit(path, CommitMode::KeepExisting),
                  AtomicFile::CommitResult::FileExists);
        EXPECT_EQ(ReadFile(path), QByteArray("first"));
        // The same bytes can still go elsewhere.
        EXPECT_EQ(file.commit(folder.filePath(QStringLiteral("b.mp3")), CommitMode::KeepExisting),
                  AtomicFile::CommitResult::Committed);
    }
    EXPECT_EQ(ReadFile(folder.filePath(QStringLiteral("b.mp3"))), QByteArray("second"));
    {
        AtomicFile file(folder.path());
        file.write(QByteArray("third"));
        EXPECT_EQ(file.commit(path, CommitMode::ReplaceExisting),
                  AtomicFile::CommitResult::Committed);
    }
    EXPECT_EQ(ReadFile(path), QByteArray("third"));
    EXPECT_EQ(FolderEntries(folder.path()),
              (QStringList{QStringLiteral("a.mp3"), QStringLiteral("b.mp3")}));
}

TEST_P(AtomicFileTest, ARefusedNameLeavesTheBytesForAnotherTry) {
    QTemporaryDir folder;
    AtomicFile file(folder.path());
    file.write(QByteArray("bytes"));
    const QString tooLong = folder.filePath(QString(300, u'x'));
    EXPECT_THROW((void)file.commit(tooLong, CommitMode::ReplaceExisting), Error);
    EXPECT_EQ(file.commit(folder.filePath(QStringLiteral("ok")), CommitMode::KeepExisting),
              AtomicFile::CommitResult::Committed);
    EXPECT_EQ(ReadFile(folder.filePath(QStringLiteral("ok"))), QByteArray("bytes"));
    EXPECT_EQ(FolderEntries(folder.path()), QStringList{QStringLiteral("ok")});
}

TEST_P(AtomicFileTest, AMissingFolderIsAnIoError) {
    QTemporaryDir folder;
    try {
        AtomicFile file(folder.filePath(QStringLiteral("missing")));
        ADD_FAILURE() << "no error";
    } catch (const Error& error) {
        EXPECT_EQ(error.kind(), ErrorKind::Io);
        EXPECT_TRUE(
            error.message().startsWith(QStringLiteral("Cannot create a file in the folder")))
            << error.message().toStdString();
    }
}

TEST_P(AtomicFileTest, TheCommittedFileGetsTheAskedMode) {
    QTemporaryDir folder;
    const QString path = folder.filePath(QStringLiteral("secret"));
    AtomicFile file(folder.path(), 0600);
    file.write(QByteArray("s"));
    (void)file.commit(path, CommitMode::ReplaceExisting);
    struct stat info {};
    ASSERT_EQ(::stat(QFile::encodeName(path).constData(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);
}

TEST_P(AtomicFileTest, StoreBytesWritesExactlyTheBytesAndNeverAnEmptyFile) {
    QTemporaryDir folder;
    const QString cover = folder.filePath(QStringLiteral("cover.jpg"));
    const QByteArray jpeg("\xff\xd8\xff\xe0\x00\x10JFIF\x00", 11);
    StoreBytes(jpeg, cover);
    EXPECT_EQ(ReadFile(cover), jpeg);
    EXPECT_THROW(StoreBytes(QByteArray(), cover), Error);
    EXPECT_EQ(ReadFile(cover), jpeg);
    EXPECT_THROW(StoreBytes(QByteArray(), folder.filePath(QStringLiteral("new.jpg"))), Error);
    EXPECT_EQ(FolderEntries(folder.path()), QStringList{QStringLiteral("cover.jpg")});
}

TEST_P(AtomicFileTest, SongFallbackNeverOverwritesAndDrawsAgain) {
    QTemporaryDir folder;
    // Names the file system or the store refuses: all end in the fallback.
    for (const QString& name : {QString(), QStringLiteral("."), QStringLiteral(".."),
                                QStringLiteral("a/b.mp3"), QString(QString(260, u'n') + u".mp3")}) {
        AtomicFile file(folder.path());
        file.write(name.toUtf8() + "!");
        const QString written = CommitSongFile(file, folder.path(), name);
        EXPECT_TRUE(QFileInfo(written).fileName().startsWith(QStringLiteral("noTitle")));
        EXPECT_TRUE(QFileInfo(written).fileName().endsWith(QStringLiteral(".mp3")));
        EXPECT_EQ(ReadFile(written), name.toUtf8() + "!");
    }
    // Five different fallback files: none replaced another.
    EXPECT_EQ(FolderEntries(folder.path()).size(), 5);
}

TEST_P(AtomicFileTest, CommitLinksStraightToAFreeNameAndReplacesThroughATemporaryOne) {
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    const QString path = folder.filePath(QStringLiteral("a.mp3"));
    {
        AtomicFile file(folder.path());
        file.write("first");
        EXPECT_EQ(file.commit(path, CommitMode::ReplaceExisting),
                  AtomicFile::CommitResult::Committed);
    }
    {
        AtomicFile file(folder.path());
        file.write("second");
        EXPECT_EQ(file.commit(path, CommitMode::ReplaceExisting),
                  AtomicFile::CommitResult::Committed);
    }
    EXPECT_EQ(ReadFile(path), QByteArray("second"));
    EXPECT_EQ(FolderEntries(folder.path()), QStringList{QStringLiteral("a.mp3")});
}

TEST_P(AtomicFileTest, StalePartFilesGoAndALiveOneStays) {
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    // Left by killed runs: nobody holds them.
    for (const char* name : {".orvana-abc.part", ".orvana-x1.part"}) {
        QFile stale(folder.filePath(QString::fromUtf8(name)));
        ASSERT_TRUE(stale.open(QIODevice::WriteOnly));
        stale.write("half a song");
    }
    // Not ours, whatever they look like.
    for (const char* name : {"song.mp3", ".orvana-abc.partial", "orvana-abc.part"}) {
        QFile other(folder.filePath(QString::fromUtf8(name)));
        ASSERT_TRUE(other.open(QIODevice::WriteOnly));
    }
    AtomicFile live(folder.path());
    live.write("being written");
    QStringList expected = FolderEntries(folder.path());
    expected.removeAll(QStringLiteral(".orvana-abc.part"));
    expected.removeAll(QStringLiteral(".orvana-x1.part"));
    // The live file shows only where it has a hidden name of its own.
    EXPECT_EQ(expected.size(), GetParam() ? 4 : 3);

    EXPECT_EQ(RemoveStalePartFiles(folder.path()), 2);
    expected.sort();
    EXPECT_EQ(FolderEntries(folder.path()), expected);
    EXPECT_EQ(live.commit(folder.filePath(QStringLiteral("live.mp3")), CommitMode::KeepExisting),
              AtomicFile::CommitResult::Committed);
    EXPECT_EQ(ReadFile(folder.filePath(QStringLiteral("live.mp3"))), QByteArray("being written"));
    EXPECT_EQ(RemoveStalePartFiles(QStringLiteral("/no/such/folder")), 0);
}
