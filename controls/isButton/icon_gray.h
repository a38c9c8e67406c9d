#pragma once

#include <QImage>

namespace orvana::controls {

// The grey copy of an icon: a pure grey whose value is one of 0, 16, ..., 128, 160, ..., 240, 255
// keeps it; every other pixel becomes L = 0.59 G + 0.33 R + 0.11 B (halves to even, at most 255).
// Alpha is kept, so the icon's own mask still applies. Returns ARGB32.
[[nodiscard]] QImage GrayscaleIcon(const QImage& icon);

} // namespace orvana::controls
