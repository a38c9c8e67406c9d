#pragma once

#include "net/cookie_store.h"
#include "net/transfer_rules.h"
#include "net/transfer_settings.h"

#include <QByteArray>
#include <QUrl>
#include <chrono>
#include <curl/curl.h>
#include <exception>
#include <functional>
#include <memory>

namespace orvana::net {

// What one request sends and what it does with the body as it arrives.
struct TransferSpec {
    QByteArray verb; // "GET" or "POST"
    QByteArray body; // sent when verb is not GET
    bool formContentType = false;
    std::function<void(const char* data, qint64 size)> sink; // may throw: the transfer rethrows
    const ProgressCallback* progress = nullptr;
};

// Where a transfer runs. No other transfer may use either handle while it runs.
struct TransferHandles {
    CURL* easy = nullptr;    // the request's own handle; reset by the transfer
    CURLM* lane = nullptr;   // drives the easy handle and keeps the connections it opens
    CURLSH* share = nullptr; // DNS answers and TLS sessions of the session
};

// One request from its first address to its answer: set up, then per hop send and wait (curl
// reads the head and body into callbacks of ours), classify the answer, then follow, finish or
// fail. The rules are the pure functions of transfer_rules.h; this class only drives curl.
// Lives on one thread, on the stack of the call that runs it.
class Transfer {
public:
    Transfer(TransferHandles handles, CookieStore& cookies, const CancelToken* cancel,
             const TransferSpec& spec, RequestRules rules);
    ~Transfer();
    Transfer(const Transfer&) = delete;
    Transfer& operator=(const Transfer&) = delete;

    // Fetches the request through its redirects. Throws TransportError, or the sink's own error;
    // the address is refused before any request (checkAddress).
    [[nodiscard]] Finished run();

    // The state of the hop in flight, shared with curl's callbacks.
    struct Exchange {
        CURL* easy = nullptr;
        const TransferSpec* spec = nullptr;
        const RequestRules* rules = nullptr;
        ResponseHead head{};
        bool retryAfterSeen = false;
        qint64 received = 0;
        qint64 discarded = 0; // bytes of an error page, read and dropped
        StopReason stop = StopReason::None;
        std::exception_ptr sinkError{};
        std::chrono::steady_clock::time_point lastActivity;
    };

private:
    void setUp();
    void sendHop();
    CURLcode await();
    HopEnd endHop(CURLcode code);
    void follow(const Follow& to);

    TransferHandles m_handles;
    CookieStore& m_cookies;
    const CancelToken* m_cancel;
    const TransferSpec& m_spec;
    RequestRules m_rules;
    QUrl m_url; // of the hop in flight
    bool m_sendBody = false;
    int m_hops = 0;
    Exchange m_exchange;
    std::unique_ptr<curl_slist, void (*)(curl_slist*)> m_headers{nullptr, &curl_slist_free_all};
    char m_errorText[CURL_ERROR_SIZE] = {};
};

} // namespace orvana::net
