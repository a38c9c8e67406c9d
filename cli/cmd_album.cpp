#include "cli/cli.h"
#include "cli/options.h"
#include "jobs/address_check.h"
#include "jobs/down_album.h"
#include "net/cookie_store.h"
#include "net/mod_down_file.h"

#include "json/error.h"
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <unistd.h>

namespace orvana::cli {

namespace {

// Status lines and messages as stderr lines; on a terminal also a bar for the song in flight.
class CliJobHost : public jobs::JobHost {
public:
    CliJobHost(const CliIo& io, bool terminal) : m_io(io), m_terminal(terminal) {}
    ~CliJobHost() override { clearBar(); }

    void setStatus(const QString& text) override { line(text); }
    void showMessage(const QString& text) override { line(text); }

    void songProgress(qint64 received, qint64 total) override {
        if (!m_terminal)
            return;
        const qint64 ms = m_timer.elapsed();
        if (m_lastDraw >= 0 && ms - m_lastDraw < 100 && received != total)
            return;
        m_lastDraw = ms;
        const double mib = 1024.0 * 1024.0;
        const double rate = ms > 0 ? received / mib / (ms / 1000.0) : 0.0;
        QString bar;
        if (total > 0) {
            const int filled = int(30 * received / total);
            bar = u'[' + QString(filled, u'#') + QString(30 - filled, u'-') + u"] " +
                  QString::number(received / mib, 'f', 1) + u'/' +
                  QString::number(total / mib, 'f', 1) + u" MiB";
        } else {
            bar = QString::number(received / mib, 'f', 1) + u" MiB";
        }
        m_io.printErr(u"\r  " + bar + u"  " + QString::number(rate, 'f', 1) + u" MiB/s\x1b[K");
        m_barShown = true;
    }

    void line(const QString& text) {
        clearBar();
        m_io.printErr(text + u'\n');
        // Every attempt at a song begins with a status line: the rate counts from there.
        m_timer.start();
        m_lastDraw = -1;
    }

private:
    void clearBar() {
        if (m_barShown)
            m_io.printErr(QStringLiteral("\r\x1b[K"));
        m_barShown = false;
    }

    const CliIo& m_io;
    bool m_terminal;
    bool m_barShown = false;
    QElapsedTimer m_timer;
    qint64 m_lastDraw = -1;
};

bool isTerminal(QIODevice* device) {
    auto* file = qobject_cast<QFile*>(device);
    return file && file->handle() >= 0 && isatty(file->handle());
}

QString albumUsage() {
    return u"usage: orvana-dl-cli album [OPTIONS] ADDRESS\n\n"
           u"Downloads the album at ADDRESS (an album page address of the portal, or its number)\n"
           u"into a folder named after the album: cover.jpg and one MP3 per song. Songs already\n"
           u"present are skipped.\n"
           u"Exit: 0 every song is present, 1 a song failed or the song list could not be had,\n"
           u"2 usage error or refused address.\n\n" +
           GlobalOptionsHelp();
}

} // namespace

int RunAlbum(const QStringList& args, const CliIo& io) {
    QStringList rest = args;
    const GlobalOptions options = TakeGlobalOptions(rest);
    if (options.help) {
        io.print(albumUsage());
        return kExitOk;
    }
    if (options.version) {
        io.print(VersionText() + u'\n');
        return kExitOk;
    }
    if (rest.size() != 1)
        throw Error(ErrorKind::InvalidArgument,
                    QStringLiteral("usage: orvana-dl-cli album [OPTIONS] ADDRESS"));

    const QString portalHost = PortalHostOf(options);
    const std::optional<QString> albumId =
        jobs::CheckAddress(rest.first(), portalHost, jobs::AddressKind::Album);
    if (!albumId) {
        io.printErr(QStringLiteral("无法识别的地址\n"));
        return kExitUsage;
    }

    const QString root = QDir::cleanPath(options.output.value_or(QDir::currentPath()));
    if (!QDir().mkpath(root)) {
        io.printErr(u"无法创建输出文件夹: " + root + u'\n');
        return kExitFailed;
    }
    const auto cookies =
        net::CookieStore::Load(options.cookies.value_or(net::CookieStore::DefaultPath()));
    net::ModDownFile transport(std::make_shared<net::TransportSession>(cookies));

    jobs::JobSettings settings;
    settings.portalHost = portalHost;
    settings.outputRoot = root;
    settings.proxy = {options.proxy.has_value(), options.proxy.value_or(QString())};

    CliJobHost host(io, isTerminal(io.err));
    const jobs::AlbumSummary summary = jobs::DownAlbum(*albumId, transport, host, settings);
    if (summary.outcome == jobs::JobOutcome::NotStarted)
        return kExitUsage; // the proxy text was refused; its message is out already

    if (summary.albumPageMissing && summary.listed == 0)
        host.line(QStringLiteral("无法获取专辑页面"));
    if (summary.songListMissing)
        host.line(QStringLiteral("无法获取歌曲列表"));
    for (const jobs::SongFailure& f : summary.failures)
        host.line(u"下载失败: " + (f.title.isEmpty() ? f.songId : f.title) + u" (" + f.reason +
                  u')');
    host.line(QStringLiteral("指定专辑下载完毕."));
    return summary.complete() ? kExitOk : kExitFailed;
}

} // namespace orvana::cli
