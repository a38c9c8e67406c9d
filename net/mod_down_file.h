#pragma once

#include "net/file_committer.h"
#include "net/file_store.h"
#include "net/song_tags.h"
#include "net/transfer_settings.h"
#include "net/transport_error.h"
#include "net/transport_session.h"

#include <QByteArray>
#include <QNetworkProxy>
#include <QString>
#include <exception>
#include <functional>
#include <memory>
#include <optional>

namespace orvana::net {

// The proxy controls of a job: the box and its text.
struct ProxySetting {
    bool enabled = false;
    QString text;
};

// Reads a proxy text: "host:port" (an HTTP proxy), "http://host:port" or "socks5://host:port".
// nullopt when it cannot be read. Pure.
[[nodiscard]] std::optional<QNetworkProxy> ParseProxyText(const QString& text);

// A song file that a fetch wrote.
struct StoredSong {
    QString path;     // as named: the final path, or the "noTitle" fallback
    qint64 bytes = 0; // the file's size, its tag included: what a job counts as stored
    // Tags were asked for but the body was stored as it came: why, in short English words
    // ("not MPEG audio"). The file is written all the same. Empty when tagged or not asked.
    QString untagged;
};
// The file written (bytes 0 and an empty path on error), or the error.
using SongDone = std::function<void(const StoredSong& song, std::exception_ptr error)>;

// The two transports and the file store of one job thread.
//
// Byte fetches (FetchToBuffer, FetchToFile) go through the session's proxy when one was applied;
// text requests (RequestText) never do. Both send the session's cookies for the host of each
// request (and of each redirect) and hand every Set-Cookie to the store. Only http and https
// addresses and redirects are fetched; connections are kept alive between requests. Every
// transfer fails after TransferSettings::stallTimeout without a byte, below the minimum rate, on
// a final HTTP status outside 2xx, on a body shorter than its Content-Length, and on a
// Content-Encoding (none is asked for). Refused or malformed addresses (before any request),
// refused redirects, redirect loops, answers over a cap and unreadable encodings fail as permanent
// (TransportError::permanent()).
//
// Threading: create it anywhere; the first transfer binds it to the calling thread, which must
// make every later call and destroy it. Calls block; the cancel token may be set from any thread
// and stops the transfer in flight within cancelPollInterval. Several ModDownFiles of one
// session may run on several threads at once: each has its own handles, and they share the
// session's connections (kept alive from one ModDownFile to the next), DNS answers and TLS
// sessions (ConnectionPool), its cookie store and its proxy.
class ModDownFile {
public:
    explicit ModDownFile(std::shared_ptr<TransportSession> session = nullptr,
                         TransferSettings settings = {},
                         std::shared_ptr<const CancelToken> cancel = nullptr);
    ~ModDownFile();
    ModDownFile(const ModDownFile&) = delete;
    ModDownFile& operator=(const ModDownFile&) = delete;

    // Holds the body of the latest FetchToBuffer; empty after a failed one.
    QByteArray downloadBuffer;

    // Ticked: the proxy text applies to every later byte fetch of the session, for good.
    // Not ticked: nothing changes. A ticked text that cannot be read fails with
    // Error(InvalidArgument) and changes nothing (never falls back to a direct connection).
    void ApplyProxySetting(const ProxySetting& setting);

    // GET url into downloadBuffer (replaced whole). Fails with TransportError, leaving
    // downloadBuffer empty; answers over pageSizeCap fail.
    void FetchToBuffer(const QString& url);

    // GET (empty body) or POST (any other body) with "Content-Type:
    // application/x-www-form-urlencoded" on both; the answer decoded with the named character
    // set ("UTF-8" and "utf-8" alike; an unknown name fails with TransportError). Never through
    // the proxy. Fails with TransportError; answers over pageSizeCap fail.
    [[nodiscard]] QString RequestText(const QString& charset, const QString& url,
                                      const QString& body);

    // GET url streamed into a temporary file in finalPath's folder, then named finalPath
    // (replacing), or the "noTitle" fallback of CommitSongFile when that name is refused.
    // Returns the path written. A body under two bytes is a failed fetch. On any failure
    // (TransportError, or Error(Io) from the disk) no file is created or changed.
    [[nodiscard]] QString FetchToFile(const QString& url, const QString& finalPath,
                                      const ProgressCallback& progress = {});

    // As FetchToFile, but returns once the body is complete and leaves the naming (fdatasync,
    // then link) to a committer thread, so the next transfer need not wait for the disk. The
    // file's name and failure come to done, on this thread, inside FinishCommits; until then
    // the file has no name. Transfer failures throw here as in FetchToFile.
    void FetchToFileDeferred(const QString& url, const QString& finalPath,
                             const ProgressCallback& progress, FileCommitter::Done done);

    // As FetchToFile, with tags (nullopt: none): the body goes through a SongTagger into the
    // temporary file, so the file is tagged before it has a name. The song size cap, the progress
    // and the two-byte rule count the portal's body, not the tagged file.
    [[nodiscard]] StoredSong FetchToFile(const QString& url, const QString& finalPath,
                                         const ProgressCallback& progress,
                                         const std::optional<SongTags>& tags);
    // As FetchToFileDeferred, with tags as in the FetchToFile above; done learns the file and
    // whether it was tagged.
    void FetchToFileDeferred(const QString& url, const QString& finalPath,
                             const ProgressCallback& progress, const std::optional<SongTags>& tags,
                             SongDone done);

    // Waits for every deferred file, syncs their folders once, and calls their done callbacks.
    // Returns how many there were.
    int FinishCommits();
    // Calls the done callbacks of the deferred files already named, in order, without waiting
    // for the others (FileCommitter::reap). Returns how many there were.
    int ReapCommits();

    // Writes downloadBuffer to path atomically; refuses an empty buffer so a failed fetch never
    // replaces a good file. Fails with Error(Io).
    void StoreBuffer(const QString& path) const;
    // As StoreBuffer, but the naming is left to the committer thread (see FetchToFileDeferred);
    // an empty buffer still fails here, at once, and a file holding the same bytes already is
    // left as it is. Failures of the naming are not reported.
    void StoreBufferDeferred(const QString& path);

    // Writes bytes to folder + "/" + name atomically, or to the "noTitle" fallback in folder
    // when that name is refused (never overwriting an existing fallback). Returns the path
    // written. Fails with Error(Io) when the fallback cannot be written either.
    QString SaveSongFile(const QString& folder, const QString& name, const QByteArray& bytes);

    [[nodiscard]] const std::shared_ptr<TransportSession>& session() const noexcept {
        return m_session;
    }
    void setCancelToken(std::shared_ptr<const CancelToken> cancel);
    [[nodiscard]] const std::shared_ptr<const CancelToken>& cancelToken() const;
    // The limits it was made with; another transport of the session can be made with them.
    [[nodiscard]] const TransferSettings& transferSettings() const;

private:
    // A complete body in its unnamed file, and why it is untagged.
    struct Body {
        std::unique_ptr<AtomicFile> file;
        QString untagged;
    };
    FileCommitter& committer();
    Body fetchBody(const QString& url, const QString& finalPath, const ProgressCallback& progress,
                   const std::optional<SongTags>& tags);

    class Impl;
    std::shared_ptr<TransportSession> m_session;
    std::unique_ptr<Impl> m_impl;
};

// Decodes bytes with the named character set ("UTF-8", "utf-8", "GBK" ...). Fails with
// Error(InvalidArgument) for a name it does not know.
[[nodiscard]] QString BytesToText(const QByteArray& bytes, const QString& charset);

} // namespace orvana::net
