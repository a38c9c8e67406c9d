#include "jobs/album_folder.h"

#include "net/file_store.h"
#include "net/text_conversion.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <cerrno>
#include <cstring>
#include <sys/stat.h>

namespace orvana::jobs {

namespace {

QString reasonOf(int error) {
    return QString::fromLocal8Bit(std::strerror(error));
}

// One level; nullopt when the folder stands afterwards.
std::optional<QString> makeFolder(const QString& path) {
    if (::mkdir(QFile::encodeName(path).constData(), 0777) == 0)
        return std::nullopt;
    const int error = errno;
    if (error == EEXIST && QFileInfo(path).isDir())
        return std::nullopt;
    if (error == EEXIST)
        return QStringLiteral("a file of that name is in the way");
    return reasonOf(error);
}

} // namespace

std::optional<QString> MakeFolders(const QString& path) {
    const QString clean = QDir::cleanPath(path);
    if (QFileInfo(clean).isDir())
        return std::nullopt;
    // Parents first, so the reason names the level that really failed.
    const qsizetype slash = clean.lastIndexOf(u'/');
    if (slash > 0) {
        if (auto error = MakeFolders(clean.left(slash)))
            return error;
    }
    if (const auto reason = makeFolder(clean))
        return u"cannot create folder " + clean + u": " + *reason;
    return std::nullopt;
}

QString FileNameOf(const QString& name, const QString& fallback) {
    const QString cleaned = net::CutNameToBytes(CleanFileName(name));
    return cleaned.isEmpty() ? net::CutNameToBytes(CleanFileName(fallback)) : cleaned;
}

std::optional<QString> ReadAlbumMarker(const QString& folder) {
    QFile file(folder + u'/' + kAlbumMarkerName);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    // An ID is short: a large file here is not ours to read whole.
    return QString::fromUtf8(file.read(64)).trimmed();
}

AlbumFolderChooser::Choice AlbumFolderChooser::choose(const QString& parent, const QString& name,
                                                      const QString& albumId) {
    for (int n = 1;; ++n) {
        // Room for the number, so the name limit never cuts it off.
        const QString candidate = n == 1 ? name
                                         : net::CutNameToBytes(name, net::kMaxNameBytes - 16) +
                                               QStringLiteral(" (%1)").arg(n);
        const QString path = parent + u'/' + candidate;
        if (const auto it = m_claimed.constFind(path); it != m_claimed.cend()) {
            if (*it == albumId)
                return {path, {}};
            continue;
        }
        const QFileInfo info(path);
        if (info.exists() || info.isSymLink()) {
            if (!info.isDir())
                continue; // a file stands at this name
            const std::optional<QString> owner = ReadAlbumMarker(path);
            if (owner && *owner != albumId)
                continue;
            m_claimed.insert(path, albumId);
            return {path, {}};
        }
        if (m_creation == Creation::PlanOnly) {
            m_claimed.insert(path, albumId);
            return {path, {}};
        }
        if (const auto reason = makeFolder(path))
            return {path, u"cannot create folder " + path + u": " + *reason};
        try {
            net::StoreBytes(albumId.toUtf8() + '\n', path + u'/' + kAlbumMarkerName);
        } catch (const std::exception&) {
            // Without its marker the folder still serves; it only counts as anyone's later.
        }
        m_claimed.insert(path, albumId);
        return {path, {}};
    }
}

} // namespace orvana::jobs
