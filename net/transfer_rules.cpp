#include "net/transfer_rules.h"

#include <algorithm>

namespace orvana::net {
namespace {

constexpr qint64 kMaxRetryAfterSeconds = 24 * 3600;

QString DescribeSize(qint64 bytes) {
    if (bytes % (1024 * 1024) == 0)
        return QStringLiteral("%1 MiB").arg(bytes / (1024 * 1024));
    return QStringLiteral("%1 bytes").arg(bytes);
}

TransportError Failure(const RequestRules& rules, int status, const QString& why) {
    return TransportError(rules.address, status, why);
}

TransportError PermanentFailure(const RequestRules& rules, int status, const QString& why) {
    return TransportError(rules.address, status, why, std::nullopt, ErrorKind::Transport,
                          TransportError::Permanence::Permanent);
}

TransportError EncodingFailure(const HopEnd& end, const RequestRules& rules) {
    return PermanentFailure(rules, end.head.status,
                            QStringLiteral("the answer's encoding \"%1\" cannot be read")
                                .arg(QString::fromLatin1(end.head.contentEncoding)));
}

TransportError ShortBodyFailure(const HopEnd& end, const RequestRules& rules) {
    return Failure(rules, end.head.status,
                   QStringLiteral("the answer ended after %1 of %2 bytes")
                       .arg(end.received)
                       .arg(end.head.contentLength));
}

// The failure a stop stands for; nullopt when the answer itself decides.
std::optional<TransportError> StopFailure(const HopEnd& end, const RequestRules& rules) {
    const int status = end.head.status;
    const TransferSettings& settings = rules.settings;
    switch (end.stop) {
    case StopReason::None:
    case StopReason::ErrorBodyCut:
        return std::nullopt;
    case StopReason::Cancelled:
        return CancelledFailure(rules.address, status);
    case StopReason::Stalled:
        return Failure(
            rules, status,
            QStringLiteral("no data arrived for %1 ms").arg(qint64(settings.stallTimeout.count())));
    case StopReason::Slow:
        return Failure(rules, status,
                       QStringLiteral("fewer than %1 bytes a second arrived over %2 ms")
                           .arg(settings.minRateBytesPerSecond)
                           .arg(qint64(settings.minRateWindow.count())));
    case StopReason::TooLarge:
        return PermanentFailure(
            rules, status,
            QStringLiteral("the answer is larger than %1").arg(DescribeSize(rules.sizeCap)));
    case StopReason::BadEncoding:
        return EncodingFailure(end, rules);
    case StopReason::SinkFailed:
        break;
    }
    return Failure(rules, status, QStringLiteral("the body could not be taken"));
}

bool IsProxyCode(CURLcode code) {
    return code == CURLE_COULDNT_RESOLVE_PROXY || code == CURLE_COULDNT_CONNECT ||
           code == CURLE_PROXY;
}

// The failure curl's own error stands for; nullopt when an error status tells more.
std::optional<TransportError> CurlFailure(const HopEnd& end, const RequestRules& rules) {
    const ResponseHead& head = end.head;
    if (rules.proxy && IsProxyCode(end.code)) {
        QString why = end.osError != 0 ? qt_error_string(end.osError) : end.curlText;
        if (end.code == CURLE_COULDNT_RESOLVE_PROXY)
            why = QStringLiteral("the host name cannot be resolved");
        return Failure(rules, head.status,
                       QStringLiteral("proxy %1:%2: %3")
                           .arg(rules.proxy->hostName())
                           .arg(rules.proxy->port())
                           .arg(why));
    }
    if (head.status != 0 && head.failedStatus())
        return std::nullopt;
    if (end.code == CURLE_PARTIAL_FILE && head.contentLength >= 0)
        return ShortBodyFailure(end, rules);
    return Failure(rules, head.status, end.curlText);
}

bool IsRedirect(int status) {
    return status == 301 || status == 302 || status == 303 || status == 307 || status == 308;
}

TransportError StatusFailure(const ResponseHead& head, const RequestRules& rules) {
    std::optional<int> retryAfter;
    if ((head.status == 429 || head.status == 503) && head.retryAfter)
        retryAfter = int(std::clamp<qint64>(*head.retryAfter, 0, kMaxRetryAfterSeconds));
    const QString phrase = QString::fromLatin1(head.reasonPhrase);
    return TransportError(rules.address, head.status,
                          phrase.isEmpty()
                              ? QStringLiteral("HTTP status %1").arg(head.status)
                              : QStringLiteral("HTTP status %1 (%2)").arg(head.status).arg(phrase),
                          retryAfter);
}

} // namespace

Verdict classify(const HopEnd& end, const RequestRules& rules) {
    if (std::optional<TransportError> failure = StopFailure(end, rules))
        return *failure;
    if (end.code != CURLE_OK && end.stop == StopReason::None)
        if (std::optional<TransportError> failure = CurlFailure(end, rules))
            return *failure;
    const ResponseHead& head = end.head;
    if (IsRedirect(head.status) && !head.location.isEmpty())
        return Follow{head.status, head.location};
    if (head.failedStatus())
        return StatusFailure(head, rules);
    // An encoded answer without a body never reached the body's check.
    if (head.encoded())
        return EncodingFailure(end, rules);
    // A body cut short is a failed fetch even when the connection closed quietly.
    if (head.contentLength >= 0 && head.contentLength != end.received)
        return ShortBodyFailure(end, rules);
    return Finished{head.status, end.received};
}

std::variant<Hop, TransportError> nextHop(const QUrl& current, const Follow& follow, int hops,
                                          const RequestRules& rules) {
    const QUrl next(QString::fromUtf8(follow.location));
    const QString scheme = next.scheme().toLower();
    if (scheme != u"http" && scheme != u"https")
        return PermanentFailure(
            rules, follow.status,
            QStringLiteral("redirected to an address that is not http or https: %1")
                .arg(next.toDisplayString()));
    if (current.scheme().toLower() == u"https" && scheme == u"http")
        return PermanentFailure(rules, follow.status,
                                QStringLiteral("redirected from https to plain http"));
    if (hops >= rules.settings.maxRedirects)
        return PermanentFailure(
            rules, follow.status,
            QStringLiteral("more than %1 redirects").arg(rules.settings.maxRedirects));
    if (!next.isValid() || next.host().isEmpty())
        return PermanentFailure(rules, follow.status,
                                QStringLiteral("redirected to an invalid address"));
    return Hop{next, follow.status != 307 && follow.status != 308};
}

std::variant<QUrl, TransportError> checkAddress(const QString& address) {
    const QUrl url(address);
    const QString scheme = url.scheme().toLower();
    // Refused for good: a new attempt would send the same address again.
    const auto refuse = [&](const QString& why) {
        return TransportError(address, 0, why, std::nullopt, ErrorKind::Transport,
                              TransportError::Permanence::Permanent);
    };
    if (scheme != u"http" && scheme != u"https")
        return refuse(QStringLiteral("only http and https addresses are fetched"));
    if (!url.isValid() || url.host().isEmpty())
        return refuse(QStringLiteral("not a valid address"));
    return url;
}

QUrl CheckedAddress(const QString& address) {
    std::variant<QUrl, TransportError> checked = checkAddress(address);
    if (auto* refused = std::get_if<TransportError>(&checked))
        throw *refused;
    return std::get<QUrl>(checked);
}

TransportError CancelledFailure(const QString& address, int status) {
    return TransportError(address, status, QStringLiteral("cancelled"), std::nullopt,
                          ErrorKind::Cancelled);
}

} // namespace orvana::net
