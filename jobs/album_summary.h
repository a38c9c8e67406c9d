#pragma once

#include "jobs/job_events.h"

#include <QList>
#include <QString>

namespace orvana::jobs {

enum class JobOutcome {
    Finished,   // every step ran (songs may still have failed)
    NotStarted, // the ID is not numeric, or the ticked proxy text cannot be read
    Cancelled,  // the cancel token was set
};

// One song that could not be had, and why, in words.
struct SongFailure {
    QString songId;
    QString title;
    QString reason;
};

// What an album job did; handed back once, at the end.
struct AlbumSummary {
    JobOutcome outcome = JobOutcome::Finished;
    QString id;                    // the album ID
    QString title;                 // the album title as the page gives it
    QString folder;                // the album folder
    bool albumPageMissing = false; // the album page could not be fetched: nothing was written
    QString albumPageError;        // why, in words
    bool songListMissing = false;  // the song list could not be fetched or read
    QString coverError;            // the cover could not be stored for a local reason
    QString folderError;           // the album folder could not be made: nothing was stored
    int listed = 0;                // different songs in the song list
    int stored = 0;                // songs fetched and written in this run
    int present = 0;               // songs whose file existed already (or the archive lists)
    int planned = 0;               // a dry run's songs that would be fetched
    qint64 bytes = 0;              // bytes of the songs stored in this run
    QList<SongFailure> failures;

    [[nodiscard]] int failed() const { return int(failures.size()); }
    [[nodiscard]] Tally tally() const { return {stored, present, failed(), bytes, planned}; }
    [[nodiscard]] AlbumInfo info() const { return {id, title, folder}; }
    // Every song of the album is on disk now.
    [[nodiscard]] bool complete() const {
        return outcome == JobOutcome::Finished && !albumPageMissing && !songListMissing &&
               failures.isEmpty() && coverError.isEmpty() && folderError.isEmpty();
    }
};

} // namespace orvana::jobs
