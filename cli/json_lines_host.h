#pragma once

#include "cli/job_support.h"

#include <QHash>
#include <QIODevice>
#include <QString>
#include <functional>

namespace orvana::cli {

// --json: every event of a run as one JSON object on one line of out (UTF-8, flushed at once),
// field names and order as orvana-dl-cli(1) documents them; every call is also handed on to the
// inner host, which writes the human lines. Paths are written absolute. Progress is written at
// most once per kProgressGapMs per song. Calls must not overlap (the jobs' promise).
class JsonLinesHost : public jobs::ForwardingHost {
public:
    // Milliseconds of a steady clock; tests pass one they move by hand.
    using MsClock = std::function<qint64()>;
    static constexpr qint64 kProgressGapMs = 100;

    JsonLinesHost(QIODevice* out, jobs::JobHost& inner, RunKind kind, MsClock clock = {});

    void songProgress(const jobs::SongRef& song, qint64 received, qint64 total) override;
    void albumStarted(const jobs::AlbumInfo& album) override;
    void songFinished(const jobs::SongEvent& song) override;
    void jobError(const jobs::JobError& error) override;
    void albumFinished(const jobs::AlbumInfo& album, const jobs::Tally& songs) override;

    // A row of a singer list (the singers command).
    void singerListed(int index, const QString& id, const QString& name);
    // The run's last line: its counts, seconds and the exit code the process returns.
    void summary(const jobs::Tally& songs, double seconds, int exitCode);

private:
    void write(const QString& line);

    QIODevice* m_out;
    RunKind m_kind;
    MsClock m_clock;
    // When each song in flight last had a progress line (album ID + "/" + song ID).
    QHash<QString, qint64> m_lastProgress;
};

} // namespace orvana::cli
