#include "controls/isButton/draw.h"
#include "controls/isButton/icon_gray.h"
#include "controls/isButton/is_button.h"
#include "controls/isButton/style_painters.h"

#include <QPainter>

namespace orvana::controls {

namespace {

// The caption's text layout as Qt alignment flags.
int textFlags(isButton::CaptionFormatFlags format) {
    int flags = Qt::TextShowMnemonic;
    if (format & isButton::TextCentre)
        flags |= Qt::AlignHCenter;
    else if (format & isButton::TextRight)
        flags |= Qt::AlignRight;
    else
        flags |= Qt::AlignLeft;
    if (format & isButton::TextSingleLine) {
        flags |= Qt::TextSingleLine;
        if (format & isButton::TextVCentre)
            flags |= Qt::AlignVCenter;
        else if (format & isButton::TextBottom)
            flags |= Qt::AlignBottom;
        else
            flags |= Qt::AlignTop;
    } else {
        flags |= Qt::AlignTop;
    }
    if (format & isButton::TextWordBreak)
        flags |= Qt::TextWordWrap;
    return flags;
}

// The icon painted alone on a square of the mask colour, for masked drawing.
QImage iconOnMaskColour(const QPixmap& icon, int s, OleColor maskColour) {
    QImage img(s, s, QImage::Format_RGB32);
    img.fill(ToQColor(maskColour));
    QPainter sp(&img);
    sp.drawPixmap(QRect(0, 0, s, s), icon);
    return img;
}

// Calls paint(i, j, pixel) for each pixel of an iconOnMaskColour image that is not the mask
// colour, row by row.
template <typename Paint>
void forEachIconPixel(const QImage& masked, OleColor maskColour, Paint paint) {
    const QRgb mask = ToQColor(maskColour).rgb();
    for (int j = 0; j < masked.height(); ++j)
        for (int i = 0; i < masked.width(); ++i) {
            const QRgb px = masked.pixel(i, j) | 0xFF000000u;
            if (px != mask)
                paint(i, j, px);
        }
}

// A system-colour reference as the palette has it; a colour that does not translate is kept.
OleColor resolved(OleColor colour, const QPalette& palette) {
    const OleColor t = TranslateColor(colour, palette);
    return t == kInvalidColor ? colour : t;
}

} // namespace

void isButton::relayout() {
    const int W = width(), H = height();
    m_innerRect = QRect(QPoint(4, 4), QPoint(W - 5, H - 5));
    // By CaptionAlign: centre, left, right, top, bottom; other values keep the last layout.
    static constexpr CaptionFormatFlags kFormats[] = {
        TextCentre | TextVCentre | TextSingleLine, TextVCentre | TextSingleLine,
        TextRight | TextVCentre | TextSingleLine,  TextCentre | TextSingleLine,
        TextCentre | TextBottom | TextSingleLine,
    };
    if (m_captionAlign >= 0 && m_captionAlign <= 4)
        m_captionFormat = kFormats[m_captionAlign];
    applyRegion();
    Refresh();
}

void isButton::applyRegion() {
    const StyleEntry* entry = StyleTable(m_style);
    const RegionShape shape = entry ? entry->region : RegionShape::Rectangle;
    if (shape == RegionShape::Rectangle)
        clearMask();
    else
        setMask(BuildRegion(shape, width(), height()));
}

void isButton::Refresh() {
    render();
    update();
}

void isButton::render() {
    ++m_renderCount;
    m_frameStale = false;
    const int W = width(), H = height();
    QImage image(W, H, QImage::Format_RGB32);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing, false);
    p.setRenderHint(QPainter::SmoothPixmapTransform, false);
    p.fillRect(0, 0, W, H, ToQColor(m_surfaceBack));
    if (m_shown) {
        if (!m_userMode && m_style != StyleBevelGradient)
            m_state = StateHot;
        if (m_buttonType == ButtonCheck && m_value)
            m_state = StatePressed;
        if (!m_enabled) {
            m_state = StateDisabled;
            m_surfaceBack = sys(SysColor::ButtonFace);
            p.fillRect(0, 0, W, H, ToQColor(m_surfaceBack));
        }
        const int margin = paintFace(p, image);
        paintIcon(p, image, margin);
        paintCaption(p);
    }
    p.end();
    m_frame = image;
}

