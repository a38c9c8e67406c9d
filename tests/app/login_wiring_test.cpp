// The login button of the main window in a real (offscreen) browser against the sample portal:
// the modal login window on the front page, a login there reaching the next album job, a job
// going on while the window is open, and the main window taking the login window with it.
#include "app/frm_browser.h"
#include "app/frm_main.h"
#include "app/job_bridge.h"
#include "app/login_profile.h"
#include "controls/isButton/is_button.h"
#include "jobs/portal.h"
#include "jobs/user_texts.h"
#include "tests/app/browser_support.h"
#include "tests/jobs/job_test_support.h"
#include "tools/portal-sim/media.h"
#include "tools/portal-sim/portal_sim.h"

#include <QDir>
#include <QElapsedTimer>
#include <QLabel>
#include <QPainter>
#include <QSettings>
#include <QSignalSpy>
#include <QTimer>
#include <gtest/gtest.h>

using namespace orvana;
using namespace orvana::test_support;
using namespace std::chrono_literals;

namespace {

constexpr std::size_t kSongBytes = 3000;
const QString kAlbumFolder = QStringLiteral("夜航星 第一辑 Live");

QByteArray song(const char* id, int kbps) {
    const std::string body = portal::SongBody(id, kbps, kSongBytes);
    return QByteArray(body.data(), qsizetype(body.size()));
}

class LoginWiringTest : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        portal.start();
        portal.startFront();
        app::FrmMainOptions options;
        options.portalHost = QString::fromStdString(portal.host());
        options.frontHost = QString::fromStdString(portal.frontHost());
        options.cookieFile = dir.filePath(QStringLiteral("data/cookies.txt"));
        options.browserStorage = BrowserStorage(
            QString::fromUtf8(testing::UnitTest::GetInstance()->current_test_info()->name()));
        options.downloadFolder = out();
        options.settings = &settings;
        options.session = std::make_shared<net::TransportSession>(store);
        window = std::make_unique<app::frmMain>(options);
        window->Form_Load();
        window->show();
    }

    QString out() const { return dir.filePath(QStringLiteral("out")); }
    QUrl frontPage() const {
        return QUrl(QString::fromStdString("http://" + portal.frontHost() + "/"));
    }
    QUrl portalUrl() const { return QUrl(QString::fromStdString("http://" + portal.host() + "/")); }
    controls::isButton* button(const char* name) const {
        return window->findChild<controls::isButton*>(QString::fromLatin1(name));
    }
    QString status() const {
        return window->findChild<QLabel*>(QStringLiteral("lblStatus"))->text();
    }

    // Clicks cmdLogin, which returns only when the login window has closed; inLogin runs in
    // the login window's modal loop with the window open. False when the window never opened.
    bool withLoginWindow(const std::function<void(app::frmBrowser&)>& inLogin) {
        bool ran = false;
        QTimer::singleShot(0, window.get(), [&] {
            app::frmBrowser* login = window->findChild<app::frmBrowser*>();
            if (!login)
                return;
            ran = true;
            inLogin(*login);
        });
        QTest::mouseClick(button("cmdLogin"), Qt::LeftButton);
        return ran;
    }

    // A stall of one second: a job is still running when the login window has opened.
    portal::PortalSim portal{portal::DemoCatalogue(), portal::PortalOptions{kSongBytes, 1s}};
    QTemporaryDir dir;
    QSettings settings{dir.filePath(QStringLiteral("settings.ini")), QSettings::IniFormat};
    std::shared_ptr<net::CookieStore> store = std::make_shared<net::CookieStore>();
    std::unique_ptr<app::frmMain> window;
};

// The main window with its login window over it, as the user sees them.
void saveScreenshot(app::frmMain& window, app::frmBrowser& login, const QString& name) {
    const QString screens = QStringLiteral(ORVANA_BINARY_DIR "/screens");
    QDir().mkpath(screens);
    const QRect all = window.geometry().united(login.geometry());
    QPixmap canvas(all.size());
    canvas.fill(Qt::darkGray);
    QPainter painter(&canvas);
    painter.drawPixmap(window.geometry().topLeft() - all.topLeft(), window.grab());
    painter.drawPixmap(login.geometry().topLeft() - all.topLeft(), login.grab());
    painter.end();
    EXPECT_TRUE(canvas.save(screens + u'/' + name));
}

} // namespace

