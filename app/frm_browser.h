#pragma once

#include "net/mod_down_file.h"

#include <QDialog>
#include <QUrl>

class QWebEngineView;

namespace orvana::app {

class LoginProfile;

// The login window: a browser showing the portal's front page, where the user logs in with the
// portal's own pages and then closes the window. Owned by its owner window, deleted when closed.
class frmBrowser : public QDialog {
    Q_OBJECT
public:
    frmBrowser(QWidget* owner, LoginProfile& profile);

    // Navigates to the front page; a load failure shows the browser's own error page.
    void Navigate(const QUrl& frontPage);

    [[nodiscard]] QWebEngineView* webBrowser() const noexcept { return m_webBrowser; }

    // The caption in the language in use (kLoginCaption untranslated).
    [[nodiscard]] static QString Caption();

private:
    QWebEngineView* m_webBrowser;
};

// Opens the login window on owner, application-modal, and navigates to frontPage; returns at
// once with the window (deleted when it closes), or null when the ticked proxy text cannot be
// read (the refusal already shown to the user in a message box).
frmBrowser* OpenLoginWindow(QWidget* owner, const QUrl& frontPage, LoginProfile& profile,
                            const net::ProxySetting& proxy);

// The login command: opens the login window and returns when it is closed (or its owner is).
void ShowLoginWindow(QWidget* owner, const QUrl& frontPage, LoginProfile& profile,
                     const net::ProxySetting& proxy);

// The window's caption as written.
inline constexpr QStringView kLoginCaption = u"登录Orvana之后,直接关闭本窗口即可";

} // namespace orvana::app
