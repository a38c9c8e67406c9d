#include "controls/isButton/color.h"
#include "controls/isButton/draw.h"
#include "controls/isButton/icon_gray.h"
#include "support.h"

#include <QPainter>
#include <gtest/gtest.h>

using namespace orvana::controls;
using orvana::controls::testing::at;

namespace {

QImage blank(int w, int h) {
    QImage img(w, h, QImage::Format_RGB32);
    img.fill(Qt::white);
    return img;
}

constexpr OleColor kWhite = RGB(255, 255, 255);

} // namespace

TEST(ColorFunctions, ChannelLayoutIsBlueGreenRed) {
    EXPECT_EQ(RGB(192, 192, 192), 12632256u);
    EXPECT_EQ(RGB(1, 2, 3), 0x00030201u);
    EXPECT_EQ(ToQColor(RGB(0, 60, 116)), QColor(0, 60, 116));
}

TEST(ColorFunctions, OffsetClampsEveryChannel) {
    EXPECT_EQ(OffsetColor(RGB(10, 128, 250), 15), RGB(25, 143, 255));
    EXPECT_EQ(OffsetColor(RGB(10, 128, 250), -15), RGB(0, 113, 235));
}

TEST(ColorFunctions, LightenUsesIntegerDivision) {
    EXPECT_EQ(LightenColor(RGB(0, 120, 215), 176), RGB(176, 213, 242));
    EXPECT_EQ(LightenColor(RGB(255, 255, 255), 32), kWhite);
    EXPECT_EQ(LightenColor(RGB(0, 0, 0), 32), RGB(32, 32, 32));
}

TEST(ColorFunctions, MixAndGreyRoundHalvesToEven) {
    EXPECT_EQ(MixColors(RGB(1, 2, 0), RGB(2, 3, 255)), RGB(2, 2, 128));
    EXPECT_EQ(MixColors(RGB(4, 0, 0), RGB(5, 0, 0)), RGB(4, 0, 0));
    EXPECT_EQ(GrayOf(RGB(255, 0, 0)), RGB(85, 85, 85));
    EXPECT_EQ(GrayOf(RGB(10, 20, 31)), RGB(20, 20, 20));
}

TEST(ColorFunctions, TranslateResolvesSystemReferencesThroughThePalette) {
    QPalette pal;
    pal.setColor(QPalette::Button, QColor(1, 2, 3));
    pal.setColor(QPalette::ToolTipBase, QColor(4, 5, 6));
    EXPECT_EQ(TranslateColor(0x8000000F, pal), RGB(1, 2, 3));
    EXPECT_EQ(TranslateColor(SysColorRef(SysColor::InfoBackground), pal), RGB(4, 5, 6));
    EXPECT_EQ(TranslateColor(RGB(9, 8, 7), pal), RGB(9, 8, 7));
    EXPECT_EQ(TranslateColor(0x800000FF, pal), kInvalidColor);
    EXPECT_EQ(TranslateColor(0x01000000, pal), kInvalidColor);
}

TEST(DrawPrimitives, LineLeavesItsEndPointOutInEveryDirection) {
    QImage img = blank(10, 10);
    QPainter p(&img);
    DrawLine(p, 2, 1, 6, 1, 0); // right: 2..5
    DrawLine(p, 6, 3, 2, 3, 0); // left: 6..3
    DrawLine(p, 1, 5, 1, 8, 0); // down: 5..7
    DrawLine(p, 4, 4, 4, 4, 0); // zero length: nothing
    DrawLine(p, 5, 5, 8, 8, 0); // diagonal: 5,5 6,6 7,7
    p.end();
    EXPECT_EQ(at(img, 2, 1), 0u);
    EXPECT_EQ(at(img, 5, 1), 0u);
    EXPECT_EQ(at(img, 6, 1), kWhite);
    EXPECT_EQ(at(img, 2, 3), kWhite);
    EXPECT_EQ(at(img, 3, 3), 0u);
    EXPECT_EQ(at(img, 6, 3), 0u);
    EXPECT_EQ(at(img, 1, 7), 0u);
    EXPECT_EQ(at(img, 1, 8), kWhite);
    EXPECT_EQ(at(img, 4, 4), kWhite);
    EXPECT_EQ(at(img, 7, 7), 0u);
    EXPECT_EQ(at(img, 8, 8), kWhite);
}

