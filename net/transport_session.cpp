#include "net/transport_session.h"

#include "net/connection_pool.h"

namespace orvana::net {

TransportSession::TransportSession(std::shared_ptr<CookieStore> cookies)
    : m_cookies(cookies ? std::move(cookies) : std::make_shared<CookieStore>()),
      m_connections(std::make_unique<ConnectionPool>()) {}

TransportSession::~TransportSession() = default;

void TransportSession::setByteFetchProxy(const QNetworkProxy& proxy) {
    std::lock_guard lock(m_mutex);
    m_proxy = proxy;
}

std::optional<QNetworkProxy> TransportSession::byteFetchProxy() const {
    std::lock_guard lock(m_mutex);
    return m_proxy;
}

} // namespace orvana::net
