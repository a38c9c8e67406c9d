#include "app/app_settings.h"

#include "jobs/job_host.h"
#include "jobs/portal.h"

#include <QDir>
#include <QSettings>
#include <QStandardPaths>

namespace orvana::app {

namespace {

// An environment variable, else a non-empty setting, else the fallback.
QString firstOf(const char* envName, const QSettings& settings, const QString& key,
                const QString& fallback) {
    const QString env = qEnvironmentVariable(envName);
    if (!env.isEmpty())
        return env;
    const QString stored = settings.value(key).toString();
    return stored.isEmpty() ? fallback : stored;
}

const QString kProxyEnabled = QStringLiteral("proxy/enabled");
const QString kProxyText = QStringLiteral("proxy/text");
const QString kSingerAddress = QStringLiteral("address/singer");
const QString kAlbumAddress = QStringLiteral("address/album");

// Whether a remembered address names a host other than portalHost: the text before its first
// "/", after an "http://" in any case. A bare ID, or a path alone, names none.
bool onAnotherHost(const QString& address, const QString& portalHost) {
    QString rest = address.trimmed();
    if (rest.startsWith(u"http://", Qt::CaseInsensitive))
        rest = rest.mid(7);
    const qsizetype slash = rest.indexOf(u'/');
    return slash > 0 && rest.left(slash) != portalHost;
}

// The remembered address, or the default when it belongs to another host (the portal host
// changed since): the address check would refuse it.
QString addressFor(const QSettings& settings, const QString& key, const QString& fallback,
                   const QString& portalHost) {
    const QString stored = settings.value(key, fallback).toString();
    return onAnotherHost(stored, portalHost) ? fallback : stored;
}

} // namespace

QString PortalHost(const QSettings& settings) {
    return firstOf("ORVANA_PORTAL_HOST", settings, QStringLiteral("portal/host"),
                   jobs::DefaultPortalHost());
}

QString FrontHost(const QSettings& settings) {
    // "music.orvana.example:8080" -> "www.orvana.example:8080", "orvana.example" ->
    // "www.orvana.example"; an IP address or a one-label name (a test portal) stays as it is.
    QString fallback = PortalHost(settings);
    const qsizetype colon = fallback.indexOf(u':');
    const QString name = colon < 0 ? fallback : fallback.left(colon);
    const QString port = colon < 0 ? QString() : fallback.mid(colon);
    bool address = true;
    for (QChar c : name)
        address = address && (c.isDigit() || c == u'.');
    const qsizetype dots = name.count(u'.');
    if (!address && dots > 0 && !name.startsWith(u"www.")) {
        const QString domain = dots > 1 ? name.mid(name.indexOf(u'.') + 1) : name;
        fallback = u"www." + domain + port;
    }
    return firstOf("ORVANA_FRONT_HOST", settings, QStringLiteral("portal/frontHost"), fallback);
}

QString DownloadFolder(const QSettings& settings) {
    const QString music = QStandardPaths::writableLocation(QStandardPaths::MusicLocation);
    const QString base = music.isEmpty() ? QDir::homePath() : music;
    return QDir::cleanPath(
        firstOf("ORVANA_OUTPUT", settings, QStringLiteral("download/folder"), base + u"/Orvana"));
}

DownloadPreferences LoadDownloadPreferences(const QSettings& settings) {
    DownloadPreferences prefs;
    prefs.tags = settings.value(QStringLiteral("download/tags"), false).toBool();
    prefs.playlist = settings.value(QStringLiteral("download/m3u"), false).toBool();
    prefs.archive = settings.value(QStringLiteral("download/archive"), false).toBool();
    bool ok = false;
    const int parallel = settings.value(QStringLiteral("download/parallel")).toInt(&ok);
    if (ok && parallel >= 1 && parallel <= jobs::kMaxParallelSongs)
        prefs.parallel = parallel;
    return prefs;
}

RememberedInputs DefaultInputs(const QString& portalHost) {
    const QString base = jobs::PortalBase(portalHost);
    return {false, QStringLiteral("127.0.0.1:8081"), base + u"/artist/18104396",
            base + u"/album/31258219"};
}

RememberedInputs LoadInputs(const QSettings& settings, const QString& portalHost) {
    const RememberedInputs d = DefaultInputs(portalHost);
    return {settings.value(kProxyEnabled, d.proxyEnabled).toBool(),
            settings.value(kProxyText, d.proxyText).toString(),
            addressFor(settings, kSingerAddress, d.singerAddress, portalHost),
            addressFor(settings, kAlbumAddress, d.albumAddress, portalHost)};
}

void SaveInputs(QSettings& settings, const RememberedInputs& inputs) {
    settings.setValue(kProxyEnabled, inputs.proxyEnabled);
    settings.setValue(kProxyText, inputs.proxyText);
    settings.setValue(kSingerAddress, inputs.singerAddress);
    settings.setValue(kAlbumAddress, inputs.albumAddress);
    settings.sync();
}

} // namespace orvana::app