TEST(DrawPrimitives, FrameRectClosesAndFillBoxStopsShortOfTheFarEdges) {
    QImage img = blank(10, 10);
    QPainter p(&img);
    FillBox(p, 1, 1, 3, 2, RGB(1, 1, 1));
    DrawFrameRect(p, 5, 5, 3, 2, RGB(2, 2, 2));
    p.end();
    EXPECT_EQ(at(img, 3, 2), RGB(1, 1, 1));
    EXPECT_EQ(at(img, 4, 2), kWhite);
    EXPECT_EQ(at(img, 3, 3), kWhite);
    for (auto [x, y] : {std::pair{5, 5}, {8, 5}, {8, 7}, {5, 7}, {6, 7}, {8, 6}})
        EXPECT_EQ(at(img, x, y), RGB(2, 2, 2)) << x << "," << y;
    EXPECT_EQ(at(img, 6, 6), kWhite);
}

TEST(DrawPrimitives, GradientRowsRoundHalvesToEvenAndIncludeTheLastStep) {
    EXPECT_EQ(GradientStep(RGB(252, 252, 251), RGB(240, 240, 240), 2, 4), RGB(246, 246, 246));
    EXPECT_EQ(GradientStep(RGB(0, 0, 0), RGB(10, 10, 10), 1, 4), RGB(2, 2, 2));
    EXPECT_EQ(GradientStep(RGB(0, 0, 0), RGB(10, 10, 10), 3, 4), RGB(8, 8, 8));
    QImage img = blank(6, 8);
    QPainter p(&img);
    GradientV(p, RGB(0, 0, 0), RGB(40, 40, 40), 1, 2, 4, 4);
    GradientV(p, RGB(0, 0, 0), RGB(40, 40, 40), 1, 0, 4, -1);
    p.end();
    EXPECT_EQ(at(img, 1, 2), RGB(0, 0, 0));
    EXPECT_EQ(at(img, 3, 6), RGB(40, 40, 40));
    EXPECT_EQ(at(img, 4, 6), kWhite);
    EXPECT_EQ(at(img, 1, 7), kWhite);
    EXPECT_EQ(at(img, 1, 0), kWhite);
}

TEST(DrawPrimitives, EtchedFrameBlendsTwoCornersAndClearsTwo) {
    QImage img = blank(12, 12);
    QPainter p(&img);
    const OleColor shadow = RGB(100, 100, 100), light = RGB(250, 250, 250), back = RGB(7, 7, 7);
    DrawEtchedFrame(p, 0, 0, 10, 10, shadow, light, back);
    p.end();
    EXPECT_EQ(at(img, 5, 0), shadow);
    EXPECT_EQ(at(img, 9, 5), shadow);
    EXPECT_EQ(at(img, 5, 1), light);
    EXPECT_EQ(at(img, 10, 5), light);
    EXPECT_EQ(at(img, 0, 10), back);
    EXPECT_EQ(at(img, 10, 0), back);
    EXPECT_EQ(at(img, 1, 9), RGB(175, 175, 175));
    EXPECT_EQ(at(img, 9, 1), RGB(175, 175, 175));
}

TEST(GrayscaleIcon, KeepsListedGreysAndWeighsTheRest) {
    QImage icon(8, 1, QImage::Format_ARGB32);
    const QRgb in[] = {qRgb(128, 128, 128), qRgb(144, 144, 144), qRgb(255, 0, 0),
                       qRgb(0, 255, 0),     qRgb(0, 0, 255),     qRgb(250, 250, 250),
                       qRgb(255, 255, 255), qRgba(10, 20, 30, 0)};
    for (int x = 0; x < 8; ++x)
        icon.setPixel(x, 0, in[x]);
    const QImage grey = GrayscaleIcon(icon);
    const int expected[] = {128, 148, 84, 150, 28, 255, 255, 18};
    for (int x = 0; x < 8; ++x) {
        const QRgb px = grey.pixel(x, 0);
        EXPECT_EQ(qRed(px), expected[x]) << "pixel " << x;
        EXPECT_EQ(qGreen(px), expected[x]);
        EXPECT_EQ(qBlue(px), expected[x]);
        EXPECT_EQ(qAlpha(px), qAlpha(in[x]));
    }
}
