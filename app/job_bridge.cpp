#include "app/job_bridge.h"

#include "json/error.h"
#include <QMetaObject>
#include <QThread>
#include <deque>

namespace orvana::app {

namespace {

// At most 20 song-progress updates a second reach the window thread.
constexpr int kProgressIntervalMs = 50;

} // namespace

void TickedRows::setRows(const QStringList& ids) {
    std::lock_guard lock(m_mutex);
    m_ids = ids;
    m_ticked.assign(std::size_t(ids.size()), false);
}

void TickedRows::setTicked(int row, bool ticked) {
    std::lock_guard lock(m_mutex);
    if (row >= 0 && std::size_t(row) < m_ticked.size())
        m_ticked[std::size_t(row)] = ticked;
}

std::optional<QString> TickedRows::tickedId(int row) const {
    std::lock_guard lock(m_mutex);
    if (row < 0 || std::size_t(row) >= m_ticked.size() || !m_ticked[std::size_t(row)])
        return std::nullopt;
    return m_ids.at(row);
}

int TickedRows::count() const {
    std::lock_guard lock(m_mutex);
    return int(m_ids.size());
}

void ProxyControls::set(net::ProxySetting setting) {
    std::lock_guard lock(m_mutex);
    m_setting = std::move(setting);
}

net::ProxySetting ProxyControls::get() const {
    std::lock_guard lock(m_mutex);
    return m_setting;
}

// A worker thread that owns one transport and runs queued tasks with it, one at a time.
class JobThread : public QThread {
public:
    using Task = std::function<void(net::ModDownFile&)>;

    JobThread(std::shared_ptr<net::TransportSession> session, net::TransferSettings transfer,
              std::shared_ptr<const net::CancelToken> cancel)
        : m_session(std::move(session)), m_transfer(std::move(transfer)),
          m_cancel(std::move(cancel)) {}

    void post(Task task) {
        {
            std::lock_guard lock(m_mutex);
            if (m_stopping)
                return;
            m_tasks.push_back(std::move(task));
        }
        m_cv.notify_one();
        if (!isRunning())
            start();
    }

    // Drops queued tasks; the running one ends by the cancel token. Returns at once.
    void stop() {
        {
            std::lock_guard lock(m_mutex);
            m_stopping = true;
            m_tasks.clear();
        }
        m_cv.notify_one();
    }

protected:
    void run() override {
        // Created and destroyed here: the transport belongs to this thread.
        net::ModDownFile transport(m_session, m_transfer, m_cancel);
        for (;;) {
            Task task;
            {
                std::unique_lock lock(m_mutex);
                m_cv.wait(lock, [this] { return m_stopping || !m_tasks.empty(); });
                if (m_stopping)
                    return;
                task = std::move(m_tasks.front());
                m_tasks.pop_front();
            }
            task(transport);
        }
    }

private:
    std::shared_ptr<net::TransportSession> m_session;
    net::TransferSettings m_transfer;
    std::shared_ptr<const net::CancelToken> m_cancel;
    std::mutex m_mutex;
    std::condition_variable m_cv;
    std::deque<Task> m_tasks;
    bool m_stopping = false;
};

// The job host of the download thread: forwards to the window thread, never waits on it except
// for a message box.
class JobBridge::Host : public jobs::JobHost {
public:
    explicit Host(JobBridge* bridge) : m_bridge(bridge) {}

