#pragma once

#include <QString>
#include <QtGlobal>

namespace orvana::jobs {

// The songs a job counted: stored in this run, present already, failed, and the bytes stored.
// It adds itself, so a singer's or a whole run's counts are the sum of their albums'.
struct Tally {
    int stored = 0;
    int present = 0; // archived songs included
    int failed = 0;
    qint64 bytes = 0;
    int planned = 0; // a dry run's songs that would be fetched

    Tally& operator+=(const Tally& other);
    bool operator==(const Tally&) const = default;
};

// An album as the events name it.
struct AlbumInfo {
    QString id;
    QString title;  // as the portal gives it; empty while the album page is not read
    QString folder; // absolute; empty while not decided
};

// A song as the progress events name it.
struct SongRef {
    QString albumId;
    QString songId;
};

enum class SongState {
    Saved,    // fetched and named in this run
    Present,  // its file was there already
    Archived, // the download archive lists it: skipped before its download page
    Planned,  // a dry run: it would be fetched
    Failed,   // could not be had; the event's reason says why
    Stopped,  // in flight when the job was cancelled: nothing of it was kept
};

// A song the job is done with, in the order the job handled the album's songs.
struct SongEvent {
    AlbumInfo album;
    QString songId;
    QString title; // as the portal gives it
    SongState state = SongState::Saved;
    QString path;     // the file: stored or present, else the path it would have had
    qint64 bytes = 0; // Saved: the bytes stored
    QString reason;   // Failed: why, in words
};

// A failure that is no single song's: an album page, song list, album folder or cover that could
// not be had, a singer page, an album-list page given up or unreadable.
struct JobError {
    AlbumInfo album;  // the album it belongs to; an empty id for a singer's failure
    QString singerId; // the singer job's singer, else empty
    QString message;  // the failure line, as the command line prints it
};

} // namespace orvana::jobs
