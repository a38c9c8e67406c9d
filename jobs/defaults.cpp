#include "jobs/defaults.h"

namespace orvana::jobs {

QString DefaultPortalHost() {
    return QStringLiteral(ORVANA_DEFAULT_PORTAL_HOST);
}

} // namespace orvana::jobs
