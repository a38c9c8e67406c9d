#include "controls/isButton/draw.h"
#include "controls/isButton/style_painters.h"
#include "support.h"

#include <QFocusEvent>
#include <QPainter>
#include <functional>
#include <gtest/gtest.h>

using namespace orvana::controls;
using namespace orvana::controls::testing;

namespace {

constexpr OleColor kFrame = RGB(0, 60, 116);
constexpr OleColor kCorner1 = RGB(72, 110, 144);
constexpr OleColor kCorner2 = RGB(106, 139, 162);
constexpr OleColor kCorner3 = RGB(191, 199, 202);

OleColor role(QPalette::ColorRole r) {
    return paletteColor(r);
}

void expectBevelFrame(const QImage& img, int W, int H) {
    const int F = W - 1, G = W - 2, Y1 = H - 1, Y2 = H - 2;
    EXPECT_EQ(at(img, 5, 0), kFrame);
    EXPECT_EQ(at(img, 0, 5), kFrame);
    EXPECT_EQ(at(img, F, 5), kFrame);
    EXPECT_EQ(at(img, 5, Y1), kFrame);
    for (auto [x, y] : {std::pair{1, 1}, {1, Y2}, {G, 1}, {G, Y2}})
        EXPECT_EQ(at(img, x, y), kCorner1) << x << "," << y;
    for (auto [x, y] :
         {std::pair{0, 1}, {1, 0}, {1, Y1}, {0, Y2}, {F, Y2}, {G, Y1}, {G, 0}, {F, 1}})
        EXPECT_EQ(at(img, x, y), kCorner2) << x << "," << y;
}

// Corner pixels that the hot and focus rims paint over.
void expectInnerCorners(const QImage& img, int W, int H) {
    EXPECT_EQ(at(img, 2, H - 2), kCorner3);
    EXPECT_EQ(at(img, W - 3, 1), kCorner3);
    EXPECT_EQ(at(img, 1, 2), kCorner3);
    EXPECT_EQ(at(img, W - 2, 2), kCorner3);
}

// A 16 x 16 icon of one opaque colour.
QPixmap solidIcon(const QColor& c) {
    QImage img(16, 16, QImage::Format_ARGB32);
    img.fill(c);
    return QPixmap::fromImage(img);
}

// Top-left pixel of the first red pixel found, scanning rows.
QPoint findRed(const QImage& img) {
    for (int y = 0; y < img.height(); ++y)
        for (int x = 0; x < img.width(); ++x)
            if (at(img, x, y) == RGB(255, 0, 0))
                return {x, y};
    return {-1, -1};
}

} // namespace

TEST(StyleBevelGradient, NormalLookHasFrameCornersAndBands) {
    auto b = shownButton(5);
    const QImage img = grabbed(*b);
    expectBevelFrame(img, 81, 33);
    expectInnerCorners(img, 81, 33);
    EXPECT_EQ(at(img, 5, 1), RGB(252, 252, 251));
    EXPECT_EQ(at(img, 5, 2), RGB(249, 249, 248));
    EXPECT_EQ(at(img, 5, 3), RGB(246, 246, 246));
    EXPECT_EQ(at(img, 5, 4), RGB(250, 250, 249));
    EXPECT_EQ(at(img, 5, 29), RGB(235, 235, 230));
    EXPECT_EQ(at(img, 5, 30), RGB(228, 226, 219));
    EXPECT_EQ(at(img, 78, 3), RGB(251, 251, 250));
    EXPECT_EQ(at(img, 79, 3), RGB(245, 244, 242));
    EXPECT_EQ(b->Frame(), img);
}

TEST(StyleBevelGradient, MinimumSizeKeepsPositiveSteps) {
    auto b = shownButton(5, 5, 5);
    EXPECT_EQ(b->size(), QSize(20, 20));
    const QImage img = grabbed(*b);
    expectBevelFrame(img, 20, 20);
    // The middle band has H - 8 = 12 steps: row 15 is its eleventh step.
    EXPECT_EQ(at(img, 5, 15), RGB(241, 241, 235));
    EXPECT_EQ(at(img, 5, 16), RGB(235, 235, 230));
}

