#include "app/login_profile.h"

#include <QDir>
#include <QFileInfo>
#include <QNetworkProxy>
#include <QWebEngineCookieStore>
#include <QWebEngineDownloadRequest>
#include <QWebEngineProfile>
#include <QWebEngineSettings>

namespace orvana::app {

LoginProfile::LoginProfile(std::shared_ptr<net::CookieStore> store, const QString& cookieFile,
                           const QString& storageFolder, QObject* parent)
    : QObject(parent), m_mirror(std::move(store), cookieFile),
      m_storageFolder(storageFolder.isEmpty()
                          ? QFileInfo(cookieFile).absolutePath() + QStringLiteral("/browser")
                          : storageFolder) {
    connect(&m_mirror, &CookieMirror::saveFailed, this, &LoginProfile::saveFailed);
}

LoginProfile::~LoginProfile() {
    delete m_openWindow;
    // The profile's store stops reporting before the mirror writes what is pending.
    if (m_profile)
        m_profile->cookieStore()->disconnect(this);
    delete m_profile;
    m_mirror.Flush();
}

bool LoginProfile::PrepareOpening(const net::ProxySetting& proxy) {
    if (!m_proxyDecided) {
        if (proxy.enabled) {
            const std::optional<QNetworkProxy> parsed = net::ParseProxyText(proxy.text);
            if (!parsed)
                return false;
            // The browser takes Qt's application proxy; the transports set their own proxy
            // explicitly, so this reaches the browser only. A profile reads it when it is made;
            // an existing one notices a change only a second or two later, after its first
            // navigation, which is why the proxy is settled before the profile exists.
            QNetworkProxy::setApplicationProxy(*parsed);
        }
        m_proxyDecided = true;
    }
    if (!m_profile)
        createProfile();
    QWebEngineCookieStore* cookies = m_profile->cookieStore();
    for (const BrowserCookie& seed : m_mirror.Seed())
        cookies->setCookie(seed.cookie, seed.origin);
    return true;
}

void LoginProfile::createProfile() {
    m_profile = new QWebEngineProfile(QStringLiteral("orvana-dl"));
    m_profile->setPersistentStoragePath(m_storageFolder);
    m_profile->setHttpCacheType(QWebEngineProfile::MemoryHttpCache);
    m_profile->setPersistentCookiesPolicy(QWebEngineProfile::ForcePersistentCookies);
    m_profile->setDownloadPath(m_storageFolder + QStringLiteral("/refused-downloads"));

    QWebEngineSettings* settings = m_profile->settings();
    settings->setAttribute(QWebEngineSettings::LocalContentCanAccessFileUrls, false);
    settings->setAttribute(QWebEngineSettings::LocalContentCanAccessRemoteUrls, false);
    settings->setAttribute(QWebEngineSettings::PluginsEnabled, false);
    settings->setAttribute(QWebEngineSettings::PdfViewerEnabled, false);

    // The window is for logging in: nothing a page offers is saved.
    connect(m_profile, &QWebEngineProfile::downloadRequested, this,
            [](QWebEngineDownloadRequest* download) { download->cancel(); });

    QWebEngineCookieStore* cookies = m_profile->cookieStore();
    connect(cookies, &QWebEngineCookieStore::cookieAdded, this,
            [this](const QNetworkCookie& cookie) { m_mirror.CookieAdded(cookie); });
    connect(cookies, &QWebEngineCookieStore::cookieRemoved, this,
            [this](const QNetworkCookie& cookie) { m_mirror.CookieRemoved(cookie); });
}

} // namespace orvana::app
