// Replacing a file goes through a hidden temporary name for a moment. A cleaner of another run
// that comes at that very moment must find the name locked and leave it alone.
#include "net/file_store.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <dlfcn.h>
#include <gtest/gtest.h>

namespace {

// The folder whose stale parts a cleaner removes just before each rename out of a part name.
QString g_cleanedFolder;
int g_cleanerRuns = 0;

} // namespace

// Defined in the test program, so the store's renames come here first.
extern "C" int rename(const char* from, const char* to) {
    const QString source = QFile::decodeName(from);
    if (!g_cleanedFolder.isEmpty() && source.contains(QStringLiteral("/.orvana-")) &&
        source.endsWith(QStringLiteral(".part"))) {
        ++g_cleanerRuns;
        (void)orvana::net::RemoveStalePartFiles(g_cleanedFolder);
    }
    using RenameFunction = int (*)(const char*, const char*);
    static const auto real = reinterpret_cast<RenameFunction>(dlsym(RTLD_NEXT, "rename"));
    return real(from, to);
}

using namespace orvana::net;

class ReplaceRaceTest : public testing::TestWithParam<bool> {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        detail::ForceNamedTemporaryFiles(GetParam());
    }
    void TearDown() override {
        detail::ForceNamedTemporaryFiles(false);
        g_cleanedFolder.clear();
    }
    QTemporaryDir dir;
};

INSTANTIATE_TEST_SUITE_P(TemporaryFiles, ReplaceRaceTest, ::testing::Values(false, true),
                         [](const auto& info) { return info.param ? "Named" : "Unnamed"; });

TEST_P(ReplaceRaceTest, ACleanerAtTheMomentOfTheReplaceLeavesTheLiveFile) {
    const QString path = dir.filePath(QStringLiteral("song.mp3"));
    StoreBytes("old song", path);
    g_cleanedFolder = dir.path();
    g_cleanerRuns = 0;
    AtomicFile file(dir.path());
    file.write("new song");
    EXPECT_EQ(file.commit(path, CommitMode::ReplaceExisting), AtomicFile::CommitResult::Committed);
    EXPECT_EQ(g_cleanerRuns, 1);
    QFile stored(path);
    ASSERT_TRUE(stored.open(QIODevice::ReadOnly));
    EXPECT_EQ(stored.readAll(), QByteArray("new song"));
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden | QDir::System),
              QStringList{QStringLiteral("song.mp3")});
}
