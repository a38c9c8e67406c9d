#include "jobs/album_folder.h"

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

} // namespace orvana::jobs
