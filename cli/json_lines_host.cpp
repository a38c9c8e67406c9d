#include "cli/json_lines_host.h"

#include "json/canonical.h"
#include <QElapsedTimer>

namespace orvana::cli {

namespace {

// One event object, built field by field in the order they are added.
class JsonLine {
public:
    explicit JsonLine(QStringView event) : m_text(u"{\"event\":" + json::CanonicalString(event)) {}

    JsonLine& text(QStringView key, QStringView value) {
        return raw(key, json::CanonicalString(value));
    }
    JsonLine& number(QStringView key, qint64 value) { return raw(key, QString::number(value)); }
    JsonLine& raw(QStringView key, const QString& value) {
        m_text += u',' + json::CanonicalString(key) + u':' + value;
        return *this;
    }
    // The counts of an album or a run: a dry run adds what it planned after "saved".
    JsonLine& counts(const jobs::Tally& songs, RunKind kind) {
        number(u"saved", songs.stored);
        if (kind == RunKind::DryRun)
            number(u"planned", songs.planned);
        return number(u"present", songs.present)
            .number(u"failed", songs.failed)
            .number(u"bytes", songs.bytes);
    }
    [[nodiscard]] QString line() const { return m_text + u"}\n"; }

private:
    QString m_text;
};

QStringView stateName(jobs::SongState state) {
    switch (state) {
    case jobs::SongState::Saved:
        return u"saved";
    case jobs::SongState::Present:
        return u"present";
    case jobs::SongState::Archived:
        return u"archived";
    case jobs::SongState::Planned:
        return u"planned";
    case jobs::SongState::Failed:
        return u"failed";
    case jobs::SongState::Stopped:
        return u"stopped";
    }
    return u"failed";
}

QString progressKey(const jobs::SongRef& song) {
    return song.albumId + u'/' + song.songId;
}

JsonLinesHost::MsClock steadyClock() {
    QElapsedTimer timer;
    timer.start();
    return [timer] {
        return timer.elapsed();
    };
}

} // namespace

JsonLinesHost::JsonLinesHost(QIODevice* out, jobs::JobHost& inner, RunKind kind, MsClock clock)
    : jobs::ForwardingHost(inner), m_out(out), m_kind(kind),
      m_clock(clock ? std::move(clock) : steadyClock()) {}

void JsonLinesHost::write(const QString& line) {
    m_out->write(line.toUtf8());
    // A reader follows the run line by line: nothing may wait in stdout's buffer.
    FlushDevice(m_out);
}

void JsonLinesHost::songProgress(const jobs::SongRef& song, qint64 received, qint64 total) {
    jobs::ForwardingHost::songProgress(song, received, total);
    const qint64 now = m_clock();
    const QString key = progressKey(song);
    const auto last = m_lastProgress.constFind(key);
    if (last != m_lastProgress.constEnd() && now - *last < kProgressGapMs)
        return;
    m_lastProgress.insert(key, now);
    write(JsonLine(u"progress")
              .text(u"album", song.albumId)
              .text(u"id", song.songId)
              .number(u"bytes", received)
              .raw(u"total", total < 0 ? QStringLiteral("null") : QString::number(total))
              .line());
}

void JsonLinesHost::albumStarted(const jobs::AlbumInfo& album) {
    jobs::ForwardingHost::albumStarted(album);
    write(JsonLine(u"album")
              .text(u"id", album.id)
              .text(u"title", album.title)
              .text(u"folder", AbsolutePath(album.folder))
              .line());
}

void JsonLinesHost::songFinished(const jobs::SongEvent& song) {
    jobs::ForwardingHost::songFinished(song);
    m_lastProgress.remove(progressKey({song.album.id, song.songId}));
    JsonLine line(u"song");
    line.text(u"album", song.album.id)
        .text(u"id", song.songId)
        .text(u"title", song.title)
        .text(u"state", stateName(song.state))
        .text(u"path", AbsolutePath(song.path))
        .number(u"bytes", song.bytes);
    if (song.state == jobs::SongState::Failed)
        line.text(u"reason", song.reason);
    write(line.line());
}

void JsonLinesHost::jobError(const jobs::JobError& error) {
    jobs::ForwardingHost::jobError(error);
    JsonLine line(u"error");
    line.text(u"album", error.album.id);
    // A singer's own failure (its page, an album-list page) has no album: the singer names it.
    if (!error.singerId.isEmpty())
        line.text(u"singer", error.singerId);
    write(line.text(u"message", error.message).line());
}

void JsonLinesHost::albumFinished(const jobs::AlbumInfo& album, const jobs::Tally& songs) {
    jobs::ForwardingHost::albumFinished(album, songs);
    write(JsonLine(u"album-done").text(u"id", album.id).counts(songs, m_kind).line());
}

void JsonLinesHost::singerListed(int index, const QString& id, const QString& name) {
    write(JsonLine(u"singer").number(u"index", index).text(u"id", id).text(u"name", name).line());
}

void JsonLinesHost::summary(const jobs::Tally& songs, double seconds, int exitCode) {
    write(JsonLine(u"summary")
              .counts(songs, m_kind)
              .raw(u"seconds", QString::number(seconds, 'f', 3))
              .number(u"exit", exitCode)
              .line());
}

} // namespace orvana::cli
