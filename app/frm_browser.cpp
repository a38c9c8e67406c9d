#include "app/frm_browser.h"

#include "app/login_profile.h"
#include "jobs/user_texts.h"

#include <QEventLoop>
#include <QMessageBox>
#include <QPointer>
#include <QWebEnginePage>
#include <QWebEngineView>

namespace orvana::app {

namespace {

// A page that keeps to the web: only http and https pages load in it, and links that ask for a
// new window open in it.
class LoginPage : public QWebEnginePage {
public:
    LoginPage(QWebEngineProfile* profile, QObject* parent) : QWebEnginePage(profile, parent) {}

protected:
    bool acceptNavigationRequest(const QUrl& url, NavigationType, bool isMainFrame) override {
        const QString scheme = url.scheme();
        if (scheme == u"http" || scheme == u"https")
            return true;
        // Frames of a web page may be blank or inline; a top-level page may not be.
        return !isMainFrame && (scheme == u"about" || scheme == u"data");
    }

    QWebEnginePage* createWindow(WebWindowType) override { return this; }
};

} // namespace

frmBrowser::frmBrowser(QWidget* owner, LoginProfile& profile)
    : QDialog(owner), m_webBrowser(new QWebEngineView(this)) {
    setWindowTitle(Caption());
    setFixedSize(620, 482);
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowModality(Qt::ApplicationModal);

    m_webBrowser->setObjectName(QStringLiteral("webBrowser"));
    m_webBrowser->setGeometry(8, 8, 609, 465);
    m_webBrowser->setPage(new LoginPage(profile.profile(), m_webBrowser));
    profile.setOpenWindow(this);
}

QString frmBrowser::Caption() {
    return tr("登录Orvana之后,直接关闭本窗口即可");
}

void frmBrowser::Navigate(const QUrl& frontPage) {
    m_webBrowser->setUrl(frontPage);
}

frmBrowser* OpenLoginWindow(QWidget* owner, const QUrl& frontPage, LoginProfile& profile,
                            const net::ProxySetting& proxy) {
    if (!profile.PrepareOpening(proxy)) {
        QMessageBox::information(owner, frmBrowser::Caption(), jobs::UserText(jobs::kInvalidProxy));
        return nullptr;
    }
    auto* window = new frmBrowser(owner, profile);
    // One notice per opening when the login cannot be kept in the cookie file.
    auto shown = std::make_shared<bool>(false);
    QObject::connect(
        &profile, &LoginProfile::saveFailed, window, [window, shown](const QString& message) {
            if (*shown)
                return;
            *shown = true;
            QMessageBox::warning(window, frmBrowser::Caption(),
                                 frmBrowser::tr("无法保存登录信息, 登录只在本次运行中有效.") +
                                     u'\n' + message);
        });
    window->Navigate(frontPage);
    window->show();
    return window;
}

void ShowLoginWindow(QWidget* owner, const QUrl& frontPage, LoginProfile& profile,
                     const net::ProxySetting& proxy) {
    QPointer<frmBrowser> window = OpenLoginWindow(owner, frontPage, profile, proxy);
    if (!window)
        return;
    QEventLoop loop;
    QObject::connect(window, &QObject::destroyed, &loop, &QEventLoop::quit);
    loop.exec();
}

} // namespace orvana::app
