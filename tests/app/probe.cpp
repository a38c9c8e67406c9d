// The desktop program with one scripted step once the window is shown, chosen by ORVANA_PROBE:
// "texts" prints what the window says (and the names the desktop sees) and closes it;
// "login" clicks the login button and prints "login page loaded" once the front page has loaded;
// "results" downloads the album, prints the status line, opens the results window with a double
// click on it and saves the screen as ORVANA_PROBE_DIR/results.png; "stop" starts the album,
// asks to stop after a second, saves the screen with the question as stop.png, answers Yes and
// prints the status line; "away" activates the results window, downloads the album and prints
// the status line (a notification is due). Each then closes the window.
#include "app/application.h"
#include "app/frm_browser.h"
#include "app/frm_main.h"
#include "controls/isButton/is_button.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QGuiApplication>
#include <QLabel>
#include <QMessageBox>
#include <QMouseEvent>
#include <QScreen>
#include <QTimer>
#include <QWebEngineView>
#include <cstdio>
#include <functional>

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

void saveScreen(const QString& name) {
    const QString path = qEnvironmentVariable("ORVANA_PROBE_DIR") + u'/' + name;
    if (!QGuiApplication::primaryScreen()->grabWindow(0).save(path))
        print(u"cannot save " + path);
}

controls::isButton* button(app::frmMain& window, const char* name) {
    return window.findChild<controls::isButton*>(QString::fromLatin1(name));
}

// After the album job: step(), then the status line and the end once the login hint's hold
// (4 s) is surely over.
void afterAlbum(app::frmMain& window, const std::function<void()>& step) {
    auto* label = window.findChild<QLabel*>(QStringLiteral("lblStatus"));
    QObject::connect(&window, &app::frmMain::jobFinished, &window, [&window, label, step] {
        step();
        QTimer::singleShot(4500, &window, [&window, label] {
            print(u"status=" + label->text());
            window.close();
        });
    });
    Q_EMIT button(window, "cmdDownAlbum")->Click();
}

void probeResults(app::frmMain& window) {
    afterAlbum(window, [&window] {
        auto* label = window.findChild<QLabel*>(QStringLiteral("lblStatus"));
        QMouseEvent click(QEvent::MouseButtonDblClick, QPointF(4, 4),
                          label->mapToGlobal(QPointF(4, 4)), Qt::LeftButton, Qt::LeftButton,
                          Qt::NoModifier);
        QCoreApplication::sendEvent(label, &click);
        QTimer::singleShot(500, &window, [] { saveScreen(QStringLiteral("results.png")); });
    });
}

void probeStop(app::frmMain& window) {
    afterAlbum(window, [] {});
    QTimer::singleShot(1000, &window, [&window] {
        // The question box's own loop runs the next timer.
        QTimer::singleShot(500, &window, [] {
            saveScreen(QStringLiteral("stop.png"));
            if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget()))
                box->button(QMessageBox::Yes)->click();
        });
        window.findChild<QAction*>(QStringLiteral("actStopDownload"))->trigger();
    });
}

void probeAway(app::frmMain& window) {
    auto* results = window.findChild<QWidget*>(QStringLiteral("frmResult"));
    results->show();
    results->activateWindow();
    QTimer::singleShot(500, &window, [&window] { afterAlbum(window, [] {}); });
}

} // namespace

int main(int argc, char** argv) {
    const QByteArray probe = qgetenv("ORVANA_PROBE");
    return app::RunOrvanaDl(argc, argv, [probe](app::frmMain& window) {
        if (probe == "texts") {
            printTexts(window);
        } else if (probe == "results") {
            probeResults(window);
        } else if (probe == "stop") {
            probeStop(window);
        } else if (probe == "away") {
            probeAway(window);
        } else if (probe == "login") {
            QTimer::singleShot(0, &window, [&window] { reportLoginPage(window); });
            if (auto* login = window.findChild<controls::isButton*>(QStringLiteral("cmdLogin")))
                Q_EMIT login->Click();
        }
    });
}
