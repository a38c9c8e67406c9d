#include "net/mod_down_file.h"

#include <QDateTime>
#include <QEventLoop>
#include <QFileInfo>
#include <QLocale>
#include <QNetworkAccessManager>
#include <QNetworkCookieJar>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QStringDecoder>
#include <QThread>
#include <QTimeZone>
#include <QTimer>
#include <algorithm>
#include <exception>

namespace orvana::net {
namespace {

// Hands QNetworkAccessManager the session's cookies; one per manager, so managers of several
// threads share one store without sharing a QObject.
class SessionCookieJar : public QNetworkCookieJar {
public:
    explicit SessionCookieJar(std::shared_ptr<CookieStore> store) : m_store(std::move(store)) {}

    QList<QNetworkCookie> cookiesForUrl(const QUrl& url) const override {
        return m_store->cookiesForUrl(url);
    }
    bool setCookiesFromUrl(const QList<QNetworkCookie>& cookies, const QUrl& url) override {
        return m_store->setCookiesFromUrl(cookies, url);
    }

private:
    std::shared_ptr<CookieStore> m_store;
};

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
    std::function<void(const QByteArray&)> sink;
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

class ModDownFile::Impl {
public:
    Impl(TransferSettings settings, std::shared_ptr<const CancelToken> cancel)
        : settings(std::move(settings)), cancel(std::move(cancel)) {}

    TransferSettings settings;
    std::shared_ptr<const CancelToken> cancel;
    QThread* thread = nullptr;
    std::unique_ptr<QNetworkAccessManager> byteManager;
    std::unique_ptr<QNetworkAccessManager> textManager;
    std::optional<QNetworkProxy> byteProxyInUse;