    void setStatus(const QString& text) override {
        {
            // A new text starts a new song: the old one's bytes are not shown under it.
            std::lock_guard lock(m_bridge->m_progressMutex);
            m_bridge->m_latest = {};
        }
        m_bridge->toWindow([b = m_bridge, text] { Q_EMIT b->statusChanged(text); });
    }
    void showMessage(const QString& text) override { m_bridge->showMessageAndWait(text); }
    void songFinished(const jobs::SongEvent& song) override {
        m_bridge->toWindow([b = m_bridge, song] { Q_EMIT b->songFinished(song); });
    }
    void jobError(const jobs::JobError& error) override {
        m_bridge->toWindow([b = m_bridge, error] { Q_EMIT b->jobError(error); });
    }
    // Only kept: the window thread's timer picks the latest value up.
    void songProgress(const jobs::SongRef&, qint64 received, qint64 total) override {
        std::lock_guard lock(m_bridge->m_progressMutex);
        m_bridge->m_latest = {received, total};
    }

private:
    JobBridge* m_bridge;
};

template <typename F> void JobBridge::toWindow(F&& f) {
    QMetaObject::invokeMethod(this, std::forward<F>(f), Qt::QueuedConnection);
}

JobBridge::JobBridge(std::shared_ptr<net::TransportSession> session, net::TransferSettings transfer,
                     QObject* parent)
    : QObject(parent), m_progressTimer(new QTimer(this)),
      m_jobs(std::make_unique<JobThread>(session, transfer, m_cancel)),
      m_singers(std::make_unique<JobThread>(session, transfer, m_cancel)) {
    // Precise: never early, so the gap check in deliverProgress does not skip a whole period.
    m_progressTimer->setTimerType(Qt::PreciseTimer);
    m_progressTimer->setInterval(kProgressIntervalMs);
    connect(m_progressTimer, &QTimer::timeout, this, &JobBridge::deliverProgress);
}

void JobBridge::jobQueued() {
    if (m_queued++ == 0)
        m_progressTimer->start();
}

void JobBridge::jobDone() {
    if (--m_queued > 0)
        return;
    m_progressTimer->stop();
    std::lock_guard lock(m_progressMutex);
    m_latest = m_delivered = {};
}

void JobBridge::deliverProgress() {
    Progress latest;
    {
        std::lock_guard lock(m_progressMutex);
        latest = m_latest;
    }
    // A late tick may be followed by a prompt one: keep the gap itself at the interval or more.
    if (latest == m_delivered ||
        (m_sinceDelivery.isValid() && m_sinceDelivery.elapsed() < kProgressIntervalMs))
        return;
    m_delivered = latest;
    m_sinceDelivery.start();
    if (latest.received >= 0)
        Q_EMIT songProgress(latest.received, latest.total);
}

JobBridge::~JobBridge() {
    (void)shutdown(std::chrono::minutes(1));
}

void JobBridge::setMessageHandler(std::function<void(const QString&)> handler) {
    m_messageHandler = std::move(handler);
}

void JobBridge::showMessageAndWait(const QString& text) {
    if (m_cancel->isCancelled())
        return;
    auto closed = std::make_shared<bool>(false);
    toWindow([this, text, closed] {
        if (m_messageHandler && !m_cancel->isCancelled())
            m_messageHandler(text);
        {
            std::lock_guard lock(m_waitMutex);
            *closed = true;
        }
        m_waitCv.notify_all();
    });
    std::unique_lock lock(m_waitMutex);
    m_waitCv.wait(lock, [this, &closed] { return *closed || m_cancel->isCancelled(); });
}

void JobBridge::runOnJobThread(std::function<void(net::ModDownFile&, jobs::JobHost&)> task,
                               std::function<void()> done) {
    jobQueued();
    m_jobs->post(
        [this, task = std::move(task), done = std::move(done)](net::ModDownFile& transport) {
            Host host(this);
            task(transport, host);
            toWindow([this, done] {
                jobDone();
                done();
            });
        });
}

void JobBridge::runAlbum(const QString& albumId, const jobs::JobSettings& settings,
                         std::function<void(const jobs::AlbumSummary&)> done) {
    // Written on the job thread before the queued done call reads it on the window thread.
    auto summary = std::make_shared<jobs::AlbumSummary>();
    runOnJobThread(
        [albumId, settings, summary](net::ModDownFile& transport, jobs::JobHost& host) {
            *summary = jobs::DownAlbum(albumId, transport, host, settings);
        },
        [done, summary] { done(*summary); });
}

void JobBridge::runSinger(const QString& singerId, const jobs::JobSettings& settings,
                          const jobs::AlbumListSettings& listSettings,
                          std::function<void(const jobs::SingerSummary&)> done) {
    auto summary = std::make_shared<jobs::SingerSummary>();
    runOnJobThread(
        [singerId, settings, listSettings, summary](net::ModDownFile& transport,
                                                    jobs::JobHost& host) {
            *summary = jobs::DownSinger(singerId, transport, host, settings, listSettings);
        },
        [done, summary] { done(*summary); });
}

void JobBridge::runTicked(int rowCount, std::shared_ptr<const TickedRows> rows,
                          std::shared_ptr<const ProxyControls> proxy,
                          const jobs::JobSettings& settings,
                          const jobs::AlbumListSettings& listSettings,
                          std::function<void(const jobs::TickedRunSummary&)> done) {
    auto run = std::make_shared<jobs::TickedRunSummary>();
    runOnJobThread(
        [rowCount, rows, proxy, settings, listSettings, run](net::ModDownFile& transport,
                                                             jobs::JobHost& host) {
            jobs::TickedRowSource source;
            source.count = rowCount;
            source.tickedId = [&rows](int row) {
                return rows->tickedId(row);
            };
            if (proxy)
                source.proxyAtStart = [&proxy] {
                    return proxy->get();
                };
            *run = jobs::DownloadTickedSingers(source, transport, host, settings, listSettings);
        },
        [done, run] { done(*run); });
}

void JobBridge::getSingers(const QString& portalHost, int row,
                           std::function<void(const jobs::SingerLists&)> done,
                           std::function<void(const QString& reason)> failed) {
    m_singers->post([this, portalHost, row, done, failed](net::ModDownFile& transport) {
        try {
            const jobs::SingerLists lists = jobs::GetSingers(transport, portalHost, row);
            toWindow([done, lists] { done(lists); });
        } catch (const Error& e) {
            toWindow([failed, reason = e.message()] { failed(reason); });
        } catch (const std::exception& e) {
            toWindow([failed, reason = QString::fromUtf8(e.what())] { failed(reason); });
        }
    });
}

std::shared_ptr<const net::CancelToken> JobBridge::newDownloadToken() {
    std::lock_guard lock(m_downloadMutex);
    m_download = std::make_shared<net::CancelToken>();
    // Read under the lock cancelAll takes next: no token escapes a close.
    if (m_cancel->isCancelled())
        m_download->cancel();
    return m_download;
}

void JobBridge::stopDownload() {
    std::lock_guard lock(m_downloadMutex);
    if (m_download)
        m_download->cancel();
}

void JobBridge::cancelAll() {
    {
        std::lock_guard lock(m_waitMutex);
        m_cancel->cancel();
    }
    m_waitCv.notify_all();
    stopDownload();
    m_jobs->stop();
    m_singers->stop();
}

bool JobBridge::shutdown(std::chrono::milliseconds timeout) {
    cancelAll();
    QDeadlineTimer deadline(timeout);
    return m_jobs->wait(deadline) && m_singers->wait(deadline);
}

} // namespace orvana::app
