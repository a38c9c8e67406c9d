// Waiting on the login window's browser from a test: its page text, its scripts, its closing.
#pragma once

#include "app/frm_browser.h"

#include <QApplication>
#include <QPointer>
#include <QTemporaryDir>
#include <QTest>
#include <QWebEnginePage>
#include <QWebEngineView>
#include <functional>
#include <memory>
#include <optional>

namespace orvana::test_support {

inline constexpr int kBrowserWaitMs = 15000;

// A folder for a browser profile's storage. The browser writes there for a while after its
// profile is deleted, so these folders go only when the process ends, after QApplication.
inline QString BrowserStorage(const QString& name) {
    static QTemporaryDir folder;
    return folder.filePath(name);
}

inline QWebEnginePage* PageOf(const app::frmBrowser* window) {
    return window->webBrowser()->page();
}

// The page's HTML as the browser holds it now.
// The callbacks own their result: a page calls what is pending when it is destroyed, which may
// be after the wait gave up.
inline QString PageHtml(QWebEnginePage* page) {
    auto html = std::make_shared<std::optional<QString>>();
    page->toHtml([html](const QString& text) { *html = text; });
    (void)QTest::qWaitFor([&] { return html->has_value(); }, kBrowserWaitMs);
    return html->value_or(QString());
}

// Waits until the page's HTML contains text; false after the time limit.
inline bool WaitForPageText(QWebEnginePage* page, const QString& text) {
    return QTest::qWaitFor([&] { return PageHtml(page).contains(text); }, kBrowserWaitMs);
}

// Runs script in the page; waits for its result unless it navigates away first.
inline QVariant RunScript(QWebEnginePage* page, const QString& script) {
    auto result = std::make_shared<std::optional<QVariant>>();
    page->runJavaScript(script, [result](const QVariant& value) { *result = value; });
    (void)QTest::qWaitFor([&] { return result->has_value(); }, 3000);
    return result->value_or(QVariant());
}

// Closes the window and waits until it is gone.
inline bool CloseAndWait(app::frmBrowser* window) {
    QPointer<app::frmBrowser> guard = window;
    window->close();
    return QTest::qWaitFor([&] { return guard.isNull(); }, kBrowserWaitMs);
}

} // namespace orvana::test_support
