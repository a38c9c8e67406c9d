#include "jobs/down_album.h"

#include "jobs/download_page.h"
#include "jobs/portal.h"
#include "net/file_store.h"
#include "net/text_conversion.h"

#include "json/parser.h"
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QSet>
#include <QUrl>
#include <algorithm>

namespace orvana::jobs {

namespace {

// A cleaned, length-limited name; empty when nothing of text can name a file.
QString fileNameOf(const QString& text) {
    return net::CutNameToBytes(CleanFileName(text));
}

bool isCancelledError(const Error& e) {
    return e.kind() == ErrorKind::Cancelled;
}

} // namespace

Tally& Tally::operator+=(const Tally& other) {
    stored += other.stored;
    present += other.present;
    failed += other.failed;
    bytes += other.bytes;
    return *this;
}

ListAnswer ReadListAnswer(const QString& text) {
    ListAnswer answer;
    const std::optional<json::Value> root = json::Parse(text);
    answer.parserMessages = !json::ParseErrors().isEmpty();
    if (!root)
        return answer;
    const auto top = root->dictionary();
    if (!top)
        return answer;
    const auto data = top->Item(QStringLiteral("data")).dictionary();
    if (!data)
        return answer;
    const json::Value html = data->Item(QStringLiteral("html"));
    if (html.isString())
        answer.html = html.toString();
    return answer;
}

AlbumSteps::AlbumSteps(net::ModDownFile& transport, JobHost& host, const JobSettings& settings)
    : m_transport(transport), m_host(host), m_settings(settings),
      m_base(PortalBase(settings.portalHost)) {
    // The job's token is the transport's too: one cancel stops a transfer and a retry pause
    // alike.
    m_transport.setCancelToken(settings.cancel);
}

bool AlbumSteps::cancelled() const {
    return m_settings.cancel && m_settings.cancel->isCancelled();
}

void AlbumSteps::makeAlbumFolder(const QString& parent, const QString& title,
                                 const QString& albumId, AlbumSummary& summary) {
    // A title that cleans to nothing would spill the songs into the parent folder.
    QString name = fileNameOf(title);
    if (name.isEmpty())
        name = fileNameOf(albumId);
    if (name.isEmpty()) {
        summary.folder = parent;
        return;
    }
    const AlbumFolderChooser::Choice choice = m_folders.choose(parent, name, albumId);
    summary.folder = choice.path;
    summary.folderError = choice.error;
    // Parts of runs that are no longer alive; a live run's locked file stays.
    (void)net::RemoveStalePartFiles(summary.folder);
}

void AlbumSteps::storeCover(const QString& title, const net::HtmlElement& img,
                            const QString& folder, AlbumSummary& summary) {
    m_host.setStatus(u"下载专辑封面: 《" + ControlsToSpaces(title) + u"》 ... ");
    const QString path = folder + u"/cover.jpg";
    if (QFileInfo(path).isDir()) {
        summary.coverError = u"封面无法保存: 已有同名文件夹 " + path;
        return;
    }
    try {
        QString address = img.src();
        if (address.contains(u"blank"))
            address = img.org_src();
        address.replace(QStringLiteral("about:"), m_base + u'/');
        m_transport.FetchToBuffer(address);
        // An empty buffer is refused, so a failed re-run keeps the old cover. Named on the
        // committer thread while the songs download.
        m_transport.StoreBufferDeferred(path);
    } catch (const std::exception&) {
        // No cover is not a reason to stop: the songs come from another request.
    }
}

void AlbumSteps::downloadSongs(const QString& albumId, const QString& folder,
                               AlbumSummary& summary) {
    // The cover and songs still being named are on disk, and count, before this returns,
    // whichever way it returns.
    struct CommitsFinished {
        net::ModDownFile& transport;
        ~CommitsFinished() { (void)transport.FinishCommits(); }
    } commitsFinished{m_transport};
    if (cancelled())
        return;
    ListAnswer answer;
    try {
        answer = ReadListAnswer(m_transport.RequestText(
            QStringLiteral("utf-8"), m_base + u"/data/music/songlist?hotbar=1&moduleName=album",
            u"id=" + albumId + u"&type=album"));
    } catch (const std::exception&) {
    }
    const std::optional<QString>& fragment = answer.html;
    if (!fragment) {
        summary.songListMissing = true;
        return;
    }

    net::HtmlDocument doc;
    try {
        doc.Clear();
        doc.write(*fragment);
    } catch (const std::exception&) {
        summary.songListMissing = true;
        return;
    }
    const net::HtmlElementList links = doc.links();
    const int count = links.Length();
    auto hrefOf = [&links](int i) {
        try {
            return links.item(i).href();
        } catch (const std::exception&) {
            return QString();
        }
    };
    bool anySong = false;
    for (int i = 0; i < count && !anySong; ++i)
        anySong = hrefOf(i).contains(u"/song/");
    if (!anySong) {
        // An answer cut short before its first song is no list; a clean one is an empty album.
        summary.songListMissing = answer.parserMessages;
        return;
    }

    QSet<QString> seenIds;
    QSet<QString> usedNames;
    QHash<QString, int> songsPerName;
    for (int i = 0; i < count; ++i) {
        if (cancelled())
            return;
        const net::HtmlElement link = links.item(i);
        const QString href = hrefOf(i);
        if (!href.contains(u"/song/"))
            continue;
        QString songId = href;
        songId.remove(QStringLiteral("about:"));
        songId.remove(QStringLiteral("/song/"));
        // The same song listed twice is one song: it was handled at its first listing.
        if (seenIds.contains(songId))
            continue;
        seenIds.insert(songId);
        ++summary.listed;
        if (!IsNumericId(songId))
            m_host.showMessage(UserText(kSongIdNotNumeric));

        QString title;
        try {
            title = link.title();
        } catch (const std::exception&) {
        }
        QString base = fileNameOf(title);
        if (base.isEmpty())
            base = fileNameOf(songId);
        if (base.isEmpty()) {
            summary.failures.append(
                {songId, title, QStringLiteral("歌曲没有可用作文件名的标题或编号")});
            continue;
        }
        // Different songs whose names clean to the same text are all kept, numbered in list
        // order, so a re-run finds each under the same name.
        int n = songsPerName.value(base) + 1;
        QString name = n == 1 ? base : base + QStringLiteral(" (%1)").arg(n);
        while (usedNames.contains(name))
            name = base + QStringLiteral(" (%1)").arg(++n);
        songsPerName.insert(base, n);
        usedNames.insert(name);
        downloadSong(songId, title, folder + u'/' + name + u".mp3", summary);
    }
}

void AlbumSteps::downloadSong(const QString& songId, const QString& title, const QString& path,
                              AlbumSummary& summary) {
    if (QFileInfo(path).isDir()) {
        // Taking the folder for the song would skip it on every run.
        summary.failures.append({songId, title, u"歌曲无法保存: 已有同名文件夹 " + path});
        return;
    }
    if (QFileInfo::exists(path)) {
        // Present whatever its download page does: the page is still asked for (the portal
        // sees the usual requests), but its failure is neither retried nor counted.
        m_host.setStatus(u"正在下载MP3: " + ControlsToSpaces(title) + u" ...");
        try {
            (void)m_transport.RequestText(QStringLiteral("UTF-8"), downloadPageAddress(songId),
                                          QString());
        } catch (const std::exception&) {
        }
        if (!cancelled())
            ++summary.present;
        return;
    }
    try {
        const Retried result = withRetries([&] { fetchSong(songId, title, path, summary); });
        if (result.end == Retried::End::Permanent)
            summary.failures.append({songId, title, result.reason});
        else if (result.end == Retried::End::Exhausted)
            summary.failures.append(
                {songId, title,
                 QStringLiteral("尝试 %1 次均失败: ").arg(result.attempts) + result.reason});
    } catch (const Error& e) {
        // The disk refused the file: another attempt would meet the same refusal.
        if (!isCancelledError(e))
            summary.failures.append({songId, title, e.message()});
    } catch (const std::exception& e) {
        summary.failures.append({songId, title, QString::fromLocal8Bit(e.what())});
    }
}

void AlbumSteps::fetchSong(const QString& songId, const QString& title, const QString& path,
                           AlbumSummary& summary) {
    m_host.setStatus(u"正在下载MP3: " + ControlsToSpaces(title) + u" ...");
    const QString page =
        m_transport.RequestText(QStringLiteral("UTF-8"), downloadPageAddress(songId), QString());
    const std::optional<QString> address = CutFileAddress(page);
    if (!address) {
        summary.failures.append({songId, title, QStringLiteral("下载页中没有歌曲文件地址")});
        return;
    }
    const QString scheme = QUrl(*address).scheme();
    if (scheme != u"http" && scheme != u"https") {
        summary.failures.append(
            {songId, title, u"歌曲文件地址不是 http 或 https 地址: " + *address});
        return;
    }
    // The file is named on the committer thread while the next song downloads; it counts once
    // named (downloadSongs waits for that). The name may be the "noTitle" fallback.
    m_transport.FetchToFileDeferred(
        *address, path,
        [this](qint64 received, qint64 total) { m_host.songProgress(received, total); },
        [&summary, songId, title](const QString& written, std::exception_ptr error) {
            if (!error) {
                summary.bytes += QFileInfo(written).size();
                ++summary.stored;
                return;
            }
            try {
                std::rethrow_exception(error);
            } catch (const Error& e) {
                summary.failures.append({songId, title, e.message()});
            } catch (const std::exception& e) {
                summary.failures.append({songId, title, QString::fromLocal8Bit(e.what())});
            }
        });
}

QString AlbumSteps::downloadPageAddress(const QString& songId) const {
    return m_base + u"/song/" + songId + u"/download";
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

bool ApplyJobProxy(net::ModDownFile& transport, JobHost& host, const JobSettings& settings) {
    try {
        transport.ApplyProxySetting(settings.proxy);
        return true;
    } catch (const std::exception&) {
        host.showMessage(UserText(kInvalidProxy));
        return false;
    }
}

AlbumSummary DownAlbum(const QString& albumId, net::ModDownFile& transport, JobHost& host,
                       const JobSettings& settings) {
    AlbumSummary summary;
    if (!ApplyJobProxy(transport, host, settings)) {
        summary.outcome = JobOutcome::NotStarted;
        return summary;
    }
    if (!IsNumericId(albumId)) {
        summary.outcome = JobOutcome::NotStarted;
        return summary;
    }
    AlbumSteps steps(transport, host, settings);
    const QString base = PortalBase(settings.portalHost);

    // Without its page the album has no folder of its own: storing the songs anyway would put
    // them under the ID, and a later run would fetch them all again into the real folder.
    net::HtmlDocument page;
    QString reason;
    const std::optional<QString> pageText = steps.fetchPage(base + u"/album/" + albumId, reason);
    if (pageText) {
        try {
            page.Clear();
            page.write(*pageText);
        } catch (const Error& e) {
            reason = e.message();
            summary.albumPageMissing = true;
        }
    } else if (!steps.cancelled()) {
        summary.albumPageMissing = true;
    }
    if (steps.cancelled()) {
        summary.outcome = JobOutcome::Cancelled;
        return summary;
    }
    if (summary.albumPageMissing) {
        summary.albumPageError = reason;
        return summary;
    }
    net::HtmlElement block;
    const net::HtmlElementList divs = page.getElementsByTagName(QStringLiteral("div"));
    for (int i = 0; i < divs.Length(); ++i) {
        if (divs.item(i).className() == u"album-info") {
            block = divs.item(i);
            break;
        }
    }
    QString title;
    net::HtmlElement img;
    try {
        title = block.getElementsByTagName(QStringLiteral("h2")).item(0).innerText();
    } catch (const std::exception&) {
    }
    try {
        img = block.getElementsByTagName(QStringLiteral("img")).item(0);
    } catch (const std::exception&) {
    }
    summary.title = title;
    steps.makeAlbumFolder(settings.outputRoot, title, albumId, summary);
    if (!summary.folderError.isEmpty())
        return summary;
    if (!steps.cancelled())
        steps.storeCover(title, img, summary.folder, summary);
    steps.downloadSongs(albumId, summary.folder, summary);
    if (steps.cancelled())
        summary.outcome = JobOutcome::Cancelled;
    return summary;
}

} // namespace orvana::jobs
