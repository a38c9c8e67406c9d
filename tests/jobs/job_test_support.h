// Pieces the job tests share: a host and a clock that record what the jobs tell them, and a
// fixture that starts the sample portal on 127.0.0.1 with a transport and settings for it.
#pragma once

#include "jobs/job_host.h"
#include "net/cookie_store.h"
#include "net/mod_down_file.h"
#include "tools/portal-sim/portal_sim.h"

#include <QDateTime>
#include <QFile>
#include <QStringList>
#include <QTemporaryDir>
#include <functional>
#include <gtest/gtest.h>
#include <mutex>

namespace orvana::test_support {

class RecordingHost : public jobs::JobHost {
public:
    void setStatus(const QString& text) override {
        statuses.append(text);
        if (onStatus)
            onStatus(text);
    }
    void showMessage(const QString& text) override { messages.append(text); }
    QStringList statuses;
    QStringList messages;
    std::function<void(const QString&)> onStatus;
};

// Records every pause instead of sleeping; the time it tells is fixed when `fixedNow` is valid.
// Song workers may pause at the same time.
class RecordingClock : public jobs::JobClock {
public:
    void sleep(std::chrono::milliseconds duration, const net::CancelToken*) override {
        std::lock_guard lock(mutex);
        pauses.push_back(duration);
    }
    std::mutex mutex;
    QDateTime now() const override { return fixedNow.isValid() ? fixedNow : JobClock::now(); }
    std::vector<std::chrono::milliseconds> pauses;
    QDateTime fixedNow;
};

inline QByteArray bytes(const std::string& s) {
    return QByteArray(s.data(), qsizetype(s.size()));
}

inline QByteArray readFile(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

// A job run against the sample portal with a recording host and clock, into a fresh folder.
class PortalJobTest : public testing::Test {
protected:
    PortalJobTest(portal::Catalogue catalogue, std::size_t songBytes)
        : portal(std::move(catalogue), portal::PortalOptions{songBytes, std::chrono::seconds(60)}) {
    }

    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        portal.start();
        net::TransferSettings transfer;
        transfer.stallTimeout = std::chrono::seconds(5);
        transport = std::make_unique<net::ModDownFile>(
            std::make_shared<net::TransportSession>(cookies), transfer, cancel);
        settings.portalHost = QString::fromStdString(portal.host());
        settings.outputRoot = dir.path();
        settings.clock = clock;
        settings.cancel = cancel;
    }

    portal::PortalSim portal;
    QTemporaryDir dir;
    std::shared_ptr<net::CookieStore> cookies = std::make_shared<net::CookieStore>();
    std::shared_ptr<net::CancelToken> cancel = std::make_shared<net::CancelToken>();
    std::shared_ptr<RecordingClock> clock = std::make_shared<RecordingClock>();
    std::unique_ptr<net::ModDownFile> transport;
    jobs::JobSettings settings;
    RecordingHost host;
};

} // namespace orvana::test_support
