#include "net/mod_down_file.h"

#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QLocale>
#include <QNetworkCookie>
#include <QStringDecoder>
#include <QTimeZone>
#include <QUrl>
#include <algorithm>
#include <chrono>
#include <curl/curl.h>
#include <exception>
#include <mutex>
#include <thread>

namespace orvana::net {
namespace {

std::optional<int> ParseRetryAfter(const QByteArray& value) {
    const QByteArray text = value.trimmed();
    if (text.isEmpty())
        return std::nullopt;
    bool ok = false;
    const qint64 seconds = text.toLongLong(&ok);
    if (ok)
        return seconds < 0 ? 0 : static_cast<int>(std::min<qint64>(seconds, 24 * 3600));
    // The other form is an HTTP date: "Wed, 21 Oct 2015 07:28:00 GMT".
    QDateTime when = QLocale::c().toDateTime(QString::fromLatin1(text).chopped(4).trimmed(),
                                             QStringLiteral("ddd, dd MMM yyyy hh:mm:ss"));
    if (!when.isValid())
        return std::nullopt;
    when.setTimeZone(QTimeZone::utc());
    const qint64 wait = QDateTime::currentDateTimeUtc().secsTo(when);
    return static_cast<int>(std::clamp<qint64>(wait, 0, 24 * 3600));
}

QString DescribeSize(qint64 bytes) {
    if (bytes % (1024 * 1024) == 0)
        return QStringLiteral("%1 MiB").arg(bytes / (1024 * 1024));
    return QStringLiteral("%1 bytes").arg(bytes);
}

// How one transfer is run and what it must do with the body as it arrives.
struct TransferSpec {
    QByteArray verb;
    QByteArray body;
    bool formContentType = false;
    qint64 sizeCap = -1; // -1: no cap
    std::function<void(const char* data, qint64 size)> sink;
    const ProgressCallback* progress = nullptr;
};

struct TransferOutcome {
    int httpStatus = 0;
    qint64 received = 0;
};

} // namespace

std::optional<QNetworkProxy> ParseProxyText(const QString& text) {
    const QString trimmed = text.trimmed();
    if (trimmed.isEmpty())
        return std::nullopt;
    const QUrl url(trimmed.contains(QStringLiteral("://")) ? trimmed
                                                           : QStringLiteral("http://") + trimmed,
                   QUrl::StrictMode);
    if (!url.isValid() || url.host().isEmpty() || url.port() < 1 || url.port() > 65535)
        return std::nullopt;
    if (!url.path().isEmpty() && url.path() != u"/")
        return std::nullopt;
    if (url.hasQuery() || url.hasFragment())
        return std::nullopt;
    QNetworkProxy::ProxyType type;
    const QString scheme = url.scheme().toLower();
    if (scheme == u"http")
        type = QNetworkProxy::HttpProxy;
    else if (scheme == u"socks5")
        type = QNetworkProxy::Socks5Proxy;
    else
        return std::nullopt;
    return QNetworkProxy(type, url.host(), static_cast<quint16>(url.port()), url.userName(),
                         url.password());
}

QString BytesToText(const QByteArray& bytes, const QString& charset) {
    QStringDecoder decoder(charset.trimmed().toLatin1().constData());
    if (!decoder.isValid())
        throw Error(ErrorKind::InvalidArgument,
                    QStringLiteral("Unknown character set \"%1\"").arg(charset));
    if (bytes.isEmpty())
        return QString();
    return decoder.decode(bytes);
}

namespace {

void InitCurlOnce() {
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

struct EasyDeleter {
    void operator()(CURL* handle) const { curl_easy_cleanup(handle); }
};
using EasyHandle = std::unique_ptr<CURL, EasyDeleter>;

struct SlistDeleter {
    void operator()(curl_slist* list) const { curl_slist_free_all(list); }
};
using HeaderList = std::unique_ptr<curl_slist, SlistDeleter>;

// The one response header block the transfer is at (a redirect's, then the final answer's).
struct ResponseHead {
    int status = 0;
    QByteArray reasonPhrase;
    QList<QByteArray> setCookies;
    QByteArray retryAfter;
    QByteArray contentEncoding;
    qint64 contentLength = -1;

    [[nodiscard]] bool failedStatus() const {
        return status >= 300 || (status > 0 && status < 200);
    }
};

// The state of one request while curl runs it; the callbacks reach it through their user data.
struct Exchange {
    const TransferSpec* spec = nullptr;
    ResponseHead head;
    qint64 received = 0;
    qint64 discarded = 0;
    enum class Stop { None, TooLarge, BadEncoding, HttpError, SinkFailed } stop = Stop::None;
    std::exception_ptr sinkError;
    std::chrono::steady_clock::time_point lastActivity;
};

constexpr qint64 kErrorBodyLimit = 256 * 1024;

size_t OnHeader(char* data, size_t size, size_t count, void* user) {
    auto& x = *static_cast<Exchange*>(user);
    const size_t length = size * count;
    x.lastActivity = std::chrono::steady_clock::now();
    const QByteArray line = QByteArray(data, qsizetype(length)).trimmed();
    if (line.startsWith("HTTP/")) {
        // A new answer begins (after a 1xx or a proxy's CONNECT answer): forget the last one.
        x.head = ResponseHead();
        const QList<QByteArray> parts = line.split(' ');
        if (parts.size() >= 2)
            x.head.status = parts[1].toInt();
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
        x.head.retryAfter = value;
    else if (name == "content-encoding")
        x.head.contentEncoding = value.toLower();
    else if (name == "content-length") {
        bool ok = false;
        const qint64 n = value.toLongLong(&ok);
        x.head.contentLength = ok ? n : -1;
    }
    return length;
}

size_t OnBody(char* data, size_t size, size_t count, void* user) {
    auto& x = *static_cast<Exchange*>(user);
    const size_t length = size * count;
    x.lastActivity = std::chrono::steady_clock::now();
    if (x.stop != Exchange::Stop::None)
        return CURL_WRITEFUNC_ERROR;
    if (x.head.failedStatus()) {
        // An error page is never a body: none of it is kept. A small one is read to its end so
        // the connection stays usable; a large one is cut off.
        x.discarded += qint64(length);
        if (x.discarded > kErrorBodyLimit) {
            x.stop = Exchange::Stop::HttpError;
            return CURL_WRITEFUNC_ERROR;
        }
        return length;
    }
    if (!x.head.contentEncoding.isEmpty() && x.head.contentEncoding != "identity") {
        x.stop = Exchange::Stop::BadEncoding;
        return CURL_WRITEFUNC_ERROR;
    }
    x.received += qint64(length);
    const TransferSpec& spec = *x.spec;
    // An announced length over the cap fails at the first bytes, not after a gigabyte.
    if (spec.sizeCap >= 0 && (x.received > spec.sizeCap || x.head.contentLength > spec.sizeCap)) {
        x.stop = Exchange::Stop::TooLarge;
        return CURL_WRITEFUNC_ERROR;
    }
    try {
        if (spec.sink)
            spec.sink(data, qint64(length));
        if (spec.progress && *spec.progress)
            (*spec.progress)(x.received, x.head.contentLength);
    } catch (...) {
        x.sinkError = std::current_exception();
        x.stop = Exchange::Stop::SinkFailed;
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

} // namespace

class ModDownFile::Impl {
public:
    Impl(TransferSettings settings, std::shared_ptr<const CancelToken> cancel)
        : settings(std::move(settings)), cancel(std::move(cancel)) {}
    ~Impl() {
        byteHandle.reset();
        textHandle.reset();
        if (multi)
            curl_multi_cleanup(multi);
    }

    TransferSettings settings;
    std::shared_ptr<const CancelToken> cancel;
    std::optional<std::thread::id> thread;
    // One multi handle drives both easy handles, so they share one cache of open connections;
    // the handles themselves are reused for every request (keep-alive).
    CURLM* multi = nullptr;
    EasyHandle byteHandle;
    EasyHandle textHandle;
    std::shared_ptr<CookieStore> cookies;
    std::optional<QNetworkProxy> byteProxy;
    std::unique_ptr<FileCommitter> committer; // made at the first deferred file

    void bindThread(const std::shared_ptr<TransportSession>& session);
    QUrl checkedUrl(const QString& address) const;
    TransferOutcome run(CURL* handle, const std::optional<QNetworkProxy>& proxy,
                        const QString& address, const TransferSpec& spec);

private:
    CURLcode perform(CURL* handle, Exchange& exchange, const QString& address);
    [[noreturn]] void failPermanently(const QString& address, int status, const QString& why);
};

void ModDownFile::Impl::bindThread(const std::shared_ptr<TransportSession>& session) {
    if (thread && *thread != std::this_thread::get_id())
        throw Error(ErrorKind::InvalidArgument,
                    QStringLiteral("A transport was used from a thread other than its own"));
    if (!thread) {
        InitCurlOnce();
        multi = curl_multi_init();
        byteHandle.reset(curl_easy_init());
        textHandle.reset(curl_easy_init());
        if (!multi || !byteHandle || !textHandle)
            throw Error(ErrorKind::Io, QStringLiteral("Cannot set up the network transport"));
        thread = std::this_thread::get_id();
        cookies = session->cookies();
    }
    byteProxy = session->byteFetchProxy();
}

QUrl ModDownFile::Impl::checkedUrl(const QString& address) const {
    const QUrl url(address);
    const QString scheme = url.scheme().toLower();
    if (scheme != u"http" && scheme != u"https")
        throw TransportError(address, 0,
                             QStringLiteral("only http and https addresses are fetched"));
    if (!url.isValid() || url.host().isEmpty())
        throw TransportError(address, 0, QStringLiteral("not a valid address"));
    return url;
}

void ModDownFile::Impl::failPermanently(const QString& address, int status, const QString& why) {
    throw TransportError(address, status, why, std::nullopt, ErrorKind::Transport,
                         TransportError::Permanence::Permanent);
}

CURLcode ModDownFile::Impl::perform(CURL* handle, Exchange& x, const QString& address) {
    using Clock = std::chrono::steady_clock;
    const auto started = Clock::now();
    x.lastActivity = started;
    auto windowStart = started;
    qint64 windowBytes = 0;
    curl_multi_add_handle(multi, handle);
    CURLcode result = CURLE_OK;
    bool done = false;
    const int pollMs = int(std::max<qint64>(1, settings.cancelPollInterval.count()));
    enum class Why { None, Cancelled, Stalled, Slow } why = Why::None;
    while (!done) {
        int running = 0;
        curl_multi_perform(multi, &running);
        int queued = 0;
        while (CURLMsg* message = curl_multi_info_read(multi, &queued)) {
            if (message->msg == CURLMSG_DONE && message->easy_handle == handle) {
                result = message->data.result;
                done = true;
            }
        }
        if (done)
            break;
        const auto now = Clock::now();
        if (cancel && cancel->isCancelled())
            why = Why::Cancelled;
        else if (now - x.lastActivity >= settings.stallTimeout)
            why = Why::Stalled;
        else if (settings.minRateBytesPerSecond > 0 &&
                 now - windowStart >= settings.minRateWindow) {
            const qint64 bytes = x.received + x.discarded - windowBytes;
            const double seconds = std::chrono::duration<double>(now - windowStart).count();
            if (double(bytes) < double(settings.minRateBytesPerSecond) * seconds)
                why = Why::Slow;
            windowStart = now;
            windowBytes = x.received + x.discarded;
        }
        if (why != Why::None)
            break;
        curl_multi_poll(multi, nullptr, 0, pollMs, nullptr);
    }
    curl_multi_remove_handle(multi, handle);
    switch (why) {
    case Why::None:
        break;
    case Why::Cancelled:
        throw TransportError(address, x.head.status, QStringLiteral("cancelled"), std::nullopt,
                             ErrorKind::Cancelled);
    case Why::Stalled:
        throw TransportError(
            address, x.head.status,
            QStringLiteral("no data arrived for %1 ms").arg(qint64(settings.stallTimeout.count())));
    case Why::Slow:
        throw TransportError(address, x.head.status,
                             QStringLiteral("fewer than %1 bytes a second arrived over %2 ms")
                                 .arg(settings.minRateBytesPerSecond)
                                 .arg(qint64(settings.minRateWindow.count())));
    }
    return result;
}

TransferOutcome ModDownFile::Impl::run(CURL* handle, const std::optional<QNetworkProxy>& proxy,
                                       const QString& address, const TransferSpec& spec) {
    QUrl url = checkedUrl(address);
    if (cancel && cancel->isCancelled())
        throw TransportError(address, 0, QStringLiteral("cancelled"), std::nullopt,
                             ErrorKind::Cancelled);

    curl_easy_reset(handle);
    char errorText[CURL_ERROR_SIZE] = {};
    curl_easy_setopt(handle, CURLOPT_ERRORBUFFER, errorText);
    // The buffer lives on this stack: the handle must not keep it past this call.
    struct ForgetErrorBuffer {
        CURL* handle;
        ~ForgetErrorBuffer() {
            curl_easy_setopt(handle, CURLOPT_ERRORBUFFER, static_cast<char*>(nullptr));
        }
    } forgetErrorBuffer{handle};
    curl_easy_setopt(handle, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(handle, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(handle, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
    // Redirects are followed here, not by curl, so that each hop gets the cookies of its own host
    // and hands its Set-Cookie to the store.
    curl_easy_setopt(handle, CURLOPT_FOLLOWLOCATION, 0L);
    curl_easy_setopt(handle, CURLOPT_USERAGENT, settings.userAgent.constData());
    curl_easy_setopt(handle, CURLOPT_BUFFERSIZE, 128L * 1024);
    curl_easy_setopt(handle, CURLOPT_CONNECTTIMEOUT_MS, long(settings.stallTimeout.count()));
    // No Accept-Encoding: a compressed answer is refused below rather than inflated unbounded.
    const QByteArray proxyAddress = proxy ? ProxyAddress(*proxy) : QByteArray();
    // An empty proxy (and an empty no-proxy list) keeps the environment's proxy settings out.
    curl_easy_setopt(handle, CURLOPT_PROXY, proxyAddress.constData());
    curl_easy_setopt(handle, CURLOPT_NOPROXY, "");
    QByteArray proxyUser;
    QByteArray proxyPassword;
    if (proxy && !proxy->user().isEmpty()) {
        proxyUser = proxy->user().toUtf8();
        proxyPassword = proxy->password().toUtf8();
        curl_easy_setopt(handle, CURLOPT_PROXYUSERNAME, proxyUser.constData());
        curl_easy_setopt(handle, CURLOPT_PROXYPASSWORD, proxyPassword.constData());
    }

    Exchange x;
    x.spec = &spec;
    curl_easy_setopt(handle, CURLOPT_HEADERFUNCTION, &OnHeader);
    curl_easy_setopt(handle, CURLOPT_HEADERDATA, &x);
    curl_easy_setopt(handle, CURLOPT_WRITEFUNCTION, &OnBody);
    curl_easy_setopt(handle, CURLOPT_WRITEDATA, &x);

    QByteArray verb = spec.verb;
    bool sendBody = verb != "GET";
    for (int hop = 0;; ++hop) {
        const QByteArray encoded = url.toEncoded();
        curl_easy_setopt(handle, CURLOPT_URL, encoded.constData());
        if (sendBody) {
            curl_easy_setopt(handle, CURLOPT_POST, 1L);
            curl_easy_setopt(handle, CURLOPT_POSTFIELDS, spec.body.constData());
            curl_easy_setopt(handle, CURLOPT_POSTFIELDSIZE_LARGE, curl_off_t(spec.body.size()));
            if (verb != "POST")
                curl_easy_setopt(handle, CURLOPT_CUSTOMREQUEST, verb.constData());
        } else {
            curl_easy_setopt(handle, CURLOPT_HTTPGET, 1L);
            curl_easy_setopt(handle, CURLOPT_CUSTOMREQUEST, nullptr);
        }
        curl_slist* headers = nullptr;
        if (spec.formContentType)
            headers = curl_slist_append(headers, "Content-Type: application/x-www-form-urlencoded");
        headers = curl_slist_append(headers, "Expect:");
        // The store decides which cookies this host gets; no other host ever sees them.
        const QList<QNetworkCookie> jar = cookies->cookiesForUrl(url);
        if (!jar.isEmpty()) {
            QByteArray line = "Cookie: ";
            for (qsizetype i = 0; i < jar.size(); ++i) {
                if (i > 0)
                    line += "; ";
                line += jar[i].toRawForm(QNetworkCookie::NameAndValueOnly);
            }
            headers = curl_slist_append(headers, line.constData());
        }
        const HeaderList headerList(headers);
        curl_easy_setopt(handle, CURLOPT_HTTPHEADER, headerList.get());

        x.head = ResponseHead();
        x.received = 0;
        x.discarded = 0;
        const CURLcode code = perform(handle, x, address);

        for (const QByteArray& header : std::as_const(x.head.setCookies))
            (void)cookies->setCookiesFromUrl(QNetworkCookie::parseCookies(header), url);

        switch (x.stop) {
        case Exchange::Stop::None:
        case Exchange::Stop::HttpError:
            break;
        case Exchange::Stop::TooLarge:
            failPermanently(
                address, x.head.status,
                QStringLiteral("the answer is larger than %1").arg(DescribeSize(spec.sizeCap)));
        case Exchange::Stop::BadEncoding:
            failPermanently(address, x.head.status,
                            QStringLiteral("the answer's encoding \"%1\" cannot be read")
                                .arg(QString::fromLatin1(x.head.contentEncoding)));
        case Exchange::Stop::SinkFailed:
            std::rethrow_exception(x.sinkError);
        }
        if (code != CURLE_OK && x.stop == Exchange::Stop::None) {
            if (proxy && (code == CURLE_COULDNT_RESOLVE_PROXY || code == CURLE_COULDNT_CONNECT ||
                          code == CURLE_PROXY)) {
                long osError = 0;
                curl_easy_getinfo(handle, CURLINFO_OS_ERRNO, &osError);
                QString why = osError != 0
                                  ? qt_error_string(int(osError))
                                  : QString::fromUtf8(errorText[0] != 0 ? errorText
                                                                        : curl_easy_strerror(code));
                if (code == CURLE_COULDNT_RESOLVE_PROXY)
                    why = QStringLiteral("the host name cannot be resolved");
                throw TransportError(address, x.head.status,
                                     QStringLiteral("proxy %1:%2: %3")
                                         .arg(proxy->hostName())
                                         .arg(proxy->port())
                                         .arg(why));
            }
            if (x.head.status == 0 || !x.head.failedStatus()) {
                if (code == CURLE_PARTIAL_FILE && x.head.contentLength >= 0)
                    throw TransportError(address, x.head.status,
                                         QStringLiteral("the answer ended after %1 of %2 bytes")
                                             .arg(x.received)
                                             .arg(x.head.contentLength));
                throw TransportError(
                    address, x.head.status,
                    QString::fromUtf8(errorText[0] != 0 ? errorText : curl_easy_strerror(code)));
            }
        }

        const int status = x.head.status;
        const bool isRedirect =
            status == 301 || status == 302 || status == 303 || status == 307 || status == 308;
        char* location = nullptr;
        if (isRedirect)
            curl_easy_getinfo(handle, CURLINFO_REDIRECT_URL, &location);
        if (isRedirect && location) {
            const QUrl next(QString::fromUtf8(location));
            const QString scheme = next.scheme().toLower();
            if (scheme != u"http" && scheme != u"https")
                failPermanently(address, status,
                                QStringLiteral("redirected to an address that is not http or "
                                               "https: %1")
                                    .arg(next.toDisplayString()));
            if (url.scheme().toLower() == u"https" && scheme == u"http")
                failPermanently(address, status,
                                QStringLiteral("redirected from https to plain http"));
            if (hop >= settings.maxRedirects)
                failPermanently(
                    address, status,
                    QStringLiteral("more than %1 redirects").arg(settings.maxRedirects));
            if (!next.isValid() || next.host().isEmpty())
                failPermanently(address, status,
                                QStringLiteral("redirected to an invalid address"));
            // As browsers do: a POST answered with 301/302/303 is followed with a GET.
            if (status != 307 && status != 308 && sendBody) {
                sendBody = false;
                verb = "GET";
            }
            url = next;
            continue;
        }

        if (x.head.failedStatus()) {
            std::optional<int> retryAfter;
            if (status == 429 || status == 503)
                retryAfter = ParseRetryAfter(x.head.retryAfter);
            const QString phrase = QString::fromLatin1(x.head.reasonPhrase);
            throw TransportError(
                address, status,
                phrase.isEmpty() ? QStringLiteral("HTTP status %1").arg(status)
                                 : QStringLiteral("HTTP status %1 (%2)").arg(status).arg(phrase),
                retryAfter);
        }
        if (!x.head.contentEncoding.isEmpty() && x.head.contentEncoding != "identity")
            failPermanently(address, status,
                            QStringLiteral("the answer's encoding \"%1\" cannot be read")
                                .arg(QString::fromLatin1(x.head.contentEncoding)));
        // A body cut short is a failed fetch even when the connection closed quietly.
        if (x.head.contentLength >= 0 && x.head.contentLength != x.received)
            throw TransportError(address, status,
                                 QStringLiteral("the answer ended after %1 of %2 bytes")
                                     .arg(x.received)
                                     .arg(x.head.contentLength));
        return TransferOutcome{status, x.received};
    }
}

ModDownFile::ModDownFile(std::shared_ptr<TransportSession> session, TransferSettings settings,
                         std::shared_ptr<const CancelToken> cancel)
    : m_session(session ? std::move(session) : std::make_shared<TransportSession>()),
      m_impl(std::make_unique<Impl>(std::move(settings), std::move(cancel))) {}

ModDownFile::~ModDownFile() = default;

void ModDownFile::setCancelToken(std::shared_ptr<const CancelToken> cancel) {
    m_impl->cancel = std::move(cancel);
}

void ModDownFile::ApplyProxySetting(const ProxySetting& setting) {
    if (!setting.enabled)
        return;
    const std::optional<QNetworkProxy> proxy = ParseProxyText(setting.text);
    if (!proxy)
        throw Error(ErrorKind::InvalidArgument,
                    QStringLiteral("The proxy address \"%1\" cannot be read; write host:port, "
                                   "http://host:port or socks5://host:port")
                        .arg(setting.text));
    m_session->setByteFetchProxy(*proxy);
}

void ModDownFile::FetchToBuffer(const QString& url) {
    downloadBuffer.clear();
    m_impl->bindThread(m_session);
    QByteArray body;
    TransferSpec spec;
    spec.verb = "GET";
    spec.sizeCap = m_impl->settings.pageSizeCap;
    spec.sink = [&](const char* data, qint64 size) {
        body.append(data, size);
    };
    (void)m_impl->run(m_impl->byteHandle.get(), m_impl->byteProxy, url, spec);
    downloadBuffer = std::move(body);
}

QString ModDownFile::RequestText(const QString& charset, const QString& url, const QString& body) {
    m_impl->bindThread(m_session);
    QStringDecoder probe(charset.trimmed().toLatin1().constData());
    if (!probe.isValid())
        throw TransportError(url, 0, QStringLiteral("unknown character set \"%1\"").arg(charset));
    QByteArray answer;
    TransferSpec spec;
    spec.verb = body.isEmpty() ? QByteArrayLiteral("GET") : QByteArrayLiteral("POST");
    spec.body = body.toUtf8();
    spec.formContentType = true;
    spec.sizeCap = m_impl->settings.pageSizeCap;
    spec.sink = [&](const char* data, qint64 size) {
        answer.append(data, size);
    };
    // Text requests never go through the proxy.
    (void)m_impl->run(m_impl->textHandle.get(), std::nullopt, url, spec);
    return BytesToText(answer, charset);
}

QString ModDownFile::FetchToFile(const QString& url, const QString& finalPath,
                                 const ProgressCallback& progress) {
    std::unique_ptr<AtomicFile> file = fetchBody(url, finalPath, progress);
    const QString folder = QFileInfo(finalPath).absolutePath();
    const QString written = CommitSongFile(*file, folder, QFileInfo(finalPath).fileName());
    SyncFolder(folder);
    return written;
}

void ModDownFile::FetchToFileDeferred(const QString& url, const QString& finalPath,
                                      const ProgressCallback& progress, FileCommitter::Done done) {
    std::unique_ptr<AtomicFile> file = fetchBody(url, finalPath, progress);
    committer().submit(std::move(file), QFileInfo(finalPath).absolutePath(),
                       QFileInfo(finalPath).fileName(), std::move(done));
}

int ModDownFile::FinishCommits() {
    return m_impl->committer ? m_impl->committer->wait() : 0;
}

std::unique_ptr<AtomicFile> ModDownFile::fetchBody(const QString& url, const QString& finalPath,
                                                   const ProgressCallback& progress) {
    m_impl->bindThread(m_session);
    const QFileInfo target(finalPath);
    const QString folder = target.absolutePath();
    (void)m_impl->checkedUrl(url); // refuse before any file is made
    auto owned = std::make_unique<AtomicFile>(folder);
    AtomicFile& file = *owned;
    TransferSpec spec;
    spec.verb = "GET";
    spec.sink = [&](const char* data, qint64 size) {
        file.write(data, size);
    };
    spec.sizeCap = m_impl->settings.songSizeCap;
    spec.progress = &progress;
    const TransferOutcome outcome =
        m_impl->run(m_impl->byteHandle.get(), m_impl->byteProxy, url, spec);
    if (file.size() < 2)
        throw TransportError(url, outcome.httpStatus,
                             QStringLiteral("the body has only %1 byte(s)").arg(file.size()));
    return owned;
}

void ModDownFile::StoreBuffer(const QString& path) const {
    StoreBytes(downloadBuffer, path);
}

void ModDownFile::StoreBufferDeferred(const QString& path) {
    if (downloadBuffer.isEmpty())
        throw Error(
            ErrorKind::Io,
            QStringLiteral("Nothing was stored as \"%1\": the fetched body is empty").arg(path));
    const QFileInfo target(path);
    // The same bytes again (a re-run's cover): nothing to write, nothing to sync.
    if (target.isFile() && target.size() == downloadBuffer.size()) {
        QFile existing(path);
        if (existing.open(QIODevice::ReadOnly) && existing.readAll() == downloadBuffer)
            return;
    }
    auto file = std::make_unique<AtomicFile>(target.absolutePath());
    file->write(downloadBuffer);
    committer().submit(std::move(file), target.absolutePath(), target.fileName(), {},
                       FileCommitter::Naming::Exactly);
}

FileCommitter& ModDownFile::committer() {
    if (!m_impl->committer)
        m_impl->committer = std::make_unique<FileCommitter>();
    return *m_impl->committer;
}

QString ModDownFile::SaveSongFile(const QString& folder, const QString& name,
                                  const QByteArray& bytes) {
    AtomicFile file(folder);
    file.write(bytes);
    const QString written = CommitSongFile(file, folder, name);
    SyncFolder(folder);
    return written;
}

} // namespace orvana::net
