#include "controls/isButton/is_button_properties.h"

#include "controls/isButton/is_button_accessible.h"
#include "controls/isButton/style_painters.h"
#include "controls/isButton/tool_tip.h"

namespace orvana::controls {

namespace {

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

} // namespace orvana::controls
