#include "app/application.h"

#include "app/app_settings.h"
#include "app/frm_main.h"
#include "app/job_bridge.h"
#include "app/language.h"
#include "app/login_profile.h"
#include "app/message_presenter.h"
#include "dist/app_icon.h"
#include "net/cookie_store.h"

#include "json/error.h"
#include <QApplication>
#include <QSettings>
#include <QSocketNotifier>
#include <QTimer>
#include <csignal>
#include <cstdlib>
#include <sys/socket.h>
#include <unistd.h>

namespace orvana::app {

namespace {

int g_signalPipe[2] = {-1, -1};

void onSignal(int) {
    const char byte = 1;
    // Only async-signal-safe calls here; the window thread reads the byte.
    [[maybe_unused]] const ssize_t n = ::write(g_signalPipe[1], &byte, 1);
}

// Makes the termination signals close the window through the event loop.
void closeOnSignals(frmMain& window) {
    if (::socketpair(AF_UNIX, SOCK_STREAM, 0, g_signalPipe) != 0)
        return;
    auto* notifier = new QSocketNotifier(g_signalPipe[0], QSocketNotifier::Read, &window);
    QObject::connect(notifier, &QSocketNotifier::activated, &window, [&window, notifier] {
        char byte = 0;
        [[maybe_unused]] const ssize_t n = ::read(g_signalPipe[0], &byte, 1);
        notifier->setEnabled(false);
        window.close();
    });
    struct sigaction action = {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int signal : {SIGTERM, SIGINT, SIGHUP})
        ::sigaction(signal, &action, nullptr);
}

std::shared_ptr<net::CookieStore> loadCookies() {
    try {
        return net::CookieStore::Load(net::CookieStore::DefaultPath());
    } catch (const Error& e) {
        qWarning("orvana-dl: %s", e.what());
        return std::make_shared<net::CookieStore>();
    }
}

} // namespace

int RunOrvanaDl(int argc, char** argv, const std::function<void(frmMain&)>& afterShow) {
    // Before the application exists: the window system's class of the windows (WM_CLASS) is the
    // application name, and the desktop entry's StartupWMClass names it.
    QCoreApplication::setOrganizationName(QStringLiteral("orvana-dl"));
    QCoreApplication::setApplicationName(QStringLiteral("orvana-dl"));
    QApplication app(argc, argv);
    QGuiApplication::setDesktopFileName(QStringLiteral("orvana-dl"));
    QApplication::setWindowIcon(AppIcon());
    QApplication::setQuitOnLastWindowClosed(false);

    QSettings settings;
    InstallLanguage(UiLanguage(settings));
    BoxPresenter presenter;
    FrmMainOptions options;
    options.portalHost = PortalHost(settings);
    options.downloadFolder = DownloadFolder(settings);
    options.settings = &settings;
    options.presenter = &presenter;
    // One cookie store for the jobs' transports and the login window's browser.
    options.session = std::make_shared<net::TransportSession>(loadCookies());
    options.frontHost = FrontHost(settings);
    options.cookieFile = net::CookieStore::DefaultPath();
    options.loginHintHold = std::chrono::seconds(4);

    auto* window = new frmMain(options);
    window->setAttribute(Qt::WA_DeleteOnClose, false);
    QObject::connect(window, &frmMain::closing, &app, &QCoreApplication::quit,
                     Qt::QueuedConnection);
    closeOnSignals(*window);
    window->Form_Load();
    window->show();
    if (afterShow)
        QTimer::singleShot(0, window, [window, afterShow] { afterShow(*window); });
    // For the demo without a display: the shown window saved as a PNG, then closed.
    const QString screenshot = qEnvironmentVariable("ORVANA_SCREENSHOT");
    if (!screenshot.isEmpty()) {
        QTimer::singleShot(500, window, [window, screenshot] {
            if (!window->grab().save(screenshot))
                qWarning("orvana-dl: cannot write %s", qPrintable(screenshot));
            window->close();
        });
    }
    const int code = app.exec();

    // A job may sit in a transfer or a pause: the cancel ends it within the transport's poll
    // interval. If it still has not ended, end the process: files are written atomically, so
    // nothing half-written can stay.
    if (!window->bridge().shutdown(std::chrono::milliseconds(800))) {
        settings.sync();
        // No destructor runs after _Exit: a login cookie change still waiting to be written
        // would be lost.
        if (LoginProfile* login = window->loginProfile())
            login->mirror().Flush();
        std::_Exit(code);
    }
    delete window;
    return code;
}

} // namespace orvana::app
