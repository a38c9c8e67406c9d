#include "net/transfer.h"

#include <QNetworkCookie>
#include <algorithm>
#include <variant>

namespace orvana::net {
namespace {

using Clock = std::chrono::steady_clock;
using Exchange = Transfer::Exchange;

constexpr qint64 kErrorBodyLimit = 256 * 1024;

// The status curl parsed from the answer's status line; a proxy's CONNECT answer while no
// other came.
int ResponseCode(CURL* easy) {
    long code = 0;
    curl_easy_getinfo(easy, CURLINFO_RESPONSE_CODE, &code);
    if (code == 0)
        curl_easy_getinfo(easy, CURLINFO_HTTP_CONNECTCODE, &code);
    return int(code);
}

size_t OnHeader(char* data, size_t size, size_t count, void* user) {
    auto& x = *static_cast<Exchange*>(user);
    const size_t length = size * count;
    x.lastActivity = Clock::now();
    const QByteArray line = QByteArray(data, qsizetype(length)).trimmed();
    if (line.startsWith("HTTP/")) {
        // A new answer begins (after a 1xx or a proxy's CONNECT answer): forget the last one.
        x.head = ResponseHead();
        x.retryAfterSeen = false;
        x.head.status = ResponseCode(x.easy);
        const qsizetype reasonAt = line.indexOf(' ', line.indexOf(' ') + 1);
        if (reasonAt > 0)
            x.head.reasonPhrase = line.mid(reasonAt + 1).trimmed();
        return length;
    }
    const qsizetype colon = line.indexOf(':');
    if (colon <= 0)
        return length;
    const QByteArray name = line.left(colon).trimmed().toLower();
    const QByteArray value = line.mid(colon + 1).trimmed();
    if (name == "set-cookie")
        x.head.setCookies.append(value);
    else if (name == "retry-after")
        x.retryAfterSeen = true; // curl reads its value (a number or a date)
    else if (name == "content-encoding")
        x.head.contentEncoding = value.toLower();
    else if (name == "content-length") {
        bool ok = false;
        const qint64 n = value.toLongLong(&ok);
        x.head.contentLength = ok ? n : -1;
    }
    return length;
}

// Why the body's bytes cannot be taken, before any of them is; None when they can.
StopReason RefuseBody(const Exchange& x, qint64 length) {
    if (x.head.encoded())
        return StopReason::BadEncoding;
    const qint64 cap = x.rules->sizeCap;
    // An announced length over the cap fails at the first bytes, not after a gigabyte.
    if (cap >= 0 && (x.received + length > cap || x.head.contentLength > cap))
        return StopReason::TooLarge;
    return StopReason::None;
}

size_t OnBody(char* data, size_t size, size_t count, void* user) {
    auto& x = *static_cast<Exchange*>(user);
    const size_t length = size * count;
    x.lastActivity = Clock::now();
    if (x.stop != StopReason::None)
        return CURL_WRITEFUNC_ERROR;
    if (x.head.failedStatus()) {
        // An error page is never a body: none of it is kept. A small one is read to its end so
        // the connection stays usable; a large one is cut off.
        x.discarded += qint64(length);
        if (x.discarded > kErrorBodyLimit) {
            x.stop = StopReason::ErrorBodyCut;
            return CURL_WRITEFUNC_ERROR;
        }
        return length;
    }
    x.stop = RefuseBody(x, qint64(length));
    if (x.stop != StopReason::None)
        return CURL_WRITEFUNC_ERROR;
    x.received += qint64(length);
    try {
        if (x.spec->sink)
            x.spec->sink(data, qint64(length));
        if (x.spec->progress && *x.spec->progress)
            (*x.spec->progress)(x.received, x.head.contentLength);
    } catch (...) {
        x.sinkError = std::current_exception();
        x.stop = StopReason::SinkFailed;
        return CURL_WRITEFUNC_ERROR;
    }
    return length;
}

QByteArray ProxyAddress(const QNetworkProxy& proxy) {
    QString host = proxy.hostName();
    if (host.contains(u':'))
        host = u'[' + host + u']';
    // socks5h: the proxy resolves the portal's name, as a SOCKS proxy normally would.
    const QString scheme = proxy.type() == QNetworkProxy::Socks5Proxy ? QStringLiteral("socks5h")
                                                                      : QStringLiteral("http");
    return (scheme + QStringLiteral("://") + host + u':' + QString::number(proxy.port())).toUtf8();
}

void SetProxy(CURL* easy, const std::optional<QNetworkProxy>& proxy) {
    // An empty proxy (and an empty no-proxy list) keeps the environment's proxy settings out.
    curl_easy_setopt(easy, CURLOPT_PROXY, proxy ? ProxyAddress(*proxy).constData() : "");
    curl_easy_setopt(easy, CURLOPT_NOPROXY, "");
    if (proxy && !proxy->user().isEmpty()) {
        curl_easy_setopt(easy, CURLOPT_PROXYUSERNAME, proxy->user().toUtf8().constData());
        curl_easy_setopt(easy, CURLOPT_PROXYPASSWORD, proxy->password().toUtf8().constData());
    }
}

QByteArray CookieLine(const QList<QNetworkCookie>& jar) {
    QByteArray line = "Cookie: ";
    for (qsizetype i = 0; i < jar.size(); ++i) {
        if (i > 0)
            line += "; ";
        line += jar[i].toRawForm(QNetworkCookie::NameAndValueOnly);
    }
    return line;
}

// The stop a wait loop decides on: the caller's cancel, a stall, or too few bytes over a window.
class Watch {
public:
    Watch(const TransferSettings& settings, const CancelToken* cancel)
        : m_settings(settings), m_cancel(cancel), m_windowStart(Clock::now()) {}

