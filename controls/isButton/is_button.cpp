#include "controls/isButton/is_button.h"

#include "controls/isButton/about_box.h"
#include "controls/isButton/draw.h"
#include "controls/isButton/icon_gray.h"
#include "controls/isButton/is_button_accessible.h"
#include "controls/isButton/is_button_properties.h"
#include "controls/isButton/style_painters.h"
#include "controls/isButton/tool_tip.h"

#include <QCursor>
#include <QDesktopServices>
#include <QKeyEvent>
#include <QKeySequence>
#include <QMouseEvent>
#include <QPainter>
#include <QShortcutEvent>
#include <QUrl>
#include <optional>
#include <type_traits>

namespace orvana::controls {

namespace {

int g_toolTipDelay = 400;

int vbButton(Qt::MouseButton b) {
    switch (b) {
    case Qt::LeftButton:
        return 1;
    case Qt::RightButton:
        return 2;
    case Qt::MiddleButton:
        return 4;
    default:
        return 0;
    }
}

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

Qt::CursorShape cursorShape(int pointer) {
    switch (pointer) {
    case 2:
        return Qt::CrossCursor;
    case 3:
        return Qt::IBeamCursor;
    case 5:
    case 15:
        return Qt::SizeAllCursor;
    case 6:
        return Qt::SizeBDiagCursor;
    case 7:
        return Qt::SizeVerCursor;
    case 8:
        return Qt::SizeFDiagCursor;
    case 9:
        return Qt::SizeHorCursor;
    case 10:
        return Qt::UpArrowCursor;
    case 11:
        return Qt::WaitCursor;
    case 12:
        return Qt::ForbiddenCursor;
    case 13:
        return Qt::BusyCursor;
    case 14:
        return Qt::WhatsThisCursor;
    default:
        return Qt::ArrowCursor;
    }
}

} // namespace

isButton::isButton(QWidget* parent, const QString& instanceName) : QWidget(parent) {
    InstallIsButtonAccessibility();
    setObjectName(instanceName);
    setAttribute(Qt::WA_OpaquePaintEvent);
    setFocusPolicy(Qt::StrongFocus);
    setMouseTracking(true);
    // 300 twips, the smallest extent a button may have.
    setMinimumSize(20, 20);
    resize(81, 33);

    m_style = StyleClassic;
    m_caption = instanceName;
    m_iconSize = 16;
    m_icon = QPixmap();
    m_showFocus = false;
    m_useCustomColors = false;
    m_captionFormat = CaptionFormatFlags(TextCentre) | TextWordBreak;
    m_enabled = true;
    m_backColor = sys(SysColor::ButtonFace);
    m_highlightColor = sys(SysColor::Highlight);
    m_fontColor = sys(SysColor::ButtonText);
    m_fontHighlightColor = sys(SysColor::ButtonText);
    m_about = new isButtonAbout(this);
    m_about->hide();
    m_toolTipType = 1;
    m_surfaceBack = sys(SysColor::ButtonFace);
    // Qt reports pointer leave on every platform, so the hook is always there at run time.
    m_hooked = m_userMode;

    m_tipTimer.setSingleShot(true);
    connect(&m_tipTimer, &QTimer::timeout, this, [this] {
        if (m_toolTipWindow && m_mouseInside)
            m_toolTipWindow->popUp(QCursor::pos());
    });
    updateAccessKey();
    relayout();
}

isButton::~isButton() {
    m_hooked = false;
    m_tipTimer.stop();
}

OleColor isButton::sys(SysColor which) const {
    return SystemColor(palette(), which);
}

void isButton::changed(QStringView name) {
    Q_EMIT PropertyChanged(name.toString());
}

void isButton::setCaptionRecord(const QString& value) {
    if (m_caption == value)
        return;
    m_caption = value;
    QAccessibleEvent event(this, QAccessible::NameChanged);
    NotifyAccessibility(&event);
}

void isButton::setToolTipRecord(const QString& value) {
    if (m_toolTipText == value)
        return;
    m_toolTipText = value;
    QAccessibleEvent event(this, QAccessible::DescriptionChanged);
    NotifyAccessibility(&event);
}

void isButton::notifyState(QAccessible::State changed) {
    QAccessibleStateChangeEvent event(this, changed);
    NotifyAccessibility(&event);
}

// ---- properties -------------------------------------------------------------------------------

void isButton::SetStyle(int value) {
    set(Properties::style, value);
}

void isButton::SetCaption(const QString& value) {
    set(Properties::caption, value);
}

void isButton::SetIcon(const QPixmap& value) {
    set(Properties::icon, value);
}

void isButton::SetIconAlign(IconAlignValue value) {
    set(Properties::iconAlign, value);
}

void isButton::SetIconSize(int value) {
    set(Properties::iconSize, value);
}

void isButton::SetCaptionAlign(int value) {
    set(Properties::captionAlign, value);
}

void isButton::SetNonThemeStyle(int value) {
    set(Properties::nonThemeStyle, value);
}

void isButton::SetEnabled(bool value) {
    const bool was = m_enabled;
    m_enabled = value;
    m_state = StateNormal;
    if (!value)
        removeToolTip();
    Refresh();
    changed(Properties::enabled.name);
    QWidget::setEnabled(value);
    // Qt's own report follows the widget's effective state, which a disabled parent hides; the
    // control reports its own flag.
    if (was != value) {
        QAccessible::State st;
        st.disabled = true;
        notifyState(st);
    }
}

void isButton::SetShowFocus(bool value) {
    set(Properties::showFocus, value);
}

void isButton::SetUseCustomColors(bool value) {
    set(Properties::useCustomColors, value);
}

void isButton::SetBackColor(OleColor value) {
    set(Properties::backColor, value);
}

void isButton::SetHighlightColor(OleColor value) {
    set(Properties::highlightColor, value);
}

void isButton::SetFontColor(OleColor value) {
    set(Properties::fontColor, value);
}

void isButton::SetFontHighlightColor(OleColor value) {
    set(Properties::fontHighlightColor, value);
}

void isButton::SetToolTipText(const QString& value) {
    set(Properties::toolTipText, value);
}

void isButton::SetToolTipTitle(const QString& value) {
    set(Properties::toolTipTitle, value);
}

void isButton::SetToolTipIcon(int value) {
    set(Properties::toolTipIcon, value);
}

void isButton::SetToolTipType(int value) {
    set(Properties::toolTipType, value);
}

void isButton::SetToolTipBackColor(OleColor value) {
    set(Properties::toolTipBackColor, value);
}

void isButton::SetToolTipForeColor(OleColor value) {
    set(Properties::toolTipForeColor, value);
}

void isButton::SetFont(const QFont& value) {
    // The new font is painted before the change is reported.
    setFont(value);
    Refresh();
    changed(Properties::font.name);
}

void isButton::SetButtonType(ButtonTypeValue value) {
    set(Properties::buttonType, value);
}

void isButton::SetValue(bool value) {
    set(Properties::value, value);
}

void isButton::SetMaskColor(OleColor value) {
    set(Properties::maskColor, value);
}

void isButton::SetUseMaskColor(bool value) {
    set(Properties::useMaskColor, value);
}

void isButton::SetMousePointer(int value) {
    set(Properties::mousePointer, value);
}

void isButton::setIconSizeRecord(const int& value) {
    m_iconSize = int(int16_t(uint16_t(value & 0xFFFF)));
}

void isButton::setMousePointerRecord(const int& value) {
    m_mousePointer = int(int16_t(uint16_t(value & 0xFFFF)));
    if (m_mousePointer == 0)
        unsetCursor();
    else
        setCursor(cursorShape(m_mousePointer));
}

void isButton::followToolTipText() {
    // While the own tip is up the host's text stays empty and the tip is rebuilt with the new
    // text; otherwise the host's text carries it until the pointer enters.
    if (m_mouseInside && m_toolTipWindow)
        buildToolTip();
    else
        setToolTip(m_toolTipText);
}

isButton::CheckState isButton::checkState() const {
    const bool checkable = m_buttonType == ButtonCheck;
    return {checkable, checkable && m_value};
}

void isButton::announceCheckState(CheckState before) {
    const CheckState now = checkState();
    if (now.checkable == before.checkable && now.checked == before.checked)
        return;
    QAccessible::State st;
    st.checkable = now.checkable != before.checkable;
    st.checked = now.checked != before.checked;
    notifyState(st);
}

void isButton::SetDisplayAsDefault(bool value) {
    m_displayAsDefault = value;
    Refresh();
}

void isButton::SetUserMode(bool value) {
    m_userMode = value;
    m_hooked = value;
    Refresh();
}

void isButton::SetThemeActive(bool active) {
    SetThemeActiveFlag(active);
}
bool isButton::ThemeActive() {
    return ThemeActiveFlag();
}
void isButton::SetToolTipDelay(int milliseconds) {
    g_toolTipDelay = std::max(0, milliseconds);
}

// ---- methods ----------------------------------------------------------------------------------

void isButton::About() {
    m_about->show();
    m_about->raise();
    m_about->activateWindow();
}

bool isButton::PaintIconGrayscale(QPainter* dc, const QPixmap& icon, int x, int y, int height,
                                  int width) {
    if (dc == nullptr || !dc->isActive() || icon.isNull())
        return false;
    dc->drawImage(QRect(x, y, width, height), GrayscaleIcon(icon.toImage()));
    return true;
}

bool isButton::OpenLink(const QString& link) {
    if (link.trimmed().isEmpty())
        return false;
    return QDesktopServices::openUrl(QUrl::fromUserInput(link));
}

// ---- persistence ------------------------------------------------------------------------------

namespace {

// Values as the stored form keeps them.
QVariant toStored(int value) {
    return value;
}
QVariant toStored(bool value) {
    return value;
}
QVariant toStored(OleColor value) {
    return qint64(value);
}
template <typename E> QVariant toStored(E value) requires std::is_enum_v<E> {
    return int(value);
}
QVariant toStored(const QString& value) {
    return value;
}
QVariant toStored(const QPixmap& value) {
    return QVariant::fromValue(value.isNull() ? QImage() : value.toImage());
}
QVariant toStored(const QFont& value) {
    return QVariant(value);
}

std::optional<qint64> storedNumber(const QVariant& v, const StoredRange& range) {
    if (!IsStoredNumber(v))
        return std::nullopt;
    const double d = v.toDouble();
    if (d < double(range.lo) || d > double(range.hi))
        return std::nullopt;
    const qint64 n = qint64(d);
    if (n == range.refused)
        return std::nullopt;
    return n;
}

// The value a stored one stands for, or nothing when it has the wrong type or is out of range,
// so a damaged form cannot put the control into a state it cannot paint.
template <typename T> std::optional<T> fromStored(const QVariant& v, const StoredRange& range) {
    if constexpr (std::is_same_v<T, bool>) {
        if (v.typeId() == QMetaType::Bool)
            return v.toBool();
        if (IsStoredNumber(v))
            return v.toDouble() != 0;
        return std::nullopt;
    } else if constexpr (std::is_same_v<T, OleColor>) {
        const auto n = storedNumber(v, {0, 0xFFFFFFFFll});
        return n ? std::optional<T>(OleColor(*n)) : std::nullopt;
    } else if constexpr (std::is_same_v<T, int> || std::is_enum_v<T>) {
        const auto n = storedNumber(v, range);
        return n ? std::optional<T>(T(*n)) : std::nullopt;
    } else if constexpr (std::is_same_v<T, QPixmap>) {
        if (v.typeId() == QMetaType::QImage)
            return QPixmap::fromImage(v.value<QImage>());
        return std::nullopt;
    } else {
        if (v.metaType() == QMetaType::fromType<T>())
            return v.value<T>();
        return std::nullopt;
    }
}

// The stored value of the row's key, or `fallback` when the key is missing or unreadable.
template <typename T>
T readStored(const PropertyBag& bag, const ButtonProperty<T>& p, const T& fallback) {
    const QVariant v = bag.ReadProperty(p.key.toString(), toStored(fallback));
    return fromStored<T>(v, p.range).value_or(fallback);
}

} // namespace

template <typename T>
void isButton::Properties::load(isButton& b, const PropertyBag& bag, const Property<T>& p) {
    switch (p.loading) {
    case PropertyLoading::Store:
        p.field.put(b, readStored(bag, p, p.fallback(b)));
        break;
    case PropertyLoading::KeepUnreadable: {
        const QVariant v = bag.ReadProperty(p.key.toString(), toStored(p.fallback(b)));
        if (const std::optional<T> value = fromStored<T>(v, p.range))
            p.field.put(b, *value);
        break;
    }
    case PropertyLoading::ThroughSetter:
        b.set(p, readStored(bag, p, p.fallback(b)));
        break;
    case PropertyLoading::HostFirst:
        if constexpr (std::is_same_v<T, QString>) {
            b.setToolTip(readStored(bag, p, p.fallback(b)));
            // A form without the key keeps the host's text as the tip's source, which the
            // record takes when the tip is built.
            p.field.put(b, readStored(bag, p, T()));
        }
        break;
    }
}

template <typename T>
void isButton::Properties::save(const isButton& b, PropertyBag& bag, const Property<T>& p) {
    const QString key = p.key.toString();
    const QVariant value = toStored(p.field.get(b));
    switch (p.written) {
    case PropertyWritten::UnlessDefault:
        bag.WriteProperty(key, value, toStored(p.fallback(b)));
        break;
    case PropertyWritten::UnlessEmpty:
        bag.WriteProperty(key, value, toStored(T()));
        break;
    case PropertyWritten::Always:
        bag.WriteProperty(key, value);
        break;
    }
}

void isButton::ReadProperties(const PropertyBag& bag) {
    m_state = StateNormal;
    const bool wasCheckable = m_buttonType == ButtonCheck, wasChecked = m_value,
               wasEnabled = m_enabled;
    Properties::forEachStored([&](const auto& p) { Properties::load(*this, bag, p); });
    m_hooked = m_userMode;
    const bool checkable = m_buttonType == ButtonCheck;
    if (wasCheckable != checkable || wasChecked != m_value || wasEnabled != m_enabled) {
        QAccessible::State st;
        st.checkable = wasCheckable != checkable;
        st.checked = wasChecked != m_value;
        st.disabled = wasEnabled != m_enabled;
        notifyState(st);
    }
    // A stored disabled button must not take input either.
    QWidget::setEnabled(m_enabled);
    updateAccessKey();
    relayout();
}

void isButton::WriteProperties(PropertyBag& bag) const {
    Properties::forEachStored([&](const auto& p) { Properties::save(*this, bag, p); });
}

void isButton::LoadStored(const StoredControl& stored) {
    if (stored.extent.isValid() && !stored.extent.isEmpty())
        resize(HimetricToPixels(stored.extent.width()), HimetricToPixels(stored.extent.height()));
    setToolTip(stored.toolTip);
    ReadProperties(stored.properties);
}

StoredControl isButton::SaveStored() const {
    StoredControl out;
    out.name = objectName();
    out.extent = QSize(PixelsToHimetric(width()), PixelsToHimetric(height()));
    out.toolTip = toolTip();
    WriteProperties(out.properties);
    return out;
}

// ---- layout and painting ----------------------------------------------------------------------

void isButton::relayout() {
    const int W = width(), H = height();
    m_clientRect = QRect(0, 0, W, H);
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
    int margin = 4;
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
        const QPalette pal = palette();
        auto tr = [&pal](OleColor c) {
            const OleColor t = TranslateColor(c, pal);
            return t == kInvalidColor ? c : t;
        };
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
                         tr(m_backColor),
                         tr(m_highlightColor),
                         m_surfaceBack};
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
        paintIcon(p, image, margin);
        paintCaption(p);
    }
    p.end();
    m_frame = image;
}

