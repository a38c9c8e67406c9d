#include "jobs/job_report.h"

#include "jobs/catalogue.h"
#include "jobs/down_singer.h"
#include "jobs/user_texts.h"
#include "net/text_conversion.h"

namespace orvana::jobs {

QString AlbumPageFailureText(const QString& reason) {
    return u"无法获取专辑页面: " + reason;
}

QString SongListFailureText(AlbumScope scope, const QString& albumTitle) {
    if (scope == AlbumScope::OwnJob)
        return QStringLiteral("无法获取歌曲列表");
    return u"无法获取歌曲列表: 《" + ControlsToSpaces(albumTitle) + u"》";
}

QString SongFailureLine(const SongFailure& failure) {
    return u"下载失败: " +
           ControlsToSpaces(failure.title.isEmpty() ? failure.songId : failure.title) + u" (" +
           ControlsToSpaces(failure.reason) + u')';
}

QString SingerPageFailureText(const QString& singerId) {
    return u"无法获取歌手页面: " + singerId;
}

QString AlbumListGivenUpText(const QString& singerId, int offset) {
    return u"专辑列表获取失败, 已放弃 (歌手 " + singerId + u", start=" + QString::number(offset) +
           u')';
}

QString AlbumListUnreadableText(const QString& singerId, int offset) {
    return u"专辑列表无法读取 (歌手 " + singerId + u", start=" + QString::number(offset) + u')';
}

QString AlbumListLimitText(const QString& singerId, int offset) {
    return u"专辑列表超过 " + QString::number(offset) + u" 条, 其后的专辑未下载 (歌手 " + singerId +
           u')';
}

namespace {

// What the album lacks, in the order its scope prints it.
QStringList albumLines(const AlbumSummary& album, AlbumScope scope) {
    QStringList lines;
    const QString songList =
        album.songListMissing ? SongListFailureText(scope, album.title) : QString();
    if (album.albumPageMissing)
        lines << AlbumPageFailureText(album.albumPageError);
    if (scope == AlbumScope::InSinger && !songList.isEmpty())
        lines << songList;
    if (!album.coverError.isEmpty())
        lines << album.coverError;
    if (scope == AlbumScope::OwnJob && !songList.isEmpty())
        lines << songList;
    if (!album.folderError.isEmpty())
        lines << album.folderError;
    return lines;
}

QStringList singerLines(const QString& singerId, const SingerSummary& s) {
    QStringList lines;
    if (s.singerPageMissing)
        lines << SingerPageFailureText(singerId);
    if (s.listGivenUp)
        lines << AlbumListGivenUpText(singerId, s.stoppedAtOffset);
    for (int offset : s.unreadablePages)
        lines << AlbumListUnreadableText(singerId, offset);
    if (s.offsetLimitReached)
        lines << AlbumListLimitText(singerId, s.stoppedAtOffset);
    return lines;
}

// The first failure that is no single song's, among a singer's own and its albums'.
QString firstJobFailure(const QString& singerId, const SingerSummary& s) {
    const QStringList own = singerLines(singerId, s);
    if (!own.isEmpty())
        return own.first();
    for (const AlbumSummary& a : s.albums) {
        const QStringList lines = albumLines(a, AlbumScope::InSinger);
        if (!lines.isEmpty())
            return lines.first();
    }
    return {};
}

QString endText(const char* completion, int failedSongs, const QString& jobFailure,
                bool failureFirst) {
    if (!jobFailure.isEmpty() && (failureFirst || failedSongs == 0))
        return jobFailure + UserText(kSeeResultsSuffix);
    if (failedSongs > 0)
        return UserText(completion) + UserText(kFailedSongsSuffix).arg(failedSongs);
    return UserText(completion);
}

} // namespace

QStringList AlbumFailureLines(const AlbumSummary& album, AlbumScope scope) {
    QStringList lines = albumLines(album, scope);
    for (const SongFailure& f : album.failures)
        lines << SongFailureLine(f);
    return lines;
}

QStringList SingerFailureLines(const QString& singerId, const SingerSummary& singer) {
    QStringList lines = singerLines(singerId, singer);
    for (const AlbumSummary& a : singer.albums)
        lines << AlbumFailureLines(a, AlbumScope::InSinger);
    return lines;
}

QString AlbumEndText(const AlbumSummary& album) {
    if (album.outcome == JobOutcome::Cancelled)
        return UserText(kDownloadStopped);
    const QStringList lines = albumLines(album, AlbumScope::OwnJob);
    return endText(kAlbumDone, album.failed(), lines.value(0), true);
}

QString SingerEndText(const QString& singerId, const SingerSummary& singer) {
    if (singer.outcome == JobOutcome::Cancelled)
        return UserText(kDownloadStopped);
    return endText(kSingerDone, singer.tally().failed, firstJobFailure(singerId, singer), true);
}

QString TickedRunEndText(const TickedRunSummary& run) {
    if (run.cancelled)
        return UserText(kDownloadStopped);
    QString failure;
    for (qsizetype i = 0; i < run.singers.size() && failure.isEmpty(); ++i)
        failure = firstJobFailure(run.ids.value(i), run.singers.at(i));
    // A run over many singers says how many songs failed before naming one singer's trouble.
    return endText(kSelectedAlbumsDone, run.tally().failed, failure, false);
}

} // namespace orvana::jobs
