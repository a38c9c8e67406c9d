#include "controls/isButton/color.h"

#include <algorithm>
#include <cmath>

namespace orvana::controls {

namespace {

int clampChannel(int v) {
    return std::clamp(v, 0, 255);
}

} // namespace

int RoundHalfEven(double v) {
    return int(std::nearbyint(v));
}

QColor ToQColor(OleColor c) {
    return QColor(RedOf(c), GreenOf(c), BlueOf(c));
}

OleColor FromQColor(const QColor& c) {
    return RGB(c.red(), c.green(), c.blue());
}

OleColor OffsetColor(OleColor colour, int delta) {
    return RGB(clampChannel(RedOf(colour) + delta), clampChannel(GreenOf(colour) + delta),
               clampChannel(BlueOf(colour) + delta));
}

OleColor LightenColor(OleColor colour, int amount) {
    auto ch = [amount](int c) {
        return clampChannel(amount + (255 - amount) * c / 255);
    };
    return RGB(ch(RedOf(colour)), ch(GreenOf(colour)), ch(BlueOf(colour)));
}

OleColor MixColors(OleColor a, OleColor b) {
    auto ch = [](int x, int y) {
        return RoundHalfEven((x + y) / 2.0);
    };
    return RGB(ch(RedOf(a), RedOf(b)), ch(GreenOf(a), GreenOf(b)), ch(BlueOf(a), BlueOf(b)));
}

OleColor GrayOf(OleColor colour) {
    const int v = RoundHalfEven(RedOf(colour) / 3.0 + GreenOf(colour) / 3.0 + BlueOf(colour) / 3.0);
    return RGB(v, v, v);
}

OleColor SystemColor(const QPalette& palette, SysColor which) {
    auto role = [&palette](QPalette::ColorRole r) {
        return FromQColor(palette.color(QPalette::Active, r));
    };
    switch (which) {
    case SysColor::Window:
        return role(QPalette::Base);
    case SysColor::WindowText:
        return role(QPalette::Text);
    case SysColor::Highlight:
        return role(QPalette::Highlight);
    case SysColor::HighlightText:
        return role(QPalette::HighlightedText);
    case SysColor::ButtonFace:
        return role(QPalette::Button);
    case SysColor::ButtonShadow:
        return role(QPalette::Dark);
    case SysColor::GrayText:
        return FromQColor(palette.color(QPalette::Disabled, QPalette::ButtonText));
    case SysColor::ButtonText:
        return role(QPalette::ButtonText);
    case SysColor::ButtonHighlight:
        return role(QPalette::Light);
    case SysColor::DarkShadow:
        return role(QPalette::Shadow);
    case SysColor::ButtonLight:
        return role(QPalette::Midlight);
    case SysColor::InfoText:
        return role(QPalette::ToolTipText);
    case SysColor::InfoBackground:
        return role(QPalette::ToolTipBase);
    }
    return kInvalidColor;
}

OleColor TranslateColor(OleColor colour, const QPalette& palette) {
    const uint32_t high = colour >> 24;
    if (high == 0)
        return colour;
    if (high != 0x80)
        return kInvalidColor;
    switch (SysColor(colour & 0x00FFFFFFu)) {
    case SysColor::Window:
    case SysColor::WindowText:
    case SysColor::Highlight:
    case SysColor::HighlightText:
    case SysColor::ButtonFace:
    case SysColor::ButtonShadow:
    case SysColor::GrayText:
    case SysColor::ButtonText:
    case SysColor::ButtonHighlight:
    case SysColor::DarkShadow:
    case SysColor::ButtonLight:
    case SysColor::InfoText:
    case SysColor::InfoBackground:
        return SystemColor(palette, SysColor(colour & 0x00FFFFFFu));
    }
    return kInvalidColor;
}

} // namespace orvana::controls
