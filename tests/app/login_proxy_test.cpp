// The login window's browser and the main window's proxy, in a process of its own since the
// browser takes Qt's application-wide proxy. The browser never sends loopback addresses through
// a proxy, so the front page here has a name that only the proxy knows.
#include "app/frm_browser.h"
#include "app/login_profile.h"
#include "tests/app/browser_support.h"
#include "tests/net/test_server.h"

#include <QMessageBox>
#include <QTemporaryDir>
#include <QTimer>
#include <gtest/gtest.h>

using namespace orvana;
using namespace orvana::test_support;

namespace {

// How many of the proxy's requests asked for path.
int asked(const net::test::TestServer& proxy, const std::string& path) {
    int n = 0;
    for (const auto& request : proxy.seen())
        n += request.path == path ? 1 : 0;
    return n;
}

} // namespace

TEST(LoginProxy, TheProxyTickedAtTheFirstOpeningCarriesTheBrowserForTheRun) {
    net::test::TestServer proxy;
    proxy.server().Get(".*", [](const httplib::Request&, httplib::Response& res) {
        res.set_content("<html><body><p id=\"via\">via proxy</p></body></html>", "text/html");
    });
    proxy.start();
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    QWidget owner;
    owner.show();
    app::LoginProfile profile(std::make_shared<net::CookieStore>(),
                              dir.filePath(QStringLiteral("cookies.txt")),
                              BrowserStorage(QStringLiteral("proxy")));
    const QUrl front(QStringLiteral("http://front.orvana.test/"));
    const QString proxyText = QStringLiteral("127.0.0.1:%1").arg(proxy.port());

    // A ticked text that cannot be read: refused with the jobs' message, nothing decided yet.
    QString shown;
    QTimer::singleShot(200, [&shown] {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
            shown = box->text();
            box->accept();
        }
    });
    EXPECT_EQ(app::OpenLoginWindow(&owner, front, profile, {true, QStringLiteral("no proxy")}),
              nullptr);
    EXPECT_EQ(shown, QStringLiteral("代理地址无效"));
    EXPECT_EQ(profile.profile(), nullptr);

    app::frmBrowser* window = app::OpenLoginWindow(&owner, front, profile, {true, proxyText});
    ASSERT_NE(window, nullptr);
    EXPECT_TRUE(WaitForPageText(PageOf(window), QStringLiteral("via proxy")));
    // Asked in the absolute form a proxy gets.
    EXPECT_EQ(asked(proxy, "http://front.orvana.test/"), 1);
    ASSERT_TRUE(CloseAndWait(window));

    // Unticked at a later opening: the run keeps the proxy it began with.
    window = app::OpenLoginWindow(&owner, front, profile, {false, QString()});
    ASSERT_NE(window, nullptr);
    EXPECT_TRUE(WaitForPageText(PageOf(window), QStringLiteral("via proxy")));
    EXPECT_EQ(asked(proxy, "http://front.orvana.test/"), 2);
    EXPECT_TRUE(CloseAndWait(window));
}
