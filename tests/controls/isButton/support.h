#pragma once

#include "controls/isButton/color.h"
#include "controls/isButton/is_button.h"

#include <QApplication>
#include <QCoreApplication>
#include <QEvent>
#include <QImage>
#include <QMouseEvent>
#include <QWidget>
#include <memory>
#include <ostream>

// Readable failure messages for Qt strings.
inline void PrintTo(const QString& s, std::ostream* os) {
    *os << '"' << s.toStdString() << '"';
}
inline void PrintTo(const QStringList& l, std::ostream* os) {
    *os << '[' << l.join(QStringLiteral(", ")).toStdString() << ']';
}

namespace orvana::controls::testing {

// A shown window that holds the test buttons, so that their masks are plain widget masks.
inline QWidget* host() {
    static QWidget* window = [] {
        auto* w = new QWidget;
        w->resize(400, 200);
        w->show();
        return w;
    }();
    return window;
}

// A shown button of W x H pixels without caption, so that pixel checks see only the face.
inline std::unique_ptr<isButton> shownButton(int style, int W = 81, int H = 33) {
    auto b = std::make_unique<isButton>(host(), QStringLiteral("cmdTest"));
    b->SetCaption(QString());
    b->SetStyle(style);
    b->resize(W, H);
    b->show();
    return b;
}

inline void sendMove(isButton& b) {
    QMouseEvent move(QEvent::MouseMove, QPointF(5, 5), b.mapToGlobal(QPointF(5, 5)), Qt::NoButton,
                     Qt::NoButton, Qt::NoModifier);
    QCoreApplication::sendEvent(&b, &move);
}

inline void sendLeave(isButton& b) {
    QEvent leave(QEvent::Leave);
    QCoreApplication::sendEvent(&b, &leave);
}

inline void sendPress(isButton& b, Qt::MouseButton button = Qt::LeftButton) {
    QMouseEvent press(QEvent::MouseButtonPress, QPointF(5, 5), b.mapToGlobal(QPointF(5, 5)), button,
                      button, Qt::NoModifier);
    QCoreApplication::sendEvent(&b, &press);
}

// The control as the screen would show it.
inline QImage grabbed(isButton& b) {
    return b.grab().toImage().convertToFormat(QImage::Format_RGB32);
}

inline OleColor at(const QImage& img, int x, int y) {
    return FromQColor(QColor(img.pixel(x, y)));
}

inline OleColor paletteColor(QPalette::ColorRole role) {
    return FromQColor(QApplication::palette().color(QPalette::Active, role));
}

} // namespace orvana::controls::testing
