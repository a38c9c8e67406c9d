#include "controls/isButton/about_box.h"

#include "controls/isButton/color.h"
#include "controls/isButton/draw.h"

#include <QMouseEvent>
#include <QPainter>

namespace orvana::controls {

isButtonAbout::isButtonAbout(QWidget* owner)
    : QWidget(owner, Qt::Window | Qt::WindowTitleHint | Qt::WindowCloseButtonHint |
                         Qt::WindowMinimizeButtonHint | Qt::WindowStaysOnTopHint) {
    setWindowTitle(QStringLiteral("About isButton ") + QStringLiteral("3.4.0"));
    setFixedSize(380, 180);
    setAutoFillBackground(false);
}

QString isButtonAbout::creditText() {
    return QStringLiteral("Written for the orvana-dl project");
}

QString isButtonAbout::linkText() {
    return QStringLiteral("Home page: the orvana-dl source tree");
}

void isButtonAbout::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing, false);
    const QPalette& pal = palette();
    const OleColor face = SystemColor(pal, SysColor::ButtonFace);
    p.fillRect(rect(), ToQColor(face));
    p.setPen(ToQColor(SystemColor(pal, SysColor::ButtonText)));
    const int lineFlags = Qt::TextSingleLine | Qt::AlignVCenter | Qt::AlignLeft;

    QFont f = font();
    f.setUnderline(false);
    f.setBold(false);
    f.setPointSize(18);
    p.setFont(f);
    p.drawText(QRect(QPoint(20, 10), QPoint(219, 39)), lineFlags, QStringLiteral("isButton"));
    f.setPointSize(10);
    p.setFont(f);
    p.drawText(QRect(QPoint(160, 70), QPoint(299, 89)), lineFlags,
               QStringLiteral("Version ") + QStringLiteral("3.4.0"));
    f.setPointSize(9);
    f.setBold(true);
    p.setFont(f);
    p.drawText(QRect(QPoint(20, 110), QPoint(249, 129)), lineFlags, creditText());
    f.setBold(false);
    p.setFont(f);
    p.drawText(QRect(QPoint(20, 140), QPoint(249, 159)), lineFlags, linkText());

    // The close button: a 26-step gradient, reversed while a mouse button is down.
    const int top = m_pressed ? -15 : 15;
    GradientV(p, OffsetColor(face, top), OffsetColor(face, -top), 290, 80, 360, 26);
    DrawFrameRect(p, 290, 80, 69, 26, SystemColor(pal, SysColor::ButtonShadow));
    for (auto [x, y] : {std::pair{290, 80}, {359, 80}, {290, 106}, {359, 106}})
        SetPixel(p, x, y, face);
    f.setPointSize(9);
    p.setFont(f);
    p.drawText(QRect(QPoint(290, 80), QPoint(359, 105)),
               Qt::TextSingleLine | Qt::AlignVCenter | Qt::AlignHCenter, QStringLiteral("Close"));
}

void isButtonAbout::mousePressEvent(QMouseEvent* e) {
    m_pressed = true;
    update();
    e->accept();
}

void isButtonAbout::mouseReleaseEvent(QMouseEvent* e) {
    m_pressed = false;
    e->accept();
    hide();
}

} // namespace orvana::controls
