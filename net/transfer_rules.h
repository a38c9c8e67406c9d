#pragma once

#include "net/transfer_settings.h"
#include "net/transport_error.h"

#include <QByteArray>
#include <QList>
#include <QNetworkProxy>
#include <QString>
#include <QUrl>
#include <curl/curl.h>
#include <optional>
#include <variant>

// The rules every transfer applies to the answers it gets, as pure functions: no handle, no
// socket, no clock. Any number of transfers on any threads may call them.
namespace orvana::net {

// The one response head a transfer is at (a redirect's, then the final answer's).
struct ResponseHead {
    int status = 0; // 0 until an answer came
    QByteArray reasonPhrase;
    QList<QByteArray> setCookies;
    // Seconds as curl read the head's Retry-After (a number or a date); nullopt without one.
    std::optional<qint64> retryAfter;
    QByteArray contentEncoding; // lower case; empty without one
    qint64 contentLength = -1;  // -1 when none was announced
    QByteArray location;        // the absolute redirect target; empty without one

    // Not a body: a 1xx as final answer, 3xx, 4xx or 5xx.
    [[nodiscard]] bool failedStatus() const {
        return status >= 300 || (status > 0 && status < 200);
    }
    // Content-Encoding other than identity (none is ever asked for).
    [[nodiscard]] bool encoded() const {
        return !contentEncoding.isEmpty() && contentEncoding != "identity";
    }
};

// Why a hop was stopped before curl ended it by itself.
enum class StopReason {
    None,
    Cancelled,    // the caller's CancelToken
    Stalled,      // no byte for TransferSettings::stallTimeout
    Slow,         // below the minimum rate over a window
    TooLarge,     // over the request's size cap (announced or received)
    BadEncoding,  // a body with a Content-Encoding
    ErrorBodyCut, // an error page longer than anyone reads; the status tells the failure
    SinkFailed,   // the body's consumer threw; the transfer rethrows that error itself
};

// Everything one hop left behind.
struct HopEnd {
    ResponseHead head;
    qint64 received = 0; // body bytes handed on
    StopReason stop = StopReason::None;
    CURLcode code = CURLE_OK;
    QString curlText; // curl's words for code
    int osError = 0;  // the system's error number behind code, 0 when none
};

// What every hop of one request is judged by.
struct RequestRules {
    QString address;     // as the caller gave it; every failure names it
    qint64 sizeCap = -1; // -1: no cap
    std::optional<QNetworkProxy> proxy;
    TransferSettings settings;
};

struct Finished {
    int status = 0;
    qint64 received = 0;
};
struct Follow {
    int status = 0;
    QByteArray location;
};
// The answer is the body (Finished), points elsewhere (Follow, for nextHop) or failed.
using Verdict = std::variant<Finished, Follow, TransportError>;

// The verdict on one hop. Failures that no new attempt can change are permanent: an answer over
// the cap, an encoding that cannot be read.
[[nodiscard]] Verdict classify(const HopEnd& end, const RequestRules& rules);

struct Hop {
    QUrl url;
    bool asGet = false; // a 301, 302 or 303: a POST is followed with a GET, as browsers do
};
// Where a redirect from current leads after `hops` redirects followed so far, or why it is
// refused (permanent): not http or https, https to plain http, past maxRedirects (which is
// what ends a loop: a redirect back to the same address, once, is how pages set cookies), an
// invalid address.
[[nodiscard]] std::variant<Hop, TransportError> nextHop(const QUrl& current, const Follow& follow,
                                                        int hops, const RequestRules& rules);

// The address as fetched, or why it is never fetched (permanent, before any request): not
// http or https, or malformed (no host, say).
[[nodiscard]] std::variant<QUrl, TransportError> checkAddress(const QString& address);
// The address as fetched; throws checkAddress's refusal.
[[nodiscard]] QUrl CheckedAddress(const QString& address);

// The failure of a request its caller cancelled; status is the answer's so far (0 before one).
[[nodiscard]] TransportError CancelledFailure(const QString& address, int status);

} // namespace orvana::net
