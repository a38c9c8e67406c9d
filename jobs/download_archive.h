#pragma once

#include <QSet>
#include <QString>
#include <memory>
#include <mutex>

namespace orvana::jobs {

// The download archive: a text file with one line per stored song, "orvana SONGID". A listed
// song is not fetched again, wherever its file went. Several runs (processes) may share one
// file: every line is appended whole under an advisory lock (flock), never interleaved. A last
// line without its line end (a run killed while writing) is ignored when read. Thread-safe.
class DownloadArchive {
public:
    enum class Mode {
        ReadWrite, // created when missing; songs are appended
        ReadOnly,  // a dry run: read when it exists, never created or written
    };

    // $XDG_DATA_HOME/orvana-dl/archive.txt: beside the login's cookie file, in the folder the
    // window and orvana-dl-cli share.
    [[nodiscard]] static QString DefaultPath();

    // Reads the archive at path. Fails with orvana::Error (InvalidArgument: naming what and
    // why) when path is a folder, cannot be read, or (ReadWrite) cannot be created or written.
    [[nodiscard]] static std::shared_ptr<DownloadArchive> Open(const QString& path, Mode mode);
    ~DownloadArchive();
    DownloadArchive(const DownloadArchive&) = delete;
    DownloadArchive& operator=(const DownloadArchive&) = delete;

    [[nodiscard]] bool contains(const QString& songId) const;
    // Appends the song's line unless it is listed already (or the archive is read-only). Fails
    // with orvana::Error (Io) when the line cannot be written.
    void add(const QString& songId);
    // Makes the appended lines durable (fdatasync). Fails with orvana::Error (Io).
    void sync();

private:
    DownloadArchive(QString path, Mode mode, int fd);

    const QString m_path;
    const Mode m_mode;
    const int m_fd; // -1 when read-only
    mutable std::mutex m_mutex;
    QSet<QString> m_songs;
    bool m_unsynced = false;
};

} // namespace orvana::jobs
