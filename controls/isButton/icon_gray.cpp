#include "controls/isButton/icon_gray.h"

#include "controls/isButton/color.h"

#include <algorithm>

namespace orvana::controls {

namespace {

bool isKeptGrey(int r, int g, int b) {
    if (r != g || g != b)
        return false;
    // 144 is missing from the list on purpose: it is converted like any other colour.
    static constexpr int kKept[] = {0,   16,  32,  48,  64,  80,  96,  112,
                                    128, 160, 176, 192, 208, 224, 240, 255};
    return std::find(std::begin(kKept), std::end(kKept), r) != std::end(kKept);
}

} // namespace

QImage GrayscaleIcon(const QImage& icon) {
    QImage out = icon.convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < out.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(out.scanLine(y));
        for (int x = 0; x < out.width(); ++x) {
            const QRgb px = line[x];
            const int r = qRed(px), g = qGreen(px), b = qBlue(px);
            if (isKeptGrey(r, g, b))
                continue;
            const int l = std::min(255, RoundHalfEven(0.59 * g + 0.33 * r + 0.11 * b));
            line[x] = qRgba(l, l, l, qAlpha(px));
        }
    }
    return out;
}

} // namespace orvana::controls