TEST(StyleBevelGradient, HotLookAddsTheOrangeRim) {
    auto b = shownButton(5);
    sendMove(*b);
    ASSERT_EQ(b->State(), isButton::StateHot);
    const QImage img = grabbed(*b);
    expectBevelFrame(img, 81, 33);
    EXPECT_EQ(at(img, 5, 1), RGB(255, 240, 207));
    EXPECT_EQ(at(img, 5, 2), RGB(253, 216, 137));
    EXPECT_EQ(at(img, 5, 30), RGB(248, 179, 48));
    EXPECT_EQ(at(img, 5, 31), RGB(229, 151, 16));
    EXPECT_EQ(at(img, 1, 2), RGB(253, 216, 137));
    EXPECT_EQ(at(img, 79, 2), RGB(253, 216, 137));
    EXPECT_EQ(at(img, 80, 2), kFrame);
    EXPECT_EQ(at(img, 1, 30), RGB(248, 179, 48));
}

TEST(StyleBevelGradient, FocusedNormalLookHasTheBlueRim) {
    auto b = shownButton(5);
    QFocusEvent in(QEvent::FocusIn);
    QCoreApplication::sendEvent(b.get(), &in);
    const QImage img = grabbed(*b);
    EXPECT_EQ(at(img, 5, 1), RGB(206, 231, 255));
    EXPECT_EQ(at(img, 5, 31), RGB(105, 130, 238));
    EXPECT_EQ(at(img, 1, 2), RGB(188, 212, 246));
    EXPECT_EQ(at(img, 1, 30), RGB(137, 173, 228));
}

TEST(StyleBevelGradient, PressedAndDisabledLooks) {
    auto b = shownButton(5);
    sendPress(*b);
    QImage img = grabbed(*b);
    expectBevelFrame(img, 81, 33);
    expectInnerCorners(img, 81, 33);
    EXPECT_EQ(at(img, 5, 1), RGB(209, 204, 193));
    EXPECT_EQ(at(img, 1, 3), RGB(218, 216, 206));
    EXPECT_EQ(at(img, 2, 4), RGB(218, 216, 206));

    b->SetEnabled(false);
    img = grabbed(*b);
    EXPECT_EQ(b->State(), isButton::StateDisabled);
    EXPECT_EQ(at(img, 10, 10), RGB(245, 244, 234));
    EXPECT_EQ(at(img, 10, 0), RGB(201, 199, 186));
    EXPECT_EQ(at(img, 80, 10), RGB(201, 199, 186));
    for (auto [x, y] : {std::pair{0, 1}, {1, 1}, {1, 0}, {79, 31}, {79, 32}, {80, 31}})
        EXPECT_EQ(at(img, x, y), RGB(216, 213, 199)) << x << "," << y;
}

TEST(StyleBevelGradient, CustomColoursDeriveEverythingFromBackColor) {
    auto b = shownButton(5);
    b->SetUseCustomColors(true);
    b->SetBackColor(RGB(100, 150, 200));
    sendPress(*b);
    const QImage img = grabbed(*b);
    EXPECT_EQ(at(img, 5, 1), RGB(63, 113, 163)); // -37
    EXPECT_EQ(at(img, 5, 4), RGB(79, 129, 179)); // -21
    EXPECT_EQ(at(img, 1, 3), RGB(68, 118, 168)); // -32
}

TEST(ClassicStyles, RaisedAndSunkenEdgesUseThePaletteRoles) {
    auto b = shownButton(0);
    QImage img = grabbed(*b);
    EXPECT_EQ(at(img, 5, 0), role(QPalette::Midlight));
    EXPECT_EQ(at(img, 0, 5), role(QPalette::Midlight));
    EXPECT_EQ(at(img, 80, 5), role(QPalette::Shadow));
    EXPECT_EQ(at(img, 5, 32), role(QPalette::Shadow));
    EXPECT_EQ(at(img, 80, 0), role(QPalette::Shadow));
    EXPECT_EQ(at(img, 5, 1), role(QPalette::Light));
    EXPECT_EQ(at(img, 79, 5), role(QPalette::Dark));
    EXPECT_EQ(at(img, 10, 10), role(QPalette::Button));

    sendPress(*b);
    img = grabbed(*b);
    EXPECT_EQ(at(img, 5, 0), role(QPalette::Dark));
    EXPECT_EQ(at(img, 80, 5), role(QPalette::Light));
    EXPECT_EQ(at(img, 5, 1), role(QPalette::Shadow));
    EXPECT_EQ(at(img, 79, 5), role(QPalette::Midlight));
}