void isButton::paintIcon(QPainter& p, const QImage& image, int m) {
    if (m_icon.isNull() || m_iconSize <= 0)
        return;
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

    // The icon painted alone on a square of the mask colour, for masked drawing.
    auto scratch = [this, s] {
        QImage img(s, s, QImage::Format_RGB32);
        img.fill(ToQColor(m_maskColor));
        QPainter sp(&img);
        sp.drawPixmap(QRect(0, 0, s, s), m_icon);
        return img;
    };
    const QRgb mask = ToQColor(m_maskColor).rgb();
    const OleColor grey = RGB(128, 128, 128);

    if (m_state == StateHot && m_style == StyleTinted) {
        if (m_useMaskColor) {
            const QImage sc = scratch();
            for (int j = 0; j < s; ++j)
                for (int i = 0; i < s; ++i)
                    if ((sc.pixel(i, j) | 0xFF000000u) != mask)
                        SetPixel(p, x + i, y + j, grey);
        } else {
            // Everything the icon changed against the face pixel at (1, 1) becomes the shadow.
            p.drawPixmap(QRect(x, y, s, s), m_icon);
            const QRgb back = image.pixel(1, 1);
            for (int j = 0; j <= s; ++j)
                for (int i = 0; i <= s; ++i)
                    if (image.valid(x + i, y + j) && image.pixel(x + i, y + j) != back)
                        SetPixel(p, x + i, y + j, grey);
        }
        x -= 2, y -= 2;
    }
    if (m_useMaskColor) {
        const QImage sc = scratch();
        for (int j = 0; j < s; ++j)
            for (int i = 0; i < s; ++i) {
                const QRgb px = sc.pixel(i, j) | 0xFF000000u;
                if (px == mask)
                    continue;
                const OleColor c = FromQColor(QColor(px));
                SetPixel(p, x + i, y + j, m_enabled ? c : GrayOf(c));
            }
    } else if (m_enabled) {
        p.drawPixmap(QRect(x, y, s, s), m_icon);
    } else {
        PaintIconGrayscale(&p, m_icon, x, y, s, s);
    }
}

