#include "jobs/down_singer.h"

#include "jobs/album_folder.h"
#include "jobs/portal.h"
#include "net/file_store.h"
#include "net/text_conversion.h"

#include "json/parser.h"
#include <QDir>
#include <QFileInfo>
#include <QHash>
#include <QSet>
#include <algorithm>

namespace orvana::jobs {

namespace {

constexpr QStringView kValidPageMark = u"\"errorCode\":22000";
// Stands for a list page over the page cap: valid and holding albums, but with no list to read.
constexpr QStringView kOversizedPage = u"{\"errorCode\":22000,\"album-info\":0}";

class SingerRun {
public:
    SingerRun(const QString& singerId, net::ModDownFile& transport, JobHost& host,
              const JobSettings& settings, const AlbumListSettings& list)
        : m_id(singerId), m_transport(transport), m_host(host), m_settings(settings), m_list(list),
          m_steps(transport, host, settings, AlbumScope::InSinger),
          m_base(PortalBase(settings.portalHost)) {}

    SingerSummary run() {
        if (!ApplyJobProxy(m_transport, m_host, m_settings)) {
            m_summary.outcome = JobOutcome::NotStarted;
            return m_summary;
        }
        readSingerPage();
        m_steps.setArtist(m_summary.name);
        makeSingerFolder();
        for (int offset = 0;; offset += 10) {
            if (m_steps.cancelled())
                break;
            if (offset > m_list.maxOffset) {
                m_summary.offsetLimitReached = true;
                m_summary.stoppedAtOffset = offset;
                singerError(AlbumListLimitText(m_id, offset));
                break;
            }
            const std::optional<QString> text = fetchListPage(offset);
            if (!text)
                break;
            if (!text->contains(u"album-info"))
                break;
            albumsOfPage(offset, *text);
        }
        if (m_steps.cancelled())
            m_summary.outcome = JobOutcome::Cancelled;
        return m_summary;
    }

private:
    void readSingerPage() {
        try {
            m_transport.FetchToBuffer(m_base + u"/artist/" + m_id);
            net::CheckPageSize(m_transport.downloadBuffer.size());
            m_page.Clear();
            m_page.write(Utf8BytesToText(m_transport.downloadBuffer));
            m_transport.downloadBuffer.clear();
            m_summary.name = m_page.getElementById(QStringLiteral("baseInfo"))
                                 .getElementsByTagName(QStringLiteral("h2"))
                                 .item(0)
                                 .innerText();
        } catch (const std::exception&) {
            m_summary.singerPageMissing = true;
            singerError(SingerPageFailureText(m_id));
        }
    }

    void singerError(const QString& message) { m_host.jobError({{}, m_id, message}); }

    void makeSingerFolder() {
        // A name that cleans to nothing would spill the albums into the output root.
        const QString name = FileNameOf(m_summary.name, m_id);
        m_summary.folder =
            name.isEmpty() ? m_settings.outputRoot : m_settings.outputRoot + u'/' + name;
        if (!m_steps.dryRun() && !QFileInfo(m_summary.folder).isDir())
            QDir().mkdir(m_summary.folder);
    }

    // The page's text once it carries the valid-page mark; nullopt when given up or cancelled.
    std::optional<QString> fetchListPage(int offset) {
        const QString address = m_base + u"/data/user/getalbums?start=" + QString::number(offset) +
                                u"&vesk_uid=" + m_id + u"&order=hot";
        const int attempts = std::max(1, m_list.attempts);
        for (int attempt = 1; attempt <= attempts; ++attempt) {
            if (m_steps.cancelled())
                return std::nullopt;
            try {
                m_transport.FetchToBuffer(address);
                if (m_transport.downloadBuffer.size() > net::kMaxPageBytes) {
                    // Its list could not be read whatever came again: a failed page, not a
                    // refused one.
                    m_transport.downloadBuffer.clear();
                    return kOversizedPage.toString();
                }
                const QString text = Utf8BytesToText(m_transport.downloadBuffer);
                m_transport.downloadBuffer.clear();
                if (text.contains(kValidPageMark))
                    return text;
            } catch (const std::exception&) {
                // A failed request is a refused page: tried again below.
            }
            if (m_steps.cancelled())
                return std::nullopt;
            if (attempt == attempts)
                break;
            m_host.setStatus(AlbumListRetryText(clock().now()));
            clock().sleep(pauseBefore(attempt + 1), m_settings.cancel.get());
        }
        if (!m_steps.cancelled()) {
            m_summary.listGivenUp = true;
            m_summary.stoppedAtOffset = offset;
            singerError(AlbumListGivenUpText(m_id, offset));
        }
        return std::nullopt;
    }