int isButton::paintFace(QPainter& p, QImage& image) {
    const int W = width(), H = height();
    const QPalette pal = palette();
    PaintContext ctx{p,
                     image,
                     pal,
                     this,
                     W,
                     H,
                     m_state,
                     m_focused,
                     m_displayAsDefault,
                     m_showFocus,
                     m_useCustomColors,
                     resolved(m_backColor, pal),
                     resolved(m_highlightColor, pal),
                     m_surfaceBack};
    int margin = 4;
    if (const StyleEntry* entry = StyleTable(m_style)) {
        p.save();
        const bool painted = entry->paint(ctx);
        p.restore();
        if (painted) {
            margin = entry->iconMargin;
        } else {
            // No theme: this frame keeps the plain face; later frames use the fallback.
            m_style = m_nonThemeStyle;
            m_frameStale = true;
            applyRegion();
        }
    }
    m_surfaceBack = ctx.surfaceBack;
    return margin;
}

QPoint isButton::iconPosition(int m) const {
    const int W = width(), H = height(), s = m_iconSize;
    int x = RoundHalfEven((W - s) / 2.0), y = RoundHalfEven((H - s) / 2.0);
    switch (m_iconAlign) {
    case IconAlignLeft:
        x = m;
        break;
    case IconAlignRight:
        x = W - s - m;
        break;
    case IconAlignTop:
        y = m;
        break;
    case IconAlignBottom:
        y = H - s - m;
        break;
    case IconAlignCentre:
        break;
    }
    if (m_state == StatePressed)
        ++x, ++y;
    return {x, y};
}

void isButton::paintIconShadow(QPainter& p, const QImage& image, const QImage& masked,
                               QPoint at) const {
    const int s = m_iconSize, x = at.x(), y = at.y();
    const OleColor grey = RGB(128, 128, 128);
    if (m_useMaskColor) {
        forEachIconPixel(masked, m_maskColor,
                         [&](int i, int j, QRgb) { SetPixel(p, x + i, y + j, grey); });
        return;
    }
    // Everything the icon changed against the face pixel at (1, 1) becomes the shadow.
    p.drawPixmap(QRect(x, y, s, s), m_icon);
    const QRgb back = image.pixel(1, 1);
    for (int j = 0; j <= s; ++j)
        for (int i = 0; i <= s; ++i)
            if (image.valid(x + i, y + j) && image.pixel(x + i, y + j) != back)
                SetPixel(p, x + i, y + j, grey);
}

void isButton::paintIcon(QPainter& p, const QImage& image, int m) {
    if (m_icon.isNull() || m_iconSize <= 0)
        return;
    const int s = m_iconSize;
    const QImage masked = m_useMaskColor ? iconOnMaskColour(m_icon, s, m_maskColor) : QImage();
    QPoint at = iconPosition(m);
    if (m_state == StateHot && m_style == StyleTinted) {
        paintIconShadow(p, image, masked, at);
        at -= QPoint(2, 2);
    }
    const int x = at.x(), y = at.y();
    if (m_useMaskColor) {
        forEachIconPixel(masked, m_maskColor, [&](int i, int j, QRgb px) {
            const OleColor c = FromQColor(QColor(px));
            SetPixel(p, x + i, y + j, m_enabled ? c : GrayOf(c));
        });
    } else if (m_enabled) {
        p.drawPixmap(QRect(x, y, s, s), m_icon);
    } else {
        PaintIconGrayscale(&p, m_icon, x, y, s, s);
    }
}

void isButton::paintCaption(QPainter& p) {
    const OleColor grey = sys(SysColor::GrayText);
    OleColor colour;
    if (!m_useCustomColors)
        colour = !m_enabled ? grey : sys(SysColor::ButtonText);
    else if (m_state == StateNormal)
        colour = m_fontColor;
    else if (m_state == StateDisabled)
        colour = grey;
    else
        colour = m_fontHighlightColor;
    p.save();
    p.setPen(ToQColor(resolved(colour, palette())));
    p.setFont(font());
    p.drawText(m_innerRect, textFlags(m_captionFormat), m_caption);
    p.restore();
}

void isButton::paintEvent(QPaintEvent*) {
    // Refresh has rendered the frame already; a paint only shows it, unless something outside
    // the control's own steps changed the look since.
    if (m_frameStale || m_frame.size() != size())
        render();
    QPainter p(this);
    p.drawImage(0, 0, m_frame);
}

void isButton::resizeEvent(QResizeEvent* e) {
    QWidget::resizeEvent(e);
    relayout();
}

bool isButton::PaintIconGrayscale(QPainter* dc, const QPixmap& icon, int x, int y, int height,
                                  int width) {
    if (dc == nullptr || !dc->isActive() || icon.isNull())
        return false;
    dc->drawImage(QRect(x, y, width, height), GrayscaleIcon(icon.toImage()));
    return true;
}

} // namespace orvana::controls
