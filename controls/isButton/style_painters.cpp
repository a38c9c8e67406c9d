#include "controls/isButton/style_painters.h"

#include "controls/isButton/draw.h"

#include <QStyle>
#include <QStyleOptionButton>
#include <QWidget>
#include <cmath>
#include <vector>

namespace orvana::controls {

namespace {

bool g_themeActive = true;

constexpr OleColor kBlack = 0;

bool pressed(const PaintContext& c) {
    return c.state == 3;
}
bool hot(const PaintContext& c) {
    return c.state == 2;
}
bool disabled(const PaintContext& c) {
    return c.state == 4;
}

// Face colour of styles 0 to 4.
OleColor faceColour(const PaintContext& c, int style) {
    if (!c.useCustomColors)
        return c.sys(SysColor::ButtonFace);
    const bool useBack = (style == 0 && c.state == 1) ||
                         ((style == 1 || style == 2) && (c.state == 1 || c.state == 4));
    return useBack ? c.backColor : c.highlightColor;
}

// A window region as one span of columns per row (every shape here is convex row by row), so
// painters can ask about single pixels cheaply.
class RowShape {
public:
    RowShape(const QRegion& region, int H) : m_left(H, 0), m_right(H, -1) {
        for (const QRect& r : region) {
            for (int y = std::max(0, r.top()); y <= std::min(H - 1, r.bottom()); ++y) {
                if (m_right[y] < m_left[y]) {
                    m_left[y] = r.left();
                    m_right[y] = r.right();
                } else {
                    m_left[y] = std::min(m_left[y], r.left());
                    m_right[y] = std::max(m_right[y], r.right());
                }
            }
        }
    }
    [[nodiscard]] bool inside(int x, int y) const {
        return y >= 0 && y < int(m_left.size()) && x >= m_left[y] && x <= m_right[y];
    }
    // Inside, with one of the four neighbours outside.
    [[nodiscard]] bool edge(int x, int y) const {
        return inside(x, y) &&
               (!inside(x - 1, y) || !inside(x + 1, y) || !inside(x, y - 1) || !inside(x, y + 1));
    }
    [[nodiscard]] int left(int y) const { return m_left[y]; }
    [[nodiscard]] int right(int y) const { return m_right[y]; }

private:
    std::vector<int> m_left;
    std::vector<int> m_right;
};

// Paints every pixel on the region's edge, which makes an outline that follows cut corners.
void outlineRegion(PaintContext& c, const QRegion& region, OleColor colour) {
    const RowShape shape(region, c.H);
    for (int y = 0; y < c.H; ++y)
        for (int x = std::max(0, shape.left(y)); x <= std::min(c.W - 1, shape.right(y)); ++x)
            if (shape.edge(x, y))
                SetPixel(c.p, x, y, colour);
}

bool paintClassic(PaintContext& c) {
    c.SetBackground(faceColour(c, 0));
    DrawEdgeBox(c.p, c.palette, 0, 0, c.W, c.H, pressed(c) ? EDGE_SUNKEN : EDGE_RAISED, BF_RECT);
    if ((c.showFocus && c.focused) || (!c.focused && c.displayAsDefault))
        DrawFrameRect(c.p, 0, 0, c.W - 1, c.H - 1, kBlack);
    return true;
}

bool paintSoft(PaintContext& c) {
    const OleColor face = faceColour(c, 1);
    c.SetBackground(face);
    if (pressed(c))
        DrawEdgeBox(c.p, c.palette, 0, 0, c.W, c.H, BDR_SUNKENOUTER, BF_RECT);
    else if (disabled(c))
        DrawFrameRect(c.p, 0, 0, c.W - 1, c.H - 1, face);
    else
        DrawEdgeBox(c.p, c.palette, 0, 0, c.W, c.H, BDR_RAISEDINNER, BF_RECT);
    return true;
}

bool paintFlat(PaintContext& c) {
    const OleColor face = faceColour(c, 2);
    c.SetBackground(face);
    if (hot(c))
        DrawEdgeBox(c.p, c.palette, 0, 0, c.W, c.H, BDR_RAISEDINNER, BF_RECT);
    else if (pressed(c))
        DrawEdgeBox(c.p, c.palette, 0, 0, c.W, c.H, BDR_SUNKENOUTER, BF_RECT);
    else
        DrawFrameRect(c.p, 0, 0, c.W - 1, c.H - 1, face);
    return true;
}

bool paintEtched(PaintContext& c) {
    const OleColor face = c.sys(SysColor::ButtonFace);
    const OleColor shadow = c.sys(SysColor::ButtonShadow);
    c.SetBackground(c.useCustomColors ? c.backColor : face);
    OleColor fill = c.useCustomColors ? c.backColor : face;
    if (hot(c))
        fill =
            c.useCustomColors ? MixColors(c.highlightColor, c.backColor) : MixColors(shadow, face);
    else if (pressed(c))
        fill = c.useCustomColors ? c.highlightColor : shadow;
    FillBox(c.p, 4, 4, c.W - 8, c.H - 8, fill);
    DrawEtchedFrame(c.p, 0, 0, c.W - 1, c.H - 1, shadow, c.sys(SysColor::Window), fill);
    return true;
}

bool paintTinted(PaintContext& c) {
    c.SetBackground(faceColour(c, 4));
    const OleColor base = c.useCustomColors ? c.highlightColor : c.sys(SysColor::Highlight);
    const OleColor face = c.useCustomColors ? c.backColor : c.sys(SysColor::ButtonFace);
    if (hot(c) || pressed(c)) {
        FillBox(c.p, 0, 0, c.W - 1, c.H - 1, LightenColor(base, hot(c) ? 176 : 128));
        DrawFrameRect(c.p, 0, 0, c.W - 1, c.H - 1, base);
    } else {
        FillBox(c.p, 0, 0, c.W, c.H, LightenColor(face, 32));
    }
    return true;
}

// Style 5: every colour is either the fixed colour of the system look or, with custom colours,
// BackColor moved by a fixed delta.
struct Bevel {
    const PaintContext& c;
    [[nodiscard]] OleColor operator()(OleColor fixed, int delta) const {
        return c.useCustomColors ? OffsetColor(c.backColor, delta) : fixed;
    }
};

void bevelFrame(PaintContext& c, const Bevel& col) {
    const int F = c.W - 1, G = c.W - 2, X3 = c.W - 3, Y1 = c.H - 1, Y2 = c.H - 2, Y3 = c.H - 3;
    const OleColor frame = col(RGB(0, 60, 116), -160);
    DrawLine(c.p, 1, 0, F, 0, frame);
    DrawLine(c.p, 0, 1, 0, Y1, frame);
    DrawLine(c.p, F, 1, F, Y1, frame);
    DrawLine(c.p, 1, Y1, F, Y1, frame);
    const OleColor c1 = col(RGB(72, 110, 144), -120);
    for (auto [x, y] : {std::pair{1, 1}, {1, Y2}, {G, 1}, {G, Y2}})
        SetPixel(c.p, x, y, c1);
    const OleColor c2 = col(RGB(106, 139, 162), -90);
    for (auto [x, y] :
         {std::pair{0, 1}, {1, 0}, {1, Y1}, {0, Y2}, {F, Y2}, {G, Y1}, {G, 0}, {F, 1}})
        SetPixel(c.p, x, y, c2);
    const OleColor c3 = col(RGB(191, 199, 202), -40);
    for (auto [x, y] :
         {std::pair{1, 2}, {2, 1}, {2, Y2}, {1, Y3}, {G, Y3}, {X3, Y2}, {X3, 1}, {G, 2}})
        SetPixel(c.p, x, y, c3);
}

bool paintBevelGradient(PaintContext& c) {
    const Bevel col{c};
    const int W = c.W, H = c.H, F = W - 1, G = W - 2, X3 = W - 3, Y1 = H - 1, Y2 = H - 2,
              Y3 = H - 3, K = H - 5;
    if (disabled(c)) {
        c.SetBackground(col(RGB(245, 244, 234), 8));
        DrawFrameRect(c.p, 0, 0, F, Y1, col(RGB(201, 199, 186), -36));
        const OleColor px = col(RGB(216, 213, 199), -22);
        for (auto [x, y] : {std::pair{0, 1},
                            {1, 1},
                            {1, 0},
                            {0, Y2},
                            {1, Y2},
                            {1, Y1},
                            {F, 1},
                            {G, 1},
                            {G, 0},
                            {F, Y2},
                            {G, Y2},
                            {G, Y1}})
            SetPixel(c.p, x, y, px);
        return true;
    }
    c.SetBackground(c.useCustomColors ? c.backColor : c.sys(SysColor::ButtonFace));
    if (pressed(c)) {
        GradientV(c.p, col(RGB(209, 204, 193), -37), col(RGB(228, 227, 220), -21), 2, 1, F, 4);
        GradientV(c.p, col(RGB(228, 227, 220), -21), col(RGB(227, 226, 219), -5), 2, 4, F, H - 8);
        GradientV(c.p, col(RGB(227, 226, 219), -5), col(RGB(242, 241, 238), 5), 3, H - 4, F, 3);
        GradientV(c.p, col(RGB(218, 216, 206), -32), col(RGB(227, 226, 219), -22), 1, 3, 2, K);
        GradientV(c.p, col(RGB(218, 216, 206), -24), col(RGB(227, 226, 219), -15), 2, 4, 3, H - 7);
        bevelFrame(c, col);
        return true;
    }
    GradientV(c.p, col(RGB(252, 252, 251), 16), col(RGB(240, 240, 240), 4), 1, 1, G, 4);
    GradientV(c.p, col(RGB(250, 250, 249), 14), col(RGB(240, 240, 234), 2), 1, 4, G, H - 8);
    GradientV(c.p, col(RGB(235, 235, 230), -1), col(RGB(214, 208, 197), -24), 1, H - 4, G, 3);
    GradientV(c.p, col(RGB(251, 251, 250), 15), col(RGB(228, 226, 218), -8), X3, 3, G, K);
    GradientV(c.p, col(RGB(245, 244, 242), 9), col(RGB(219, 215, 205), -17), G, 3, F, K);
    bevelFrame(c, col);
    if (hot(c)) {
        DrawLine(c.p, 2, 1, G, 1, col(RGB(255, 240, 207), 40));
        DrawLine(c.p, 2, 2, G, 2, col(RGB(253, 216, 137), 28));
        DrawLine(c.p, 2, Y3, G, Y3, col(RGB(248, 179, 48), -28));
        DrawLine(c.p, 2, Y2, G, Y2, col(RGB(229, 151, 16), -40));
        GradientV(c.p, col(RGB(253, 216, 137), 28), col(RGB(248, 179, 48), -28), 1, 2, 3, K);
        GradientV(c.p, col(RGB(253, 216, 137), 28), col(RGB(248, 179, 48), -28), X3, 2, F, K);
    } else if (c.focused || c.displayAsDefault) {
        DrawLine(c.p, 2, Y2, G, Y2, col(RGB(105, 130, 238), -64));
        DrawLine(c.p, 2, 1, G, 1, col(RGB(206, 231, 255), 8));
        DrawLine(c.p, 2, 2, G, 2, col(RGB(188, 212, 246), -8));
        DrawLine(c.p, 2, Y3, G, Y3, col(RGB(137, 173, 228), -48));
        GradientV(c.p, col(RGB(188, 212, 246), -8), col(RGB(137, 173, 228), -48), 1, 2, 3, K);
        GradientV(c.p, col(RGB(188, 212, 246), -8), col(RGB(137, 173, 228), -48), X3, 2, F, K);
    }
    return true;
}

bool paintSystemTheme(PaintContext& c) {
    c.SetBackground(c.sys(SysColor::ButtonFace));
    if (!g_themeActive || c.widget == nullptr)
        return false;
    QStyleOptionButton opt;
    opt.initFrom(c.widget);
    opt.rect = QRect(0, 0, c.W, c.H);
    opt.palette = c.palette;
    opt.state &= ~(QStyle::State_HasFocus | QStyle::State_MouseOver | QStyle::State_Sunken |
                   QStyle::State_Enabled);
    const int themeState = (c.focused && c.state == 1) ? 5 : c.state;
    if (themeState != 4)
        opt.state |= QStyle::State_Enabled;
    if (themeState == 2)
        opt.state |= QStyle::State_MouseOver;
    if (themeState == 3)
        opt.state |= QStyle::State_Sunken;
    if (themeState == 5) {
        opt.state |= QStyle::State_HasFocus;
        opt.features |= QStyleOptionButton::DefaultButton;
    }
    c.p.save();
    c.p.setClipRect(opt.rect);
    c.widget->style()->drawControl(QStyle::CE_PushButtonBevel, &opt, &c.p, c.widget);
    c.p.restore();
    return true;
}

bool paintGradientFace(PaintContext& c) {
    const int W = c.W, H = c.H;
    OleColor base = c.useCustomColors ? c.backColor : c.sys(SysColor::ButtonFace);
    if (hot(c))
        base = OffsetColor(base, 24);
    else if (pressed(c) && c.useCustomColors)
        base = c.highlightColor;
    c.SetBackground(base);
    const int top = pressed(c) ? -16 : 16;
    const int steps = disabled(c) ? 0 : H - 3;
    GradientV(c.p, OffsetColor(base, top), OffsetColor(base, -top), 1, 1, W - 1, steps);
    if (disabled(c))
        FillBox(c.p, 1, 1, W - 2, H - 2, base);
    else {
        GradientV(c.p, OffsetColor(base, pressed(c) ? -21 : 21),
                  OffsetColor(base, pressed(c) ? 21 : -21), 1, 2, 2, H - 5);
        GradientV(c.p, OffsetColor(base, -5), OffsetColor(base, -32), W - 2, 2, W - 1, H - 5);
    }
    outlineRegion(c, BuildRegion(RegionShape::PolygonA, W, H),
                  OffsetColor(base, disabled(c) ? -48 : -96));
    return true;
}

bool paintGradientChamfer(PaintContext& c) {
    const int W = c.W, H = c.H;
    const OleColor face = c.useCustomColors ? c.backColor : c.sys(SysColor::ButtonFace);
    OleColor base = face;
    if (!(c.state == 1))
        base = c.useCustomColors ? c.highlightColor : OffsetColor(face, 15);
    c.SetBackground(base);
    const bool down = pressed(c);
    GradientV(c.p, OffsetColor(base, down ? -15 : 15), OffsetColor(base, down ? 15 : -15), 2, 2,
              W - 3, H - 6);
    const OleColor light = OffsetColor(base, 96);
    const OleColor topLeft = down ? base : light;
    const OleColor bottomRight = down ? light : base;
    DrawLine(c.p, 2, 1, W - 3, 1, topLeft);
    DrawLine(c.p, 1, 2, 1, H - 3, topLeft);
    DrawLine(c.p, 2, H - 3, W - 3, H - 3, bottomRight);
    DrawLine(c.p, W - 3, 2, W - 3, H - 2, bottomRight);
    // Only focus darkens the outline; the last column and row keep the base colour.
    const OleColor outline = OffsetColor(face, !down && c.focused ? -96 : -48);
    DrawLine(c.p, 2, 0, W - 3, 0, outline);
    DrawLine(c.p, 0, 2, 0, H - 3, outline);
    DrawLine(c.p, W - 2, 2, W - 2, H - 3, outline);
    DrawLine(c.p, 2, H - 2, W - 3, H - 2, outline);
    for (auto [x, y] : {std::pair{1, 1}, {1, H - 3}, {W - 3, 1}, {W - 3, H - 3}})
        SetPixel(c.p, x, y, outline);
    DrawFrameRect(c.p, 3, 3, W - 7, H - 7, OffsetColor(base, 15));
    return true;
}

bool paintGradientDeep(PaintContext& c) {
    const int W = c.W, H = c.H;
    const OleColor back = c.useCustomColors ? c.backColor : c.sys(SysColor::ButtonFace);
    const OleColor high = c.useCustomColors ? c.highlightColor : c.sys(SysColor::ButtonFace);
    OleColor base = OffsetColor(back, -15);
    if (disabled(c))
        base = OffsetColor(back, 15);
    else if (hot(c))
        base = OffsetColor(high, 1);
    else if (pressed(c))
        base = OffsetColor(high, 24);
    c.SetBackground(base);
    const bool down = pressed(c);
    const int sign = down ? -1 : 1;
    auto o = [base](int delta) {
        return OffsetColor(base, delta);
    };
    // The face reaches row H-3 like the side columns, so no row of bare base shows between
    // it and the bottom band.
    GradientV(c.p, o(32 * sign), o(-32 * sign), 5, 2, W - 5, H - 5);
    // Side columns: a bright rim fading into the face on the left, a shadow on the right.
    const int left[] = {128, 37, 5, 5};
    const int right[] = {-53, -37, -5, -5};
    for (int i = 0; i < 4; ++i) {
        GradientV(c.p, o(left[i] * sign), o(-32), 1 + i, 2, 2 + i, H - 5);
        GradientV(c.p, o(right[i] * sign), o(-32), W - 2 - i, 2, W - 1 - i, H - 5);
    }
    // Top and bottom bands fade along the width.
    GradientH(c.p, o(down ? -37 : 64), o(down ? -5 : 16), 2, 1, 2, W - 5);
    GradientH(c.p, o(down ? 16 : -53), o(down ? 37 : -32), 2, H - 2, H - 1, W - 5);
    outlineRegion(c, BuildRegion(RegionShape::PolygonB, W, H), o(disabled(c) ? -48 : -128));
    return true;
}

// Style 10: a fixed skin. The centre is one flat colour; the rim is built pixel by pixel from
// row colours, an outline along the rounded region and a bright inner line along the top half.
struct Skin {
    OleColor centre, top, bottom, outline, innerLight;
};

constexpr Skin kSkinNormal{RGB(232, 231, 234), RGB(252, 252, 253), RGB(204, 202, 210),
                           RGB(118, 116, 128), RGB(255, 255, 255)};
constexpr Skin kSkinHot{RGB(226, 240, 252), RGB(248, 252, 255), RGB(176, 210, 240),
                        RGB(60, 127, 177), RGB(255, 255, 255)};
constexpr Skin kSkinPressed{RGB(196, 224, 246), RGB(160, 198, 228), RGB(214, 234, 250),
                            RGB(44, 98, 139), RGB(150, 190, 222)};

void paintSkin(PaintContext& c, const Skin& skin) {
    const int W = c.W, H = c.H;
    FillBox(c.p, 18, 11, W - 34, H - 19, skin.centre);
    const RowShape shape(BuildRegion(RegionShape::RoundedRect, W, H), H);
    const QRect centre(18, 11, std::max(0, W - 34), std::max(0, H - 19));
    for (int y = 0; y < H; ++y) {
        OleColor row = skin.centre;
        if (y < 11)
            row = GradientStep(skin.top, skin.centre, y, 11);
        else if (y >= H - 8)
            row = GradientStep(skin.centre, skin.bottom, y - (H - 8), 7);
        for (int x = std::max(0, shape.left(y)); x <= std::min(W - 1, shape.right(y)); ++x) {
            if (centre.contains(x, y))
                continue;
            OleColor px = row;
            if (shape.edge(x, y))
                px = skin.outline;
            else if (y < H / 2 &&
                     (shape.edge(x - 1, y) || shape.edge(x, y - 1) || shape.edge(x + 1, y)))
                px = skin.innerLight;
            SetPixel(c.p, x, y, px);
        }
    }
}

bool paintRoundedSkin(PaintContext& c) {
    c.SetBackground(c.sys(SysColor::ButtonFace));
    const bool idle = c.state == 1 || c.state == 4;
    if (idle && !c.focused)
        paintSkin(c, kSkinNormal);
    else if (c.state == 2 || idle)
        paintSkin(c, kSkinHot);
    else
        paintSkin(c, kSkinPressed);
    return true;
}

constexpr StyleEntry kStyles[] = {
    {paintClassic, RegionShape::Rectangle, 4},
    {paintSoft, RegionShape::Rectangle, 4},
    {paintFlat, RegionShape::Rectangle, 4},
    {paintEtched, RegionShape::Rectangle, 4},
    {paintTinted, RegionShape::Rectangle, 4},
    {paintBevelGradient, RegionShape::PolygonA, 5},
    {paintSystemTheme, RegionShape::Rectangle, 4},
    {paintGradientFace, RegionShape::PolygonA, 5},
    {paintGradientChamfer, RegionShape::PolygonB, 4},
    {paintGradientDeep, RegionShape::PolygonB, 7},
    {paintRoundedSkin, RegionShape::RoundedRect, 7},
};

} // namespace

void PaintContext::SetBackground(OleColor colour) {
    surfaceBack = colour;
    p.fillRect(0, 0, W, H, ToQColor(colour));
}

void SetThemeActiveFlag(bool active) {
    g_themeActive = active;
}
bool ThemeActiveFlag() {
    return g_themeActive;
}

const StyleEntry* StyleTable(int style) {
    if (style < 0 || style > 10)
        return nullptr;
    return &kStyles[style];
}

QPolygon PolygonA(int W, int H) {
    return QPolygon({QPoint(0, 1), QPoint(1, 0), QPoint(W - 1, 0), QPoint(W, 1), QPoint(W, H - 2),
                     QPoint(W - 2, H), QPoint(2, H), QPoint(0, H - 2)});
}

QPolygon PolygonB(int W, int H) {
    return QPolygon({QPoint(0, 2), QPoint(2, 0), QPoint(W - 3, 0), QPoint(W, 3), QPoint(W, H - 3),
                     QPoint(W - 3, H), QPoint(4, H), QPoint(0, H - 4)});
}

QRegion BuildRegion(RegionShape shape, int W, int H) {
    switch (shape) {
    case RegionShape::Rectangle:
        return QRegion(0, 0, W, H);
    case RegionShape::PolygonA:
        return QRegion(PolygonA(W, H), Qt::OddEvenFill);
    case RegionShape::PolygonB:
        return QRegion(PolygonB(W, H), Qt::OddEvenFill);
    case RegionShape::RoundedRect: {
        // Built row by row so that the four 18 x 18 corners are exact mirror images: a pixel
        // belongs to the shape when its centre lies inside the corner circle of radius 9.
        constexpr double r = 9.0;
        QRegion region;
        for (int y = 0; y < H; ++y) {
            const double cy = y + 0.5;
            double dy = 0;
            if (cy < r)
                dy = r - cy;
            else if (cy > H - r)
                dy = cy - (H - r);
            const int inset =
                dy >= r ? W : int(std::ceil(r - std::sqrt(r * r - dy * dy) - 0.5 - 1e-9));
            if (W - 2 * inset > 0)
                region += QRect(inset, y, W - 2 * inset, 1);
        }
        return region;
    }
    }
    return QRegion(0, 0, W, H);
}

} // namespace orvana::controls
