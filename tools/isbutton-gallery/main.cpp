// isbutton-gallery: every button style in every state on one sheet, so a person can check the
// looks. `--png FILE` writes the sheet as a PNG without showing a window; `--screen FILE` shows
// the window on the real display and writes a screenshot of the whole screen (masks included).

#include "controls/isButton/about_box.h"
#include "controls/isButton/is_button.h"
#include "controls/isButton/tool_tip.h"

#include <QApplication>
#include <QCoreApplication>
#include <QFocusEvent>
#include <QFont>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QImage>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QScreen>
#include <QTimer>
#include <QVBoxLayout>
#include <cstdio>

using namespace orvana::controls;

namespace {

const char* const kStyleNames[] = {
    "0 StyleClassic",         "1 StyleSoft",          "2 StyleFlat",         "3 StyleEtched",
    "4 StyleTinted",          "5 StyleBevelGradient", "6 StyleSystemTheme",  "7 StyleGradientFace",
    "8 StyleGradientChamfer", "9 StyleGradientDeep",  "10 StyleRoundedSkin",
};

enum class Look { Normal, Hot, Pressed, Disabled, Focused, Default, CheckOn };

struct Column {
    const char* title;
    Look look;
    bool icon;
    bool custom;
};

const Column kColumns[] = {
    {"Normal", Look::Normal, false, false},
    {"Hot", Look::Hot, false, false},
    {"Pressed", Look::Pressed, false, false},
    {"Disabled", Look::Disabled, false, false},
    {"Focused", Look::Focused, false, false},
    {"Default", Look::Default, false, false},
    {"Icon", Look::Normal, true, false},
    {"Icon hot", Look::Hot, true, false},
    {"Icon pressed", Look::Pressed, true, false},
    {"Icon disabled", Look::Disabled, true, false},
    {"Custom", Look::Normal, false, true},
    {"Custom hot", Look::Hot, false, true},
    {"Custom pressed", Look::Pressed, false, true},
    {"Custom disabled", Look::Disabled, false, true},
    {"Check on", Look::CheckOn, true, false},
};

// A 16 x 16 picture with colour, pure greys and transparency, so grey icons can be judged.
QPixmap sampleIcon() {
    QImage img(16, 16, QImage::Format_ARGB32);
    img.fill(Qt::transparent);
    QPainter p(&img);
    p.fillRect(1, 1, 14, 14, QColor(30, 120, 220));
    p.fillRect(3, 3, 10, 5, QColor(250, 200, 40));
    p.fillRect(3, 9, 10, 4, QColor(128, 128, 128));
    p.fillRect(6, 4, 4, 8, QColor(200, 30, 30));
    p.end();
    return QPixmap::fromImage(img);
}

QString captionFor(const Column& c, int row) {
    if (c.look == Look::Normal && !c.icon && !c.custom)
        return row % 2 == 0 ? QStringLiteral("下载该专辑") : QStringLiteral("&Download");
    return QString::fromLatin1(c.title);
}

void applyLook(isButton* b, Look look) {
    switch (look) {
    case Look::Hot: {
        QMouseEvent move(QEvent::MouseMove, QPointF(5, 5), b->mapToGlobal(QPointF(5, 5)),
                         Qt::NoButton, Qt::NoButton, Qt::NoModifier);
        QCoreApplication::sendEvent(b, &move);
        break;
    }
    case Look::Pressed: {
        QMouseEvent press(QEvent::MouseButtonPress, QPointF(5, 5), b->mapToGlobal(QPointF(5, 5)),
                          Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(b, &press);
        break;
    }
    case Look::Disabled:
        b->SetEnabled(false);
        break;
    case Look::Focused: {
        QFocusEvent in(QEvent::FocusIn, Qt::OtherFocusReason);
        QCoreApplication::sendEvent(b, &in);
        break;
    }
    case Look::Default:
        b->SetDisplayAsDefault(true);
        break;
    case Look::CheckOn:
        b->SetButtonType(isButton::ButtonCheck);
        b->SetValue(true);
        break;
    case Look::Normal:
        break;
    }
}

QLabel* pictureOf(QWidget& w) {
    w.resize(w.sizeHint().isValid() ? w.sizeHint() : w.size());
    QImage img(w.size(), QImage::Format_ARGB32);
    img.fill(Qt::transparent);
    w.render(&img, QPoint(), w.mask().isEmpty() ? QRegion(w.rect()) : w.mask());
    auto* label = new QLabel;
    label->setPixmap(QPixmap::fromImage(img));
    return label;
}

struct Sheet {
    QWidget window;
    QList<QPair<isButton*, Look>> looks;
};

// One sample button of the sheet: the style of its row, the look of its column.
isButton* sampleButton(const Column& col, int style, const QPixmap& icon) {
    auto* b = new isButton(nullptr, QStringLiteral("sample"));
    b->setFixedSize(104, 33);
    b->SetStyle(style);
    b->SetCaption(captionFor(col, style));
    if (col.icon) {
        b->SetIcon(icon);
        b->SetIconAlign(isButton::IconAlignLeft);
        b->SetCaptionAlign(0);
    }
    if (col.custom) {
        b->SetUseCustomColors(true);
        b->SetBackColor(0x00C8E6F0);      // RGB(240, 230, 200)
        b->SetHighlightColor(0x0050A0E0); // RGB(224, 160, 80)
        b->SetFontColor(0x00402010);
        b->SetFontHighlightColor(0x00000080);
    }
    return b;
}

// Tips and the About box, drawn as pictures so that they show on the sheet.
void addExtras(QVBoxLayout* outer) {
    auto* extras = new QHBoxLayout;
    outer->addLayout(extras);
    isButtonTip plain(nullptr);
    plain.setBalloon(false);
    plain.setText(QStringLiteral("下载该歌手的全部专辑"));
    extras->addWidget(pictureOf(plain), 0, Qt::AlignTop);
    isButtonTip balloon(nullptr);
    balloon.setBalloon(true);
    balloon.setTitle(1, QStringLiteral("Download"));
    balloon.setText(
        QStringLiteral("Downloads every album of the singer\ninto a folder of its own."));
    extras->addWidget(pictureOf(balloon), 0, Qt::AlignTop);
    isButtonTip warning(nullptr);
    warning.setBalloon(true);
    warning.setTitle(2, QStringLiteral("Busy"));
    warning.setColors(QColor(255, 236, 200), QColor(96, 32, 0));
    warning.setText(QStringLiteral("请等待上一个操作结束."));
    extras->addWidget(pictureOf(warning), 0, Qt::AlignTop);
    isButtonAbout about(nullptr);
    extras->addWidget(pictureOf(about), 0, Qt::AlignTop);
    extras->addStretch(1);
}

void buildSheet(Sheet& sheet) {
    sheet.window.setWindowTitle(QStringLiteral("isButton gallery"));
    auto* outer = new QVBoxLayout(&sheet.window);
    auto* grid = new QGridLayout;
    grid->setHorizontalSpacing(8);
    grid->setVerticalSpacing(6);
    outer->addLayout(grid);
    const int columns = int(std::size(kColumns));
    for (int c = 0; c < columns; ++c) {
        auto* head = new QLabel(QString::fromLatin1(kColumns[c].title));
        head->setAlignment(Qt::AlignCenter);
        grid->addWidget(head, 0, c + 1);
    }
    const QPixmap icon = sampleIcon();
    for (int style = 0; style <= 10; ++style) {
        grid->addWidget(new QLabel(QString::fromLatin1(kStyleNames[style])), style + 1, 0);
        for (int c = 0; c < columns; ++c) {
            const Column& col = kColumns[c];
            isButton* b = sampleButton(col, style, icon);
            grid->addWidget(b, style + 1, c + 1);
            sheet.looks.append({b, col.look});
        }
    }

    addExtras(outer);
}

} // namespace

int main(int argc, char** argv) {
    QString pngPath;
    QString screenPath;
    for (int i = 1; i < argc; ++i) {
        const bool png = qstrcmp(argv[i], "--png") == 0;
        const bool screen = qstrcmp(argv[i], "--screen") == 0;
        if (!png && !screen) {
            std::fprintf(stderr, "usage: isbutton-gallery [--png FILE | --screen FILE]\n");
            return 2;
        }
        if (i + 1 >= argc) {
            std::fprintf(stderr, "isbutton-gallery: %s needs a file name\n", argv[i]);
            return 2;
        }
        (png ? pngPath : screenPath) = QString::fromLocal8Bit(argv[++i]);
    }
    if (!pngPath.isEmpty())
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    // Latin text in the main window's face; Chinese from a Simplified Chinese face.
    QFont::insertSubstitutions(QStringLiteral("Verdana"),
                               {QStringLiteral("DejaVu Sans"), QStringLiteral("Noto Sans CJK SC")});
    QFont font(QStringLiteral("Verdana"));
    font.setPointSizeF(8.25);
    QApplication::setFont(font);

    Sheet sheet;
    buildSheet(sheet);
    sheet.window.show();
    QCoreApplication::processEvents();
    for (const auto& [button, look] : sheet.looks)
        applyLook(button, look);
    QCoreApplication::processEvents();

    auto save = [](const QImage& image, const QString& path) {
        if (image.save(path, "PNG"))
            return 0;
        std::fprintf(stderr,
                     "isbutton-gallery: cannot write %s: check that the folder exists and is "
                     "writable\n",
                     qPrintable(path));
        return 1;
    };
    if (!pngPath.isEmpty())
        return save(sheet.window.grab().toImage(), pngPath);
    if (!screenPath.isEmpty()) {
        sheet.window.move(0, 0);
        int rc = 0;
        QTimer::singleShot(800, &app, [&] {
            rc = save(sheet.window.screen()->grabWindow(0).toImage(), screenPath);
            QApplication::quit();
        });
        QApplication::exec();
        return rc;
    }
    return QApplication::exec();
}
