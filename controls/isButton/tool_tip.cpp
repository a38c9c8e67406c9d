#include "controls/isButton/tool_tip.h"

#include <QApplication>
#include <QFontMetrics>
#include <QPainter>
#include <QPainterPath>
#include <QScreen>
#include <QStyle>

namespace orvana::controls {

namespace {

constexpr int kPad = 6;
constexpr int kStem = 12;  // height of the balloon's pointer
constexpr int kRadius = 8; // balloon corner radius
constexpr int kIcon = 16;  // title icon edge
constexpr int kMaxTextWidth = 320;

QStyle::StandardPixmap iconPixmap(int icon) {
    switch (icon) {
    case 2:
        return QStyle::SP_MessageBoxWarning;
    case 3:
        return QStyle::SP_MessageBoxCritical;
    default:
        return QStyle::SP_MessageBoxInformation;
    }
}

QFont boldOf(QFont f) {
    f.setBold(true);
    return f;
}

} // namespace

isButtonTip::isButtonTip(QWidget* owner)
    : QWidget(owner, Qt::ToolTip | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint) {
    setAttribute(Qt::WA_ShowWithoutActivating);
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setFont(QApplication::font("QToolTip"));
}

void isButtonTip::setText(const QString& text) {
    m_text = text;
    resize(sizeHint());
    update();
}

void isButtonTip::setTitle(int icon, const QString& title) {
    m_icon = icon;
    m_title = title;
    m_titleSet = true;
    resize(sizeHint());
    update();
}

void isButtonTip::setBalloon(bool balloon) {
    m_balloon = balloon;
    resize(sizeHint());
    update();
}

void isButtonTip::setColors(const QColor& back, const QColor& fore) {
    m_back = back;
    m_fore = fore;
    update();
}

QColor isButtonTip::backColor() const {
    return m_back.isValid() ? m_back : palette().color(QPalette::ToolTipBase);
}

QColor isButtonTip::foreColor() const {
    return m_fore.isValid() ? m_fore : palette().color(QPalette::ToolTipText);
}

QSize isButtonTip::sizeHint() const {
    const QFontMetrics fm(font());
    const QRect textRect = fm.boundingRect(QRect(0, 0, kMaxTextWidth, 10000),
                                           Qt::TextWordWrap | Qt::TextExpandTabs, m_text);
    int w = textRect.width();
    int h = textRect.height();
    const bool hasTitle = m_titleSet && (!m_title.isEmpty() || m_icon != 0);
    if (hasTitle) {
        const QFontMetrics bold(boldOf(font()));
        const int titleW = (m_icon ? kIcon + 4 : 0) + bold.horizontalAdvance(m_title);
        w = std::max(w, titleW);
        h += std::max(kIcon, bold.height()) + 4;
    }
    const int pad = m_balloon ? kPad + 4 : kPad;
    return {w + 2 * pad, h + 2 * pad + (m_balloon ? kStem : 0)};
}

QRect isButtonTip::bodyRect() const {
    return m_balloon ? QRect(0, kStem, width(), height() - kStem) : rect();
}

QPainterPath isButtonTip::outline() const {
    QPainterPath path;
    const QRect body = bodyRect();
    if (!m_balloon) {
        path.addRect(QRectF(body).adjusted(0, 0, -1, -1));
        return path;
    }
    path.addRoundedRect(QRectF(body).adjusted(0, 0, -1, -1), kRadius, kRadius);
    QPainterPath stem;
    stem.moveTo(16, kStem + 1);
    stem.lineTo(16, 0);
    stem.lineTo(30, kStem + 1);
    stem.closeSubpath();
    return path.united(stem);
}

void isButtonTip::resizeEvent(QResizeEvent* e) {
    QWidget::resizeEvent(e);
    if (m_balloon) {
        QPainterPath o = outline();
        // The mask covers the outline's own pixels too.
        QPainterPathStroker stroker;
        stroker.setWidth(1.5);
        setMask(QRegion(o.united(stroker.createStroke(o)).toFillPolygon().toPolygon(),
                        Qt::WindingFill));
    } else {
        clearMask();
    }
}

void isButtonTip::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing, false);
    p.setPen(QPen(foreColor(), 1));
    p.setBrush(backColor());
    p.fillRect(rect(), backColor());
    p.drawPath(outline());
    const int pad = m_balloon ? kPad + 4 : kPad;
    QRect area = bodyRect().adjusted(pad, pad, -pad, -pad);
    if (m_titleSet && (!m_title.isEmpty() || m_icon != 0)) {
        int x = area.left();
        const QFontMetrics bold(boldOf(font()));
        const int lineH = std::max(kIcon, bold.height());
        if (m_icon >= 1 && m_icon <= 3) {
            const QPixmap icon = style()->standardIcon(iconPixmap(m_icon)).pixmap(kIcon, kIcon);
            p.drawPixmap(x, area.top() + (lineH - kIcon) / 2, icon);
            x += kIcon + 4;
        }
        p.save();
        p.setFont(boldOf(font()));
        p.drawText(QRect(x, area.top(), area.right() - x + 1, lineH),
                   Qt::AlignVCenter | Qt::AlignLeft | Qt::TextSingleLine, m_title);
        p.restore();
        area.setTop(area.top() + lineH + 4);
    }
    p.drawText(area, Qt::TextWordWrap | Qt::TextExpandTabs | Qt::AlignLeft | Qt::AlignTop, m_text);
}

void isButtonTip::popUp(const QPoint& pointer) {
    if (m_text.isEmpty())
        return;
    resize(sizeHint());
    QPoint pos = m_balloon ? pointer - QPoint(16, -2) : pointer + QPoint(2, 20);
    if (const QScreen* screen = QApplication::screenAt(pointer)) {
        const QRect avail = screen->availableGeometry();
        pos.setX(
            std::clamp(pos.x(), avail.left(), std::max(avail.left(), avail.right() - width())));
        pos.setY(
            std::clamp(pos.y(), avail.top(), std::max(avail.top(), avail.bottom() - height())));
    }
    move(pos);
    show();
    raise();
}

} // namespace orvana::controls
