#include "net/file_store.h"

#include "json/error.h"
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <atomic>
#include <cerrno>
#include <cmath>
#include <fcntl.h>
#include <stdio.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace orvana::net {
namespace {

std::atomic<bool> g_forceNamed{false};

Error IoError(const QString& what, const QString& path, int errorCode) {
    return Error(ErrorKind::Io,
                 QStringLiteral("%1 \"%2\": %3").arg(what, path, qt_error_string(errorCode)));
}

QByteArray NativePath(const QString& path) {
    return QFile::encodeName(path);
}

// A name for a hidden temporary file in folder, unlikely to be taken.
QString TempName(const QString& folder) {
    return folder + QStringLiteral("/.orvana-") +
           QString::number(QRandomGenerator::global()->generate64(), 36) + QStringLiteral(".part");
}

// Write-back is started every this many bytes, so the disk works while the body still arrives
// and the final fdatasync has little left to do.
constexpr qint64 kWriteBackStep = 8 * 1024 * 1024;

// Gives the (unnamed or named) temporary file a second name without replacing anything.
// Returns 0 or an errno value.
int LinkNoReplace(int fd, const QString& tempPath, const QString& path) {
    const QByteArray target = NativePath(path);
    if (tempPath.isEmpty()) {
        const QByteArray procPath = "/proc/self/fd/" + QByteArray::number(fd);
        if (::linkat(AT_FDCWD, procPath.constData(), AT_FDCWD, target.constData(),
                     AT_SYMLINK_FOLLOW) == 0)
            return 0;
        if (errno != ENOENT || QFile::exists(path))
            return errno;
        // No /proc: try the direct form (needs the right to do so).
        return ::linkat(fd, "", AT_FDCWD, target.constData(), AT_EMPTY_PATH) == 0 ? 0 : errno;
    }
    if (::renameat2(AT_FDCWD, NativePath(tempPath).constData(), AT_FDCWD, target.constData(),
                    RENAME_NOREPLACE) == 0)
        return 0;
    if (errno != EINVAL && errno != ENOSYS)
        return errno;
    // File systems without renameat2 flags: link then drop the temporary name.
    if (::link(NativePath(tempPath).constData(), target.constData()) != 0)
        return errno;
    ::unlink(NativePath(tempPath).constData());
    return 0;
}

bool IsPlainName(const QString& name) {
    return !name.isEmpty() && name != u"." && name != u".." && !name.contains(u'/') &&
           !name.contains(QChar(0));
}

QString JoinPath(const QString& folder, const QString& name) {
    if (folder.endsWith(u'/'))
        return folder + name;
    return folder + u'/' + name;
}

QString FallbackName() {
    // A single-precision number as it prints, at most seven significant digits, below 1.
    float r = static_cast<float>(QRandomGenerator::global()->generateDouble());
    if (r >= 1.0f)
        r = std::nextafter(1.0f, 0.0f);
    return QStringLiteral("noTitle") + QString::number(r, 'g', 7) + QStringLiteral(".mp3");
}

} // namespace

