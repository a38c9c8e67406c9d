// The login window against the sample portal's front page, in a real (offscreen) browser: the
// login reaches the album job and the cookie file, a second opening after a restart is logged
// in, a logout leaves the file, and the browser keeps to http and https.
#include "app/frm_browser.h"
#include "app/login_profile.h"
#include "jobs/down_album.h"
#include "jobs/portal.h"
#include "tests/app/browser_support.h"
#include "tests/jobs/job_test_support.h"
#include "tests/net/test_server.h"
#include "tools/portal-sim/media.h"
#include "tools/portal-sim/portal_sim.h"

#include <QDir>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTimer>
#include <QWebEngineDownloadRequest>
#include <QWebEngineProfile>
#include <gtest/gtest.h>
#include <sys/stat.h>

using namespace orvana;
using namespace orvana::test_support;
using namespace std::chrono_literals;

namespace {

constexpr std::size_t kSongBytes = 3000;

class LoginWindowTest : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        portal.start();
        portal.startFront();
        owner.setGeometry(100, 100, 737, 400);
        owner.show();
    }

    QUrl frontPage() const {
        return QUrl(QString::fromStdString("http://" + portal.frontHost() + "/"));
    }
    QUrl portalUrl() const { return QUrl(QString::fromStdString("http://" + portal.host() + "/")); }
    QString cookieFile() const { return dir.filePath(QStringLiteral("data/cookies.txt")); }

    // A profile of its own for each test; storage named after the test and what.
    std::unique_ptr<app::LoginProfile> makeProfile(std::shared_ptr<net::CookieStore> store,
                                                   const char* what) {
        const QString name =
            QString::fromUtf8(testing::UnitTest::GetInstance()->current_test_info()->name());
        return std::make_unique<app::LoginProfile>(
            std::move(store), cookieFile(), BrowserStorage(name + u'-' + QString::fromUtf8(what)));
    }

    app::frmBrowser* open(app::LoginProfile& profile) {
        return app::OpenLoginWindow(&owner, frontPage(), profile, net::ProxySetting{});
    }

    portal::PortalSim portal{portal::DemoCatalogue(), portal::PortalOptions{kSongBytes, 60s}};
    QTemporaryDir dir;
    QWidget owner;
};

QByteArray song320(const char* id) {
    const std::string body = portal::SongBody(id, 320, kSongBytes);
    return QByteArray(body.data(), qsizetype(body.size()));
}

} // namespace

