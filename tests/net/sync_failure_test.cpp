// A file whose bytes the disk refused to take: fdatasync fails, and the kernel reports such a
// write-back error only once, so a second sync would pass over the lost bytes.
#include "net/file_store.h"

#include "json/error.h"
#include <QDir>
#include <QTemporaryDir>
#include <atomic>
#include <cerrno>
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <unistd.h>

namespace {

// Syncs still to fail with EIO; the rest go to the C library.
std::atomic<int> g_failingSyncs{0};

} // namespace

// Defined in the test program, so the store's calls come here first.
extern "C" int fdatasync(int fd) {
    if (g_failingSyncs > 0) {
        --g_failingSyncs;
        errno = EIO;
        return -1;
    }
    using SyncFunction = int (*)(int);
    static const auto real = reinterpret_cast<SyncFunction>(dlsym(RTLD_NEXT, "fdatasync"));
    return real(fd);
}

using namespace orvana;

class SyncFailureTest : public testing::TestWithParam<bool> {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        net::detail::ForceNamedTemporaryFiles(GetParam());
    }
    void TearDown() override {
        net::detail::ForceNamedTemporaryFiles(false);
        g_failingSyncs = 0;
    }
    QStringList entries() const {
        return QDir(dir.path()).entryList(QDir::Files | QDir::Hidden | QDir::System);
    }
    QTemporaryDir dir;
};

INSTANTIATE_TEST_SUITE_P(TemporaryFiles, SyncFailureTest, ::testing::Values(false, true),
                         [](const auto& info) { return info.param ? "Named" : "Unnamed"; });

TEST_P(SyncFailureTest, ASongWhoseBytesFailedToSyncGetsNoNameAtAll) {
    net::AtomicFile file(dir.path());
    file.write(QByteArray(4096, 'x'));
    g_failingSyncs = 1;
    try {
        (void)net::CommitSongFile(file, dir.path(), QStringLiteral("song.mp3"));
        FAIL() << "a file whose sync failed was named";
    } catch (const Error& e) {
        EXPECT_EQ(e.kind(), ErrorKind::Io);
        EXPECT_EQ(e.message(), QStringLiteral("Cannot write the file \"%1/song.mp3\": %2")
                                   .arg(dir.path(), qt_error_string(EIO)));
    }
    // Not under its name, nor under a "noTitle" fallback taken after a second, passing sync.
    EXPECT_EQ(entries().filter(QStringLiteral(".mp3")), QStringList());

    // Nor on a later try by hand.
    EXPECT_THROW((void)file.commit(dir.path() + u"/other.mp3", net::CommitMode::KeepExisting),
                 Error);
    EXPECT_EQ(entries().filter(QStringLiteral(".mp3")), QStringList());
}
