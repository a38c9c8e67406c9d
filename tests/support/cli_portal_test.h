// A fixture for orvana-dl-cli download runs against the sample portal on 127.0.0.1: in process
// (RunDownloadCli) or as the built binary, into a fresh folder, with an empty cookie file.
#pragma once

#include "tests/jobs/job_test_support.h"
#include "tests/support/cli_runner.h"
#include "tools/portal-sim/portal_sim.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <map>
#include <ostream>
#include <thread>

// Failures show texts as text.
inline void PrintTo(const QString& text, std::ostream* os) {
    *os << '"' << text.toStdString() << '"';
}

namespace orvana::test_support {

class CliPortalTest : public testing::Test {
protected:
    explicit CliPortalTest(portal::Catalogue catalogue = portal::DemoCatalogue(),
                           portal::PortalOptions options = {3000, std::chrono::seconds(60)})
        : portal(std::move(catalogue), options) {}

    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        portal.start();
        host = QString::fromStdString(portal.host());
        cookieFile = dir.filePath(QStringLiteral("cookies.txt"));
        QFile(cookieFile).open(QIODevice::WriteOnly);
    }

    // The portal, the output folder and our empty cookie file: the user's login never leaks in.
    QStringList common(const QString& out) const {
        return {QStringLiteral("--portal-host"), host,      QStringLiteral("-o"), out,
                QStringLiteral("--cookies"),     cookieFile};
    }
    DownloadRun run(const QStringList& args, const QString& out = {}) {
        return RunDownloadCli(args + common(out.isEmpty() ? output() : out), clock);
    }

    QString output() const { return dir.filePath(QStringLiteral("out")); }
    static QString binary() { return QStringLiteral(ORVANA_BINARY_DIR "/cli/orvana-dl-cli"); }

    // Runs the built binary with args and kills it once a song body has begun to stall (give
    // the portal a StallMidBody fault first).
    void killAtFirstStall(const QStringList& args, const QProcessEnvironment& environment =
                                                       QProcessEnvironment::systemEnvironment()) {
        ASSERT_TRUE(QFile::exists(binary())) << binary().toStdString();
        QProcess child;
        child.setProcessEnvironment(environment);
        child.start(binary(), args);
        ASSERT_TRUE(child.waitForStarted());
        for (int i = 0; i < 2000 && portal.stallsBegun() == 0; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        ASSERT_EQ(portal.stallsBegun(), 1);
        child.kill();
        ASSERT_TRUE(child.waitForFinished());
    }

    portal::PortalSim portal;
    QTemporaryDir dir;
    QString host;
    QString cookieFile;
    // Retry pauses are recorded, not waited for.
    std::shared_ptr<RecordingClock> clock = std::make_shared<RecordingClock>();
};

// Every file under root (hidden ones too), relative, with its bytes.
inline std::map<QString, QByteArray> FileTree(const QString& root) {
    std::map<QString, QByteArray> files;
    QDirIterator it(root, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        files[QDir(root).relativeFilePath(path)] = readFile(path);
    }
    return files;
}

// The paths of the portal's log, in order.
inline std::vector<std::string> RequestPaths(const portal::PortalSim& portal) {
    std::vector<std::string> paths;
    for (const portal::LoggedRequest& r : portal.requests())
        paths.push_back(r.method + ' ' + r.path);
    return paths;
}

} // namespace orvana::test_support
