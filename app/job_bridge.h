#pragma once

#include "jobs/catalogue.h"
#include "jobs/down_album.h"
#include "jobs/down_singer.h"
#include "net/mod_down_file.h"

#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QTimer>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

namespace orvana::app {

class JobThread;

// The singer list as the worker sees it: the tick and ID of each row, kept in step with the
// window's two lists by the window thread, read by the worker when its loop reaches a row.
// Thread-safe.
class TickedRows {
public:
    // Replaces the rows; every row unticked.
    void setRows(const QStringList& ids);
    void setTicked(int row, bool ticked);
    // The row's ID when it exists and is ticked, else nullopt.
    [[nodiscard]] std::optional<QString> tickedId(int row) const;
    [[nodiscard]] int count() const;

private:
    mutable std::mutex m_mutex;
    QStringList m_ids;
    std::vector<bool> m_ticked;
};

// The proxy controls as the worker sees them: set by the window thread on every change, read by
// a ticked run when each singer starts. Thread-safe.
class ProxyControls {
public:
    void set(net::ProxySetting setting);
    [[nodiscard]] net::ProxySetting get() const;

private:
    mutable std::mutex m_mutex;
    net::ProxySetting m_setting;
};

// Runs the window's jobs off the window thread: downloads on one worker thread owning its
// transport, get-singers on a second one with its own transport sharing the session (cookies
// and proxy). Lives on the window thread; every callback and signal arrives there, queued.
// Each download job has a token of its own (a stop cancels only it); closing cancels that and the
// token of both threads' transfers, retry pauses and message waits.
class JobBridge : public QObject {
    Q_OBJECT
public:
    JobBridge(std::shared_ptr<net::TransportSession> session, net::TransferSettings transfer,
              QObject* parent = nullptr);
    // Cancels and waits for both threads (which end promptly once cancelled).
    ~JobBridge() override;

    // A fresh token for the download job about to start, the one stopDownload cancels; born
    // cancelled once cancelAll has run. Window thread.
    [[nodiscard]] std::shared_ptr<const net::CancelToken> newDownloadToken();
    // Cancels the download job's token only: a get-singers fetch goes on, the next job starts
    // afresh. Any thread.
    void stopDownload();

    // Shows a job's message (a box); the job's thread waits until it returns or cancelAll.
    void setMessageHandler(std::function<void(const QString&)> handler);

    // Queues task on the download thread, given its transport and the bridge's job host; done
    // runs on the window thread once the task has returned. The run* calls below use it.
    void runOnJobThread(std::function<void(net::ModDownFile&, jobs::JobHost&)> task,
                        std::function<void()> done);

    // Queue a job on the download thread; done runs on the window thread when it has ended.
    void runAlbum(const QString& albumId, const jobs::JobSettings& settings,
                  std::function<void(const jobs::AlbumSummary&)> done);
    void runSinger(const QString& singerId, const jobs::JobSettings& settings,
                   const jobs::AlbumListSettings& listSettings,
                   std::function<void(const jobs::SingerSummary&)> done);
    // Each singer starts with the proxy as proxy holds it then (null: the settings' proxy).
    void runTicked(int rowCount, std::shared_ptr<const TickedRows> rows,
                   std::shared_ptr<const ProxyControls> proxy, const jobs::JobSettings& settings,
                   const jobs::AlbumListSettings& listSettings,
                   std::function<void(const jobs::TickedRunSummary&)> done);

    // Fetches the singers of a category row on the get-singers thread; exactly one of done and
    // failed (with the reason in words) runs on the window thread.
    void getSingers(const QString& portalHost, int row,
                    std::function<void(const jobs::SingerLists&)> done,
                    std::function<void(const QString& reason)> failed);

    // Cancels the close token (both threads' transfers) and the download job's token, and ends
    // every wait for a message box at once. Any thread.
    void cancelAll();
    // cancelAll, then waits up to timeout for both threads to end; true when they did.
    [[nodiscard]] bool shutdown(std::chrono::milliseconds timeout);

Q_SIGNALS:
    // A job's status text, whole.
    void statusChanged(const QString& text);
    // Bytes of the song in flight (total -1 when unknown): the latest value, at most once per
    // 50 ms (20 a second) and only when it changed, however often the transfer reports.
    void songProgress(qint64 received, qint64 total);
    // A download job is done with a song, or met a failure that is no single song's; in the
    // order the job reported them, before the job's done call.
    void songFinished(const orvana::jobs::SongEvent& song);
    void jobError(const orvana::jobs::JobError& error);

private:
    class Host;
    friend class Host;

    // Called on a job thread: shows text through the handler and waits.
    void showMessageAndWait(const QString& text);
    template <typename F> void toWindow(F&& f);
    void jobQueued();
    void jobDone();
    void deliverProgress();

    struct Progress {
        qint64 received = -1; // -1: no song in flight
        qint64 total = -1;
        bool operator==(const Progress&) const = default;
    };

    // Set once, on close; the download job's own token is m_download.
    std::shared_ptr<net::CancelToken> m_cancel = std::make_shared<net::CancelToken>();
    std::mutex m_downloadMutex;
    std::shared_ptr<net::CancelToken> m_download;
    std::function<void(const QString&)> m_messageHandler;
    std::mutex m_waitMutex;
    std::condition_variable m_waitCv;
    std::mutex m_progressMutex;
    Progress m_latest;    // written by the download thread
    Progress m_delivered; // window thread
    QElapsedTimer m_sinceDelivery;
    QTimer* m_progressTimer;
    int m_queued = 0;
    std::unique_ptr<JobThread> m_jobs;
    std::unique_ptr<JobThread> m_singers;
};

} // namespace orvana::app
