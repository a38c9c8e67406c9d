#pragma once

#include "controls/isButton/color.h"

#include <QImage>
#include <QPainter>
#include <QPalette>
#include <QPolygon>
#include <QRegion>

class QWidget;

namespace orvana::controls {

// What a style painter may read and change while one frame is painted.
struct PaintContext {
    QPainter& p;
    QImage& image;
    const QPalette& palette;
    QWidget* widget; // the control, for the style-6 theme painter
    int W;
    int H;
    int state; // effective state 1..4
    bool focused;
    bool displayAsDefault;
    bool showFocus;
    bool useCustomColors;
    OleColor backColor;
    OleColor highlightColor;
    OleColor surfaceBack; // the surface's background colour; SetBackground repaints it

    [[nodiscard]] OleColor sys(SysColor which) const { return SystemColor(palette, which); }
    // Makes c the background colour, which clears the whole surface to it.
    void SetBackground(OleColor c);
};

// Paints face and frame; false when the style could not paint (style 6 without a theme).
using StylePainter = bool (*)(PaintContext&);

enum class RegionShape { Rectangle, PolygonA, PolygonB, RoundedRect };

struct StyleEntry {
    StylePainter paint;
    RegionShape region;
    int iconMargin;
};

// The entry of a style value, or nullptr for a value outside 0..10.
[[nodiscard]] const StyleEntry* StyleTable(int style);

// Whether a visual-styles theme is active (style 6). Application-wide; GUI thread only.
void SetThemeActiveFlag(bool active);
[[nodiscard]] bool ThemeActiveFlag();

// The clip region of a control of W x H pixels.
[[nodiscard]] QRegion BuildRegion(RegionShape shape, int W, int H);
[[nodiscard]] QPolygon PolygonA(int W, int H);
[[nodiscard]] QPolygon PolygonB(int W, int H);

} // namespace orvana::controls