TEST(ClassicStyles, DefaultButtonGetsABlackOutlineUnlessFocusedWithoutShowFocus) {
    auto b = shownButton(0);
    b->SetDisplayAsDefault(true);
    QImage img = grabbed(*b);
    EXPECT_EQ(at(img, 5, 0), 0u);
    EXPECT_EQ(at(img, 80, 32), 0u);
    QFocusEvent in(QEvent::FocusIn);
    QCoreApplication::sendEvent(b.get(), &in);
    img = grabbed(*b);
    EXPECT_EQ(at(img, 5, 0), role(QPalette::Midlight));
    b->SetShowFocus(true);
    img = grabbed(*b);
    EXPECT_EQ(at(img, 5, 0), 0u);
}

TEST(ClassicStyles, SoftAndFlatEdgesByState) {
    auto soft = shownButton(1);
    QImage img = grabbed(*soft);
    EXPECT_EQ(at(img, 5, 0), role(QPalette::Light));
    EXPECT_EQ(at(img, 80, 5), role(QPalette::Dark));
    sendPress(*soft);
    img = grabbed(*soft);
    EXPECT_EQ(at(img, 5, 0), role(QPalette::Dark));
    EXPECT_EQ(at(img, 80, 5), role(QPalette::Light));

    auto flat = shownButton(2);
    img = grabbed(*flat);
    EXPECT_EQ(at(img, 5, 0), role(QPalette::Button));
    EXPECT_EQ(at(img, 80, 5), role(QPalette::Button));
    sendMove(*flat);
    img = grabbed(*flat);
    EXPECT_EQ(at(img, 5, 0), role(QPalette::Light));
    EXPECT_EQ(at(img, 80, 5), role(QPalette::Dark));
    sendPress(*flat);
    img = grabbed(*flat);
    EXPECT_EQ(at(img, 5, 0), role(QPalette::Dark));
}

TEST(StyleEtched, EtchedFrameBlendedCornersAndFillByState) {
    auto b = shownButton(3);
    const OleColor face = role(QPalette::Button), shadow = role(QPalette::Dark),
                   light = role(QPalette::Base);
    QImage img = grabbed(*b);
    EXPECT_EQ(at(img, 5, 0), shadow);
    EXPECT_EQ(at(img, 79, 5), shadow);
    EXPECT_EQ(at(img, 5, 1), light);
    EXPECT_EQ(at(img, 80, 5), light);
    EXPECT_EQ(at(img, 0, 32), face);
    EXPECT_EQ(at(img, 80, 0), face);
    EXPECT_EQ(at(img, 1, 31), MixColors(light, shadow));
    EXPECT_EQ(at(img, 79, 1), MixColors(light, shadow));
    EXPECT_EQ(at(img, 10, 10), face);

    sendMove(*b);
    img = grabbed(*b);
    EXPECT_EQ(at(img, 10, 10), MixColors(shadow, face));
    EXPECT_EQ(at(img, 2, 2), face);
    EXPECT_EQ(at(img, 80, 0), MixColors(shadow, face));
    sendPress(*b);
    img = grabbed(*b);
    EXPECT_EQ(at(img, 10, 10), shadow);
}

