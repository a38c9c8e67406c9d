#include "net/mod_down_file.h"

#include "net/connection_pool.h"
#include "net/transfer.h"

#include <QFile>
#include <QFileInfo>
#include <QStringDecoder>
#include <QUrl>
#include <curl/curl.h>
#include <thread>

namespace orvana::net {

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

struct EasyDeleter {
    void operator()(CURL* handle) const { curl_easy_cleanup(handle); }
};
using EasyHandle = std::unique_ptr<CURL, EasyDeleter>;

} // namespace

class ModDownFile::Impl {
public:
    Impl(TransferSettings settings, std::shared_ptr<const CancelToken> cancel)
        : settings(std::move(settings)), cancel(std::move(cancel)) {}

    TransferSettings settings;
    std::shared_ptr<const CancelToken> cancel;
    std::optional<std::thread::id> thread;
    // The handles are this transport's own; the connections they use belong to the session's
    // pool, so they outlive this transport.
    EasyHandle byteHandle;
    EasyHandle textHandle;
    ConnectionPool* connections = nullptr;
    std::shared_ptr<CookieStore> cookies;
    std::optional<QNetworkProxy> byteProxy;
    std::unique_ptr<FileCommitter> committer; // made at the first deferred file

    void bindThread(const std::shared_ptr<TransportSession>& session);
    Finished run(CURL* handle, const TransferSpec& spec, const QString& address, qint64 sizeCap,
                 std::optional<QNetworkProxy> proxy) {
        const ConnectionPool::Lease lease = connections->lease();
        Transfer transfer({handle, lease.lane(), lease.share()}, *cookies, cancel.get(), spec,
                          RequestRules{address, sizeCap, std::move(proxy), settings});
        return transfer.run();
    }
};

void ModDownFile::Impl::bindThread(const std::shared_ptr<TransportSession>& session) {
    if (thread && *thread != std::this_thread::get_id())
        throw Error(ErrorKind::InvalidArgument,
                    QStringLiteral("A transport was used from a thread other than its own"));
    if (!thread) {
        byteHandle.reset(curl_easy_init());
        textHandle.reset(curl_easy_init());
        if (!byteHandle || !textHandle)
            throw Error(ErrorKind::Io, QStringLiteral("Cannot set up the network transport"));
        thread = std::this_thread::get_id();
        connections = &session->connections();
        cookies = session->cookies();
    }
    byteProxy = session->byteFetchProxy();
}

ModDownFile::ModDownFile(std::shared_ptr<TransportSession> session, TransferSettings settings,
                         std::shared_ptr<const CancelToken> cancel)
    : m_session(session ? std::move(session) : std::make_shared<TransportSession>()),
      m_impl(std::make_unique<Impl>(std::move(settings), std::move(cancel))) {}

ModDownFile::~ModDownFile() = default;

void ModDownFile::setCancelToken(std::shared_ptr<const CancelToken> cancel) {
    m_impl->cancel = std::move(cancel);
}

const std::shared_ptr<const CancelToken>& ModDownFile::cancelToken() const {
    return m_impl->cancel;
}

const TransferSettings& ModDownFile::transferSettings() const {
    return m_impl->settings;
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
    spec.sink = [&](const char* data, qint64 size) {
        body.append(data, size);
    };
    (void)m_impl->run(m_impl->byteHandle.get(), spec, url, m_impl->settings.pageSizeCap,
                      m_impl->byteProxy);
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
    spec.sink = [&](const char* data, qint64 size) {
        answer.append(data, size);
    };
    // Text requests never go through the proxy.
    (void)m_impl->run(m_impl->textHandle.get(), spec, url, m_impl->settings.pageSizeCap,
                      std::nullopt);
    return BytesToText(answer, charset);
}

QString ModDownFile::FetchToFile(const QString& url, const QString& finalPath,
                                 const ProgressCallback& progress) {
    return FetchToFile(url, finalPath, progress, std::nullopt).path;
}

StoredSong ModDownFile::FetchToFile(const QString& url, const QString& finalPath,
                                    const ProgressCallback& progress,
                                    const std::optional<SongTags>& tags) {
    Body body = fetchBody(url, finalPath, progress, tags);
    const QString folder = QFileInfo(finalPath).absolutePath();
    const qint64 bytes = body.file->size();
    const QString written = CommitSongFile(*body.file, folder, QFileInfo(finalPath).fileName());
    SyncFolder(folder);
    return {written, bytes, body.untagged};
}

void ModDownFile::FetchToFileDeferred(const QString& url, const QString& finalPath,
                                      const ProgressCallback& progress, FileCommitter::Done done) {
    FetchToFileDeferred(url, finalPath, progress, std::nullopt,
                        [done = std::move(done)](const StoredSong& song, std::exception_ptr error) {
                            if (done)
                                done(song.path, error);
                        });
}

void ModDownFile::FetchToFileDeferred(const QString& url, const QString& finalPath,
                                      const ProgressCallback& progress,
                                      const std::optional<SongTags>& tags, SongDone done) {
    Body body = fetchBody(url, finalPath, progress, tags);
    const qint64 bytes = body.file->size();
    committer().submit(std::move(body.file), QFileInfo(finalPath).absolutePath(),
                       QFileInfo(finalPath).fileName(),
                       [done = std::move(done), bytes,
                        untagged = body.untagged](const QString& path, std::exception_ptr error) {
                           if (!done)
                               return;
                           if (error)
                               done(StoredSong{}, error);
                           else
                               done(StoredSong{path, bytes, untagged}, nullptr);
                       });
}

int ModDownFile::FinishCommits() {
    return m_impl->committer ? m_impl->committer->wait() : 0;
}

int ModDownFile::ReapCommits() {
    return m_impl->committer ? m_impl->committer->reap() : 0;
}

ModDownFile::Body ModDownFile::fetchBody(const QString& url, const QString& finalPath,
                                         const ProgressCallback& progress,
                                         const std::optional<SongTags>& tags) {
    m_impl->bindThread(m_session);
    const QString folder = QFileInfo(finalPath).absolutePath();
    (void)CheckedAddress(url); // refuse before any file is made
    auto owned = std::make_unique<AtomicFile>(folder);
    AtomicFile& file = *owned;
    // The tag goes into the unnamed file before the audio: nothing is named until all is there.
    std::optional<SongTagger> tagger;
    if (tags)
        tagger.emplace(*tags, [&file](const char* data, qint64 size) { file.write(data, size); });
    TransferSpec spec;
    spec.verb = "GET";
    spec.sink = [&](const char* data, qint64 size) {
        if (tagger)
            tagger->write(data, size);
        else
            file.write(data, size);
    };
    spec.progress = &progress;
    const Finished outcome = m_impl->run(m_impl->byteHandle.get(), spec, url,
                                         m_impl->settings.songSizeCap, m_impl->byteProxy);
    if (outcome.received < 2)
        throw TransportError(url, outcome.status,
                             QStringLiteral("the body has only %1 byte(s)").arg(outcome.received));
    const QString untagged = tagger ? tagger->finish() : QString();
    return {std::move(owned), untagged};
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
