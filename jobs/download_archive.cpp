#include "jobs/download_archive.h"

#include "net/cookie_store.h"

#include "json/error.h"
#include <QFile>
#include <QFileInfo>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace orvana::jobs {

namespace {

QString systemReason() {
    return QString::fromLocal8Bit(std::strerror(errno));
}

[[noreturn]] void refuse(const QString& path, const QString& why) {
    throw Error(ErrorKind::InvalidArgument, u"cannot use the archive " + path + u": " + why);
}

constexpr QByteArrayView kPrefix = "orvana ";

// The song IDs of the archive's whole lines.
QSet<QString> readSongs(const QByteArray& text) {
    QSet<QString> songs;
    qsizetype start = 0;
    for (qsizetype end = text.indexOf('\n'); end >= 0; end = text.indexOf('\n', start)) {
        const QByteArrayView line = QByteArrayView(text).sliced(start, end - start).trimmed();
        if (line.startsWith(kPrefix))
            songs.insert(QString::fromUtf8(line.sliced(kPrefix.size()).trimmed()));
        start = end + 1;
    }
    return songs;
}

// Holds an flock for its life.
class FileLock {
public:
    FileLock(int fd, int kind) : m_fd(fd) {
        while (::flock(m_fd, kind) != 0 && errno == EINTR) {
        }
    }
    ~FileLock() { ::flock(m_fd, LOCK_UN); }
    FileLock(const FileLock&) = delete;
    FileLock& operator=(const FileLock&) = delete;

private:
    int m_fd;
};

// Cuts the file back to its last line end, where the last line has none. Under LOCK_EX.
void dropCutLine(int fd) {
    const off_t size = ::lseek(fd, 0, SEEK_END);
    off_t end = size;
    char c = '\n';
    while (end > 0 && ::pread(fd, &c, 1, end - 1) == 1 && c != '\n')
        --end;
    if (end < size)
        (void)::ftruncate(fd, end);
}

} // namespace

QString DownloadArchive::DefaultPath() {
    return QFileInfo(net::CookieStore::DefaultPath()).absolutePath() + u"/archive.txt";
}

std::shared_ptr<DownloadArchive> DownloadArchive::Open(const QString& path, Mode mode) {
    if (path.isEmpty())
        refuse(path, QStringLiteral("no file named"));
    if (QFileInfo(path).isDir())
        refuse(path, QStringLiteral("it is a folder"));
    const QByteArray name = QFile::encodeName(path);
    int fd = -1;
    if (mode == Mode::ReadWrite) {
        fd = ::open(name.constData(), O_RDWR | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
        if (fd < 0)
            refuse(path, systemReason());
    } else {
        fd = ::open(name.constData(), O_RDONLY | O_CLOEXEC);
        if (fd < 0 && errno != ENOENT)
            refuse(path, systemReason());
    }
    QByteArray text;
    if (fd >= 0) {
        const FileLock lock(fd, LOCK_SH);
        char chunk[65536];
        ssize_t n = 0;
        while ((n = ::pread(fd, chunk, sizeof chunk, text.size())) > 0)
            text.append(chunk, n);
        if (n < 0) {
            const QString why = systemReason();
            ::close(fd);
            refuse(path, why);
        }
    }
    if (mode == Mode::ReadOnly && fd >= 0) {
        ::close(fd);
        fd = -1;
    }
    std::shared_ptr<DownloadArchive> archive(new DownloadArchive(path, mode, fd));
    archive->m_songs = readSongs(text);
    return archive;
}

DownloadArchive::DownloadArchive(QString path, Mode mode, int fd)
    : m_path(std::move(path)), m_mode(mode), m_fd(fd) {}

DownloadArchive::~DownloadArchive() {
    if (m_fd >= 0)
        ::close(m_fd);
}

bool DownloadArchive::contains(const QString& songId) const {
    std::lock_guard lock(m_mutex);
    return m_songs.contains(songId);
}

void DownloadArchive::add(const QString& songId) {
    std::lock_guard lock(m_mutex);
    if (m_mode == Mode::ReadOnly || m_songs.contains(songId))
        return;
    const QByteArray line = kPrefix.toByteArray() + songId.toUtf8() + '\n';
    const FileLock fileLock(m_fd, LOCK_EX);
    // A line cut short by a run that died while writing it is dropped before ours is added, so
    // it can never join ours or read as the ID of another song.
    dropCutLine(m_fd);
    const char* data = line.constData();
    qsizetype left = line.size();
    while (left > 0) {
        const ssize_t n = ::write(m_fd, data, std::size_t(left));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            throw Error(ErrorKind::Io,
                        u"cannot write to the archive " + m_path + u": " + systemReason());
        data += n;
        left -= n;
    }
    m_songs.insert(songId);
    m_unsynced = true;
}

void DownloadArchive::sync() {
    std::lock_guard lock(m_mutex);
    if (!m_unsynced || m_fd < 0)
        return;
    if (::fdatasync(m_fd) != 0)
        throw Error(ErrorKind::Io, u"cannot sync the archive " + m_path + u": " + systemReason());
    m_unsynced = false;
}

} // namespace orvana::jobs