TEST(StyleTinted, TintsFromTheHighlightColour) {
    auto b = shownButton(4);
    b->SetUseCustomColors(true);
    b->SetBackColor(RGB(0, 0, 0));
    b->SetHighlightColor(RGB(0, 120, 215));
    QImage img = grabbed(*b);
    EXPECT_EQ(at(img, 10, 10), RGB(32, 32, 32));
    EXPECT_EQ(at(img, 80, 32), RGB(32, 32, 32));
    sendMove(*b);
    img = grabbed(*b);
    EXPECT_EQ(at(img, 10, 10), RGB(176, 213, 242));
    EXPECT_EQ(at(img, 0, 10), RGB(0, 120, 215));
    EXPECT_EQ(at(img, 80, 32), RGB(0, 120, 215));
    sendPress(*b);
    img = grabbed(*b);
    EXPECT_EQ(at(img, 10, 10), RGB(128, 187, 235));
}

TEST(WindowRegions, MasksFollowTheStyle) {
    auto rect = shownButton(0, 40, 20);
    EXPECT_TRUE(rect->mask().isEmpty());

    auto a = shownButton(5, 40, 20);
    const QRegion ra = a->mask();
    EXPECT_EQ(ra, BuildRegion(RegionShape::PolygonA, 40, 20));
    for (auto [x, y] : {std::pair{0, 0}, {39, 0}, {0, 19}, {39, 19}})
        EXPECT_FALSE(ra.contains(QPoint(x, y))) << x << "," << y;
    for (auto [x, y] : {std::pair{1, 0}, {0, 1}, {38, 0}, {39, 1}, {1, 19}, {38, 19}, {20, 10}})
        EXPECT_TRUE(ra.contains(QPoint(x, y))) << x << "," << y;

    auto bb = shownButton(8, 40, 20);
    const QRegion rb = bb->mask();
    EXPECT_EQ(rb, BuildRegion(RegionShape::PolygonB, 40, 20));
    for (auto [x, y] : {std::pair{1, 0}, {0, 1}, {37, 0}, {39, 2}, {39, 18}, {2, 19}, {0, 17}})
        EXPECT_FALSE(rb.contains(QPoint(x, y))) << x << "," << y;
    for (auto [x, y] : {std::pair{2, 0}, {0, 2}, {36, 0}, {39, 3}, {0, 16}, {3, 19}, {37, 19}})
        EXPECT_TRUE(rb.contains(QPoint(x, y))) << x << "," << y;

    auto round = shownButton(10, 60, 30);
    const QRegion rr = round->mask();
    // Four mirror-image corners of radius 9.
    for (int y = 0; y < 30; ++y)
        for (int x = 0; x < 60; ++x)
            ASSERT_EQ(rr.contains(QPoint(x, y)), rr.contains(QPoint(59 - x, 29 - y)))
                << x << "," << y;
    for (auto [x, y] : {std::pair{0, 0}, {2, 2}, {5, 0}, {0, 5}, {59, 29}})
        EXPECT_FALSE(rr.contains(QPoint(x, y))) << x << "," << y;
    for (auto [x, y] : {std::pair{9, 0}, {0, 9}, {3, 3}, {30, 0}, {0, 15}, {30, 15}})
        EXPECT_TRUE(rr.contains(QPoint(x, y))) << x << "," << y;

    // The region follows a style change and a resize.
    round->SetStyle(0);
    EXPECT_TRUE(round->mask().isEmpty());
    a->resize(50, 24);
    EXPECT_EQ(a->mask(), BuildRegion(RegionShape::PolygonA, 50, 24));
}

TEST(StyleRoundedSkin, CentreFillAndPainterByState) {
    auto b = shownButton(10, 81, 33);
    QImage img = grabbed(*b);
    EXPECT_EQ(at(img, 40, 16), RGB(232, 231, 234));
    EXPECT_EQ(at(img, 18, 11), RGB(232, 231, 234));
    EXPECT_EQ(at(img, 62, 24), RGB(232, 231, 234));
    const OleColor normalOutline = at(img, 40, 0);
    sendMove(*b);
    img = grabbed(*b);
    const OleColor hotCentre = at(img, 40, 16);
    EXPECT_NE(hotCentre, RGB(232, 231, 234));
    EXPECT_NE(at(img, 40, 0), normalOutline);
    sendPress(*b);
    img = grabbed(*b);
    EXPECT_NE(at(img, 40, 16), hotCentre);
    EXPECT_NE(at(img, 40, 16), RGB(232, 231, 234));
}

