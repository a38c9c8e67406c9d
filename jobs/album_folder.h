#pragma once

#include <QHash>
#include <QString>
#include <optional>

namespace orvana::jobs {

// Creates path and any missing parents. Gives nullopt when the folder stands afterwards, else
// "cannot create folder PATH: reason" (the system's reason for the first level that failed).
[[nodiscard]] std::optional<QString> MakeFolders(const QString& path);

// The cleaned, length-limited file name of name, else of fallback (an ID) when name cleans to
// nothing; empty when neither can name a file.
[[nodiscard]] QString FileNameOf(const QString& name, const QString& fallback);

// The hidden file an album folder made by a job carries: the album ID and a line end. It tells
// albums of equal titles apart on later runs.
inline constexpr QStringView kAlbumMarkerName = u".orvana-album";

// The album ID in folder's marker; nullopt when it has none (or it cannot be read).
[[nodiscard]] std::optional<QString> ReadAlbumMarker(const QString& folder);

// Picks the folder of one album under parent: name, else name + " (2)", " (3)" ... the first
// that is free, or is a folder whose marker names albumId or that has no marker (made by an
// older run or by hand). Folders handed to another album earlier in the same run are skipped.
// Creates a missing folder with its marker. Not thread-safe; one per job run.
class AlbumFolderChooser {
public:
    enum class Creation {
        Create,   // a missing folder is made, with its marker
        PlanOnly, // nothing is made: the path it would be (a dry run)
    };
    explicit AlbumFolderChooser(Creation creation = Creation::Create) : m_creation(creation) {}

    struct Choice {
        QString path;
        QString error; // "cannot create folder ...", or empty when the folder stands
    };
    [[nodiscard]] Choice choose(const QString& parent, const QString& name, const QString& albumId);

private:
    Creation m_creation;
    QHash<QString, QString> m_claimed; // folder path -> album ID, in this run
};

} // namespace orvana::jobs
