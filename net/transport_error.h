#pragma once

#include "json/error.h"
#include <QString>
#include <optional>

namespace orvana::net {

// A failed transfer: what was asked for, how the server answered (httpStatus 0 when no answer
// came) and why it failed, in words. Kind is Transport, or Cancelled when the caller's
// CancelToken stopped it. A permanent failure is one no new attempt can change (an address that
// is refused or malformed, a refused redirect, a redirect loop, an answer over a cap, an
// encoding that cannot be read).
class TransportError : public Error {
public:
    enum class Permanence { Transient, Permanent };

    TransportError(QString url, int httpStatus, QString reason,
                   std::optional<int> retryAfterSeconds = std::nullopt,
                   ErrorKind kind = ErrorKind::Transport,
                   Permanence permanence = Permanence::Transient);

    [[nodiscard]] const QString& url() const noexcept { return m_url; }
    [[nodiscard]] int httpStatus() const noexcept { return m_httpStatus; }
    [[nodiscard]] const QString& reason() const noexcept { return m_reason; }
    // Seconds the server asked us to wait (Retry-After of a 429 or 503 answer).
    [[nodiscard]] std::optional<int> retryAfterSeconds() const noexcept {
        return m_retryAfterSeconds;
    }
    [[nodiscard]] bool permanent() const noexcept { return m_permanence == Permanence::Permanent; }

private:
    QString m_url;
    int m_httpStatus;
    QString m_reason;
    std::optional<int> m_retryAfterSeconds;
    Permanence m_permanence;
};

} // namespace orvana::net