TEST(IconLayout, PositionByAlignmentAndStyleMargin) {
    struct Case {
        int style, align;
        QPoint expected;
    };
    // W 81, H 33, icon 16: centre x = 32.5 -> 32, centre y = 8.5 -> 8 (halves to even).
    const Case cases[] = {
        {0, 0, {32, 8}},  {0, 1, {4, 8}},   {0, 2, {61, 8}}, {0, 3, {32, 4}},
        {0, 4, {32, 13}}, {5, 1, {5, 8}},   {7, 2, {60, 8}}, {8, 1, {4, 8}},
        {9, 1, {7, 8}},   {10, 3, {32, 7}}, {6, 1, {4, 8}},
    };
    for (const Case& c : cases) {
        auto b = shownButton(c.style);
        b->SetIcon(solidIcon(Qt::red));
        b->SetIconAlign(isButton::IconAlignValue(c.align));
        EXPECT_EQ(findRed(grabbed(*b)), c.expected) << "style " << c.style << " align " << c.align;
    }
    auto b = shownButton(0);
    b->SetIcon(solidIcon(Qt::red));
    b->SetIconAlign(isButton::IconAlignLeft);
    sendPress(*b);
    EXPECT_EQ(findRed(grabbed(*b)), QPoint(5, 9));
    b->SetIconSize(8); // y = 12.5 -> 12, + 1 pressed
    EXPECT_EQ(findRed(grabbed(*b)), QPoint(5, 13));
}

TEST(IconLayout, TintedHotIconCastsAGreyShadow) {
    auto b = shownButton(4);
    b->SetIcon(solidIcon(Qt::red));
    b->SetIconAlign(isButton::IconAlignLeft);
    sendMove(*b);
    const QImage img = grabbed(*b);
    EXPECT_EQ(findRed(img), QPoint(2, 6));
    EXPECT_EQ(at(img, 19, 23), RGB(128, 128, 128));
    EXPECT_EQ(at(img, 4, 23), RGB(128, 128, 128));
}

TEST(IconLayout, DisabledIconsTurnGreyAndKeepListedGreys) {
    QImage icon(16, 16, QImage::Format_ARGB32);
    icon.fill(QColor(255, 0, 0));
    for (int x = 0; x < 16; ++x)
        icon.setPixel(x, 0, qRgb(160, 160, 160));
    icon.setPixel(0, 1, qRgb(192, 192, 192));
    auto b = shownButton(0);
    b->SetIcon(QPixmap::fromImage(icon));
    b->SetIconAlign(isButton::IconAlignLeft);
    b->SetEnabled(false);
    QImage img = grabbed(*b);
    EXPECT_EQ(at(img, 4, 8), RGB(160, 160, 160));
    EXPECT_EQ(at(img, 5, 9), RGB(84, 84, 84));

    // With the mask colour the masked pixel is left out and the rest is the channel mean.
    b->SetUseMaskColor(true);
    b->SetMaskColor(RGB(192, 192, 192));
    img = grabbed(*b);
    EXPECT_EQ(at(img, 5, 9), RGB(85, 85, 85));
    EXPECT_EQ(at(img, 4, 9), role(QPalette::Button));
    b->SetEnabled(true);
    img = grabbed(*b);
    EXPECT_EQ(at(img, 5, 9), RGB(255, 0, 0));
    EXPECT_EQ(at(img, 4, 9), role(QPalette::Button));
}

TEST(PaintIconGrayscale, RefusesMissingPainterOrIcon) {
    QImage target(20, 20, QImage::Format_RGB32);
    target.fill(Qt::white);
    QPainter p(&target);
    EXPECT_FALSE(isButton::PaintIconGrayscale(nullptr, solidIcon(Qt::red), 0, 0, 16, 16));
    EXPECT_FALSE(isButton::PaintIconGrayscale(&p, QPixmap(), 0, 0, 16, 16));
    EXPECT_TRUE(isButton::PaintIconGrayscale(&p, solidIcon(Qt::red), 2, 2, 8, 8));
    p.end();
    EXPECT_EQ(at(target, 2, 2), RGB(84, 84, 84));
    EXPECT_EQ(at(target, 10, 10), RGB(255, 255, 255));
}

