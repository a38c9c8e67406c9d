#include "net/mod_down_file.h"

#include "net/transfer_rules.h"

#include <QFile>
#include <QFileInfo>
#include <QNetworkCookie>
#include <QStringDecoder>
#include <QUrl>
#include <algorithm>
#include <chrono>
#include <curl/curl.h>
#include <exception>
#include <mutex>
#include <thread>
#include <variant>

namespace orvana::net {
namespace {

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

// The state of one request while curl runs it; the callbacks reach it through their user data.
struct Exchange {
    CURL* handle = nullptr;
    const TransferSpec* spec = nullptr;
    ResponseHead head;
    bool retryAfterSeen = false;
    qint64 received = 0;
    qint64 discarded = 0;
    StopReason stop = StopReason::None;
    std::exception_ptr sinkError;
    CURLcode code = CURLE_OK;
    std::chrono::steady_clock::time_point lastActivity;
};

constexpr qint64 kErrorBodyLimit = 256 * 1024;

// The status curl parsed from the answer's status line; a proxy's CONNECT answer while no
// other came.
int ResponseCode(CURL* handle) {
    long code = 0;
    curl_easy_getinfo(handle, CURLINFO_RESPONSE_CODE, &code);
    if (code == 0)
        curl_easy_getinfo(handle, CURLINFO_HTTP_CONNECTCODE, &code);
    return int(code);
}

size_t OnHeader(char* data, size_t size, size_t count, void* user) {
    auto& x = *static_cast<Exchange*>(user);
    const size_t length = size * count;
    x.lastActivity = std::chrono::steady_clock::now();
    const QByteArray line = QByteArray(data, qsizetype(length)).trimmed();
    if (line.startsWith("HTTP/")) {
        // A new answer begins (after a 1xx or a proxy's CONNECT answer): forget the last one.
        x.head = ResponseHead();
        x.retryAfterSeen = false;
        x.head.status = ResponseCode(x.handle);
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

size_t OnBody(char* data, size_t size, size_t count, void* user) {
    auto& x = *static_cast<Exchange*>(user);
    const size_t length = size * count;
    x.lastActivity = std::chrono::steady_clock::now();
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
    if (x.head.encoded()) {
        x.stop = StopReason::BadEncoding;
        return CURL_WRITEFUNC_ERROR;
    }
    x.received += qint64(length);
    const TransferSpec& spec = *x.spec;
    // An announced length over the cap fails at the first bytes, not after a gigabyte.
    if (spec.sizeCap >= 0 && (x.received > spec.sizeCap || x.head.contentLength > spec.sizeCap)) {
        x.stop = StopReason::TooLarge;
        return CURL_WRITEFUNC_ERROR;
    }
    try {
        if (spec.sink)
            spec.sink(data, qint64(length));
        if (spec.progress && *spec.progress)
            (*spec.progress)(x.received, x.head.contentLength);
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

// The address to fetch; throws why it is never fetched.
QUrl CheckedAddress(const QString& address) {
    std::variant<QUrl, TransportError> checked = checkAddress(address);
    if (auto* refused = std::get_if<TransportError>(&checked))
        throw *refused;
    return std::get<QUrl>(checked);
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
    TransferOutcome run(CURL* handle, const std::optional<QNetworkProxy>& proxy,
                        const QString& address, const TransferSpec& spec);

private:
    void perform(CURL* handle, Exchange& exchange);
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

void ModDownFile::Impl::perform(CURL* handle, Exchange& x) {
    using Clock = std::chrono::steady_clock;
    const auto started = Clock::now();
    x.lastActivity = started;
    auto windowStart = started;
    qint64 windowBytes = 0;
    curl_multi_add_handle(multi, handle);
    const int pollMs = int(std::max<qint64>(1, settings.cancelPollInterval.count()));
    for (;;) {
        int running = 0;
        curl_multi_perform(multi, &running);
        int queued = 0;
        bool done = false;
        while (CURLMsg* message = curl_multi_info_read(multi, &queued)) {
            if (message->msg == CURLMSG_DONE && message->easy_handle == handle) {
                x.code = message->data.result;
                done = true;
            }
        }
        if (done)
            break;
        const auto now = Clock::now();
        if (cancel && cancel->isCancelled())
            x.stop = StopReason::Cancelled;
        else if (now - x.lastActivity >= settings.stallTimeout)
            x.stop = StopReason::Stalled;
        else if (settings.minRateBytesPerSecond > 0 &&
                 now - windowStart >= settings.minRateWindow) {
            const qint64 bytes = x.received + x.discarded - windowBytes;
            const double seconds = std::chrono::duration<double>(now - windowStart).count();
            if (double(bytes) < double(settings.minRateBytesPerSecond) * seconds)
                x.stop = StopReason::Slow;
            windowStart = now;
            windowBytes = x.received + x.discarded;
        }
        if (x.stop != StopReason::None)
            break;
        curl_multi_poll(multi, nullptr, 0, pollMs, nullptr);
    }
    curl_multi_remove_handle(multi, handle);
}

TransferOutcome ModDownFile::Impl::run(CURL* handle, const std::optional<QNetworkProxy>& proxy,
                                       const QString& address, const TransferSpec& spec) {
    QUrl url = CheckedAddress(address);
    if (cancel && cancel->isCancelled())
        throw TransportError(address, 0, QStringLiteral("cancelled"), std::nullopt,
                             ErrorKind::Cancelled);
    const RequestRules rules{address, spec.sizeCap, proxy, settings};

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
    x.handle = handle;
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
        x.retryAfterSeen = false;
        x.received = 0;
        x.discarded = 0;
        x.code = CURLE_OK;
        errorText[0] = 0;
        perform(handle, x);
        const StopReason stop = x.stop;
        if (stop == StopReason::Cancelled || stop == StopReason::Stalled ||
            stop == StopReason::Slow)
            ; // given up by the wait: nothing of the answer is taken
        else
            for (const QByteArray& header : std::as_const(x.head.setCookies))
                (void)cookies->setCookiesFromUrl(QNetworkCookie::parseCookies(header), url);
        if (stop == StopReason::SinkFailed)
            std::rethrow_exception(x.sinkError);

        HopEnd end;
        end.head = x.head;
        if (x.retryAfterSeen) {
            curl_off_t seconds = 0;
            curl_easy_getinfo(handle, CURLINFO_RETRY_AFTER, &seconds);
            end.head.retryAfter = qint64(seconds);
        }
        char* location = nullptr;
        curl_easy_getinfo(handle, CURLINFO_REDIRECT_URL, &location);
        if (location)
            end.head.location = location;
        end.received = x.received;
        end.stop = stop;
        end.code = x.code;
        end.curlText =
            QString::fromUtf8(errorText[0] != 0 ? errorText : curl_easy_strerror(x.code));
        long osError = 0;
        curl_easy_getinfo(handle, CURLINFO_OS_ERRNO, &osError);
        end.osError = int(osError);
        x.stop = StopReason::None;

        Verdict verdict = classify(end, rules);
        if (auto* failure = std::get_if<TransportError>(&verdict))
            throw *failure;
        if (auto* finished = std::get_if<Finished>(&verdict))
            return TransferOutcome{finished->status, finished->received};
        std::variant<Hop, TransportError> next =
            nextHop(url, std::get<Follow>(verdict), hop, rules);
        if (auto* refused = std::get_if<TransportError>(&next))
            throw *refused;
        const Hop& to = std::get<Hop>(next);
        if (to.asGet && sendBody) {
            sendBody = false;
            verb = "GET";
        }
        url = to.url;
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
    (void)CheckedAddress(url); // refuse before any file is made
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
