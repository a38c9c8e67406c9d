#pragma once

#include "app/cookie_mirror.h"
#include "net/cookie_store.h"
#include "net/mod_down_file.h"

#include <QObject>
#include <QPointer>
#include <QString>
#include <QWidget>
#include <memory>

class QWebEngineProfile;
class QWebEngineDownloadRequest;

namespace orvana::app {

// The login window's browser for one program run: a named, persistent profile ("orvana-dl")
// whose cookies are mirrored into the program's cookie store and the cookie file (CookieMirror),
// and the proxy the browser uses, decided when the window first opens. Owned by the main window;
// window thread only. Outlives every page made with profile().
class LoginProfile : public QObject {
    Q_OBJECT
public:
    // cookieFile: the shared cookie file (net::CookieStore::DefaultPath() in the program).
    // storageFolder: where the browser keeps its profile; empty means "browser" beside the
    // cookie file.
    LoginProfile(std::shared_ptr<net::CookieStore> store, const QString& cookieFile,
                 const QString& storageFolder = {}, QObject* parent = nullptr);
    ~LoginProfile() override;

    // Readies the browser for an opening of the login window. The first call of a run decides the
    // proxy: a ticked setting becomes the browser's proxy for the rest of the run (later calls
    // change nothing); a ticked text that cannot be read gives false, the window must not open,
    // and the decision waits for the next call. Then it puts the cookie file's cookies into the
    // browser's store, so the page opens logged in when the file holds a login.
    [[nodiscard]] bool PrepareOpening(const net::ProxySetting& proxy);

    // The browser profile; null before the first successful PrepareOpening.
    [[nodiscard]] QWebEngineProfile* profile() const noexcept { return m_profile; }
    [[nodiscard]] CookieMirror& mirror() noexcept { return m_mirror; }
    [[nodiscard]] const QString& storageFolder() const noexcept { return m_storageFolder; }

    // The login window now open on this profile; it is closed first if this object goes, since
    // a page must never outlive its profile.
    void setOpenWindow(QWidget* window) { m_openWindow = window; }

Q_SIGNALS:
    // The cookie file could not be read or written; the login then lasts this run only.
    void saveFailed(const QString& message);

private:
    void createProfile();

    CookieMirror m_mirror;
    QString m_storageFolder;
    QWebEngineProfile* m_profile = nullptr;
    QPointer<QWidget> m_openWindow;
    bool m_proxyDecided = false;
};

} // namespace orvana::app
