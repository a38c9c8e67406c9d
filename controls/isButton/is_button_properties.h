#pragma once

// The control's property table. Private to the control's own sources.

#include "controls/isButton/is_button.h"

#include <QFlags>
#include <QStringView>
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

template <typename T> struct ButtonProperty {
    QStringView name; // the change notification
    PropertyField<T> field;
    PropertyEffects effects;
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

// One row per property. Enabled and Font keep setters of their own (their steps come in another
// order), but their rows still name them.
struct isButton::Properties {
    template <typename T> using Property = ButtonProperty<T>;
    using enum PropertyEffect;

    static constexpr Property<QPixmap> icon{u"Icon", fields::member<&isButton::m_icon>(), Relayout};
    static constexpr Property<int> style{u"Style", fields::member<&isButton::m_style>(), Relayout};
    static constexpr Property<QString> caption{
        u"Caption", fields::recorded<&isButton::m_caption, &isButton::setCaptionRecord>(),
        AccessKey | Relayout};
    static constexpr Property<int> iconSize{
        u"IconSize", fields::recorded<&isButton::m_iconSize, &isButton::setIconSizeRecord>(),
        Relayout};
    static constexpr Property<IconAlignValue> iconAlign{
        u"IconAlign", fields::member<&isButton::m_iconAlign>(), Relayout};
    static constexpr Property<int> captionAlign{
        u"CaptionAlign", fields::member<&isButton::m_captionAlign>(), Relayout};
    static constexpr Property<int> nonThemeStyle{
        u"NonThemeStyle", fields::member<&isButton::m_nonThemeStyle>(), Relayout};
    static constexpr Property<bool> enabled{u"Enabled", fields::member<&isButton::m_enabled>(),
                                            Redraw};
    static constexpr Property<bool> showFocus{u"ShowFocus",
                                              fields::member<&isButton::m_showFocus>(), Redraw};
    static constexpr Property<bool> useCustomColors{
        u"UseCustomColors", fields::member<&isButton::m_useCustomColors>(), Redraw};
    static constexpr Property<OleColor> backColor{u"BackColor",
                                                  fields::member<&isButton::m_backColor>(), Redraw};
    static constexpr Property<OleColor> highlightColor{
        u"HighlightColor", fields::member<&isButton::m_highlightColor>(), Redraw};
    static constexpr Property<OleColor> fontColor{u"FontColor",
                                                  fields::member<&isButton::m_fontColor>(), Redraw};
    static constexpr Property<OleColor> fontHighlightColor{
        u"FontHighlightColor", fields::member<&isButton::m_fontHighlightColor>(), Redraw};
    static constexpr Property<QString> toolTipText{
        u"ToolTipText", fields::recorded<&isButton::m_toolTipText, &isButton::setToolTipRecord>(),
        ToolTip | Redraw};
    static constexpr Property<QString> toolTipTitle{
        u"TooltipTitle", fields::member<&isButton::m_toolTipTitle>(), Redraw};
    static constexpr Property<int> toolTipIcon{u"TooltipIcon",
                                               fields::member<&isButton::m_toolTipIcon>(), Redraw};
    static constexpr Property<int> toolTipType{u"ToolTipType",
                                               fields::member<&isButton::m_toolTipType>(), Redraw};
    static constexpr Property<OleColor> toolTipBackColor{
        u"ToolTipBackColor", fields::member<&isButton::m_toolTipBackColor>(), Redraw};
    static constexpr Property<OleColor> toolTipForeColor{
        u"ToolTipForeColor", fields::member<&isButton::m_toolTipForeColor>(), Redraw};
    static constexpr Property<QFont> font{u"Font",
                                          {[](const isButton& b) { return b.font(); },
                                           [](isButton& b, const QFont& value) {
                                               b.setFont(value);
                                           }},
                                          Redraw};
    static constexpr Property<ButtonTypeValue> buttonType{
        u"ButtonType", fields::member<&isButton::m_buttonType>(), Redraw};
    static constexpr Property<bool> value{u"Value", fields::member<&isButton::m_value>(), Redraw};
    static constexpr Property<OleColor> maskColor{u"MaskColor",
                                                  fields::member<&isButton::m_maskColor>(), Redraw};
    static constexpr Property<bool> useMaskColor{
        u"UseMaskColor", fields::member<&isButton::m_useMaskColor>(), Redraw};
    // The pointer goes straight to the surface; nothing to repaint.
    static constexpr Property<int> mousePointer{
        u"MousePointer",
        fields::recorded<&isButton::m_mousePointer, &isButton::setMousePointerRecord>(),
        {}};
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
