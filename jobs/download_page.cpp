#include "jobs/download_page.h"

namespace orvana::jobs {

std::optional<QString> CutFileAddress(const QString& page) {
    const qsizetype marker = page.lastIndexOf(kFileLinkMarker);
    if (marker < 0)
        return std::nullopt;
    const qsizetype start = marker + kFileLinkMarker.size();
    qsizetype end = page.indexOf(QStringView(u"\"}"), start);
    if (end < 0)
        end = page.indexOf(QStringView(u"&quot"), start);
    if (end < 0)
        return std::nullopt;
    QString address = page.mid(start, end - start);
    address.replace(QStringLiteral("\\/"), QStringLiteral("/"));
    return address;
}

} // namespace orvana::jobs
