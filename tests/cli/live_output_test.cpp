// The built orvana-dl-cli as a child process: its status output must arrive while the job runs,
// over a pipe and on a terminal, and survive an interrupt.
#include "jobs/portal.h"
#include "jobs/user_texts.h"
#include "tests/jobs/mini_portal.h"
#include "tools/portal-sim/portal_sim.h"

#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QSet>
#include <QTemporaryDir>
#include <csignal>
#include <gtest/gtest.h>
#include <optional>
#include <poll.h>
#include <pty.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

using namespace orvana;
using namespace std::chrono_literals;

namespace {

constexpr std::size_t kSongBytes = 3000;

class LiveOutputTest : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        ASSERT_TRUE(QFile::exists(binary)) << binary.toStdString();
        QFile(dir.filePath(QStringLiteral("cookies.txt"))).open(QIODevice::WriteOnly);
        portal.start();
        // The first song stalls half way for a minute: the child is mid-song until we stop it.
        portal.addFault(portal::Endpoint::SongFile, portal::Fault::StallMidBody);
    }

    QStringList args() const {
        return {QStringLiteral("album"),
                QStringLiteral("31258219"),
                QStringLiteral("--portal-host"),
                QString::fromStdString(portal.host()),
                QStringLiteral("-o"),
                dir.filePath(QStringLiteral("out")),
                QStringLiteral("--cookies"),
                dir.filePath(QStringLiteral("cookies.txt"))};
    }

    bool waitForStall() const {
        for (int i = 0; i < 2000 && portal.stallsBegun() == 0; ++i)
            std::this_thread::sleep_for(5ms);
        return portal.stallsBegun() == 1;
    }

    const QString binary = QStringLiteral(ORVANA_BINARY_DIR "/cli/orvana-dl-cli");
    portal::PortalSim portal{portal::DemoCatalogue(), portal::PortalOptions{kSongBytes, 60s}};
    QTemporaryDir dir;
};

// Without a login cookie the 128 kbps hint comes first.
const QByteArray kLinesBeforeTheStall =
    jobs::UserText(jobs::kLoginHint).toUtf8() + '\n' +
    QByteArrayLiteral("下载专辑封面: 《夜航星: 第一辑 <Live>.》 ... \n"
                      "正在下载MP3: 晴天的海 ...\n");

} // namespace

TEST_F(LiveOutputTest, StatusLinesReachAPipeWhileTheSongStallsAndSurviveAnInterrupt) {
    QProcess child;
    child.start(binary, args());
    ASSERT_TRUE(child.waitForStarted());
    ASSERT_TRUE(waitForStall());
    // Give the lines written before the stall time to cross the pipe.
    QByteArray seen;
    for (int i = 0; i < 200 && seen.size() < kLinesBeforeTheStall.size(); ++i) {
        child.waitForReadyRead(10);
        seen += child.readAllStandardError();
    }
    EXPECT_EQ(seen, kLinesBeforeTheStall);

    ::kill(pid_t(child.processId()), SIGINT);
    ASSERT_TRUE(child.waitForFinished(5000));
    seen += child.readAllStandardError();
    EXPECT_EQ(child.exitStatus(), QProcess::CrashExit);
    EXPECT_EQ(seen, kLinesBeforeTheStall);
}

// Each JSON line is flushed as it is written: the album's line is on the pipe while its first
// song stalls, and the stream so far is whole lines.
TEST_F(LiveOutputTest, JsonLinesReachAPipeWhileTheSongStalls) {
    QProcess child;
    child.start(binary, args() << QStringLiteral("--json"));
    ASSERT_TRUE(child.waitForStarted());
    ASSERT_TRUE(waitForStall());
    const QByteArray album = "{\"event\":\"album\",\"id\":\"31258219\",";
    QByteArray seen;
    for (int i = 0; i < 200 && !seen.contains(album); ++i) {
        child.waitForReadyRead(10);
        seen += child.readAllStandardOutput();
    }
    EXPECT_TRUE(seen.startsWith(album)) << seen.toStdString();
    EXPECT_TRUE(seen.endsWith('\n')) << seen.toStdString();
    ::kill(pid_t(child.processId()), SIGKILL);
    ASSERT_TRUE(child.waitForFinished(5000));
}

