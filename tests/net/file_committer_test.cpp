// The committer names files on threads of its own; reap tells the finished ones early, wait the
// rest, each callback exactly once and in submission order.
#include "net/file_committer.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <chrono>
#include <gtest/gtest.h>
#include <thread>

using namespace orvana;

namespace {

std::unique_ptr<net::AtomicFile> fileWith(const QString& folder, const QByteArray& bytes) {
    auto file = std::make_unique<net::AtomicFile>(folder);
    file->write(bytes);
    return file;
}

} // namespace

TEST(FileCommitter, ReapTellsNamedFilesOnceAndWaitTellsTheRest) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    net::FileCommitter committer;
    QStringList told;
    auto done = [&told](const QString& path, std::exception_ptr error) {
        told.append(error ? u"error"_qs : QFileInfo(path).fileName());
    };
    committer.submit(fileWith(dir.path(), "a"), dir.path(), u"a.mp3"_qs, done);
    // Named on another thread: reap sees it once it is done, never twice.
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (committer.reap() == 0 && std::chrono::steady_clock::now() < until)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    EXPECT_EQ(told, QStringList{u"a.mp3"_qs});
    EXPECT_TRUE(QFile::exists(dir.filePath(u"a.mp3"_qs)));
    EXPECT_EQ(committer.reap(), 0);

    committer.submit(fileWith(dir.path(), "b"), dir.path(), u"b.mp3"_qs, done);
    committer.submit(fileWith(dir.path(), "c"), dir.path(), u"c.mp3"_qs, done);
    EXPECT_EQ(committer.wait(), 2);
    EXPECT_EQ(told, (QStringList{u"a.mp3"_qs, u"b.mp3"_qs, u"c.mp3"_qs}));
    EXPECT_EQ(committer.wait(), 0);
    EXPECT_TRUE(committer.idle());
}

TEST(FileCommitter, ManyFilesThroughABoundedQueueAreEachNamedAndToldOnceInOrder) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    // A queue shorter than the threads, and more threads than ever get busy: submit blocks and
    // wakes again, threads sleep and wake, and no file is lost or told twice.
    for (const auto& [pending, threads] : {std::pair{1, 1}, std::pair{2, 3}, std::pair{16, 4}}) {
        net::FileCommitter committer(std::size_t(pending), threads);
        QStringList told;
        QStringList expected;
        for (int i = 0; i < 60; ++i) {
            const QString name = QStringLiteral("%1-%2-%3.mp3").arg(pending).arg(threads).arg(i);
            expected.append(name);
            committer.submit(fileWith(dir.path(), name.toUtf8()), dir.path(), name,
                             [&told](const QString& path, std::exception_ptr error) {
                                 told.append(error ? u"error"_qs : QFileInfo(path).fileName());
                             });
            if (i % 7 == 0)
                (void)committer.reap();
        }
        (void)committer.wait();
        EXPECT_EQ(told, expected);
        for (const QString& name : std::as_const(expected)) {
            QFile file(dir.filePath(name));
            ASSERT_TRUE(file.open(QIODevice::ReadOnly)) << name.toStdString();
            EXPECT_EQ(file.readAll(), name.toUtf8());
        }
    }
}
