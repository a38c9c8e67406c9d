#pragma once

#include <QColor>
#include <QPalette>
#include <cstdint>

namespace orvana::controls {

// A colour as stored and compared: 0x00BBGGRR. A value with the high bit set is a reference to
// a system colour (0x80000000 | index), resolved through TranslateColor.
using OleColor = uint32_t;

inline constexpr OleColor kInvalidColor = 0xFFFFFFFFu;

// System colour indices that the control uses; the values are the classic indices so that a
// stored reference such as 0x8000000F (button face) keeps its meaning.
enum class SysColor : uint32_t {
    Window = 5,
    WindowText = 8,
    Highlight = 13,
    HighlightText = 14,
    ButtonFace = 15,
    ButtonShadow = 16,
    GrayText = 17,
    ButtonText = 18,
    ButtonHighlight = 20,
    DarkShadow = 21,
    ButtonLight = 22,
    InfoText = 23,
    InfoBackground = 24,
};

[[nodiscard]] constexpr OleColor RGB(int r, int g, int b) {
    return OleColor(r & 0xFF) | (OleColor(g & 0xFF) << 8) | (OleColor(b & 0xFF) << 16);
}
[[nodiscard]] constexpr int RedOf(OleColor c) {
    return int(c & 0xFF);
}
[[nodiscard]] constexpr int GreenOf(OleColor c) {
    return int((c >> 8) & 0xFF);
}
[[nodiscard]] constexpr int BlueOf(OleColor c) {
    return int((c >> 16) & 0xFF);
}
[[nodiscard]] constexpr OleColor SysColorRef(SysColor c) {
    return 0x80000000u | uint32_t(c);
}

[[nodiscard]] QColor ToQColor(OleColor c);
[[nodiscard]] OleColor FromQColor(const QColor& c);

// Every channel plus delta, clamped to 0..255.
[[nodiscard]] OleColor OffsetColor(OleColor colour, int delta);
// Every channel c becomes amount + (255 - amount) * c / 255 (integer division), capped at 255.
[[nodiscard]] OleColor LightenColor(OleColor colour, int amount);
// Channel-wise average, halves rounded to even.
[[nodiscard]] OleColor MixColors(OleColor a, OleColor b);
// Grey of the channel mean R/3 + G/3 + B/3, halves rounded to even.
[[nodiscard]] OleColor GrayOf(OleColor colour);

// The palette role that stands for a system colour.
[[nodiscard]] OleColor SystemColor(const QPalette& palette, SysColor which);
// A plain colour is returned as is; a system-colour reference is looked up in the palette.
// kInvalidColor for an unknown reference or any other high byte.
[[nodiscard]] OleColor TranslateColor(OleColor colour, const QPalette& palette);

// Rounds halves to even, as the stored arithmetic does.
[[nodiscard]] int RoundHalfEven(double v);

} // namespace orvana::controls
