#pragma once

#include "jobs/defaults.h"
#include "jobs/job_events.h"
#include "net/mod_down_file.h"

#include <QDateTime>
#include <QString>
#include <chrono>
#include <functional>
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
    // A line the user should read that is no failure: a song stored without its tags, the
    // archive or playlist that could not be written.
    virtual void warning(const QString& text);
};

// A host that hands every call on to another. Derived hosts add an output to some calls, or
// wrap every call (pass).
class ForwardingHost : public JobHost {
public:
    explicit ForwardingHost(JobHost& inner) : m_inner(inner) {}

    void setStatus(const QString& text) override {
        pass([&](JobHost& h) { h.setStatus(text); });
    }
    void showMessage(const QString& text) override {
        pass([&](JobHost& h) { h.showMessage(text); });
    }
    void songProgress(const SongRef& song, qint64 received, qint64 total) override {
        pass([&](JobHost& h) { h.songProgress(song, received, total); });
    }
    void albumStarted(const AlbumInfo& album) override {
        pass([&](JobHost& h) { h.albumStarted(album); });
    }
    void songFinished(const SongEvent& song) override {
        pass([&](JobHost& h) { h.songFinished(song); });
    }
    void jobError(const JobError& error) override {
        pass([&](JobHost& h) { h.jobError(error); });
    }
    void albumFinished(const AlbumInfo& album, const Tally& songs) override {
        pass([&](JobHost& h) { h.albumFinished(album, songs); });
    }
    void warning(const QString& text) override {
        pass([&](JobHost& h) { h.warning(text); });
    }

protected:
    // Makes one call on the inner host.
    virtual void pass(const std::function<void(JobHost&)>& call) { call(m_inner); }

private:
    JobHost& m_inner;
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

class DownloadArchive;

// What a user may ask for beyond the plain download; with everything off a job fetches, writes
// and says exactly what it always did.
struct DownloadOptions {
    // Read the album pages and song lists (a singer's page and album lists) only: create no
    // folder or file, fetch no cover, download page or song; report each song as planned or
    // present instead.
    bool dryRun = false;
    // Songs it lists are skipped before their download page (reported as archived); stored and
    // present songs are added to it. Null: none.
    std::shared_ptr<DownloadArchive> archive;
    // Write ID3v2.3 tags (title, album, track, singer, front cover) into each song stored.
    bool tags = false;
    // Write playlist.m3u8 into each album folder at the album's end.
    bool playlist = false;
    // Songs of one album fetched at the same time, 1 to kMaxParallelSongs.
    int parallel = 1;
};

// Everything a job is given besides its ID, its transport and its host.
struct JobSettings {
    QString portalHost;      // "host" or "host:port"
    QString outputRoot;      // the folder albums (or singer folders) are created in
    net::ProxySetting proxy; // the proxy box and its text
    DownloadOptions download;
    RetrySettings retry;
    std::shared_ptr<JobClock> clock;                // null: real time
    std::shared_ptr<const net::CancelToken> cancel; // null: not cancellable
};

} // namespace orvana::jobs
