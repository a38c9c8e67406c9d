#include "net/transport_error.h"

namespace orvana::net {

TransportError::TransportError(QString url, int httpStatus, QString reason,
                               std::optional<int> retryAfterSeconds, ErrorKind kind,
                               Permanence permanence)
    : Error(kind, QStringLiteral("Fetching %1 failed: %2").arg(url, reason)), m_url(std::move(url)),
      m_httpStatus(httpStatus), m_reason(std::move(reason)), m_retryAfterSeconds(retryAfterSeconds),
      m_permanence(permanence) {}

} // namespace orvana::net
