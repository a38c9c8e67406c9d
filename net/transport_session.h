#pragma once

#include "net/cookie_store.h"

#include <QNetworkProxy>
#include <memory>
#include <mutex>
#include <optional>

namespace orvana::net {

// What every transport of one process shares: the cookie store and the proxy in force for byte
// fetches. A proxy once applied stays in force for the life of the session (unticking the box
// does not bring direct access back). Thread-safe; the front end makes one and hands it to each
// ModDownFile.
class TransportSession {
public:
    explicit TransportSession(std::shared_ptr<CookieStore> cookies = nullptr);

    [[nodiscard]] const std::shared_ptr<CookieStore>& cookies() const noexcept { return m_cookies; }

    void setByteFetchProxy(const QNetworkProxy& proxy);
    // The proxy for byte fetches, or nullopt while none was ever applied (direct access).
    [[nodiscard]] std::optional<QNetworkProxy> byteFetchProxy() const;

private:
    std::shared_ptr<CookieStore> m_cookies;
    mutable std::mutex m_mutex;
    std::optional<QNetworkProxy> m_proxy;
};

} // namespace orvana::net