// On a terminal the bar is redrawn while the song's bytes trickle in, before the song ends.
TEST(LiveOutputOnATerminal, ProgressBarIsRedrawnWhileBytesArrive) {
    const QString binary = QStringLiteral(ORVANA_BINARY_DIR "/cli/orvana-dl-cli");
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    test_support::MiniPortal mini;
    mini.song = std::string(3000, 'x');
    mini.songChunks = 10;
    mini.songPause = 150ms;
    const QStringList list = {QStringLiteral("album"),
                              QStringLiteral("7"),
                              QStringLiteral("--portal-host"),
                              mini.host(),
                              QStringLiteral("-o"),
                              dir.filePath(QStringLiteral("out")),
                              QStringLiteral("--cookies"),
                              QStringLiteral("/dev/null")};
    std::vector<QByteArray> storage{QFile::encodeName(binary)};
    for (const QString& a : list)
        storage.push_back(a.toUtf8());
    std::vector<char*> argv;
    for (QByteArray& s : storage)
        argv.push_back(s.data());
    argv.push_back(nullptr);

    int master = -1;
    const pid_t pid = forkpty(&master, nullptr, nullptr, nullptr);
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        execv(argv[0], argv.data());
        _exit(127);
    }
    const QRegularExpression partBar(
        QString::fromUtf8(R"(\r  \[(#{1,29})-{1,29}\] 0\.0/0\.0 MiB  [0-9.]+ MiB/s\x1b\[K)"));
    auto partFills = [&](const QString& text) {
        QSet<int> fills;
        for (auto it = partBar.globalMatch(text); it.hasNext();)
            fills.insert(int(it.next().captured(1).size()));
        return fills;
    };
    QByteArray seen;
    int status = 0;
    bool reaped = false;
    std::optional<bool> runningWhenBarsSeen;
    const auto deadline = std::chrono::steady_clock::now() + 20s;
    while (std::chrono::steady_clock::now() < deadline) {
        pollfd p{master, POLLIN, 0};
        if (poll(&p, 1, 50) <= 0)
            continue;
        char buffer[4096];
        const ssize_t n = read(master, buffer, sizeof buffer);
        if (n <= 0)
            break; // the child has closed the terminal
        seen.append(buffer, n);
        // Two bars of part of the song while most of it is still to come: they were drawn live.
        if (!runningWhenBarsSeen && partFills(QString::fromUtf8(seen)).size() >= 2) {
            reaped = waitpid(pid, &status, WNOHANG) == pid;
            runningWhenBarsSeen = !reaped;
        }
    }
    if (!reaped && waitpid(pid, &status, WNOHANG) == 0) {
        ::kill(pid, SIGKILL);
        waitpid(pid, &status, 0);
    }
    close(master);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << seen.toStdString();
    EXPECT_EQ(runningWhenBarsSeen, std::optional<bool>(true)) << seen.toStdString();
    // The terminal turns "\n" into "\r\n". The bars come between the song's line and the end.
    const QString text = QString::fromUtf8(seen);
    const qsizetype songLine = text.indexOf(QStringLiteral("正在下载MP3: 歌七十 ...\r\n"));
    const qsizetype end = text.indexOf(QStringLiteral("指定专辑下载完毕."));
    ASSERT_GE(songLine, 0) << seen.toStdString();
    ASSERT_GT(end, songLine) << seen.toStdString();
    EXPECT_GE(partFills(text.mid(songLine, end - songLine)).size(), 2) << seen.toStdString();
}

// What the tool prints to stdout is its result: a redirection that cannot take it (a full disk)
// must not end as success.
TEST(StandardOutput, AFullDiskFailsTheRunWithTheReason) {
    if (!QFile::exists(QStringLiteral("/dev/full")))
        GTEST_SKIP() << "no /dev/full here";
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString input = dir.filePath(QStringLiteral("in.json"));
    {
        QFile file(input);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(R"({"a":[1,2,3]})");
    }
    const QStringList runs[] = {{QStringLiteral("json"), input}, {QStringLiteral("--version")}};
    for (const QStringList& args : runs) {
        QProcess child;
        child.setStandardOutputFile(QStringLiteral("/dev/full"));
        child.start(QStringLiteral(ORVANA_BINARY_DIR "/cli/orvana-dl-cli"), args);
        ASSERT_TRUE(child.waitForFinished(10000));
        EXPECT_EQ(child.exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(child.exitCode(), 1) << args.first().toStdString();
        EXPECT_EQ(QString::fromUtf8(child.readAllStandardError()),
                  QStringLiteral("cannot write the standard output: No space left on device\n"));
    }
}
