#include "controls/isButton/draw.h"

#include <cstdlib>

namespace orvana::controls {

void SetPixel(QPainter& p, int x, int y, OleColor colour) {
    p.fillRect(x, y, 1, 1, ToQColor(colour));
}

void DrawLine(QPainter& p, int x1, int y1, int x2, int y2, OleColor colour) {
    if (x1 == x2 && y1 == y2)
        return;
    const QColor c = ToQColor(colour);
    if (y1 == y2) {
        const int left = x2 > x1 ? x1 : x2 + 1;
        p.fillRect(left, y1, std::abs(x2 - x1), 1, c);
        return;
    }
    if (x1 == x2) {
        const int top = y2 > y1 ? y1 : y2 + 1;
        p.fillRect(x1, top, 1, std::abs(y2 - y1), c);
        return;
    }
    // Bresenham, stopping before the end point.
    const int dx = std::abs(x2 - x1), sx = x1 < x2 ? 1 : -1;
    const int dy = -std::abs(y2 - y1), sy = y1 < y2 ? 1 : -1;
    int err = dx + dy;
    int x = x1, y = y1;
    while (x != x2 || y != y2) {
        p.fillRect(x, y, 1, 1, c);
        const int e2 = 2 * err;
        if (e2 >= dy) {
            err += dy;
            x += sx;
        }
        if (e2 <= dx) {
            err += dx;
            y += sy;
        }
    }
}

void DrawFrameRect(QPainter& p, int x, int y, int w, int h, OleColor colour) {
    DrawLine(p, x, y, x + w, y, colour);
    DrawLine(p, x + w, y, x + w, y + h, colour);
    DrawLine(p, x + w, y + h, x, y + h, colour);
    DrawLine(p, x, y + h, x, y, colour);
}

void FillBox(QPainter& p, int x, int y, int w, int h, OleColor colour) {
    if (w > 0 && h > 0)
        p.fillRect(x, y, w, h, ToQColor(colour));
}

namespace {

// One ring of an edge: the top and left sides stop one short of the far corners, which belong to
// the bottom and right sides.
void edgeRing(QPainter& p, int l, int t, int r, int b, OleColor lt, OleColor rb, int flags) {
    if (r - l < 1 || b - t < 1)
        return;
    if (flags & BF_TOP)
        FillBox(p, l, t, r - l - 1, 1, lt);
    if (flags & BF_LEFT)
        FillBox(p, l, t, 1, b - t - 1, lt);
    if (flags & BF_BOTTOM)
        FillBox(p, l, b - 1, r - l, 1, rb);
    if (flags & BF_RIGHT)
        FillBox(p, r - 1, t, 1, b - t, rb);
}

} // namespace

void DrawEdgeBox(QPainter& p, const QPalette& palette, int x, int y, int w, int h, int edge,
                 int flags) {
    const OleColor light = SystemColor(palette, SysColor::ButtonHighlight);
    const OleColor midlight = SystemColor(palette, SysColor::ButtonLight);
    const OleColor dark = SystemColor(palette, SysColor::ButtonShadow);
    const OleColor shadow = SystemColor(palette, SysColor::DarkShadow);
    int l = x, t = y, r = x + w, b = y + h;
    const int outer = edge & (BDR_RAISEDOUTER | BDR_SUNKENOUTER);
    const int inner = edge & (BDR_RAISEDINNER | BDR_SUNKENINNER);
    if (outer) {
        if (outer & BDR_RAISEDOUTER)
            edgeRing(p, l, t, r, b, midlight, shadow, flags);
        else
            edgeRing(p, l, t, r, b, dark, light, flags);
        ++l, ++t, --r, --b;
    }
    if (inner) {
        if (inner & BDR_RAISEDINNER)
            edgeRing(p, l, t, r, b, light, dark, flags);
        else
            edgeRing(p, l, t, r, b, shadow, midlight, flags);
    }
}

OleColor GradientStep(OleColor from, OleColor to, int i, int steps) {
    if (steps <= 0)
        return from;
    auto ch = [i, steps](int a, int b) {
        return RoundHalfEven(a + double(i) * double(b - a) / double(steps));
    };
    return RGB(ch(RedOf(from), RedOf(to)), ch(GreenOf(from), GreenOf(to)),
               ch(BlueOf(from), BlueOf(to)));
}

void GradientV(QPainter& p, OleColor from, OleColor to, int x1, int y, int x2, int steps) {
    for (int i = 0; i <= steps; ++i)
        DrawLine(p, x1, y + i, x2, y + i, GradientStep(from, to, i, steps));
}

void GradientH(QPainter& p, OleColor from, OleColor to, int x, int y1, int y2, int steps) {
    for (int i = 0; i <= steps; ++i)
        DrawLine(p, x + i, y1, x + i, y2, GradientStep(from, to, i, steps));
}

void DrawEtchedFrame(QPainter& p, int x, int y, int w, int h, OleColor shadow, OleColor light,
                     OleColor back) {
    DrawFrameRect(p, x, y, w - 1, h - 1, shadow);
    DrawFrameRect(p, x + 1, y + 1, w - 1, h - 1, light);
    SetPixel(p, x, y + h, back);
    SetPixel(p, x + w, y, back);
    const OleColor mixed = MixColors(light, shadow);
    SetPixel(p, x + 1, y + h - 1, mixed);
    SetPixel(p, x + w - 1, y + 1, mixed);
}

} // namespace orvana::controls