TEST(Refresh, HiddenControlOnlyClearsTheSurface) {
    isButton b(nullptr, QStringLiteral("cmdHidden"));
    b.SetStyle(5);
    b.Refresh();
    EXPECT_FALSE(b.Shown());
    const QImage& img = b.Frame();
    EXPECT_EQ(at(img, 5, 0), at(img, 10, 10));
}

namespace {

// A button whose caption is one full block, so its colour and place can be read from pixels.
std::unique_ptr<isButton> blockCaption(int style) {
    auto b = shownButton(style, 81, 33);
    QFont f(QStringLiteral("DejaVu Sans"));
    f.setPixelSize(16);
    b->SetFont(f);
    b->SetCaption(QString(QChar(0x2588)));
    return b;
}

// Leftmost and rightmost columns and top and bottom rows holding the colour.
QRect extentOf(const QImage& img, OleColor colour) {
    QRect r;
    for (int y = 0; y < img.height(); ++y)
        for (int x = 0; x < img.width(); ++x)
            if (at(img, x, y) == colour)
                r |= QRect(x, y, 1, 1);
    return r;
}

} // namespace

TEST(Caption, ColourFollowsStateAndCustomColours) {
    auto b = blockCaption(0);
    const OleColor text = role(QPalette::ButtonText);
    EXPECT_FALSE(extentOf(grabbed(*b), text).isEmpty());
    b->SetUseCustomColors(true);
    b->SetFontColor(RGB(200, 0, 0));
    b->SetFontHighlightColor(RGB(0, 0, 200));
    QImage img = grabbed(*b);
    EXPECT_EQ(at(img, 40, 16), RGB(200, 0, 0));
    sendMove(*b);
    img = grabbed(*b);
    EXPECT_EQ(at(img, 40, 16), RGB(0, 0, 200));
    sendPress(*b); // the caption stays where it is
    EXPECT_EQ(extentOf(grabbed(*b), RGB(0, 0, 200)), extentOf(img, RGB(0, 0, 200)));
    b->SetEnabled(false);
    img = grabbed(*b);
    EXPECT_EQ(at(img, 40, 16),
              FromQColor(QApplication::palette().color(QPalette::Disabled, QPalette::ButtonText)));
}

TEST(Caption, AlignmentPlacesTextInTheInnerRectangle) {
    auto b = blockCaption(0);
    b->SetUseCustomColors(true);
    b->SetFontColor(RGB(200, 0, 0));
    b->SetBackColor(RGB(255, 255, 255));
    const QRect centre = extentOf(grabbed(*b), RGB(200, 0, 0));
    ASSERT_FALSE(centre.isEmpty());
    EXPECT_NEAR(centre.center().x(), 40, 2);
    EXPECT_NEAR(centre.center().y(), 16, 2);
    b->SetCaptionAlign(1);
    EXPECT_LE(extentOf(grabbed(*b), RGB(200, 0, 0)).left(), 6);
    b->SetCaptionAlign(2);
    EXPECT_GE(extentOf(grabbed(*b), RGB(200, 0, 0)).right(), 74);
    b->SetCaptionAlign(3);
    EXPECT_LT(extentOf(grabbed(*b), RGB(200, 0, 0)).top(), centre.top());
    b->SetCaptionAlign(4);
    EXPECT_GT(extentOf(grabbed(*b), RGB(200, 0, 0)).bottom(), centre.bottom());
    EXPECT_LE(extentOf(grabbed(*b), RGB(200, 0, 0)).bottom(), 28);
}

