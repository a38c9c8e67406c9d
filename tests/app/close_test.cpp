// The desktop program closed while a song is half way: it ends within a second, leaves no partial
// file, and a later run completes the album.
#include "tools/portal-sim/media.h"
#include "tools/portal-sim/portal_sim.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <thread>

using namespace orvana;
using namespace std::chrono_literals;

namespace {

constexpr std::size_t kSongBytes = 200000;

QByteArray readFile(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

} // namespace

TEST(FrmMainClose, ClosingDuringASongEndsAtOnceWithoutPartialFile) {
    const QString binary = QStringLiteral(ORVANA_BINARY_DIR "/tests/app/orvana_dl_click_album");
    ASSERT_TRUE(QFile::exists(binary)) << binary.toStdString();
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    portal::PortalSim portal(portal::DemoCatalogue(), portal::PortalOptions{kSongBytes, 60s});
    portal.start();
    portal.addFault(portal::Endpoint::SongFile, portal::Fault::StallMidBody);

    const QString out = dir.filePath(QStringLiteral("out"));
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    env.insert(QStringLiteral("ORVANA_PORTAL_HOST"), QString::fromStdString(portal.host()));
    env.insert(QStringLiteral("ORVANA_OUTPUT"), out);
    // Settings and cookies of a fresh profile, never the user's.
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), dir.filePath(QStringLiteral("config")));
    env.insert(QStringLiteral("XDG_DATA_HOME"), dir.filePath(QStringLiteral("data")));
    env.insert(QStringLiteral("HOME"), dir.path());

    QProcess first;
    first.setProcessEnvironment(env);
    first.start(binary, {});
    ASSERT_TRUE(first.waitForStarted());
    for (int i = 0; i < 2000 && portal.stallsBegun() == 0; ++i)
        std::this_thread::sleep_for(5ms);
    ASSERT_EQ(portal.stallsBegun(), 1);

    QElapsedTimer timer;
    timer.start();
    first.terminate(); // the window is closed
    ASSERT_TRUE(first.waitForFinished(5000));
    EXPECT_LT(timer.elapsed(), 1000);
    EXPECT_EQ(first.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(first.exitCode(), 0);

    const QString album = out + u"/夜航星 第一辑 Live";
    // Hidden files included, so a partial file would show; the album's ID marker stays.
    EXPECT_EQ(QDir(album).entryList(QDir::Files | QDir::Hidden, QDir::Name),
              QStringList({QStringLiteral(".orvana-album"), QStringLiteral("cover.jpg")}));

    // The remembered inputs were written on the way out.
    EXPECT_TRUE(QFile::exists(dir.filePath(QStringLiteral("config/orvana-dl/orvana-dl.conf"))));

    QProcess second;
    second.setProcessEnvironment(env);
    second.start(binary, {});
    ASSERT_TRUE(second.waitForStarted());
    for (int i = 0; i < 4000 && QDir(album).entryList(QDir::Files).size() < 9; ++i)
        std::this_thread::sleep_for(5ms);
    std::this_thread::sleep_for(100ms);
    second.terminate();
    ASSERT_TRUE(second.waitForFinished(5000));
    EXPECT_EQ(QDir(album).entryList(QDir::Files | QDir::Hidden).size(), 10);
    const std::string body = portal::SongBody("1001", 128, kSongBytes);
    EXPECT_EQ(readFile(album + u"/晴天的海.mp3"), QByteArray(body.data(), qsizetype(body.size())));
}

// Closed while its login window is open (the login button's handler waiting in the modal
// window's loop): both windows go and the program ends within a second.
TEST(FrmMainClose, ClosingWithTheLoginWindowOpenEndsTheProgram) {
    const QString binary = QStringLiteral(ORVANA_BINARY_DIR "/tests/app/orvana_dl_probe");
    ASSERT_TRUE(QFile::exists(binary)) << binary.toStdString();
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    portal::PortalSim portal;
    portal.start();
    portal.startFront();

    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    env.insert(QStringLiteral("ORVANA_PROBE"), QStringLiteral("login"));
    env.insert(QStringLiteral("ORVANA_PORTAL_HOST"), QString::fromStdString(portal.host()));
    env.insert(QStringLiteral("ORVANA_FRONT_HOST"), QString::fromStdString(portal.frontHost()));
    env.insert(QStringLiteral("ORVANA_OUTPUT"), dir.filePath(QStringLiteral("out")));
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), dir.filePath(QStringLiteral("config")));
    env.insert(QStringLiteral("XDG_DATA_HOME"), dir.filePath(QStringLiteral("data")));
    env.insert(QStringLiteral("HOME"), dir.path());
    // Nothing but loopback is ever asked for.
    env.insert(QStringLiteral("QTWEBENGINE_CHROMIUM_FLAGS"),
               QStringLiteral("--host-resolver-rules=\"MAP * ~NOTFOUND, EXCLUDE 127.0.0.1\""));

    QProcess program;
    program.setProcessEnvironment(env);
    program.start(binary, {});
    ASSERT_TRUE(program.waitForStarted());
    QByteArray said;
    for (int i = 0; i < 300 && !said.contains('\n'); ++i) {
        if (program.waitForReadyRead(100))
            said += program.readAllStandardOutput();
        ASSERT_EQ(program.state(), QProcess::Running);
    }
    ASSERT_EQ(said, "login page loaded\n");

    QElapsedTimer timer;
    timer.start();
    program.terminate(); // the main window is closed
    ASSERT_TRUE(program.waitForFinished(5000));
    EXPECT_LT(timer.elapsed(), 1000);
    EXPECT_EQ(program.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(program.exitCode(), 0);
    // The browser kept its profile where the cookie file lives.
    EXPECT_TRUE(QDir(dir.filePath(QStringLiteral("data/orvana-dl/browser"))).exists());
}