TEST_F(LoginWindowTest, LoginReachesTheJobAndTheFileSurvivesARestartAndLogoutEndsIt) {
    auto store = net::CookieStore::Load(cookieFile());
    auto profile = makeProfile(store, "first");
    app::frmBrowser* window = open(*profile);
    ASSERT_NE(window, nullptr);
    QWebEnginePage* page = PageOf(window);
    ASSERT_TRUE(WaitForPageText(page, QStringLiteral("<form id=\"login\"")));

    const QString screens = QStringLiteral(ORVANA_BINARY_DIR "/screens");
    QDir().mkpath(screens);
    EXPECT_TRUE(window->grab().save(screens + u"/login-window.png"));

    RunScript(page, QStringLiteral("document.getElementById('user').value = 'demo';"
                                   "document.getElementById('password').value = 'orvana320';"
                                   "document.getElementById('submit').click();"));
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return store->holdsCookie(portalUrl(), jobs::kLoginCookieName); }, kBrowserWaitMs));
    const QByteArray session = QByteArray::fromStdString(portal.issueSession("demo"));
    const QByteArray expected = "# Netscape HTTP Cookie File\n"
                                "#HttpOnly_127.0.0.1\tFALSE\t/\tFALSE\t0\torvana_session\t" +
                                session + "\n";
    ASSERT_TRUE(QTest::qWaitFor([&] { return readFile(cookieFile()) == expected; }, kBrowserWaitMs))
        << readFile(cookieFile()).toStdString();
    struct stat info {};
    ASSERT_EQ(::stat(QFile::encodeName(cookieFile()).constData(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);
    EXPECT_TRUE(WaitForPageText(page, QStringLiteral("已登录: demo")));
    ASSERT_TRUE(CloseAndWait(window));

    // The album job right after the window closes fetches the 320 kbps files.
    {
        RecordingHost host;
        jobs::JobSettings settings;
        settings.portalHost = QString::fromStdString(portal.host());
        settings.outputRoot = dir.filePath(QStringLiteral("out"));
        QDir().mkpath(settings.outputRoot);
        net::ModDownFile transport(std::make_shared<net::TransportSession>(store));
        EXPECT_TRUE(
            jobs::DownAlbum(QStringLiteral("31258219"), transport, host, settings).complete());
        EXPECT_EQ(readFile(settings.outputRoot + u"/夜航星 第一辑 Live/晴天的海.mp3"),
                  song320("1001"));
    }

    // A restart: a new store from the file and a browser profile with empty storage, so only
    // the cookie file can bring the login back.
    profile.reset();
    store = net::CookieStore::Load(cookieFile());
    EXPECT_TRUE(store->holdsCookie(portalUrl(), jobs::kLoginCookieName));
    profile = makeProfile(store, "restarted");
    window = open(*profile);
    ASSERT_NE(window, nullptr);
    page = PageOf(window);
    ASSERT_TRUE(WaitForPageText(page, QStringLiteral("已登录: demo")));

    RunScript(page, QStringLiteral("document.getElementById('logout').click();"));
    EXPECT_TRUE(QTest::qWaitFor(
        [&] { return !store->holdsCookie(portalUrl(), jobs::kLoginCookieName); }, kBrowserWaitMs));
    EXPECT_TRUE(QTest::qWaitFor(
        [&] { return readFile(cookieFile()) == "# Netscape HTTP Cookie File\n"; }, kBrowserWaitMs))
        << readFile(cookieFile()).toStdString();
    EXPECT_TRUE(WaitForPageText(page, QStringLiteral("<form id=\"login\"")));
    EXPECT_TRUE(CloseAndWait(window));
}

// Caption, size, the browser's place and name, modality, centred on the owner, and a new
// navigation to the front page at every opening.
TEST_F(LoginWindowTest, OpensAsTheLoginWindowOnTheFrontPageEveryTime) {
    auto profile = makeProfile(std::make_shared<net::CookieStore>(), "look");
    app::frmBrowser* window = open(*profile);
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(window->windowTitle(), QStringLiteral("登录Orvana之后,直接关闭本窗口即可"));
    EXPECT_EQ(window->size(), QSize(620, 482));
    EXPECT_EQ(window->parentWidget(), &owner);
    EXPECT_EQ(window->windowModality(), Qt::ApplicationModal);
    EXPECT_TRUE(window->isVisible());
    EXPECT_LE((window->geometry().center() - owner.geometry().center()).manhattanLength(), 2);
    auto* view = window->findChild<QWebEngineView*>(QStringLiteral("webBrowser"));
    ASSERT_EQ(view, window->webBrowser());
    EXPECT_EQ(view->geometry(), QRect(8, 8, 609, 465));
    ASSERT_TRUE(WaitForPageText(PageOf(window), QStringLiteral("<form id=\"login\"")));

    const QUrl elsewhere(QString::fromStdString("http://" + portal.frontHost() + "/elsewhere"));
    PageOf(window)->load(elsewhere);
    ASSERT_TRUE(WaitForPageText(PageOf(window), QStringLiteral("页面不存在")));
    ASSERT_TRUE(CloseAndWait(window));

    window = open(*profile);
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(PageOf(window)->url(), frontPage());
    EXPECT_TRUE(WaitForPageText(PageOf(window), QStringLiteral("<form id=\"login\"")));
    EXPECT_TRUE(CloseAndWait(window));
}

// The login command returns when the window is closed, and when its owner goes away with it.
TEST_F(LoginWindowTest, ShowLoginWindowReturnsWhenTheWindowOrItsOwnerCloses) {
    auto profile = makeProfile(std::make_shared<net::CookieStore>(), "show");
    QTimer::singleShot(300, [] {
        if (auto* w = qobject_cast<app::frmBrowser*>(QApplication::activeModalWidget()))
            w->close();
    });
    app::ShowLoginWindow(&owner, frontPage(), *profile, {});
    EXPECT_EQ(owner.findChild<app::frmBrowser*>(), nullptr);

    auto* mainWindow = new QWidget;
    mainWindow->show();
    QTimer::singleShot(300, [mainWindow] { delete mainWindow; });
    app::ShowLoginWindow(mainWindow, frontPage(), *profile, {});
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
}

// Only http and https pages load; a new-window link opens in the same view; a download that a
// page starts is refused.
TEST_F(LoginWindowTest, TheBrowserKeepsToWebPagesInOneView) {
    net::test::TestServer files;
    files.server().Get("/song.mp3", [](const httplib::Request&, httplib::Response& res) {
        res.set_header("Content-Disposition", "attachment; filename=\"song.mp3\"");
        res.set_content(std::string(2048, 'x'), "application/octet-stream");
    });
    files.start();

    auto profile = makeProfile(std::make_shared<net::CookieStore>(), "lane");
    app::frmBrowser* window = open(*profile);
    ASSERT_NE(window, nullptr);
    QWebEnginePage* page = PageOf(window);
    ASSERT_TRUE(WaitForPageText(page, QStringLiteral("<form id=\"login\"")));

    QFile local(dir.filePath(QStringLiteral("local.html")));
    ASSERT_TRUE(local.open(QIODevice::WriteOnly));
    local.write("<p>local file page</p>");
    local.close();
    for (const QUrl& refused : {QUrl::fromLocalFile(local.fileName()),
                                QUrl(QStringLiteral("data:text/html,<p>data page</p>")),
                                QUrl(QStringLiteral("orvana-custom://front/"))}) {
        QSignalSpy finished(page, &QWebEnginePage::loadFinished);
        page->load(refused);
        (void)finished.wait(3000);
        const QString html = PageHtml(page);
        EXPECT_TRUE(html.contains(QStringLiteral("<form id=\"login\"")))
            << refused.toString().toStdString();
        EXPECT_FALSE(html.contains(QStringLiteral("page</p>"))) << refused.toString().toStdString();
        EXPECT_EQ(page->url(), frontPage());
    }

    RunScript(page, u"window.open('" + frontPage().toString() + u"opened', '_blank');");
    EXPECT_TRUE(QTest::qWaitFor([&] { return page->url().path() == u"/opened"; }, kBrowserWaitMs));
    EXPECT_EQ(owner.findChildren<app::frmBrowser*>().size(), 1);
    EXPECT_EQ(owner.findChildren<QWebEngineView*>().size(), 1);

    QSignalSpy downloads(profile->profile(), &QWebEngineProfile::downloadRequested);
    page->load(QUrl(files.url("/song.mp3")));
    ASSERT_TRUE(downloads.wait(kBrowserWaitMs));
    auto* download = downloads.at(0).at(0).value<QWebEngineDownloadRequest*>();
    EXPECT_EQ(download->state(), QWebEngineDownloadRequest::DownloadCancelled);
    QTest::qWait(300);
    EXPECT_TRUE(QDir(profile->profile()->downloadPath())
                    .entryList(QDir::Files | QDir::NoDotAndDotDot)
                    .isEmpty());
    EXPECT_TRUE(CloseAndWait(window));
}
