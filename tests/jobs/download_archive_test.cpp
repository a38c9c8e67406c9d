// The download archive: what it reads, what it appends, and two processes appending at once.
#include "jobs/download_archive.h"

#include "json/error.h"
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace orvana;
using jobs::DownloadArchive;

namespace {

QByteArray readAll(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

void writeAll(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(bytes);
}

class ArchiveTest : public testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(dir.isValid()); }
    QString file() const { return dir.filePath(QStringLiteral("archive.txt")); }
    QTemporaryDir dir;
};

} // namespace

TEST_F(ArchiveTest, IsCreatedWhenMissingAndListsWhatWasAdded) {
    {
        auto archive = DownloadArchive::Open(file(), DownloadArchive::Mode::ReadWrite);
        EXPECT_FALSE(archive->contains(u"1001"_qs));
        archive->add(u"1001"_qs);
        archive->add(u"1002"_qs);
        archive->add(u"1001"_qs); // listed already: no second line
        archive->sync();
        EXPECT_TRUE(archive->contains(u"1001"_qs));
    }
    EXPECT_EQ(readAll(file()), "orvana 1001\norvana 1002\n");
    auto again = DownloadArchive::Open(file(), DownloadArchive::Mode::ReadWrite);
    EXPECT_TRUE(again->contains(u"1002"_qs));
}

TEST_F(ArchiveTest, ACutLastLineIsIgnoredAndDroppedBeforeTheNextLine) {
    // A run died after writing "orvana 10" of "orvana 1003\n".
    writeAll(file(), "orvana 1001\nsomething else\norvana 10");
    auto archive = DownloadArchive::Open(file(), DownloadArchive::Mode::ReadWrite);
    EXPECT_TRUE(archive->contains(u"1001"_qs));
    EXPECT_FALSE(archive->contains(u"10"_qs));
    archive->add(u"1003"_qs);
    EXPECT_EQ(readAll(file()), "orvana 1001\nsomething else\norvana 1003\n");
}

TEST_F(ArchiveTest, ReadOnlyNeverCreatesOrWrites) {
    auto missing = DownloadArchive::Open(file(), DownloadArchive::Mode::ReadOnly);
    missing->add(u"1"_qs);
    missing->sync();
    EXPECT_FALSE(QFile::exists(file()));

    writeAll(file(), "orvana 7\n");
    auto present = DownloadArchive::Open(file(), DownloadArchive::Mode::ReadOnly);
    EXPECT_TRUE(present->contains(u"7"_qs));
    present->add(u"8"_qs);
    EXPECT_EQ(readAll(file()), "orvana 7\n");
}

TEST_F(ArchiveTest, AFolderOrAnUnusablePathIsRefusedWithItsName) {
    for (const QString& path : {dir.path(), dir.filePath(u"missing/archive.txt"_qs), QString()}) {
        try {
            (void)DownloadArchive::Open(path, DownloadArchive::Mode::ReadWrite);
            ADD_FAILURE() << "accepted " << path.toStdString();
        } catch (const Error& e) {
            EXPECT_EQ(e.kind(), ErrorKind::InvalidArgument);
            EXPECT_TRUE(e.message().startsWith(u"cannot use the archive " + path + u": "))
                << e.message().toStdString();
        }
    }
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::NoDotAndDotDot | QDir::AllEntries), QStringList());
}

TEST_F(ArchiveTest, TwoProcessesAppendingAtOnceWriteOnlyWholeLines) {
    constexpr int kPerProcess = 400;
    pid_t children[2];
    for (int c = 0; c < 2; ++c) {
        children[c] = ::fork();
        ASSERT_GE(children[c], 0);
        if (children[c] == 0) {
            auto archive = DownloadArchive::Open(file(), DownloadArchive::Mode::ReadWrite);
            for (int i = 0; i < kPerProcess; ++i)
                archive->add(QString::number(c * 100000 + i));
            archive->sync();
            ::_exit(0);
        }
    }
    for (pid_t child : children) {
        int status = 0;
        ASSERT_EQ(::waitpid(child, &status, 0), child);
        ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }
    const QList<QByteArray> lines = readAll(file()).split('\n');
    ASSERT_EQ(lines.size(), 2 * kPerProcess + 1);
    EXPECT_TRUE(lines.last().isEmpty());
    auto archive = DownloadArchive::Open(file(), DownloadArchive::Mode::ReadOnly);
    for (int c = 0; c < 2; ++c)
        for (int i = 0; i < kPerProcess; ++i)
            ASSERT_TRUE(archive->contains(QString::number(c * 100000 + i))) << c << ' ' << i;
}
