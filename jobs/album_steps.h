#pragma once

#include "jobs/album_folder.h"
#include "jobs/album_summary.h"
#include "jobs/job_host.h"
#include "jobs/job_report.h"
#include "jobs/song_list.h"
#include "net/html_document.h"
#include "net/mod_down_file.h"

#include <QHash>
#include <QMap>
#include <QString>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>

namespace orvana::jobs {

// The folder, cover and song steps of an album, shared by the album and singer jobs. Runs on the
// transport's thread; with settings.download.parallel > 1 the songs of an album are fetched by
// that many workers at once, each on a transport of its own from the same session, and the
// host's calls are made one at a time. Absorbs every failure (counted in the summary and told
// to the host as an event), never throws.
class AlbumSteps {
public:
    // Binds settings.cancel to the transport, so the job's one token stops its transfers too.
    // scope says which job the album belongs to (its failure texts differ).
    AlbumSteps(net::ModDownFile& transport, JobHost& host, const JobSettings& settings,
               AlbumScope scope);
    ~AlbumSteps();

    // The singer whose albums these are (singer and ticked jobs), for the songs' tags.
    void setArtist(const QString& name) { m_artist = name; }

    // One album whose page (or album-list entry) was read: album.id and album.title are set.
    // Makes its folder under parent, stores the cover from img, then fetches the song list and
    // every song; tells the host the album's start and end. A dry run fetches the song list
    // only and makes nothing.
    void runAlbum(const QString& parent, const net::HtmlElement& img, AlbumSummary& album);

    // GETs a page into the transport's buffer, tried as often as a song (with its pauses), and
    // gives its text; nullopt with the last failure in reason when every attempt failed (or
    // the job was cancelled).
    [[nodiscard]] std::optional<QString> fetchPage(const QString& url, QString& reason);

    // Tells the host of a failure that is no single song's.
    void reportError(const AlbumInfo& album, const QString& message);

    [[nodiscard]] bool cancelled() const;
    [[nodiscard]] bool dryRun() const { return m_settings.download.dryRun; }

private:
    class SerialHost;
    // The job's host through m_serialHost: every call to it goes this way.
    [[nodiscard]] JobHost& host() const;

    // How a run of attempts ended.
    struct Retried {
        enum class End {
            Done,      // an attempt returned
            Cancelled, // the job was cancelled
            Permanent, // a failure no attempt can mend; reason says which
            Exhausted, // every attempt failed; reason is the last failure
        };
        End end = End::Done;
        QString reason;
        int attempts = 0;
    };
    // Runs attempt until it returns, fails for good, the job is cancelled or the retry
    // settings' attempts are spent; a TransportError is a failed attempt, followed by the
    // settings' pause (longer when the server asked for it). Other errors pass to the caller.
    Retried withRetries(const std::function<void()>& attempt);
    void pause(int attempt, std::optional<int> retryAfterSeconds);

    // The folder of the album under parent, named after the cleaned title (cut to the name
    // limit), or the ID when the title cleans to nothing; numbered " (2)", " (3)" ... where the
    // name belongs to another album (AlbumFolderChooser). Sets album.folder, and
    // album.folderError when the folder cannot be made (nothing is stored then).
    void makeAlbumFolder(const QString& parent, AlbumSummary& album);
    // Shows the cover status, reads the cover address from img ("org_src" when "src" holds
    // "blank"), fetches it and writes folder + "/cover.jpg". A failed or empty fetch leaves an
    // existing cover.jpg as it was; a folder standing at "cover.jpg" is album.coverError.
    void storeCover(const net::HtmlElement& img, AlbumSummary& album);
    // The song list and every song of it; the songs still being named are named, the archive
    // synced and the playlist written before this returns.
    void downloadSongs(AlbumSummary& album);
    // The songs of list, settings.download.parallel at a time.
    void fetchSongs(const SongList& list, AlbumSummary& album);
    void planSong(const PlannedSong& song, AlbumSummary& album);
    void downloadSong(const PlannedSong& song, AlbumSummary& album, net::ModDownFile& transport);
    // One attempt at a song: its download page, then its file. Failures that another attempt
    // cannot mend are counted here; the others throw.
    void fetchSong(const PlannedSong& song, AlbumSummary& album, net::ModDownFile& transport);
    [[nodiscard]] QString downloadPageAddress(const QString& songId) const;
    // The tags of a song when they are asked for.
    [[nodiscard]] std::optional<net::SongTags> tagsOf(const PlannedSong& song,
                                                      const AlbumSummary& album) const;
    // The album's end: the waiting events told, the archive synced, the playlist written.
    void finishSongs(const SongList& list, AlbumSummary& album);
    void writePlaylist(const SongList& list, const AlbumSummary& album);
    // The archive lists the song (never, without an archive).
    [[nodiscard]] bool archived(const QString& songId) const;
    void archiveSong(const QString& songId);

    // A song's event goes out once every song before it in the list was told: saved songs are
    // known only when named, failures at once, and workers finish in any order. A failure
    // joins album.failures as it is told, so they stand in list order too. Any worker.
    void tellInOrder(int position, const SongEvent& event, AlbumSummary& album);
    // Under m_eventMutex: tells the waiting events that are next in line (all: every one).
    void tellWaiting(bool all, AlbumSummary& album);

    // Counts and tells the host of a song the job is done with. Any worker.
    void songFailed(const PlannedSong& song, AlbumSummary& album, const QString& reason);
    void songDone(const PlannedSong& song, AlbumSummary& album, SongState state, qint64 bytes = 0,
                  const QString& path = {});

    net::ModDownFile& m_transport;
    std::unique_ptr<SerialHost> m_serialHost;
    const JobSettings& m_settings;
    const AlbumScope m_scope;
    QString m_base;
    QString m_artist;
    QByteArray m_cover;  // the album's cover as fetched, for the tags
    int m_songCount = 0; // songs in the album's list, for the tags' "n/N"
    JobClock m_realClock;
    AlbumFolderChooser m_folders;
    std::mutex m_albumMutex;           // the album summary and m_written, shared by the workers
    QHash<QString, QString> m_written; // song ID -> file named in this album
    std::mutex m_eventMutex;           // the song events waiting for their turn
    QMap<int, SongEvent> m_waitingEvents;
    int m_nextEventPosition = 1;
};

} // namespace orvana::jobs