namespace {

constexpr OleColor kBack = RGB(140, 150, 160);
constexpr OleColor kHigh = RGB(100, 120, 200);
constexpr OleColor kGrey = RGB(160, 160, 160);
constexpr OleColor kBlueHigh = RGB(100, 140, 180);

std::unique_ptr<isButton> customButton(int style, OleColor back, OleColor high) {
    auto b = shownButton(style);
    b->SetUseCustomColors(true);
    b->SetBackColor(back);
    b->SetHighlightColor(high);
    return b;
}

void focus(isButton& b) {
    QFocusEvent in(QEvent::FocusIn, Qt::TabFocusReason);
    QCoreApplication::sendEvent(&b, &in);
}

// Counts the paint events a widget receives.
class PaintCounter : public QObject {
public:
    explicit PaintCounter(QWidget& w) { w.installEventFilter(this); }
    int paints = 0;

protected:
    bool eventFilter(QObject*, QEvent* e) override {
        paints += e->type() == QEvent::Paint;
        return false;
    }
};

} // namespace

TEST(StyleGradientChamfer, FaceInnerLinesOutlineAndNoShadow) {
    auto b = customButton(8, kBack, kHigh);
    const QImage img = grabbed(*b);
    EXPECT_EQ(b->Frame(), img);
    // Face from base + 15 to base - 15 over H - 6 = 27 steps, from row 2.
    EXPECT_EQ(at(img, 10, 4), RGB(153, 163, 173));
    EXPECT_EQ(at(img, 10, 16), RGB(139, 149, 159));
    // Light lines top and left, base lines bottom and right, a second ring 3 in.
    EXPECT_EQ(at(img, 10, 1), RGB(236, 246, 255));
    EXPECT_EQ(at(img, 1, 10), RGB(236, 246, 255));
    EXPECT_EQ(at(img, 10, 30), kBack);
    EXPECT_EQ(at(img, 78, 10), kBack);
    EXPECT_EQ(at(img, 3, 10), RGB(155, 165, 175));
    EXPECT_EQ(at(img, 10, 3), RGB(155, 165, 175));
    // Outline face - 48, corner pixels included.
    const OleColor outline = RGB(92, 102, 112);
    for (auto [x, y] :
         {std::pair{10, 0}, {0, 10}, {79, 10}, {10, 31}, {1, 1}, {1, 30}, {78, 1}, {78, 30}})
        EXPECT_EQ(at(img, x, y), outline) << x << "," << y;
    // The last column and row outside the outline keep the base colour: no drop shadow.
    for (int y = 3; y <= 29; ++y)
        ASSERT_EQ(at(img, 80, y), kBack) << y;
    for (int x = 4; x <= 76; ++x)
        ASSERT_EQ(at(img, x, 32), kBack) << x;
}

TEST(StyleGradientChamfer, OnlyFocusDarkensTheOutline) {
    auto b = customButton(8, kBack, kHigh);
    b->SetDisplayAsDefault(true);
    EXPECT_EQ(at(grabbed(*b), 10, 0), RGB(92, 102, 112));
    focus(*b);
    QImage img = grabbed(*b);
    EXPECT_EQ(at(img, 10, 0), RGB(44, 54, 64));
    EXPECT_EQ(at(img, 80, 10), kBack);
    // Pressed: the highlight base, face and lines swapped, the light outline again.
    sendPress(*b);
    img = grabbed(*b);
    EXPECT_EQ(at(img, 10, 0), RGB(92, 102, 112));
    EXPECT_EQ(at(img, 10, 4), RGB(87, 107, 187));
    EXPECT_EQ(at(img, 10, 1), kHigh);
    EXPECT_EQ(at(img, 10, 30), RGB(196, 216, 255));
    EXPECT_EQ(at(img, 80, 10), kHigh);
    EXPECT_EQ(at(img, 10, 32), kHigh);
}

TEST(StyleGradientDeep, FaceReachesTheBottomBandWithoutASeam) {
    auto b = customButton(9, kGrey, kBlueHigh);
    QImage img = grabbed(*b);
    // Base is BackColor - 15; face from base + 32 to base - 32 over rows 2 to H - 3.
    EXPECT_EQ(at(img, 40, 2), RGB(177, 177, 177));
    EXPECT_EQ(at(img, 40, 29), RGB(115, 115, 115));
    for (int x = 5; x <= 75; ++x)
        ASSERT_EQ(at(img, x, 30), RGB(113, 113, 113)) << x;
    EXPECT_EQ(at(img, 40, 0), RGB(17, 17, 17));

    sendMove(*b);
    EXPECT_EQ(at(grabbed(*b), 40, 2), RGB(133, 173, 213));
    sendPress(*b);
    img = grabbed(*b);
    EXPECT_EQ(at(img, 40, 2), RGB(92, 132, 172));
    for (int x = 5; x <= 75; ++x)
        ASSERT_EQ(at(img, x, 30), RGB(156, 196, 236)) << x;
    b->SetEnabled(false);
    img = grabbed(*b);
    EXPECT_EQ(at(img, 40, 2), RGB(207, 207, 207));
    EXPECT_EQ(at(img, 40, 0), RGB(127, 127, 127));
}

