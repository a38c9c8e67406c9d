#include "jobs/portal.h"

namespace orvana::jobs {

QString PortalBase(const QString& host) {
    return u"http://" + host;
}

bool IsNumericId(QStringView text) {
    if (text.isEmpty())
        return false;
    for (QChar c : text) {
        if (c < u'0' || c > u'9')
            return false;
    }
    return true;
}

bool HoldsPortalLogin(const net::CookieStore& cookies, const QString& portalHost) {
    return cookies.holdsCookie(QUrl(PortalBase(portalHost) + u'/'), kLoginCookieName);
}

} // namespace orvana::jobs