TEST_F(LoginWiringTest, LoginInTheModalWindowMakesTheNextAlbumJobFetch320) {
    QSignalSpy requested(window.get(), &app::frmMain::loginRequested);
    QPointer<app::frmBrowser> opened;
    const bool ran = withLoginWindow([&](app::frmBrowser& login) {
        opened = &login;
        EXPECT_EQ(login.parentWidget(), window.get());
        EXPECT_EQ(login.windowModality(), Qt::ApplicationModal);
        EXPECT_TRUE(login.isVisible());
        EXPECT_EQ(login.windowTitle(), app::kLoginCaption);
        QWebEnginePage* page = PageOf(&login);
        ASSERT_TRUE(WaitForPageText(page, QStringLiteral("<form id=\"login\"")));
        EXPECT_EQ(page->url(), frontPage());
        saveScreenshot(*window, login, QStringLiteral("main-with-login.png"));

        RunScript(page, QStringLiteral("document.getElementById('user').value = 'demo';"
                                       "document.getElementById('password').value = 'orvana320';"
                                       "document.getElementById('submit').click();"));
        // The browser's cookie lands in the very store the window's jobs use.
        ASSERT_TRUE(
            QTest::qWaitFor([&] { return store->holdsCookie(portalUrl(), jobs::kLoginCookieName); },
                            kBrowserWaitMs));
        EXPECT_TRUE(WaitForPageText(page, QStringLiteral("已登录: demo")));
        login.close();
    });
    ASSERT_TRUE(ran);
    EXPECT_EQ(requested.size(), 1);
    // The click returned: the window is closed and gone.
    EXPECT_TRUE(opened.isNull());
    EXPECT_NE(window->loginProfile(), nullptr);
    EXPECT_TRUE(
        readFile(dir.filePath(QStringLiteral("data/cookies.txt"))).contains("\torvana_session\t"));

    QTest::mouseClick(button("cmdDownAlbum"), Qt::LeftButton);
    // A login is held: no hint before the first job.
    EXPECT_NE(status(), jobs::UserText(jobs::kLoginHint));
    ASSERT_TRUE(QTest::qWaitFor([&] { return !window->busy(); }, 20000));
    EXPECT_EQ(status(), u"指定专辑下载完毕.");
    const QString album = out() + u'/' + kAlbumFolder;
    EXPECT_EQ(readFile(album + u"/晴天的海.mp3"), song("1001", 320));
    EXPECT_EQ(readFile(album + u"/同名曲.mp3"), song("1004", 320));

    // A second opening navigates to the front page again and shows the login kept.
    ASSERT_TRUE(withLoginWindow([&](app::frmBrowser& login) {
        EXPECT_TRUE(WaitForPageText(PageOf(&login), QStringLiteral("已登录: demo")));
        login.close();
    }));
    EXPECT_EQ(requested.size(), 2);
}

TEST_F(LoginWiringTest, AJobGoesOnWhileTheLoginWindowIsOpenAndClosingTheMainWindowEndsBoth) {
    QSignalSpy closing(window.get(), &app::frmMain::closing);
    portal.addFault(portal::Endpoint::SongFile, portal::Fault::StallMidBody);
    QTest::mouseClick(button("cmdDownAlbum"), Qt::LeftButton);
    QPointer<app::frmBrowser> opened;
    QElapsedTimer sinceClose;
    const bool ran = withLoginWindow([&](app::frmBrowser& login) {
        opened = &login;
        // The job finishes on its thread while the modal window waits for the user.
        EXPECT_TRUE(window->busy());
        EXPECT_TRUE(QTest::qWaitFor([&] { return !window->busy(); }, 20000));
        EXPECT_EQ(portal.stallsBegun(), 1);
        EXPECT_EQ(status(), u"指定专辑下载完毕.");
        EXPECT_TRUE(login.isVisible());
        sinceClose.start();
        window->close();
    });
    ASSERT_TRUE(ran);
    EXPECT_LT(sinceClose.elapsed(), 1000);
    EXPECT_TRUE(opened.isNull());
    EXPECT_EQ(closing.size(), 1);
    EXPECT_FALSE(window->isVisible());
    // Not logged in: the 128 kbps bodies.
    EXPECT_EQ(readFile(out() + u'/' + kAlbumFolder + u"/晴天的海.mp3"), song("1001", 128));
}