TEST(StyleGradientFace, FaceStripsAndOutlineByState) {
    auto b = customButton(7, kGrey, kBlueHigh);
    QImage img = grabbed(*b);
    EXPECT_EQ(at(img, 40, 1), RGB(176, 176, 176));
    EXPECT_EQ(at(img, 40, 16), kGrey);
    EXPECT_EQ(at(img, 40, 31), RGB(144, 144, 144));
    EXPECT_EQ(at(img, 1, 2), RGB(181, 181, 181));
    EXPECT_EQ(at(img, 1, 30), RGB(139, 139, 139));
    EXPECT_EQ(at(img, 79, 2), RGB(155, 155, 155));
    EXPECT_EQ(at(img, 79, 30), RGB(128, 128, 128));
    for (auto [x, y] : {std::pair{40, 0}, {0, 10}, {80, 10}, {40, 32}, {1, 0}, {0, 1}})
        EXPECT_EQ(at(img, x, y), RGB(64, 64, 64)) << x << "," << y;

    sendMove(*b);
    img = grabbed(*b);
    EXPECT_EQ(at(img, 40, 16), RGB(184, 184, 184));
    EXPECT_EQ(at(img, 40, 0), RGB(88, 88, 88));
    sendPress(*b);
    img = grabbed(*b);
    EXPECT_EQ(at(img, 40, 1), RGB(84, 124, 164));
    EXPECT_EQ(at(img, 40, 31), RGB(116, 156, 196));
    EXPECT_EQ(at(img, 1, 2), RGB(79, 119, 159));
    b->SetEnabled(false);
    img = grabbed(*b);
    EXPECT_EQ(at(img, 40, 1), kGrey);
    EXPECT_EQ(at(img, 1, 2), kGrey);
    EXPECT_EQ(at(img, 40, 0), RGB(112, 112, 112));
}

TEST(Refresh, EachStateChangeRendersOnceAndPaintsShowThatFrame) {
    auto b = shownButton(8);
    b->SetCaption(QStringLiteral("Go"));
    QCoreApplication::processEvents();
    PaintCounter counter(*b);
    quint64 n = b->RenderCount();

    auto change = [&](const char* what, const std::function<void()>& step) {
        const int paints = counter.paints;
        step();
        EXPECT_EQ(b->RenderCount(), n + 1) << what;
        b->repaint();
        QCoreApplication::processEvents();
        EXPECT_GT(counter.paints, paints) << what;
        EXPECT_EQ(b->RenderCount(), n + 1) << what;
        EXPECT_EQ(b->Frame(), grabbed(*b)) << what;
        n = b->RenderCount();
    };
    b->clearFocus(); // losing focus would be a second change of its own
    n = b->RenderCount();
    change("disable", [&] { b->SetEnabled(false); });
    change("enable", [&] { b->SetEnabled(true); });
    change("enter", [&] { sendMove(*b); });
    change("press", [&] { sendPress(*b); });
    change("leave", [&] { sendLeave(*b); });
    change("focus", [&] { focus(*b); });
    change("value", [&] { b->SetValue(true); });
    change("resize", [&] { b->resize(90, 33); });

    // A font given to the widget directly is no step of the control: the next paint renders it.
    const QImage before = b->Frame();
    QFont big = b->font();
    big.setPixelSize(20);
    b->setFont(big);
    b->repaint();
    EXPECT_EQ(b->RenderCount(), n + 1);
    EXPECT_NE(b->Frame(), before);
}