    std::chrono::milliseconds pauseBefore(int attempt) const {
        const auto& pauses = m_list.pauses;
        if (pauses.empty())
            return std::chrono::milliseconds(0);
        return pauses[std::min<std::size_t>(std::size_t(attempt - 2), pauses.size() - 1)];
    }

    void albumsOfPage(int offset, const QString& text) {
        // The singer page's document is reused: from here on it holds this page's fragment.
        m_page.Clear();
        const ListAnswer answer = ReadListAnswer(text);
        // Albums of a page that cannot be read are missing: the singer is not complete, the
        // next page may still be read.
        auto unreadable = [&] {
            m_page.Clear();
            m_summary.unreadablePages.append(offset);
            singerError(AlbumListUnreadableText(m_id, offset));
        };
        try {
            if (!answer.html)
                return unreadable();
            m_page.write(*answer.html);
        } catch (const std::exception&) {
            return unreadable();
        }
        int albumsFound = 0;
        const net::HtmlElementList links = m_page.links();
        const int count = links.Length();
        for (int i = 0; i < count; ++i) {
            if (m_steps.cancelled())
                return;
            const net::HtmlElement link = links.item(i);
            QString albumId;
            QString title;
            net::HtmlElement img;
            try {
                if (link.className() != u"cover")
                    continue;
                albumId = link.href();
                albumId.remove(QStringLiteral("about:"));
                albumId.remove(QStringLiteral("/album/"));
                if (!IsNumericId(albumId))
                    continue;
                title = link.title();
                img = link.getElementsByTagName(QStringLiteral("img")).item(0);
            } catch (const std::exception&) {
                continue;
            }
            ++albumsFound;
            AlbumSummary album;
            album.id = albumId;
            album.title = title;
            m_steps.runAlbum(m_summary.folder, img, album);
            m_summary.albums.append(album);
        }
        // An answer cut short before its first album is no list.
        if (albumsFound == 0 && answer.parserMessages)
            unreadable();
    }

    JobClock& clock() { return m_settings.clock ? *m_settings.clock : m_realClock; }

    const QString m_id;
    net::ModDownFile& m_transport;
    JobHost& m_host;
    const JobSettings& m_settings;
    const AlbumListSettings& m_list;
    AlbumSteps m_steps;
    const QString m_base;
    net::HtmlDocument m_page;
    JobClock m_realClock;
    SingerSummary m_summary;
};

} // namespace

Tally SingerSummary::tally() const {
    Tally sum;
    for (const AlbumSummary& a : albums)
        sum += a.tally();
    return sum;
}

bool SingerSummary::complete() const {
    return outcome == JobOutcome::Finished && !listGivenUp && !offsetLimitReached &&
           unreadablePages.isEmpty() &&
           std::all_of(albums.begin(), albums.end(),
                       [](const AlbumSummary& a) { return a.complete(); });
}

QString AlbumListRetryText(const QDateTime& when) {
    // The short date and long time of a Chinese desktop, whatever the process's locale.
    return u"专辑列表获取失败,重试..." + when.toString(QStringLiteral("yyyy/M/d H:mm:ss"));
}

SingerSummary DownSinger(const QString& singerId, net::ModDownFile& transport, JobHost& host,
                         const JobSettings& settings, const AlbumListSettings& listSettings) {
    return SingerRun(singerId, transport, host, settings, listSettings).run();
}

} // namespace orvana::jobs
