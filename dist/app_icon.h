#pragma once

#include <QIcon>

namespace orvana {

// The application icon: "orvana-dl" from the icon theme when it is installed there, else the
// PNGs built into the program (16 to 256 pixels). Call after QGuiApplication exists.
[[nodiscard]] QIcon AppIcon();

} // namespace orvana
