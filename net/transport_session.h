#pragma once

#include "net/cookie_store.h"

#include <QNetworkProxy>
#include <memory>
#include <mutex>
#include <optional>

namespace orvana::net {

class ConnectionPool;

// What every transport of one process shares: the cookie store, the proxy in force for byte
// fetches, and the connection pool (open connections kept alive, DNS answers, TLS sessions). A
// proxy once applied stays in force for the life of the session (unticking the box does not
// bring direct access back). Thread-safe: the front end makes one and hands it to each
// ModDownFile, and ModDownFiles of one session may run on as many threads at once as it likes.
class TransportSession {
public:
    explicit TransportSession(std::shared_ptr<CookieStore> cookies = nullptr);
    ~TransportSession();
    TransportSession(const TransportSession&) = delete;
    TransportSession& operator=(const TransportSession&) = delete;

    [[nodiscard]] const std::shared_ptr<CookieStore>& cookies() const noexcept { return m_cookies; }

    void setByteFetchProxy(const QNetworkProxy& proxy);
    // The proxy for byte fetches, or nullopt while none was ever applied (direct access).
    [[nodiscard]] std::optional<QNetworkProxy> byteFetchProxy() const;

    [[nodiscard]] ConnectionPool& connections() const noexcept { return *m_connections; }

private:
    std::shared_ptr<CookieStore> m_cookies;
    std::unique_ptr<ConnectionPool> m_connections;
    mutable std::mutex m_mutex;
    std::optional<QNetworkProxy> m_proxy;
};

} // namespace orvana::net