void SyncFolder(const QString& folder) {
    const int fd = ::open(NativePath(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}

int RemoveStalePartFiles(const QString& folder) {
    const QStringList names =
        QDir(folder).entryList({QStringLiteral(".orvana-*.part")},
                               QDir::Files | QDir::Hidden | QDir::System | QDir::NoSymLinks);
    int removed = 0;
    for (const QString& name : names) {
        const QByteArray path = NativePath(JoinPath(folder, name));
        const int fd = ::open(path.constData(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
        if (fd < 0)
            continue;
        // A writer holds its lock until the file is named or dropped: a free lock means its
        // process is gone.
        if (::flock(fd, LOCK_EX | LOCK_NB) == 0) {
            struct stat opened {};
            struct stat named {};
            // The same file still stands under the name (not replaced since it was opened).
            if (::fstat(fd, &opened) == 0 && ::lstat(path.constData(), &named) == 0 &&
                opened.st_ino == named.st_ino && opened.st_dev == named.st_dev &&
                ::unlink(path.constData()) == 0)
                ++removed;
        }
        ::close(fd);
    }
    return removed;
}

void detail::ForceNamedTemporaryFiles(bool force) {
    g_forceNamed = force;
}

QString CutNameToBytes(const QString& name, qsizetype maxBytes) {
    qsizetype bytes = 0;
    qsizetype i = 0;
    while (i < name.size()) {
        const QChar c = name.at(i);
        qsizetype units = 1;
        qsizetype charBytes = 3;
        if (c.unicode() < 0x80)
            charBytes = 1;
        else if (c.unicode() < 0x800)
            charBytes = 2;
        else if (c.isHighSurrogate() && i + 1 < name.size() && name.at(i + 1).isLowSurrogate()) {
            units = 2;
            charBytes = 4;
        }
        if (bytes + charBytes > maxBytes)
            break;
        bytes += charBytes;
        i += units;
    }
    return name.left(i);
}

AtomicFile::AtomicFile(const QString& folder, int mode) : m_folder(folder), m_mode(mode) {
    const QByteArray nativeFolder = NativePath(folder);
    int unnamedError = EOPNOTSUPP;
    if (!g_forceNamed) {
        m_fd = ::open(nativeFolder.constData(), O_TMPFILE | O_WRONLY | O_CLOEXEC, mode);
        if (m_fd >= 0) {
            // The umask may have narrowed the bits; the caller's mode is what the file must get.
            ::fchmod(m_fd, static_cast<mode_t>(mode));
            // No lock yet: nothing can find a file without a name (commit locks it before a
            // replace gives it one).
            return;
        }
        unnamedError = errno;
    }
    if (unnamedError != EOPNOTSUPP && unnamedError != EISDIR && unnamedError != EINVAL)
        throw IoError(QStringLiteral("Cannot create a file in the folder"), folder, unnamedError);
    // File systems without unnamed files: a hidden temporary name, removed unless committed.
    for (int attempt = 0; attempt < 100; ++attempt) {
        const QString candidate = TempName(folder);
        m_fd = ::open(NativePath(candidate).constData(), O_CREAT | O_EXCL | O_WRONLY | O_CLOEXEC,
                      mode);
        if (m_fd >= 0) {
            // Held until the file is named or dropped: RemoveStalePartFiles leaves it alone.
            ::flock(m_fd, LOCK_EX | LOCK_NB);
            ::fchmod(m_fd, static_cast<mode_t>(mode));
            m_tempPath = candidate;
            return;
        }
        if (errno != EEXIST)
            throw IoError(QStringLiteral("Cannot create a file in the folder"), folder, errno);
    }
    throw IoError(QStringLiteral("Cannot create a file in the folder"), folder, EEXIST);
}

AtomicFile::~AtomicFile() {
    // The name goes before the lock does, so no cleaner ever sees it unlocked.
    if (!m_committed && !m_tempPath.isEmpty())
        ::unlink(NativePath(m_tempPath).constData());
    if (m_fd >= 0)
        ::close(m_fd);
}

void AtomicFile::write(const char* data, qint64 size) {
    if (m_committed || m_fd < 0)
        throw Error(ErrorKind::Io, QStringLiteral("Cannot write to a file that is already stored"));
    while (size > 0) {
        const ssize_t written = ::write(m_fd, data, static_cast<size_t>(size));
        if (written < 0) {
            if (errno == EINTR)
                continue;
            throw IoError(QStringLiteral("Cannot write a file in the folder"), m_folder, errno);
        }
        data += written;
        size -= written;
        m_size += written;
    }
    if (m_size - m_flushedTo >= kWriteBackStep) {
        // Starts write-back without waiting for it.
        ::sync_file_range(m_fd, m_flushedTo, m_size - m_flushedTo, SYNC_FILE_RANGE_WRITE);
        m_flushedTo = m_size;
    }
}

AtomicFile::CommitResult AtomicFile::commit(const QString& path, CommitMode mode) {
    if (m_committed || m_fd < 0)
        throw Error(ErrorKind::Io, QStringLiteral("The file \"%1\" was already stored").arg(path));
    // The bytes reach the disk before the name does, so a crash never leaves a named file
    // with missing content.
    // The kernel reports a failed write-back only once: a later sync would pass over the lost
    // bytes, so the failure stays.
    if (m_syncError == 0 && ::fdatasync(m_fd) != 0 && errno != EINVAL)
        m_syncError = errno;
    if (m_syncError != 0)
        throw IoError(QStringLiteral("Cannot write the file"), path, m_syncError);

    if (mode == CommitMode::KeepExisting) {
        const int error = LinkNoReplace(m_fd, m_tempPath, path);
        if (error == EEXIST)
            return CommitResult::FileExists;
        if (error != 0)
            throw IoError(QStringLiteral("Cannot store the file"), path, error);
    } else {
        // Nothing stands at the name (the usual case): linked straight to it, no temporary name
        // a kill could leave behind.
        const int error = LinkNoReplace(m_fd, m_tempPath, path);
        if (error == 0) {
            m_committed = true;
            ::close(m_fd);
            m_fd = -1;
            return CommitResult::Committed;
        }
        if (error != EEXIST)
            throw IoError(QStringLiteral("Cannot store the file"), path, error);
        if (m_tempPath.isEmpty()) {
            // An unnamed file needs a name of its own before it can replace another atomically;
            // from then on it is a named temporary file (an unnamed one can be linked only once).
            // Locked before the name exists, so RemoveStalePartFiles never takes it.
            ::flock(m_fd, LOCK_EX | LOCK_NB);
            for (int attempt = 0; attempt < 100 && m_tempPath.isEmpty(); ++attempt) {
                const QString candidate = TempName(m_folder);
                const int error = LinkNoReplace(m_fd, QString(), candidate);
                if (error == 0)
                    m_tempPath = candidate;
                else if (error != EEXIST)
                    throw IoError(QStringLiteral("Cannot store the file"), path, error);
            }
            if (m_tempPath.isEmpty())
                throw IoError(QStringLiteral("Cannot store the file"), path, EEXIST);
        }
        if (::rename(NativePath(m_tempPath).constData(), NativePath(path).constData()) != 0)
            throw IoError(QStringLiteral("Cannot store the file"), path, errno);
    }
    m_committed = true;
    ::close(m_fd);
    m_fd = -1;
    return CommitResult::Committed;
}

void StoreBytes(const QByteArray& bytes, const QString& path) {
    if (bytes.isEmpty())
        throw Error(
            ErrorKind::Io,
            QStringLiteral("Nothing was stored as \"%1\": the fetched body is empty").arg(path));
    const QString folder = QFileInfo(path).absolutePath();
    AtomicFile file(folder);
    file.write(bytes);
    (void)file.commit(path, CommitMode::ReplaceExisting);
    SyncFolder(folder);
}

QString CommitSongFile(AtomicFile& file, const QString& folder, const QString& name) {
    if (IsPlainName(name)) {
        const QString path = JoinPath(folder, name);
        try {
            (void)file.commit(path, CommitMode::ReplaceExisting);
            return path;
        } catch (const Error&) {
            // Lost bytes are no reason to try another name.
            if (file.syncFailed())
                throw;
            // The file system refused the name; the fallback name below is always plain.
        }
    }
    for (int attempt = 0; attempt < 1000; ++attempt) {
        const QString path = JoinPath(folder, FallbackName());
        if (file.commit(path, CommitMode::KeepExisting) == AtomicFile::CommitResult::Committed)
            return path;
    }
    throw Error(
        ErrorKind::Io,
        QStringLiteral("Cannot store a song in \"%1\": every fallback name is taken").arg(folder));
}

} // namespace orvana::net
