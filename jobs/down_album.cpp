#include "jobs/down_album.h"

#include "jobs/portal.h"

namespace orvana::jobs {

bool ApplyJobProxy(net::ModDownFile& transport, JobHost& host, const JobSettings& settings) {
    try {
        transport.ApplyProxySetting(settings.proxy);
        return true;
    } catch (const std::exception&) {
        host.showMessage(UserText(kInvalidProxy));
        return false;
    }
}

namespace {

// The title and cover of an album page: the first h2 and img of the first div whose class is
// exactly "album-info". Without such a block both are empty.
struct AlbumPage {
    QString title;
    net::HtmlElement img;
};

AlbumPage readAlbumPage(const net::HtmlDocument& page) {
    net::HtmlElement block;
    const net::HtmlElementList divs = page.getElementsByTagName(QStringLiteral("div"));
    for (int i = 0; i < divs.Length(); ++i) {
        if (divs.item(i).className() == u"album-info") {
            block = divs.item(i);
            break;
        }
    }
    AlbumPage album;
    try {
        album.title = block.getElementsByTagName(QStringLiteral("h2")).item(0).innerText();
    } catch (const std::exception&) {
    }
    try {
        album.img = block.getElementsByTagName(QStringLiteral("img")).item(0);
    } catch (const std::exception&) {
    }
    return album;
}

} // namespace

AlbumSummary DownAlbum(const QString& albumId, net::ModDownFile& transport, JobHost& host,
                       const JobSettings& settings) {
    AlbumSummary summary;
    summary.id = albumId;
    if (!ApplyJobProxy(transport, host, settings) || !IsNumericId(albumId)) {
        summary.outcome = JobOutcome::NotStarted;
        return summary;
    }
    AlbumSteps steps(transport, host, settings, AlbumScope::OwnJob);

    // Without its page the album has no folder of its own: storing the songs anyway would put
    // them under the ID, and a later run would fetch them all again into the real folder.
    net::HtmlDocument page;
    QString reason;
    const std::optional<QString> pageText =
        steps.fetchPage(PortalBase(settings.portalHost) + u"/album/" + albumId, reason);
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
        steps.reportError(summary.info(), AlbumPageFailureText(reason));
        return summary;
    }
    const AlbumPage album = readAlbumPage(page);
    summary.title = album.title;
    steps.runAlbum(settings.outputRoot, album.img, summary);
    return summary;
}

} // namespace orvana::jobs
