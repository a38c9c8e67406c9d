#pragma once

// The control's property table. Private to the control's own sources.

#include "controls/isButton/is_button.h"

#include <QFlags>
#include <QStringView>
#include <optional>
#include <type_traits>

namespace orvana::controls {

// What a change of a property sets off once it is stored and reported, in this order.
enum class PropertyEffect : int {
    AccessKey = 0x1, // the caption's access key is taken again
    ToolTip = 0x2,   // an open tip is rebuilt with the text, else the host's tip text follows it
    Relayout = 0x4,  // the resize step: rectangles, caption layout, region, then a repaint
    Redraw = 0x8,    // a repaint
};
Q_DECLARE_FLAGS(PropertyEffects, PropertyEffect)
Q_DECLARE_OPERATORS_FOR_FLAGS(PropertyEffects)

// How a property's value is read and stored. Storing sets the record only: it reports nothing
// and repaints nothing.
template <typename T> struct PropertyField {
    T (*get)(const isButton&);
    void (*put)(isButton&, const T&);
};

// Which saved values are left out of the stored form.
enum class PropertyWritten {
    UnlessDefault, // a value equal to the default is left out
    UnlessEmpty,   // an empty value is left out
    Always,
};

// How loading gives a property its stored value.
enum class PropertyLoading {
    Store,          // stored as it is; an unreadable value gives the default
    KeepUnreadable, // as Store, but an unreadable value keeps what the control has
    ThroughSetter,  // assigned through the property's setter, which reports it
    HostFirst,      // first read into the host's own tip text (defaulting to it), then read
                    // again into the record, defaulting to empty
};

// The stored numbers a property accepts: lo to hi, except `refused`.
struct StoredRange {
    qint64 lo = 0;
    qint64 hi = 0;
    std::optional<qint64> refused = std::nullopt;
};

template <typename T> struct ButtonProperty {
    QStringView key;  // in the stored form; some spellings differ from the name on purpose
    QStringView name; // the change notification
    PropertyField<T> field;
    // What a missing key reads as; also the value that is left out when saving.
    T (*fallback)(const isButton&);
    PropertyWritten written = PropertyWritten::UnlessDefault;
    PropertyEffects effects = {};
    StoredRange range = {}; // numbers only
    PropertyLoading loading = PropertyLoading::Store;
};

namespace fields {

template <typename> struct MemberOf;
template <typename T> struct MemberOf<T isButton::*> { using Type = T; };
template <auto M> using TypeOf = typename MemberOf<decltype(M)>::Type;

template <auto M> TypeOf<M> get(const isButton& b) {
    return b.*M;
}
template <auto M> void put(isButton& b, const TypeOf<M>& value) {
    b.*M = value;
}
template <auto Store, typename T> void putThrough(isButton& b, const T& value) {
    (b.*Store)(value);
}

// The data member M, read and stored as it is.
template <auto M> constexpr PropertyField<TypeOf<M>> member() {
    return {&get<M>, &put<M>};
}
// The data member M, stored through the record function Store, which also keeps what depends
// on it (accessibility, the 16-bit range, the pointer shape).
template <auto M, auto Store> constexpr PropertyField<TypeOf<M>> recorded() {
    return {&get<M>, &putThrough<Store, TypeOf<M>>};
}

} // namespace fields

namespace defaults {

template <auto V> constexpr decltype(V) constant(const isButton&) {
    return V;
}
template <typename T> T blank(const isButton&) {
    return T();
}
template <SysColor C> OleColor system(const isButton& b) {
    return SystemColor(b.palette(), C);
}

} // namespace defaults

// One row per property, and the order in which they are stored. Enabled and Font keep setters of
// their own (their steps come in another order, repaint included), but their rows still name and
// store them; they carry no effects.
struct isButton::Properties {
    template <typename T> using Property = ButtonProperty<T>;
    using enum PropertyEffect;
    using enum PropertyWritten;
    using enum PropertyLoading;

