#pragma once

#include "jobs/down_album.h"

#include <QList>
#include <QString>
#include <chrono>
#include <vector>

namespace orvana::jobs {

// How a refused album-list page is tried again, and how far the pages may go.
struct AlbumListSettings {
    // Requests of one page in all before the singer is given up.
    int attempts = 10;
    // Pause before request 2, 3, ...; the last value repeats.
    std::vector<std::chrono::milliseconds> pauses{
        std::chrono::seconds(1), std::chrono::seconds(2),  std::chrono::seconds(4),
        std::chrono::seconds(8), std::chrono::seconds(16), std::chrono::seconds(30)};
    // The portal's offset is a 16-bit counter: no page past this offset is requested.
    int maxOffset = 32767;
};

// What a singer job did; handed back once, at the end.
struct SingerSummary {
    JobOutcome outcome = JobOutcome::Finished;
    QString name;                   // the singer name as the page gives it
    QString folder;                 // the singer folder
    bool singerPageMissing = false; // the singer page could not be fetched or has no name
    bool listGivenUp = false;       // an album-list page was refused every time
    bool offsetLimitReached = false;
    int stoppedAtOffset = -1;   // the offset given up or not requested, else -1
    QList<int> unreadablePages; // offsets of valid pages from which no album list could be read
    QList<AlbumSummary> albums;

    // The songs of every album.
    [[nodiscard]] Tally tally() const;
    // Every album of the list was reached and is complete.
    [[nodiscard]] bool complete() const;
};

// Downloads every album of singer singerId into settings.outputRoot + "/" + the singer name:
// per album a folder with "cover.jpg" and the songs, as DownAlbum stores them. Pages through
// the album list ten at a time until a valid page holds no album. Never throws.
[[nodiscard]] SingerSummary DownSinger(const QString& singerId, net::ModDownFile& transport,
                                       JobHost& host, const JobSettings& settings,
                                       const AlbumListSettings& listSettings = {});

// "专辑列表获取失败,重试..." followed by the local date and time, as the status line shows it.
[[nodiscard]] QString AlbumListRetryText(const QDateTime& when);

} // namespace orvana::jobs
