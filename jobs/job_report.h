#pragma once

#include "jobs/album_summary.h"

#include <QString>
#include <QStringList>

namespace orvana::jobs {

struct SingerSummary;
struct TickedRunSummary;

// The failure texts of the jobs, as the command line prints them and the window lists them;
// one definition each. Pure.

// Where an album's lines stand: after its own album job, or among a singer's albums.
enum class AlbumScope { OwnJob, InSinger };

[[nodiscard]] QString AlbumPageFailureText(const QString& reason);
[[nodiscard]] QString SongListFailureText(AlbumScope scope, const QString& albumTitle);
// "下载失败: TITLE (reason)", the ID standing for an empty title.
[[nodiscard]] QString SongFailureLine(const SongFailure& failure);
[[nodiscard]] QString SingerPageFailureText(const QString& singerId);
[[nodiscard]] QString AlbumListGivenUpText(const QString& singerId, int offset);
[[nodiscard]] QString AlbumListUnreadableText(const QString& singerId, int offset);
[[nodiscard]] QString AlbumListLimitText(const QString& singerId, int offset);

// Every failure line of an album: what the album lacks (page, cover, song list, folder), then
// one line per failed song, in the order the command line prints them.
[[nodiscard]] QStringList AlbumFailureLines(const AlbumSummary& album, AlbumScope scope);
// The singer's own failures (page, album lists), then each album's lines.
[[nodiscard]] QStringList SingerFailureLines(const QString& singerId, const SingerSummary& singer);

// The status line at the end of a download command in the window. Cancelled: "下载已停止.".
// Else, where something failed, a text saying so with " (双击查看)" (the window's results list
// shows the rest): the failed-song count after the completion text, or the first failure that
// is no single song's (an album page, a singer page ...) when that is what went wrong. Else the
// completion text alone.
[[nodiscard]] QString AlbumEndText(const AlbumSummary& album);
[[nodiscard]] QString SingerEndText(const QString& singerId, const SingerSummary& singer);
[[nodiscard]] QString TickedRunEndText(const TickedRunSummary& run);

} // namespace orvana::jobs