    StopReason check(const Exchange& x) {
        const auto now = Clock::now();
        if (m_cancel && m_cancel->isCancelled())
            return StopReason::Cancelled;
        if (now - x.lastActivity >= m_settings.stallTimeout)
            return StopReason::Stalled;
        if (m_settings.minRateBytesPerSecond <= 0 || now - m_windowStart < m_settings.minRateWindow)
            return StopReason::None;
        const qint64 total = x.received + x.discarded;
        const double seconds = std::chrono::duration<double>(now - m_windowStart).count();
        const bool slow =
            double(total - m_windowBytes) < double(m_settings.minRateBytesPerSecond) * seconds;
        m_windowStart = now;
        m_windowBytes = total;
        return slow ? StopReason::Slow : StopReason::None;
    }

private:
    const TransferSettings& m_settings;
    const CancelToken* m_cancel;
    Clock::time_point m_windowStart;
    qint64 m_windowBytes = 0;
};

} // namespace

Transfer::Transfer(TransferHandles handles, CookieStore& cookies, const CancelToken* cancel,
                   const TransferSpec& spec, RequestRules rules)
    : m_handles(handles), m_cookies(cookies), m_cancel(cancel), m_spec(spec),
      m_rules(std::move(rules)) {}

Transfer::~Transfer() {
    // The buffer and the header list die with this object: the handle must not keep them.
    curl_easy_setopt(m_handles.easy, CURLOPT_ERRORBUFFER, static_cast<char*>(nullptr));
    curl_easy_setopt(m_handles.easy, CURLOPT_HTTPHEADER, static_cast<curl_slist*>(nullptr));
}

Finished Transfer::run() {
    m_url = CheckedAddress(m_rules.address);
    if (m_cancel && m_cancel->isCancelled())
        throw CancelledFailure(m_rules.address, 0);
    setUp();
    for (;;) {
        sendHop();
        const CURLcode code = await();
        const Verdict verdict = classify(endHop(code), m_rules);
        if (const auto* failure = std::get_if<TransportError>(&verdict))
            throw *failure;
        if (const auto* finished = std::get_if<Finished>(&verdict))
            return *finished;
        follow(std::get<Follow>(verdict));
    }
}

void Transfer::setUp() {
    CURL* easy = m_handles.easy;
    curl_easy_reset(easy);
    curl_easy_setopt(easy, CURLOPT_ERRORBUFFER, m_errorText);
    curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(easy, CURLOPT_SHARE, m_handles.share);
    curl_easy_setopt(easy, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(easy, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
    // Redirects are followed here, not by curl, so that each hop gets the cookies of its own host
    // and hands its Set-Cookie to the store.
    curl_easy_setopt(easy, CURLOPT_FOLLOWLOCATION, 0L);
    curl_easy_setopt(easy, CURLOPT_USERAGENT, m_rules.settings.userAgent.constData());
    curl_easy_setopt(easy, CURLOPT_BUFFERSIZE, 128L * 1024);
    curl_easy_setopt(easy, CURLOPT_CONNECTTIMEOUT_MS, long(m_rules.settings.stallTimeout.count()));
    // No Accept-Encoding: a compressed answer is refused rather than inflated unbounded.
    SetProxy(easy, m_rules.proxy);
    curl_easy_setopt(easy, CURLOPT_HEADERFUNCTION, &OnHeader);
    curl_easy_setopt(easy, CURLOPT_HEADERDATA, &m_exchange);
    curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, &OnBody);
    curl_easy_setopt(easy, CURLOPT_WRITEDATA, &m_exchange);
    m_sendBody = m_spec.verb != "GET";
}

void Transfer::sendHop() {
    CURL* easy = m_handles.easy;
    curl_easy_setopt(easy, CURLOPT_URL, m_url.toEncoded().constData());
    if (m_sendBody) {
        curl_easy_setopt(easy, CURLOPT_POST, 1L);
        curl_easy_setopt(easy, CURLOPT_POSTFIELDS, m_spec.body.constData());
        curl_easy_setopt(easy, CURLOPT_POSTFIELDSIZE_LARGE, curl_off_t(m_spec.body.size()));
        if (m_spec.verb != "POST")
            curl_easy_setopt(easy, CURLOPT_CUSTOMREQUEST, m_spec.verb.constData());
    } else {
        curl_easy_setopt(easy, CURLOPT_HTTPGET, 1L);
        curl_easy_setopt(easy, CURLOPT_CUSTOMREQUEST, nullptr);
    }
    curl_slist* headers = nullptr;
    if (m_spec.formContentType)
        headers = curl_slist_append(headers, "Content-Type: application/x-www-form-urlencoded");
    headers = curl_slist_append(headers, "Expect:");
    // The store decides which cookies this host gets; no other host ever sees them.
    const QList<QNetworkCookie> jar = m_cookies.cookiesForUrl(m_url);
    if (!jar.isEmpty())
        headers = curl_slist_append(headers, CookieLine(jar).constData());
    curl_easy_setopt(easy, CURLOPT_HTTPHEADER, headers);
    m_headers.reset(headers); // after the handle took the new list: the old one is unused now
    m_exchange =
        Exchange{.easy = easy, .spec = &m_spec, .rules = &m_rules, .lastActivity = Clock::now()};
    m_errorText[0] = 0;
}

// Drives the lane until curl ends the hop (its code) or a stop is decided (m_exchange.stop).
CURLcode Transfer::await() {
    CURL* easy = m_handles.easy;
    CURLM* lane = m_handles.lane;
    Watch watch(m_rules.settings, m_cancel);
    const int pollMs = int(std::max<qint64>(1, m_rules.settings.cancelPollInterval.count()));
    CURLcode code = CURLE_OK;
    curl_multi_add_handle(lane, easy);
    for (;;) {
        int running = 0;
        curl_multi_perform(lane, &running);
        int queued = 0;
        bool done = false;
        while (CURLMsg* message = curl_multi_info_read(lane, &queued)) {
            if (message->msg == CURLMSG_DONE && message->easy_handle == easy) {
                code = message->data.result;
                done = true;
            }
        }
        if (done)
            break;
        if (m_exchange.stop == StopReason::None)
            m_exchange.stop = watch.check(m_exchange);
        if (m_exchange.stop != StopReason::None)
            break;
        curl_multi_poll(lane, nullptr, 0, pollMs, nullptr);
    }
    curl_multi_remove_handle(lane, easy);
    return code;
}

HopEnd Transfer::endHop(CURLcode code) {
    const Exchange& x = m_exchange;
    // A hop given up by the wait hands nothing on; any other hands its cookies to the store.
    const bool givenUp = x.stop == StopReason::Cancelled || x.stop == StopReason::Stalled ||
                         x.stop == StopReason::Slow;
    if (!givenUp)
        for (const QByteArray& header : x.head.setCookies)
            (void)m_cookies.setCookiesFromUrl(QNetworkCookie::parseCookies(header), m_url);
    if (x.stop == StopReason::SinkFailed)
        std::rethrow_exception(x.sinkError);
    HopEnd end;
    end.head = x.head;
    if (x.retryAfterSeen) {
        curl_off_t seconds = 0;
        curl_easy_getinfo(m_handles.easy, CURLINFO_RETRY_AFTER, &seconds);
        end.head.retryAfter = qint64(seconds);
    }
    char* location = nullptr;
    curl_easy_getinfo(m_handles.easy, CURLINFO_REDIRECT_URL, &location);
    end.head.location = location;
    end.received = x.received;
    end.stop = x.stop;
    end.code = code;
    end.curlText = QString::fromUtf8(m_errorText[0] != 0 ? m_errorText : curl_easy_strerror(code));
    long osError = 0;
    curl_easy_getinfo(m_handles.easy, CURLINFO_OS_ERRNO, &osError);
    end.osError = int(osError);
    return end;
}

void Transfer::follow(const Follow& to) {
    std::variant<Hop, TransportError> next = nextHop(m_url, to, m_hops, m_rules);
    if (const auto* refused = std::get_if<TransportError>(&next))
        throw *refused;
    const Hop& hop = std::get<Hop>(next);
    if (hop.asGet)
        m_sendBody = false;
    m_url = hop.url;
    ++m_hops;
}

} // namespace orvana::net
