#include "jobs/catalogue.h"

#include "jobs/portal.h"
#include "net/html_document.h"
#include "net/text_conversion.h"

namespace orvana::jobs {

bool IsSeparatorRow(int row) {
    return row >= 0 && row < int(kSingerCategories.size()) && kSingerCategories[row].separator;
}

QString ArtistIndexAddress(const QString& portalHost, int row) {
    QString address = PortalBase(portalHost) + u"/artist";
    if (row >= 0 && row < int(kSingerCategories.size()))
        address += kSingerCategories[row].path;
    return address;
}

SingerLists SingerLinks(const QString& pageText, const QString& portalHost) {
    const QString absolutePrefix = PortalBase(portalHost) + u"/artist/";
    net::HtmlDocument doc;
    doc.Clear();
    doc.write(pageText);
    SingerLists lists;
    const net::HtmlElementList links = doc.links();
    for (int i = 0; i < links.Length(); ++i) {
        const net::HtmlElement link = links.item(i);
        QString id = link.href();
        id.remove(absolutePrefix);
        id.remove(QStringLiteral("/artist/"));
        id.remove(QStringLiteral("about:"));
        // The link text only decides whether the link counts; the title is the name shown. Only
        // spaces are trimmed, as in the address check: a no-break space is text.
        if (!IsNumericId(id) || TrimSpaces(link.innerText()).isEmpty())
            continue;
        lists.names.append(link.title());
        lists.ids.append(id);
    }
    return lists;
}

SingerLists GetSingers(net::ModDownFile& transport, const QString& portalHost, int row) {
    // The address is built before the fetch: a later category change does not touch it.
    const QString address = ArtistIndexAddress(portalHost, row);
    const QString page = transport.RequestText(QStringLiteral("UTF-8"), address, QString());
    return SingerLinks(page, portalHost);
}

QString SingerCountText(int count) {
    return UserText(kSingerCount).arg(count);
}

Tally TickedRunSummary::tally() const {
    Tally sum;
    for (const SingerSummary& s : singers)
        sum += s.tally();
    return sum;
}

JobOutcome TickedRunSummary::outcome() const {
    if (!singers.isEmpty() && singers.last().outcome == JobOutcome::NotStarted)
        return JobOutcome::NotStarted;
    return cancelled ? JobOutcome::Cancelled : JobOutcome::Finished;
}

bool TickedRunSummary::complete() const {
    if (cancelled)
        return false;
    for (const SingerSummary& s : singers) {
        if (!s.complete())
            return false;
    }
    return true;
}

TickedRowSource RowsOf(const SingerLists& lists, std::function<bool(int row)> isTicked) {
    TickedRowSource rows;
    rows.count = lists.size();
    rows.tickedId = [ids = lists.ids,
                     isTicked = std::move(isTicked)](int row) -> std::optional<QString> {
        if (row < 0 || row >= ids.size() || !isTicked(row))
            return std::nullopt;
        return ids.at(row);
    };
    return rows;
}

TickedRunSummary DownloadTickedSingers(const TickedRowSource& rows, net::ModDownFile& transport,
                                       JobHost& host, const JobSettings& settings,
                                       const AlbumListSettings& listSettings,
                                       const SingerDone& singerDone) {
    TickedRunSummary run;
    for (int row = 0; row < rows.count; ++row) {
        if (settings.cancel && settings.cancel->isCancelled()) {
            run.cancelled = true;
            return run;
        }
        const std::optional<QString> id = rows.tickedId(row);
        if (!id)
            continue;
        run.ids.append(*id);
        JobSettings singerSettings = settings;
        if (rows.proxyAtStart)
            singerSettings.proxy = rows.proxyAtStart();
        run.singers.append(DownSinger(*id, transport, host, singerSettings, listSettings));
        if (singerDone)
            singerDone(run.ids.last(), run.singers.last());
        // A refused proxy text would refuse every later singer too; nothing was downloaded.
        if (run.outcome() == JobOutcome::NotStarted)
            return run;
    }
    if (settings.cancel && settings.cancel->isCancelled()) {
        run.cancelled = true;
        return run;
    }
    host.setStatus(UserText(kSelectedAlbumsDone));
    return run;
}

} // namespace orvana::jobs