void isButton::paintCaption(QPainter& p) {
    const OleColor grey = TranslateColor(SysColorRef(SysColor::GrayText), palette());
    OleColor colour;
    if (!m_useCustomColors)
        colour = !m_enabled ? grey : sys(SysColor::ButtonText);
    else if (m_state == StateNormal)
        colour = m_fontColor;
    else if (m_state == StateDisabled)
        colour = grey;
    else
        colour = m_fontHighlightColor;
    const OleColor t = TranslateColor(colour, palette());
    p.save();
    p.setPen(ToQColor(t == kInvalidColor ? colour : t));
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

// ---- input ------------------------------------------------------------------------------------

bool isButton::event(QEvent* e) {
    if (e->type() == QEvent::Shortcut) {
        auto* se = static_cast<QShortcutEvent*>(e);
        if (m_accessKeyId != 0 && se->shortcutId() == m_accessKeyId) {
            accessKeyClick();
            return true;
        }
    }
    const bool result = QWidget::event(e);
    // Text given straight to the host's tooltip is the control's tooltip text too; only the
    // emptying while the own tip is up is not.
    if (e->type() == QEvent::ToolTipChange && !m_hidingHostTip)
        setToolTipRecord(toolTip());
    switch (e->type()) {
    case QEvent::FontChange:
    case QEvent::LayoutDirectionChange:
    case QEvent::PaletteChange:
    case QEvent::StyleChange:
        m_frameStale = true;
        break;
    default:
        break;
    }
    if (m_hooked) {
        switch (e->type()) {
        case QEvent::MouseMove:
        case QEvent::Leave:
        case QEvent::StyleChange:
        case QEvent::PaletteChange: {
            bool handled = false;
            bool ret = result;
            zSubclass_Proc(false, handled, ret, e);
            break;
        }
        default:
            break;
        }
    }
    return result;
}

void isButton::accessKeyClick() {
    // The access key clicks like a left click whatever button was released last.
    QPointer<isButton> self(this);
    const int last = m_lastMouseButton;
    m_lastMouseButton = 1;
    clickStep(true);
    if (!self)
        return;
    m_lastMouseButton = last;
    m_state = StateNormal;
}

void isButton::AccessiblePress() {
    // Queued: the button may have been disabled since the press was asked for.
    if (!m_enabled || !isEnabled())
        return;
    QPointer<isButton> self(this);
    accessKeyClick();
    // Unlike the access key, no key or pointer event follows to repaint the look.
    if (!self)
        return;
    m_state = m_mouseInside ? StateHot : StateNormal;
    Refresh();
}

void isButton::zSubclass_Proc(bool before, bool& handled, bool& result, QEvent* message) {
    Q_UNUSED(handled);
    Q_UNUSED(result);
    if (before || message == nullptr)
        return;
    switch (message->type()) {
    case QEvent::MouseMove:
        if (!m_mouseInside && isEnabled()) {
            m_mouseInside = true;
            m_state = StateHot;
            Refresh();
            QPointer<isButton> self(this);
            Q_EMIT MouseEnter();
            if (self)
                buildToolTip();
        }
        break;
    case QEvent::Leave:
        if (m_mouseInside) {
            m_mouseInside = false;
            m_state = StateNormal;
            removeToolTip();
            Refresh();
            Q_EMIT MouseLeave();
        }
        break;
    case QEvent::StyleChange:
    case QEvent::PaletteChange:
        Refresh();
        break;
    default:
        break;
    }
}

void isButton::mouseDownStep(int button) {
    if (button == 1) {
        m_state = StatePressed;
        Refresh();
    }
}

void isButton::mouseUpStep(int button) {
    if (button == 1) {
        m_state = (m_buttonType == ButtonCheck && !m_value) ? StatePressed : StateHot;
        Refresh();
    }
    m_lastMouseButton = button;
}

void isButton::clickStep(bool raise) {
    if (m_lastMouseButton != 1)
        return;
    if (m_buttonType == ButtonCheck) {
        m_value = !m_value;
        QAccessible::State st;
        st.checked = true;
        notifyState(st);
    }
    m_state = StateHot;
    Refresh();
    if (raise)
        Q_EMIT Click();
}

void isButton::mousePressEvent(QMouseEvent* e) {
    if (m_toolTipWindow)
        m_toolTipWindow->hide();
    m_inDoubleClick = false;
    mouseDownStep(vbButton(e->button()));
    e->accept();
}

void isButton::mouseReleaseEvent(QMouseEvent* e) {
    const int button = vbButton(e->button());
    const bool wasDouble = m_inDoubleClick;
    m_inDoubleClick = false;
    mouseUpStep(button);
    // A click is a left release over the control; the release that ends a double click raises
    // no second click.
    if (button == 1 && !wasDouble && rect().contains(e->position().toPoint()))
        clickStep(true);
    e->accept();
}

void isButton::mouseDoubleClickEvent(QMouseEvent* e) {
    if (m_lastMouseButton == 1 && e->button() == Qt::LeftButton) {
        m_inDoubleClick = true;
        mouseDownStep(1);
    }
    e->accept();
}

void isButton::keyPressEvent(QKeyEvent* e) {
    switch (e->key()) {
    case Qt::Key_Space: {
        e->accept();
        // One press is one click, however long the key is held.
        if (e->isAutoRepeat())
            return;
        mouseDownStep(1);
        QPointer<isButton> self(this);
        Q_EMIT Click();
        if (self)
            clickStep(false);
        return;
    }
    case Qt::Key_Return:
    case Qt::Key_Enter:
        e->accept();
        return;
    case Qt::Key_Right:
        e->accept();
        focusNextChild();
        return;
    case Qt::Key_Left:
        e->accept();
        focusPreviousChild();
        return;
    default:
        QWidget::keyPressEvent(e);
    }
}

void isButton::keyReleaseEvent(QKeyEvent* e) {
    if (e->key() == Qt::Key_Space) {
        e->accept();
        if (!e->isAutoRepeat())
            mouseUpStep(1);
        return;
    }
    QWidget::keyReleaseEvent(e);
}

void isButton::focusInEvent(QFocusEvent* e) {
    QWidget::focusInEvent(e);
    m_focused = true;
    Refresh();
}

void isButton::focusOutEvent(QFocusEvent* e) {
    QWidget::focusOutEvent(e);
    m_focused = false;
    Refresh();
}

void isButton::showEvent(QShowEvent* e) {
    QWidget::showEvent(e);
    m_shown = true;
    Refresh();
}

void isButton::hideEvent(QHideEvent* e) {
    QWidget::hideEvent(e);
    m_shown = false;
    // A hidden control cannot keep a tip up; the host gets its text back.
    if (m_toolTipWindow) {
        m_mouseInside = false;
        m_state = StateNormal;
    }
    delete m_toolTipWindow;
    m_tipTimer.stop();
    setToolTip(m_toolTipText);
}

void isButton::updateAccessKey() {
    if (m_accessKeyId != 0)
        releaseShortcut(m_accessKeyId);
    m_accessKeyId = 0;
    const QKeySequence key = QKeySequence::mnemonic(m_caption);
    if (!key.isEmpty())
        m_accessKeyId = grabShortcut(key);
}

// ---- tooltip ----------------------------------------------------------------------------------

isButtonTip* isButton::ToolTipWindow() const {
    return m_toolTipWindow.data();
}

void isButton::buildToolTip() {
    if (!m_toolTipWindow) {
        setToolTipRecord(toolTip());
        m_hidingHostTip = true;
        setToolTip(QString());
        m_hidingHostTip = false;
    }
    delete m_toolTipWindow;
    auto* tip = new isButtonTip(this);
    tip->setBalloon(m_toolTipType == 1);
    tip->setText(m_toolTipText);
    if (!m_toolTipTitle.isEmpty() || m_toolTipIcon != 0)
        tip->setTitle(m_toolTipIcon, m_toolTipTitle);
    const QPalette pal = palette();
    auto colour = [&pal](OleColor c) {
        if (c == 0)
            return QColor();
        const OleColor t = TranslateColor(c, pal);
        return t == kInvalidColor ? QColor() : ToQColor(t);
    };
    tip->setColors(colour(m_toolTipBackColor), colour(m_toolTipForeColor));
    m_toolTipWindow = tip;
    m_tipTimer.start(g_toolTipDelay);
}

void isButton::removeToolTip() {
    m_tipTimer.stop();
    if (!m_toolTipWindow)
        return;
    setToolTip(m_toolTipText);
    delete m_toolTipWindow;
}

} // namespace orvana::controls
