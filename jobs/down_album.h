#pragma once

#include "jobs/album_folder.h"
#include "jobs/job_host.h"
#include "jobs/user_texts.h"
#include "net/html_document.h"
#include "net/mod_down_file.h"

#include <QString>
#include <QStringList>
#include <functional>

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

// The songs a job counted: stored in this run, present already, failed, and the bytes stored.
// It adds itself, so a singer's or a whole run's counts are the sum of their albums'.
struct Tally {
    int stored = 0;
    int present = 0;
    int failed = 0;
    qint64 bytes = 0;

    Tally& operator+=(const Tally& other);
    bool operator==(const Tally&) const = default;
};

// What an album job did; handed back once, at the end.
struct AlbumSummary {
    JobOutcome outcome = JobOutcome::Finished;
    QString title;                 // the album title as the page gives it
    QString folder;                // the album folder
    bool albumPageMissing = false; // the album page could not be fetched: nothing was written
    QString albumPageError;        // why, in words
    bool songListMissing = false;  // the song list could not be fetched or read
    QString coverError;            // the cover could not be stored for a local reason
    QString folderError;           // the album folder could not be made: nothing was stored
    int listed = 0;                // different songs in the song list
    int stored = 0;                // songs fetched and written in this run
    int present = 0;               // songs whose file existed already
    qint64 bytes = 0;              // bytes of the songs stored in this run
    QList<SongFailure> failures;

    [[nodiscard]] int failed() const { return int(failures.size()); }
    [[nodiscard]] Tally tally() const { return {stored, present, failed(), bytes}; }
    // Every song of the album is on disk now.
    [[nodiscard]] bool complete() const {
        return outcome == JobOutcome::Finished && !albumPageMissing && !songListMissing &&
               failures.isEmpty() && coverError.isEmpty() && folderError.isEmpty();
    }
};

// The cover and song steps of an album, shared by the album and singer jobs. Runs on the
// transport's thread; absorbs every failure (counted in the summary), never throws.
class AlbumSteps {
public:
    // Binds settings.cancel to the transport, so the job's one token stops its transfers too.
    AlbumSteps(net::ModDownFile& transport, JobHost& host, const JobSettings& settings);

    // The folder of album albumId under parent, named after the cleaned title (cut to the name
    // limit), or the ID when the title cleans to nothing; numbered " (2)", " (3)" ... where the
    // name belongs to another album (AlbumFolderChooser). Sets summary.folder, and
    // summary.folderError when the folder cannot be made (nothing is stored then).
    void makeAlbumFolder(const QString& parent, const QString& title, const QString& albumId,
                         AlbumSummary& summary);

    // Shows the cover status, reads the cover address from img ("org_src" when "src" holds
    // "blank"), fetches it and writes folder + "/cover.jpg". A failed or empty fetch leaves an
    // existing cover.jpg as it was.
    // A folder standing at "cover.jpg" is reported in summary.coverError.
    void storeCover(const QString& title, const net::HtmlElement& img, const QString& folder,
                    AlbumSummary& summary);

    // The song list of albumId and every song of it, into folder.
    void downloadSongs(const QString& albumId, const QString& folder, AlbumSummary& summary);

    // GETs a page into the transport's buffer, tried as often as a song (with its pauses), and
    // gives its text; nullopt with the last failure in reason when every attempt failed (or
    // the job was cancelled).
    [[nodiscard]] std::optional<QString> fetchPage(const QString& url, QString& reason);

    [[nodiscard]] bool cancelled() const;

private:
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

    void downloadSong(const QString& songId, const QString& title, const QString& path,
                      AlbumSummary& summary);
    // One attempt at a song: its download page, then its file. Failures that another attempt
    // cannot mend are counted here; the others throw.
    void fetchSong(const QString& songId, const QString& title, const QString& path,
                   AlbumSummary& summary);
    [[nodiscard]] QString downloadPageAddress(const QString& songId) const;
    void pause(int attempt, std::optional<int> retryAfterSeconds);

    net::ModDownFile& m_transport;
    JobHost& m_host;
    const JobSettings& m_settings;
    QString m_base;
    JobClock m_realClock;
    AlbumFolderChooser m_folders;
};

// The "html" member of the "data" member of a song-list or album-list answer. The parser's
// partly built tree counts, whatever its messages say (an answer cut short after the member
// still lists everything before the cut); parserMessages tells the caller it was cut.
struct ListAnswer {
    std::optional<QString> html; // nullopt: the answer holds no such member
    bool parserMessages = false;
};
[[nodiscard]] ListAnswer ReadListAnswer(const QString& text);

// Applies the job's proxy setting to the transport. A ticked text that cannot be read shows
// kInvalidProxy and gives false: the job must not start (never a direct connection instead).
[[nodiscard]] bool ApplyJobProxy(net::ModDownFile& transport, JobHost& host,
                                 const JobSettings& settings);

// Downloads album albumId into settings.outputRoot: the album folder, "cover.jpg" and one MP3
// per song; songs whose file exists are skipped. Never throws.
[[nodiscard]] AlbumSummary DownAlbum(const QString& albumId, net::ModDownFile& transport,
                                     JobHost& host, const JobSettings& settings);

} // namespace orvana::jobs
