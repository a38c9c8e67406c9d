#include "jobs/album_steps.h"

#include "jobs/download_archive.h"
#include "jobs/download_page.h"
#include "jobs/portal.h"
#include "jobs/user_texts.h"
#include "net/file_store.h"
#include "net/text_conversion.h"

#include <QFileInfo>
#include <QUrl>
#include <algorithm>
#include <atomic>
#include <thread>
#include <vector>

namespace orvana::jobs {

namespace {

bool isCancelledError(const Error& e) {
    return e.kind() == ErrorKind::Cancelled;
}

QString songStatus(const QString& title) {
    return u"正在下载MP3: " + ControlsToSpaces(title) + u" ...";
}

QString reasonOf(const std::exception_ptr& error) {
    try {
        std::rethrow_exception(error);
    } catch (const Error& e) {
        return e.message();
    } catch (const std::exception& e) {
        return QString::fromLocal8Bit(e.what());
    }
}

} // namespace

// The job's host, one call at a time: song workers report from several threads.
class AlbumSteps::SerialHost : public ForwardingHost {
public:
    using ForwardingHost::ForwardingHost;

protected:
    void pass(const std::function<void(JobHost&)>& call) override {
        std::lock_guard lock(m_mutex);
        ForwardingHost::pass(call);
    }

private:
    std::mutex m_mutex;
};

AlbumSteps::AlbumSteps(net::ModDownFile& transport, JobHost& host, const JobSettings& settings,
                       AlbumScope scope)
    : m_transport(transport), m_serialHost(std::make_unique<SerialHost>(host)),
      m_settings(settings), m_scope(scope), m_base(PortalBase(settings.portalHost)),
      m_folders(settings.download.dryRun ? AlbumFolderChooser::Creation::PlanOnly
                                         : AlbumFolderChooser::Creation::Create) {
    // The job's token is the transport's too: one cancel stops a transfer and a retry pause
    // alike.
    m_transport.setCancelToken(settings.cancel);
}

AlbumSteps::~AlbumSteps() = default;

JobHost& AlbumSteps::host() const {
    return *m_serialHost;
}

bool AlbumSteps::cancelled() const {
    return m_settings.cancel && m_settings.cancel->isCancelled();
}

void AlbumSteps::reportError(const AlbumInfo& album, const QString& message) {
    host().jobError({album, QString(), message});
}

void AlbumSteps::runAlbum(const QString& parent, const net::HtmlElement& img, AlbumSummary& album) {
    m_cover.clear();
    makeAlbumFolder(parent, album);
    if (!album.folderError.isEmpty()) {
        reportError(album.info(), album.folderError);
    } else {
        host().albumStarted(album.info());
        if (!cancelled() && !dryRun())
            storeCover(img, album);
        downloadSongs(album);
    }
    if (cancelled())
        album.outcome = JobOutcome::Cancelled;
    host().albumFinished(album.info(), album.tally());
}

void AlbumSteps::makeAlbumFolder(const QString& parent, AlbumSummary& album) {
    // A title that cleans to nothing would spill the songs into the parent folder.
    const QString name = FileNameOf(album.title, album.id);
    if (name.isEmpty()) {
        album.folder = parent;
        return;
    }
    const AlbumFolderChooser::Choice choice = m_folders.choose(parent, name, album.id);
    album.folder = choice.path;
    album.folderError = choice.error;
    // Parts of runs that are no longer alive; a live run's locked file stays.
    if (!dryRun())
        (void)net::RemoveStalePartFiles(album.folder);
}

void AlbumSteps::storeCover(const net::HtmlElement& img, AlbumSummary& album) {
    host().setStatus(u"下载专辑封面: 《" + ControlsToSpaces(album.title) + u"》 ... ");
    const QString path = album.folder + u"/cover.jpg";
    if (QFileInfo(path).isDir()) {
        album.coverError = u"封面无法保存: 已有同名文件夹 " + path;
        reportError(album.info(), album.coverError);
        return;
    }
    try {
        QString address = img.src();
        if (address.contains(u"blank"))
            address = img.org_src();
        address.replace(QStringLiteral("about:"), m_base + u'/');
        m_transport.FetchToBuffer(address);
        // The songs' tags carry the picture that arrived, whether or not it could be stored.
        m_cover = m_transport.downloadBuffer;
        // An empty buffer is refused, so a failed re-run keeps the old cover. Named on the
        // committer thread while the songs download.
        m_transport.StoreBufferDeferred(path);
    } catch (const std::exception&) {
        // No cover is not a reason to stop: the songs come from another request.
    }
}

void AlbumSteps::downloadSongs(AlbumSummary& album) {
    SongList list;
    if (!cancelled()) {
        ListAnswer answer;
        try {
            answer = ReadListAnswer(m_transport.RequestText(
                QStringLiteral("utf-8"), m_base + u"/data/music/songlist?hotbar=1&moduleName=album",
                u"id=" + album.id + u"&type=album"));
        } catch (const std::exception&) {
        }
        list = PlanSongs(answer, album.folder);
        m_songCount = int(list.songs.size());
        if (list.missing) {
            album.songListMissing = true;
            reportError(album.info(), SongListFailureText(m_scope, album.title));
        }
        fetchSongs(list, album);
    }
    // The cover and the songs still being named are on disk, and count, before the album ends.
    (void)m_transport.FinishCommits();
    finishSongs(list, album);
}

void AlbumSteps::fetchSongs(const SongList& list, AlbumSummary& album) {
    const qsizetype count = list.songs.size();
    std::atomic<qsizetype> next{0};
    auto work = [&](net::ModDownFile& transport) {
        for (qsizetype i = next++; i < count && !cancelled(); i = next++) {
            // Songs named meanwhile are told now, not at the album's end.
            (void)transport.ReapCommits();
            const PlannedSong& song = list.songs.at(i);
            {
                std::lock_guard lock(m_albumMutex);
                ++album.listed;
            }
            if (dryRun()) {
                planSong(song, album);
                continue;
            }
            if (song.idNotNumeric)
                host().showMessage(UserText(kSongIdNotNumeric));
            downloadSong(song, album, transport);
        }
        (void)transport.FinishCommits();
    };
    // A dry run fetches nothing per song: one worker plans them all.
    const int workers =
        dryRun() ? 1
                 : int(std::min<qsizetype>(
                       std::clamp(m_settings.download.parallel, 1, kMaxParallelSongs), count));
    std::vector<std::thread> helpers;
    for (int w = 1; w < workers; ++w) {
        helpers.emplace_back([&] {
            try {
                // Made and destroyed on its worker: a transport belongs to one thread.
                net::ModDownFile transport(m_transport.session(), m_transport.transferSettings(),
                                           m_transport.cancelToken());
                work(transport);
            } catch (const std::exception&) {
                // A worker that cannot start leaves its songs to the others.
            }
        });
    }
    work(m_transport);
    for (std::thread& helper : helpers)
        helper.join();
}

void AlbumSteps::planSong(const PlannedSong& song, AlbumSummary& album) {
    if (archived(song.songId))
        songDone(song, album, SongState::Archived);
    else if (!song.path.isEmpty() && QFileInfo::exists(song.path))
        songDone(song, album, SongState::Present);
    else
        songDone(song, album, SongState::Planned);
}

void AlbumSteps::downloadSong(const PlannedSong& song, AlbumSummary& album,
                              net::ModDownFile& transport) {
    if (archived(song.songId))
        return songDone(song, album, SongState::Archived);
    if (song.path.isEmpty())
        return songFailed(song, album, QStringLiteral("歌曲没有可用作文件名的标题或编号"));
    // Taking a folder for the song would skip it on every run.
    if (QFileInfo(song.path).isDir())
        return songFailed(song, album, u"歌曲无法保存: 已有同名文件夹 " + song.path);
    if (QFileInfo::exists(song.path)) {
        // Present whatever its download page does: the page is still asked for (the portal
        // sees the usual requests), but its failure is neither retried nor counted.
        host().setStatus(songStatus(song.title));
        try {
            (void)transport.RequestText(QStringLiteral("UTF-8"), downloadPageAddress(song.songId),
                                        QString());
        } catch (const std::exception&) {
        }
        if (cancelled())
            return songDone(song, album, SongState::Stopped);
        archiveSong(song.songId);
        return songDone(song, album, SongState::Present);
    }
    try {
        const Retried result = withRetries([&] { fetchSong(song, album, transport); });
        if (result.end == Retried::End::Permanent)
            songFailed(song, album, result.reason);
        else if (result.end == Retried::End::Exhausted)
            songFailed(song, album,
                       QStringLiteral("尝试 %1 次均失败: ").arg(result.attempts) + result.reason);
        else if (result.end == Retried::End::Cancelled)
            songDone(song, album, SongState::Stopped);
    } catch (const Error& e) {
        // The disk refused the file: another attempt would meet the same refusal.
        if (isCancelledError(e))
            songDone(song, album, SongState::Stopped);
        else
            songFailed(song, album, e.message());
    } catch (const std::exception& e) {
        songFailed(song, album, QString::fromLocal8Bit(e.what()));
    }
}

void AlbumSteps::fetchSong(const PlannedSong& song, AlbumSummary& album,
                           net::ModDownFile& transport) {
    host().setStatus(songStatus(song.title));
    const QString page =
        transport.RequestText(QStringLiteral("UTF-8"), downloadPageAddress(song.songId), QString());
    const std::optional<QString> address = CutFileAddress(page);
    if (!address)
        return songFailed(song, album, QStringLiteral("下载页中没有歌曲文件地址"));
    const QString scheme = QUrl(*address).scheme();
    if (scheme != u"http" && scheme != u"https")
        return songFailed(song, album, u"歌曲文件地址不是 http 或 https 地址: " + *address);
    // The file is named on the committer thread while the next song downloads; it counts once
    // named. The name may be the "noTitle" fallback.
    const SongRef ref{album.id, song.songId};
    transport.FetchToFileDeferred(
        *address, song.path,
        [this, ref](qint64 received, qint64 total) { host().songProgress(ref, received, total); },
        tagsOf(song, album),
        [this, &album, song](const net::StoredSong& stored, std::exception_ptr error) {
            if (error)
                return songFailed(song, album, reasonOf(error));
            if (!stored.untagged.isEmpty())
                host().warning(u"无法写入标签: " + ControlsToSpaces(song.title) + u" (" +
                               stored.untagged + u')');
            archiveSong(song.songId);
            songDone(song, album, SongState::Saved, stored.bytes, stored.path);
        });
}

std::optional<net::SongTags> AlbumSteps::tagsOf(const PlannedSong& song,
                                                const AlbumSummary& album) const {
    if (!m_settings.download.tags)
        return std::nullopt;
    return net::SongTags{song.title, album.title, song.position, m_songCount, m_artist, m_cover};
}

QString AlbumSteps::downloadPageAddress(const QString& songId) const {
    return m_base + u"/song/" + songId + u"/download";
}

bool AlbumSteps::archived(const QString& songId) const {
    return m_settings.download.archive && m_settings.download.archive->contains(songId);
}

void AlbumSteps::archiveSong(const QString& songId) {
    if (!m_settings.download.archive)
        return;
    try {
        m_settings.download.archive->add(songId);
    } catch (const Error& e) {
        host().warning(e.message());
    }
}

void AlbumSteps::tellInOrder(int position, const SongEvent& event, AlbumSummary& album) {
    std::lock_guard lock(m_eventMutex);
    m_waitingEvents.insert(position, event);
    tellWaiting(false, album);
}

void AlbumSteps::tellWaiting(bool all, AlbumSummary& album) {
    while (!m_waitingEvents.isEmpty() &&
           (all || m_waitingEvents.firstKey() == m_nextEventPosition)) {
        m_nextEventPosition = m_waitingEvents.firstKey() + 1;
        const SongEvent event = m_waitingEvents.take(m_waitingEvents.firstKey());
        // Counted as told, so the failures stand in list order as their events do.
        if (event.state == SongState::Failed) {
            std::lock_guard albumLock(m_albumMutex);
            album.failures.append({event.songId, event.title, event.reason});
        }
        host().songFinished(event);
    }
}

void AlbumSteps::finishSongs(const SongList& list, AlbumSummary& album) {
    {
        // Songs never reached (a cancel) leave gaps: whatever waits is told now.
        std::lock_guard lock(m_eventMutex);
        tellWaiting(true, album);
        m_nextEventPosition = 1;
    }
    if (dryRun())
        return;
    if (m_settings.download.archive) {
        try {
            m_settings.download.archive->sync();
        } catch (const Error& e) {
            host().warning(e.message());
        }
    }
    if (m_settings.download.playlist && !list.missing && album.folderError.isEmpty())
        writePlaylist(list, album);
    m_written.clear();
}

void AlbumSteps::writePlaylist(const SongList& list, const AlbumSummary& album) {
    QString text = QStringLiteral("#EXTM3U\n");
    for (const PlannedSong& song : list.songs) {
        const QString path = m_written.value(song.songId, song.path);
        if (path.isEmpty() || !QFileInfo(path).isFile())
            continue;
        text += u"#EXTINF:-1," + ControlsToSpaces(song.title) + u'\n' + QFileInfo(path).fileName() +
                u'\n';
    }
    try {
        net::StoreBytes(text.toUtf8(), album.folder + u"/playlist.m3u8");
    } catch (const Error& e) {
        host().warning(e.message());
    }
}

void AlbumSteps::songFailed(const PlannedSong& song, AlbumSummary& album, const QString& reason) {
    AlbumInfo info;
    {
        std::lock_guard lock(m_albumMutex);
        info = album.info();
    }
    tellInOrder(song.position,
                {info, song.songId, song.title, SongState::Failed, song.path, 0, reason}, album);
}

void AlbumSteps::songDone(const PlannedSong& song, AlbumSummary& album, SongState state,
                          qint64 bytes, const QString& path) {
    AlbumInfo info;
    {
        std::lock_guard lock(m_albumMutex);
        switch (state) {
        case SongState::Saved:
            ++album.stored;
            album.bytes += bytes;
            m_written.insert(song.songId, path);
            break;
        case SongState::Present:
        case SongState::Archived:
            ++album.present;
            break;
        case SongState::Planned:
            ++album.planned;
            break;
        case SongState::Failed:
        case SongState::Stopped:
            break;
        }
        info = album.info();
    }
    tellInOrder(
        song.position,
        {info, song.songId, song.title, state, path.isEmpty() ? song.path : path, bytes, {}},
        album);
}

std::optional<QString> AlbumSteps::fetchPage(const QString& url, QString& reason) {
    std::optional<QString> text;
    try {
        const Retried result = withRetries([&] {
            m_transport.FetchToBuffer(url);
            // Refused before decoding: another attempt would bring the same page.
            net::CheckPageSize(m_transport.downloadBuffer.size());
            text = Utf8BytesToText(m_transport.downloadBuffer);
            m_transport.downloadBuffer.clear();
        });
        if (result.end != Retried::End::Cancelled && !result.reason.isEmpty())
            reason = result.reason;
    } catch (const Error& e) {
        m_transport.downloadBuffer.clear();
        reason = e.message();
    }
    return text;
}

AlbumSteps::Retried AlbumSteps::withRetries(const std::function<void()>& attempt) {
    const int attempts = std::max(1, m_settings.retry.attempts);
    Retried result;
    result.attempts = attempts;
    for (int n = 1; n <= attempts; ++n) {
        if (cancelled())
            return {Retried::End::Cancelled, result.reason, n - 1};
        std::optional<int> retryAfter;
        try {
            attempt();
            return {Retried::End::Done, {}, n};
        } catch (const net::TransportError& e) {
            if (isCancelledError(e))
                return {Retried::End::Cancelled, result.reason, n};
            // No new attempt can change a refused redirect, a cap or an unreadable encoding.
            if (e.permanent())
                return {Retried::End::Permanent, e.message(), n};
            result.reason = e.message();
            retryAfter = e.retryAfterSeconds();
        }
        if (n < attempts)
            pause(n, retryAfter);
    }
    result.end = Retried::End::Exhausted;
    return result;
}

void AlbumSteps::pause(int attempt, std::optional<int> retryAfterSeconds) {
    const auto& pauses = m_settings.retry.pauses;
    std::chrono::milliseconds wait{0};
    if (!pauses.empty())
        wait = pauses[std::min<std::size_t>(std::size_t(attempt - 1), pauses.size() - 1)];
    if (retryAfterSeconds && *retryAfterSeconds > 0) {
        const std::chrono::milliseconds asked = std::chrono::seconds(*retryAfterSeconds);
        wait = std::max(wait, std::min(asked, m_settings.retry.maxRetryAfter));
    }
    JobClock& clock = m_settings.clock ? *m_settings.clock : m_realClock;
    clock.sleep(wait, m_settings.cancel.get());
}

} // namespace orvana::jobs
