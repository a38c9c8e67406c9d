#pragma once

#include <QList>
#include <QString>
#include <optional>

namespace orvana::jobs {

// The "html" member of the "data" member of a song-list or album-list answer. The parser's
// partly built tree counts, whatever its messages say (an answer cut short after the member
// still lists everything before the cut); parserMessages tells the caller it was cut.
struct ListAnswer {
    std::optional<QString> html; // nullopt: the answer holds no such member
    bool parserMessages = false;
};
[[nodiscard]] ListAnswer ReadListAnswer(const QString& text);

// One different song of an album's song list, as the job will handle it.
struct PlannedSong {
    QString songId;
    QString title;    // the link's title, as the portal gives it
    QString path;     // folder + "/" + file name + ".mp3"; empty when nothing can name the file
    int position = 0; // 1-based place among the list's different songs
    bool idNotNumeric = false;
};

// The songs of a song-list answer, in list order.
struct SongList {
    bool missing = false; // no list could be read from the answer
    QList<PlannedSong> songs;
};

// Reads the song links (an address holding "/song/") of answer's fragment. The same song ID
// listed twice is one song, at its first place. Each song's file is named after its cleaned
// title (or its ID when the title cleans to nothing); different songs whose names clean to the
// same text are numbered " (2)", " (3)" ... in list order, so a re-run finds each under the
// same name. A fragment without any song link is an empty album, unless the answer was cut
// short (then the list is missing). Pure.
[[nodiscard]] SongList PlanSongs(const ListAnswer& answer, const QString& folder);

} // namespace orvana::jobs
