#pragma once

#include "jobs/job_events.h"
#include "net/mod_down_file.h"

#include <QDateTime>
#include <QString>
#include <chrono>
#include <memory>
#include <vector>

namespace orvana::jobs {

// What a job reports to its front end. Called on the job's thread (or, while songs are fetched
// in parallel, on one of its worker threads: the job never lets two calls overlap). A GUI host
// forwards to its window thread, the command line writes to stderr or stdout. Only the first
// two are required; the events tell a front end that lists results what happened, in order.
class JobHost {
public:
    virtual ~JobHost() = default;
    // The status line, replaced whole by text.
    virtual void setStatus(const QString& text) = 0;
    // A message box with an OK button; returns when the user has closed it.
    virtual void showMessage(const QString& text) = 0;
    // Bytes of a song file in flight (total -1 when unknown).
    virtual void songProgress(const SongRef& song, qint64 received, qint64 total);
    // An album's folder is decided; its cover and songs follow.
    virtual void albumStarted(const AlbumInfo& album);
    // The job is done with a song of the album.
    virtual void songFinished(const SongEvent& song);
    // A failure that is no single song's (see JobError).
    virtual void jobError(const JobError& error);
    // An album's songs are all handled; songs counts them.
    virtual void albumFinished(const AlbumInfo& album, const Tally& songs);
};

// Waits between attempts. Tests replace it to record the pauses and not wait.
class JobClock {
public:
    virtual ~JobClock() = default;
    // Waits for duration, or less when cancel is set meanwhile. Any thread.
    virtual void sleep(std::chrono::milliseconds duration, const net::CancelToken* cancel);
    // The local date and time that status texts show.
    [[nodiscard]] virtual QDateTime now() const { return QDateTime::currentDateTime(); }
};

// How a song that could not be fetched is tried again.
struct RetrySettings {
    // Attempts of one song in all.
    int attempts = 5;
    // Pause before attempt 2, 3, ...; the last value repeats if attempts outgrow the list.
    std::vector<std::chrono::milliseconds> pauses{std::chrono::seconds(1), std::chrono::seconds(2),
                                                  std::chrono::seconds(4), std::chrono::seconds(8)};
    // A server's Retry-After is obeyed up to this long.
    std::chrono::milliseconds maxRetryAfter{std::chrono::seconds(60)};
};

// Everything a job is given besides its ID, its transport and its host.
struct JobSettings {
    QString portalHost;      // "host" or "host:port"
    QString outputRoot;      // the folder albums (or singer folders) are created in
    net::ProxySetting proxy; // the proxy box and its text
    RetrySettings retry;
    std::shared_ptr<JobClock> clock;                // null: real time
    std::shared_ptr<const net::CancelToken> cancel; // null: not cancellable
};

} // namespace orvana::jobs
