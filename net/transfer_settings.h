#pragma once

#include <QByteArray>
#include <QtGlobal>
#include <atomic>
#include <chrono>
#include <functional>

namespace orvana::net {

// Limits of every transfer. Defaults are the product's; tests pass milliseconds.
struct TransferSettings {
    // A transfer that receives no byte for this long fails.
    std::chrono::milliseconds stallTimeout{30'000};
    // A transfer that receives fewer than minRateBytesPerSecond on average over any
    // minRateWindow fails, so a body trickling a byte at a time cannot hold a job forever.
    qint64 minRateBytesPerSecond = 1024;
    std::chrono::milliseconds minRateWindow{30'000};
    // FetchToBuffer and RequestText answers larger than this fail.
    qint64 pageSizeCap = qint64(64) * 1024 * 1024;
    // FetchToFile bodies larger than this fail (an endless song must not fill the disk).
    qint64 songSizeCap = qint64(1024) * 1024 * 1024;
    int maxRedirects = 10;
    QByteArray userAgent = QByteArrayLiteral("orvana-dl/0.1");
    // How often a blocking call looks at its CancelToken.
    std::chrono::milliseconds cancelPollInterval{20};
};

// Asks an in-flight transfer to stop. cancel() may be called from any thread; the transfer
// then fails promptly with a TransportError of kind Cancelled. A cancelled token stays
// cancelled (every later transfer fails at once) until reset().
class CancelToken {
public:
    void cancel() noexcept { m_cancelled.store(true, std::memory_order_relaxed); }
    void reset() noexcept { m_cancelled.store(false, std::memory_order_relaxed); }
    [[nodiscard]] bool isCancelled() const noexcept {
        return m_cancelled.load(std::memory_order_relaxed);
    }

private:
    std::atomic<bool> m_cancelled{false};
};

// Bytes received so far and the announced total (-1 when the server announced none).
// Called on the thread that runs the transfer.
using ProgressCallback = std::function<void(qint64 received, qint64 total)>;

} // namespace orvana::net