    static constexpr Property<QPixmap> icon{
        .key = u"Icon",
        .name = u"Icon",
        .field = fields::member<&isButton::m_icon>(),
        .fallback = defaults::blank<QPixmap>,
        .written = Always,
        .effects = Relayout,
    };
    static constexpr Property<int> style{
        .key = u"Style",
        .name = u"Style",
        .field = fields::member<&isButton::m_style>(),
        .fallback = defaults::constant<3>,
        .effects = Relayout,
        .range = {0, 10},
    };
    static constexpr Property<QString> caption{
        .key = u"Caption",
        .name = u"Caption",
        .field = fields::recorded<&isButton::m_caption, &isButton::setCaptionRecord>(),
        .fallback = [](const isButton&) { return QStringLiteral("isButton"); },
        .written = UnlessEmpty,
        .effects = AccessKey | Relayout,
    };
    static constexpr Property<int> iconSize{
        .key = u"IconSize",
        .name = u"IconSize",
        .field = fields::recorded<&isButton::m_iconSize, &isButton::setIconSizeRecord>(),
        .fallback = defaults::constant<16>,
        .effects = Relayout,
        .range = {-32768, 65535},
    };
    static constexpr Property<IconAlignValue> iconAlign{
        .key = u"IconAlign",
        .name = u"IconAlign",
        .field = fields::member<&isButton::m_iconAlign>(),
        .fallback = defaults::constant<IconAlignLeft>,
        .effects = Relayout,
        .range = {0, 4},
    };
    static constexpr Property<int> captionAlign{
        .key = u"CaptionAlign",
        .name = u"CaptionAlign",
        .field = fields::member<&isButton::m_captionAlign>(),
        .fallback = defaults::constant<0>,
        .effects = Relayout,
        .range = {0, 4},
    };
    // The theme style cannot stand in for itself.
    static constexpr Property<int> nonThemeStyle{
        .key = u"iNonThemeStyle",
        .name = u"NonThemeStyle",
        .field = fields::member<&isButton::m_nonThemeStyle>(),
        .fallback = defaults::constant<int(StyleBevelGradient)>,
        .effects = Relayout,
        .range = {0, 10, StyleSystemTheme},
    };
    static constexpr Property<bool> enabled{
        .key = u"Enabled",
        .name = u"Enabled",
        .field = fields::member<&isButton::m_enabled>(),
        .fallback = defaults::constant<true>,
    };
    static constexpr Property<bool> showFocus{
        .key = u"ShowFocus",
        .name = u"ShowFocus",
        .field = fields::member<&isButton::m_showFocus>(),
        .fallback = defaults::constant<false>,
        .effects = Redraw,
    };
    static constexpr Property<bool> useCustomColors{
        .key = u"USeCustomColors",
        .name = u"UseCustomColors",
        .field = fields::member<&isButton::m_useCustomColors>(),
        .fallback = defaults::constant<false>,
        .effects = Redraw,
    };
    static constexpr Property<OleColor> backColor{
        .key = u"BackColor",
        .name = u"BackColor",
        .field = fields::member<&isButton::m_backColor>(),
        .fallback = defaults::system<SysColor::ButtonFace>,
        .effects = Redraw,
    };
    static constexpr Property<OleColor> highlightColor{
        .key = u"HighlightColor",
        .name = u"HighlightColor",
        .field = fields::member<&isButton::m_highlightColor>(),
        .fallback = defaults::system<SysColor::Highlight>,
        .effects = Redraw,
    };
    static constexpr Property<OleColor> fontColor{
        .key = u"FontColor",
        .name = u"FontColor",
        .field = fields::member<&isButton::m_fontColor>(),
        .fallback = defaults::system<SysColor::ButtonText>,
        .effects = Redraw,
    };
    static constexpr Property<OleColor> fontHighlightColor{
        .key = u"FontHighlightColor",
        .name = u"FontHighlightColor",
        .field = fields::member<&isButton::m_fontHighlightColor>(),
        .fallback = defaults::system<SysColor::ButtonText>,
        .effects = Redraw,
    };
    // Left out while the host's own tip text says the same.
    static constexpr Property<QString> toolTipText{
        .key = u"ToolTipText",
        .name = u"ToolTipText",
        .field = fields::recorded<&isButton::m_toolTipText, &isButton::setToolTipRecord>(),
        .fallback = [](const isButton& b) { return b.toolTip(); },
        .effects = ToolTip | Redraw,
        .loading = HostFirst,
    };
    static constexpr Property<QString> toolTipTitle{
        .key = u"Tooltiptitle",
        .name = u"TooltipTitle",
        .field = fields::member<&isButton::m_toolTipTitle>(),
        .fallback = defaults::blank<QString>,
        .written = Always,
        .effects = Redraw,
    };
    static constexpr Property<int> toolTipIcon{
        .key = u"ToolTipIcon",
        .name = u"TooltipIcon",
        .field = fields::member<&isButton::m_toolTipIcon>(),
        .fallback = defaults::constant<0>,
        .written = Always,
        .effects = Redraw,
        .range = {0, 3},
    };
    static constexpr Property<int> toolTipType{
        .key = u"ToolTipType",
        .name = u"ToolTipType",
        .field = fields::member<&isButton::m_toolTipType>(),
        .fallback = defaults::constant<1>,
        .written = Always,
        .effects = Redraw,
        .range = {0, 1},
    };
    // Back from the info background and fore from the info text, so a form without these keys
    // shows readable tips.
    static constexpr Property<OleColor> toolTipBackColor{
        .key = u"ttBackColor",
        .name = u"ToolTipBackColor",
        .field = fields::member<&isButton::m_toolTipBackColor>(),
        .fallback = defaults::system<SysColor::InfoBackground>,
        .effects = Redraw,
    };
    static constexpr Property<OleColor> toolTipForeColor{
        .key = u"ttForeColor",
        .name = u"ToolTipForeColor",
        .field = fields::member<&isButton::m_toolTipForeColor>(),
        .fallback = defaults::system<SysColor::InfoText>,
        .effects = Redraw,
    };
    // The surface's own font; a missing key gives it its current font again.
    static constexpr Property<QFont> font{
        .key = u"Font",
        .name = u"Font",
        .field = {[](const isButton& b) { return b.font(); },
                  [](isButton& b, const QFont& value) {
                      b.setFont(value);
                  }},
        .fallback = [](const isButton& b) { return b.font(); },
        .written = Always,
        .loading = KeepUnreadable,
    };
    static constexpr Property<ButtonTypeValue> buttonType{
        .key = u"ButtonType",
        .name = u"ButtonType",
        .field = fields::member<&isButton::m_buttonType>(),
        .fallback = defaults::constant<ButtonPush>,
        .effects = Redraw,
        .range = {0, 1},
    };
    static constexpr Property<bool> value{
        .key = u"Value",
        .name = u"Value",
        .field = fields::member<&isButton::m_value>(),
        .fallback = defaults::constant<false>,
        .effects = Redraw,
    };
    static constexpr Property<OleColor> maskColor{
        .key = u"MaskColor",
        .name = u"MaskColor",
        .field = fields::member<&isButton::m_maskColor>(),
        .fallback = defaults::constant<RGB(192, 192, 192)>,
        .effects = Redraw,
    };
    static constexpr Property<bool> useMaskColor{
        .key = u"UseMaskColor",
        .name = u"UseMaskColor",
        .field = fields::member<&isButton::m_useMaskColor>(),
        .fallback = defaults::constant<false>,
        .effects = Redraw,
    };
    // The pointer goes straight to the surface; nothing to repaint.
    static constexpr Property<int> mousePointer{
        .key = u"MousePointer",
        .name = u"MousePointer",
        .field = fields::recorded<&isButton::m_mousePointer, &isButton::setMousePointerRecord>(),
        .fallback = defaults::constant<0>,
        .range = {-32768, 65535},
        .loading = ThroughSetter,
    };

