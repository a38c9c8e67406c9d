// The desktop program with one scripted step once the window is shown, chosen by ORVANA_PROBE:
// "texts" prints what the window says (and the names the desktop sees) and closes it;
// "login" clicks the login button and prints "login page loaded" once the front page has loaded.
#include "app/application.h"
#include "app/frm_browser.h"
#include "app/frm_main.h"
#include "controls/isButton/is_button.h"

#include <QGuiApplication>
#include <QTimer>
#include <QWebEngineView>
#include <cstdio>

using namespace orvana;

namespace {

void print(const QString& line) {
    std::fputs(qPrintable(line + u'\n'), stdout);
    std::fflush(stdout);
}

void printTexts(app::frmMain& window) {
    print(u"title=" + window.windowTitle());
    auto* login = window.findChild<controls::isButton*>(QStringLiteral("cmdLogin"));
    print(u"cmdLogin=" + (login ? login->Caption() : QStringLiteral("<none>")));
    print(u"application=" + QCoreApplication::applicationName());
    print(u"desktopFile=" + QGuiApplication::desktopFileName());
    // Without an installed icon theme the built-in pictures must serve.
    QStringList sizes;
    for (const QSize& size : window.windowIcon().availableSizes())
        sizes.append(QString::number(size.width()));
    print(u"iconSizes=" + sizes.join(u','));
    window.close();
}

// Runs in the login window's modal loop, which the click below enters.
void reportLoginPage(app::frmMain& window) {
    auto* login = window.findChild<app::frmBrowser*>();
    if (!login) {
        QTimer::singleShot(20, &window, [&window] { reportLoginPage(window); });
        return;
    }
    QObject::connect(login->webBrowser(), &QWebEngineView::loadFinished, login, [](bool ok) {
        print(ok ? QStringLiteral("login page loaded") : QStringLiteral("login page failed"));
    });
}

} // namespace

int main(int argc, char** argv) {
    const QByteArray probe = qgetenv("ORVANA_PROBE");
    return app::RunOrvanaDl(argc, argv, [probe](app::frmMain& window) {
        if (probe == "texts") {
            printTexts(window);
        } else if (probe == "login") {
            QTimer::singleShot(0, &window, [&window] { reportLoginPage(window); });
            if (auto* login = window.findChild<controls::isButton*>(QStringLiteral("cmdLogin")))
                Q_EMIT login->Click();
        }
    });
}
