#include "dist/app_icon.h"

namespace orvana {

QIcon AppIcon() {
    // The built-in PNGs need no image plugin; the theme may hold a newer or adjusted icon.
    QIcon builtIn;
    for (int size : {16, 22, 24, 32, 48, 64, 128, 256})
        builtIn.addFile(QStringLiteral(":/orvana-dl/icons/%1.png").arg(size), QSize(size, size));
    return QIcon::fromTheme(QStringLiteral("orvana-dl"), builtIn);
}

} // namespace orvana