    void bindThread(const std::shared_ptr<TransportSession>& session);
    QUrl checkedUrl(const QString& address) const;
    TransferOutcome run(QNetworkAccessManager& manager, const QString& address,
                        const TransferSpec& spec);
};

void ModDownFile::Impl::bindThread(const std::shared_ptr<TransportSession>& session) {
    if (thread && thread != QThread::currentThread())
        throw Error(ErrorKind::InvalidArgument,
                    QStringLiteral("A transport was used from a thread other than its own"));
    if (!thread) {
        thread = QThread::currentThread();
        byteManager = std::make_unique<QNetworkAccessManager>();
        textManager = std::make_unique<QNetworkAccessManager>();
        byteManager->setCookieJar(new SessionCookieJar(session->cookies()));
        textManager->setCookieJar(new SessionCookieJar(session->cookies()));
        byteManager->setProxy(QNetworkProxy::NoProxy);
        textManager->setProxy(QNetworkProxy::NoProxy);
    }
    const std::optional<QNetworkProxy> proxy = session->byteFetchProxy();
    if (proxy != byteProxyInUse) {
        byteManager->setProxy(proxy.value_or(QNetworkProxy(QNetworkProxy::NoProxy)));
        byteProxyInUse = proxy;
    }
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

TransferOutcome ModDownFile::Impl::run(QNetworkAccessManager& manager, const QString& address,
                                       const TransferSpec& spec) {
    const QUrl url = checkedUrl(address);
    if (cancel && cancel->isCancelled())
        throw TransportError(address, 0, QStringLiteral("cancelled"), std::nullopt,
                             ErrorKind::Cancelled);

    QNetworkRequest request(url);
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute,
                         QNetworkRequest::NoLessSafeRedirectPolicy);
    request.setMaximumRedirectsAllowed(settings.maxRedirects);
    request.setHeader(QNetworkRequest::UserAgentHeader, settings.userAgent);
    if (spec.formContentType)
        request.setHeader(QNetworkRequest::ContentTypeHeader,
                          QByteArrayLiteral("application/x-www-form-urlencoded"));

    std::unique_ptr<QNetworkReply> reply(
        spec.verb == "GET" ? manager.get(request)
                           : manager.sendCustomRequest(request, spec.verb, spec.body));
    // Bounded so a slow disk holds back the socket instead of filling memory.
    reply->setReadBufferSize(1024 * 1024);

    enum class Stop { None, Cancelled, Stalled, TooLarge, HttpError, SinkFailed };
    Stop stop = Stop::None;
    std::exception_ptr sinkError;
    qint64 received = 0;
    qint64 discarded = 0;
    constexpr qint64 kErrorBodyLimit = 256 * 1024;
    QEventLoop loop;
    QTimer stallTimer;
    stallTimer.setSingleShot(true);
    stallTimer.setInterval(settings.stallTimeout);
    QTimer cancelTimer;
    cancelTimer.setInterval(settings.cancelPollInterval);

    auto abortWith = [&](Stop why) {
        if (stop == Stop::None)
            stop = why;
        if (!reply->isFinished())
            reply->abort();
    };
    auto status = [&] {
        return reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    };
    // Redirects are followed before the final answer arrives, so any status outside 2xx here
    // (an error, or a redirect that could not be followed) means the body is not the resource.
    auto failedStatus = [&] {
        const int code = status();
        return code >= 300 || (code > 0 && code < 200);
    };
    auto drain = [&] {
        if (stop != Stop::None)
            return;
        const QByteArray chunk = reply->readAll();
        if (chunk.isEmpty())
            return;
        if (failedStatus()) {
            // An error page is never a body: none of it is kept. A small one is read to its end
            // so the connection stays usable; a large one is cut off.
            discarded += chunk.size();
            if (discarded > kErrorBodyLimit)
                abortWith(Stop::HttpError);
            return;
        }
        received += chunk.size();
        if (spec.sizeCap >= 0 && received > spec.sizeCap) {
            abortWith(Stop::TooLarge);
            return;
        }
        try {
            if (spec.sink)
                spec.sink(chunk);
        } catch (...) {
            sinkError = std::current_exception();
            abortWith(Stop::SinkFailed);
        }
    };

    QObject::connect(reply.get(), &QNetworkReply::readyRead, &loop, [&] {
        stallTimer.start();
        drain();
    });
    QObject::connect(reply.get(), &QNetworkReply::downloadProgress, &loop,
                     [&](qint64 bytesReceived, qint64 bytesTotal) {
                         stallTimer.start();
                         if (spec.progress && *spec.progress && stop == Stop::None &&
                             !failedStatus()) {
                             try {
                                 (*spec.progress)(bytesReceived, bytesTotal);
                             } catch (...) {
                                 sinkError = std::current_exception();
                                 abortWith(Stop::SinkFailed);
                             }
                         }
                     });
    QObject::connect(reply.get(), &QNetworkReply::uploadProgress, &loop,
                     [&] { stallTimer.start(); });
    QObject::connect(&stallTimer, &QTimer::timeout, &loop, [&] { abortWith(Stop::Stalled); });
    QObject::connect(&cancelTimer, &QTimer::timeout, &loop, [&] {
        if (cancel && cancel->isCancelled())
            abortWith(Stop::Cancelled);
    });
    QObject::connect(reply.get(), &QNetworkReply::finished, &loop, &QEventLoop::quit);

    stallTimer.start();
    if (cancel)
        cancelTimer.start();
    if (!reply->isFinished())
        loop.exec();
    stallTimer.stop();
    cancelTimer.stop();
    drain(); // whatever arrived with the last event

    const int httpStatus = status();
    const bool statusFailed = failedStatus();
    switch (stop) {
    case Stop::None:
    case Stop::HttpError:
        break;
    case Stop::Cancelled:
        throw TransportError(address, httpStatus, QStringLiteral("cancelled"), std::nullopt,
                             ErrorKind::Cancelled);
    case Stop::Stalled:
        throw TransportError(
            address, httpStatus,
            QStringLiteral("no data arrived for %1 ms").arg(qint64(settings.stallTimeout.count())));
    case Stop::TooLarge:
        throw TransportError(
            address, httpStatus,
            QStringLiteral("the answer is larger than %1").arg(DescribeSize(spec.sizeCap)));
    case Stop::SinkFailed:
        std::rethrow_exception(sinkError);
    }
    if (statusFailed) {
        std::optional<int> retryAfter;
        if (httpStatus == 429 || httpStatus == 503)
            retryAfter = ParseRetryAfter(reply->rawHeader("Retry-After"));
        const QString phrase =
            reply->attribute(QNetworkRequest::HttpReasonPhraseAttribute).toString();
        throw TransportError(
            address, httpStatus,
            phrase.isEmpty() ? QStringLiteral("HTTP status %1").arg(httpStatus)
                             : QStringLiteral("HTTP status %1 (%2)").arg(httpStatus).arg(phrase),
            retryAfter);
    }
    if (reply->error() != QNetworkReply::NoError)
        throw TransportError(address, httpStatus, reply->errorString());
    // A body cut short is a failed fetch even when the connection closed quietly.
    const QByteArray encoding = reply->rawHeader("Content-Encoding").trimmed().toLower();
    bool hasLength = false;
    const qint64 announced =
        reply->header(QNetworkRequest::ContentLengthHeader).toLongLong(&hasLength);
    if (hasLength && (encoding.isEmpty() || encoding == "identity") && announced != received &&
        spec.verb != "HEAD")
        throw TransportError(
            address, httpStatus,
            QStringLiteral("the answer ended after %1 of %2 bytes").arg(received).arg(announced));
    return TransferOutcome{httpStatus, received};
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
    spec.sink = [&](const QByteArray& chunk) {
        body += chunk;
    };
    (void)m_impl->run(*m_impl->byteManager, url, spec);
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
    spec.sink = [&](const QByteArray& chunk) {
        answer += chunk;
    };
    (void)m_impl->run(*m_impl->textManager, url, spec);
    return BytesToText(answer, charset);
}

QString ModDownFile::FetchToFile(const QString& url, const QString& finalPath,
                                 const ProgressCallback& progress) {
    m_impl->bindThread(m_session);
    const QFileInfo target(finalPath);
    const QString folder = target.absolutePath();
    (void)m_impl->checkedUrl(url); // refuse before any file is made
    AtomicFile file(folder);
    TransferSpec spec;
    spec.verb = "GET";
    spec.sink = [&](const QByteArray& chunk) {
        file.write(chunk);
    };
    spec.progress = &progress;
    const TransferOutcome outcome = m_impl->run(*m_impl->byteManager, url, spec);
    if (file.size() < 2)
        throw TransportError(url, outcome.httpStatus,
                             QStringLiteral("the body has only %1 byte(s)").arg(file.size()));
    return CommitSongFile(file, folder, target.fileName());
}

void ModDownFile::StoreBuffer(const QString& path) const {
    StoreBytes(downloadBuffer, path);
}

QString ModDownFile::SaveSongFile(const QString& folder, const QString& name,
                                  const QByteArray& bytes) {
    AtomicFile file(folder);
    file.write(bytes);
    return CommitSongFile(file, folder, name);
}

} // namespace orvana::net
