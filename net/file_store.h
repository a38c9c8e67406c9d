#pragma once

#include <QByteArray>
#include <QString>

namespace orvana::net {

// Longest file or folder name we write, in bytes of UTF-8, before an extension is added.
inline constexpr qsizetype kMaxNameBytes = 240;

// Cuts name to at most maxBytes bytes of UTF-8, at a character boundary (a surrogate pair is
// never split). Pure.
[[nodiscard]] QString CutNameToBytes(const QString& name, qsizetype maxBytes = kMaxNameBytes);

enum class CommitMode {
    ReplaceExisting, // an existing file is replaced, atomically
    KeepExisting,    // commit fails with FileExists when the name is taken
};

// A file under construction: bytes go to an unnamed (or hidden ".orvana-*.part") file in the
// target folder, and only commit() gives it a name, in one atomic step. Destroying an
// uncommitted AtomicFile, or a killed process, leaves no file under any final name. A hidden
// temporary name is locked (flock) for as long as it stands, so RemoveStalePartFiles never takes
// a live one. Not thread-safe; it may be handed to another thread as a whole.
class AtomicFile {
public:
    // Opens the temporary file in folder; the committed file gets the permission bits mode.
    // Fails with Error(Io) (folder missing, not writable).
    explicit AtomicFile(const QString& folder, int mode = 0644);
    ~AtomicFile();
    AtomicFile(const AtomicFile&) = delete;
    AtomicFile& operator=(const AtomicFile&) = delete;

    // Fails with Error(Io) (disk full ...).
    void write(const char* data, qint64 size);
    void write(const QByteArray& bytes) { write(bytes.constData(), bytes.size()); }
    [[nodiscard]] qint64 size() const noexcept { return m_size; }

    enum class CommitResult { Committed, FileExists };
    // Flushes the bytes to disk (fdatasync) and names the file path (which must lie in the folder
    // given above): linked straight to path when nothing stands there, through a temporary name
    // only when ReplaceExisting meets a file. The folder itself is not synced (SyncFolder).
    // After Committed the object is spent; after FileExists, or when it throws Error(Io) (the
    // name is refused), commit may be tried again with another path.
    [[nodiscard]] CommitResult commit(const QString& path, CommitMode mode);
    // The bytes failed to reach the disk: no commit will ever name this file.
    [[nodiscard]] bool syncFailed() const noexcept { return m_syncError != 0; }

private:
    QString m_folder;
    QString m_tempPath; // empty while the file is unnamed
    int m_fd = -1;
    int m_mode;
    qint64 m_size = 0;
    qint64 m_flushedTo = 0; // bytes already handed to write-back
    bool m_committed = false;
    int m_syncError = 0; // errno of a failed fdatasync
};

// Makes the names in folder durable (fsync of the folder). Failure only costs durability.
void SyncFolder(const QString& folder);

// Removes the ".orvana-*.part" files in folder that no live process holds (runs killed while
// writing, on file systems without unnamed files). Returns how many were removed.
int RemoveStalePartFiles(const QString& folder);

namespace detail {
// For tests: AtomicFile then uses a hidden named temporary file, as it does on file systems
// without unnamed files (vfat, some network file systems).
void ForceNamedTemporaryFiles(bool force);
} // namespace detail

// Writes bytes to path atomically, replacing an existing file only with the complete new one,
// and syncs its folder. Refuses an empty buffer (a failed fetch must never empty a good file).
// Fails with Error(Io).
void StoreBytes(const QByteArray& bytes, const QString& path);

// Names a finished song file: folder + "/" + name, or when that name is refused, the fallback
// "noTitle" + random number + ".mp3" in the same folder, drawn again while the name is taken.
// Returns the path written. Fails with Error(Io) when the fallback cannot be written either.
[[nodiscard]] QString CommitSongFile(AtomicFile& file, const QString& folder, const QString& name);

} // namespace orvana::net