    // Calls f with every row, in the order of the stored form.
    template <typename F> static void forEachStored(F&& f) {
        f(icon);
        f(style);
        f(caption);
        f(iconSize);
        f(iconAlign);
        f(captionAlign);
        f(nonThemeStyle);
        f(enabled);
        f(showFocus);
        f(useCustomColors);
        f(backColor);
        f(highlightColor);
        f(fontColor);
        f(fontHighlightColor);
        f(toolTipText);
        f(toolTipTitle);
        f(toolTipIcon);
        f(toolTipType);
        f(toolTipBackColor);
        f(toolTipForeColor);
        f(font);
        f(buttonType);
        f(value);
        f(maskColor);
        f(useMaskColor);
        f(mousePointer);
    }

    // Reading one row from a bag and writing it into one (is_button.cpp).
    template <typename T>
    static void load(isButton& b, const PropertyBag& bag, const Property<T>& p);
    template <typename T>
    static void save(const isButton& b, PropertyBag& bag, const Property<T>& p);
};

// Stores the value, announces a change of the check state, reports the change under the
// property's name and then runs its effects.
template <typename T>
void isButton::set(const ButtonProperty<T>& property, const std::type_identity_t<T>& value) {
    const CheckState before = checkState();
    property.field.put(*this, value);
    announceCheckState(before);
    changed(property.name);
    if (property.effects & PropertyEffect::AccessKey)
        updateAccessKey();
    if (property.effects & PropertyEffect::ToolTip)
        followToolTipText();
    if (property.effects & PropertyEffect::Relayout)
        relayout();
    if (property.effects & PropertyEffect::Redraw)
        Refresh();
}

} // namespace orvana::controls
