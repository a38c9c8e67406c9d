#include "controls/isButton/form_store.h"
#include "controls/isButton/is_button.h"
#include "support.h"

#include "json/error.h"
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace orvana::controls;
using namespace orvana::controls::testing;

namespace {

OleColor sysColor(SysColor c) {
    return SystemColor(QApplication::palette(), c);
}

QStringList writtenKeys(const isButton& b) {
    MemoryPropertyBag bag;
    b.WriteProperties(bag);
    return bag.keys();
}

QFont boldVerdana() {
    QFont font(QStringLiteral("Verdana"));
    font.setPointSizeF(10.5);
    font.setWeight(QFont::Bold);
    return font;
}

// Gives every property a value other than its default, each through its setter, in the order of
// the property table.
void changeEveryProperty(isButton& b) {
    b.SetStyle(9);
    b.SetCaption(QStringLiteral("&Go"));
    b.SetIcon(QPixmap());
    b.SetIconAlign(isButton::IconAlignRight);
    b.SetIconSize(20);
    b.SetCaptionAlign(4);
    b.SetNonThemeStyle(7);
    b.SetEnabled(false);
    b.SetShowFocus(true);
    b.SetUseCustomColors(true);
    b.SetBackColor(RGB(1, 2, 3));
    b.SetHighlightColor(RGB(4, 5, 6));
    b.SetFontColor(RGB(7, 8, 9));
    b.SetFontHighlightColor(0x80000012);
    b.SetToolTipText(QStringLiteral("tip"));
    b.SetToolTipTitle(QStringLiteral("t"));
    b.SetToolTipIcon(3);
    b.SetToolTipType(0);
    b.SetToolTipBackColor(0xFFFFFFFF);
    b.SetToolTipForeColor(RGB(16, 17, 18));
    b.SetFont(boldVerdana());
    b.SetButtonType(isButton::ButtonCheck);
    b.SetValue(true);
    b.SetMaskColor(RGB(1, 1, 1));
    b.SetUseMaskColor(true);
    b.SetMousePointer(11);
}

} // namespace

TEST(ButtonProperties, NewControlStartsWithCreationValues) {
    isButton b(nullptr, QStringLiteral("cmdDownAlbum"));
    EXPECT_EQ(b.Style(), 0);
    EXPECT_EQ(b.Caption(), QStringLiteral("cmdDownAlbum"));
    EXPECT_EQ(b.objectName(), QStringLiteral("cmdDownAlbum"));
    EXPECT_EQ(b.IconAlign(), 0);
    EXPECT_EQ(b.NonThemeStyle(), 0);
    EXPECT_EQ(b.IconSize(), 16);
    EXPECT_EQ(b.ToolTipType(), 1);
    EXPECT_EQ(b.ToolTipBackColor(), 0u);
    EXPECT_EQ(b.MaskColor(), 0u);
    EXPECT_EQ(b.CaptionFormat(), 37); // the resize step ran on creation
    EXPECT_TRUE(b.Enabled());
    EXPECT_EQ(b.BackColor(), sysColor(SysColor::ButtonFace));
    EXPECT_EQ(b.HighlightColor(), sysColor(SysColor::Highlight));
    EXPECT_EQ(b.FontColor(), sysColor(SysColor::ButtonText));
    EXPECT_EQ(b.FontHighlightColor(), sysColor(SysColor::ButtonText));
    EXPECT_EQ(isButton::Version(), QStringLiteral("3.4.0"));
}

TEST(ButtonProperties, MissingKeysReadTheirDefaultsWhichDifferFromANewControl) {
    isButton b;
    b.ReadProperties(MemoryPropertyBag());
    EXPECT_EQ(b.Style(), 3);
    EXPECT_EQ(b.NonThemeStyle(), 5);
    EXPECT_EQ(b.IconAlign(), 1);
    EXPECT_EQ(b.Caption(), QStringLiteral("isButton"));
    EXPECT_EQ(b.MaskColor(), 12632256u);
    EXPECT_EQ(b.ToolTipType(), 1);
    EXPECT_EQ(b.ToolTipIcon(), 0);
    EXPECT_EQ(b.IconSize(), 16);
    EXPECT_EQ(b.State(), isButton::StateNormal);
    // Back from the info background, fore from the info text: a readable tip.
    EXPECT_EQ(b.ToolTipBackColor(), sysColor(SysColor::InfoBackground));
    EXPECT_EQ(b.ToolTipForeColor(), sysColor(SysColor::InfoText));
}

TEST(ButtonProperties, WritesEveryKeyInOrderWithExactSpellings) {
    isButton b(nullptr, QStringLiteral("cmdX"));
    changeEveryProperty(b);
    const QStringList expected = {
        QStringLiteral("Icon"),           QStringLiteral("Style"),
        QStringLiteral("Caption"),        QStringLiteral("IconSize"),
        QStringLiteral("IconAlign"),      QStringLiteral("CaptionAlign"),
        QStringLiteral("iNonThemeStyle"), QStringLiteral("Enabled"),
        QStringLiteral("ShowFocus"),      QStringLiteral("USeCustomColors"),
        QStringLiteral("BackColor"),      QStringLiteral("HighlightColor"),
        QStringLiteral("FontColor"),      QStringLiteral("FontHighlightColor"),
        QStringLiteral("Tooltiptitle"),   QStringLiteral("ToolTipIcon"),
        QStringLiteral("ToolTipType"),    QStringLiteral("ttBackColor"),
        QStringLiteral("ttForeColor"),    QStringLiteral("Font"),
        QStringLiteral("ButtonType"),     QStringLiteral("Value"),
        QStringLiteral("MaskColor"),      QStringLiteral("UseMaskColor"),
        QStringLiteral("MousePointer"),
    };
    EXPECT_EQ(writtenKeys(b), expected);
}

TEST(ButtonProperties, ToolTipTextIsWrittenOnlyWhileItDiffersFromTheHostText) {
    auto b = shownButton(0);
    b->setToolTip(QStringLiteral("host tip"));
    EXPECT_EQ(b->ToolTipText(), QStringLiteral("host tip"));
    EXPECT_FALSE(writtenKeys(*b).contains(QStringLiteral("ToolTipText")));
    sendMove(*b); // the own tip is up and the host's text is empty
    MemoryPropertyBag bag;
    b->WriteProperties(bag);
    EXPECT_EQ(bag.ReadProperty(QStringLiteral("ToolTipText"), QVariant()).toString(),
              QStringLiteral("host tip"));
    isButton c;
    c.ReadProperties(bag);
    EXPECT_EQ(c.toolTip(), QStringLiteral("host tip"));
    EXPECT_EQ(c.ToolTipText(), QStringLiteral("host tip"));
}

TEST(ButtonProperties, LoadingWithoutToolTipTextKeepsTheHostTextAndEmptiesTheRecord) {
    auto b = shownButton(0);
    b->SetToolTipText(QStringLiteral("old record"));
    b->setToolTip(QStringLiteral("host tip"));
    b->ReadProperties(MemoryPropertyBag());
    EXPECT_EQ(b->toolTip(), QStringLiteral("host tip"));
    EXPECT_EQ(b->ToolTipText(), QString());
    // The tip still shows the host's text: building it takes the text over.
    sendMove(*b);
    ASSERT_NE(b->ToolTipWindow(), nullptr);
    EXPECT_EQ(b->ToolTipText(), QStringLiteral("host tip"));
    EXPECT_EQ(b->toolTip(), QString());
    sendLeave(*b);
    EXPECT_EQ(b->toolTip(), QStringLiteral("host tip"));

    MemoryPropertyBag bag;
    bag.WriteProperty(QStringLiteral("ToolTipText"), QStringLiteral("stored tip"));
    b->ReadProperties(bag);
    EXPECT_EQ(b->toolTip(), QStringLiteral("stored tip"));
    EXPECT_EQ(b->ToolTipText(), QStringLiteral("stored tip"));
}

TEST(ButtonProperties, DefaultsAreLeftOutButTitleIconTypeAndFontAlwaysWritten) {
    isButton b;
    b.ReadProperties(MemoryPropertyBag());
    b.SetCaption(QString());
    const QStringList expected = {QStringLiteral("Icon"), QStringLiteral("Tooltiptitle"),
                                  QStringLiteral("ToolTipIcon"), QStringLiteral("ToolTipType"),
                                  QStringLiteral("Font")};
    EXPECT_EQ(writtenKeys(b), expected);
}

TEST(ButtonProperties, EmptyCaptionReloadsAsIsButtonAndStyleThreeIsNotStored) {
    isButton b;
    b.SetCaption(QString());
    b.SetStyle(3);
    MemoryPropertyBag bag;
    b.WriteProperties(bag);
    EXPECT_FALSE(bag.contains(QStringLiteral("Caption")));
    EXPECT_FALSE(bag.contains(QStringLiteral("Style")));
    isButton c;
    c.ReadProperties(bag);
    EXPECT_EQ(c.Caption(), QStringLiteral("isButton"));
    EXPECT_EQ(c.Style(), 3);
}

TEST(ButtonProperties, SettersReportUnderTheirNotificationNames) {
    isButton b;
    QSignalSpy spy(&b, &isButton::PropertyChanged);
    b.SetToolTipTitle(QStringLiteral("t"));
    b.SetToolTipIcon(2);
    b.SetNonThemeStyle(4);
    b.SetUseCustomColors(true);
    b.SetToolTipBackColor(RGB(1, 1, 1));
    b.SetToolTipForeColor(RGB(1, 1, 1));
    b.SetEnabled(false);
    b.SetFont(QFont(QStringLiteral("DejaVu Sans")));
    QStringList names;
    for (const auto& args : spy)
        names << args.at(0).toString();
    const QStringList expected = {
        QStringLiteral("TooltipTitle"),     QStringLiteral("TooltipIcon"),
        QStringLiteral("NonThemeStyle"),    QStringLiteral("UseCustomColors"),
        QStringLiteral("ToolTipBackColor"), QStringLiteral("ToolTipForeColor"),
        QStringLiteral("Enabled"),          QStringLiteral("Font")};
    EXPECT_EQ(names, expected);
}

TEST(ButtonProperties, SixteenBitFieldsTruncateAndSizeHasAFloor) {
    auto shown = shownButton(0);
    isButton& b = *shown;
    b.SetIconSize(65536 + 20);
    EXPECT_EQ(b.IconSize(), 20);
    b.SetIconSize(40000);
    EXPECT_EQ(b.IconSize(), -25536);
    b.resize(10, 5);
    EXPECT_EQ(b.size(), QSize(20, 20));
    EXPECT_EQ(b.InnerRect(), QRect(4, 4, 12, 12));
}

TEST(ButtonProperties, CaptionAlignSetsTheTextFormat) {
    isButton b;
    const int formats[] = {37, 36, 38, 33, 41};
    for (int align = 0; align < 5; ++align) {
        b.SetCaptionAlign(align);
        EXPECT_EQ(b.CaptionFormat(), formats[align]);
    }
    b.SetCaptionAlign(9);
    EXPECT_EQ(b.CaptionFormat(), 41);
}

TEST(ButtonProperties, DamagedStoredValuesFallBackToTheirDefaults) {
    MemoryPropertyBag bag;
    bag.set(QStringLiteral("Style"), QStringLiteral("eight"));
    bag.set(QStringLiteral("iNonThemeStyle"), qint64(42));
    bag.set(QStringLiteral("IconAlign"), qint64(-1));
    bag.set(QStringLiteral("Caption"), qint64(5));
    bag.set(QStringLiteral("MaskColor"), 1.0e12);
    isButton b;
    b.ReadProperties(bag);
    EXPECT_EQ(b.Style(), 3);
    EXPECT_EQ(b.NonThemeStyle(), 5);
    EXPECT_EQ(b.IconAlign(), 1);
    EXPECT_EQ(b.Caption(), QStringLiteral("isButton"));
    EXPECT_EQ(b.MaskColor(), 12632256u);
}

TEST(ButtonProperties, StoredDisabledButtonTakesNoInput) {
    MemoryPropertyBag bag;
    bag.set(QStringLiteral("Enabled"), false);
    isButton b;
    b.ReadProperties(bag);
    EXPECT_FALSE(b.Enabled());
    EXPECT_FALSE(b.isEnabled());
}

TEST(StoredForms, RoundTripThroughAFileKeepsEveryProperty) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("frmMain.json"));

    isButton a(nullptr, QStringLiteral("cmdDownSinger"));
    a.resize(113, 33);
    QImage icon(16, 16, QImage::Format_ARGB32);
    icon.fill(QColor(10, 200, 30));
    icon.setPixel(3, 4, qRgba(0, 0, 0, 0));
    a.SetIcon(QPixmap::fromImage(icon));
    a.SetStyle(9);
    a.SetCaption(QStringLiteral("下载该歌手"));
    a.SetCaptionAlign(4);
    a.SetUseCustomColors(true);
    a.SetBackColor(RGB(200, 100, 50));
    a.SetToolTipTitle(QStringLiteral("标题"));
    a.SetToolTipIcon(3);
    a.SetToolTipType(0);
    a.setToolTip(QStringLiteral("host text"));
    QFont font(QStringLiteral("Verdana"));
    font.setPointSizeF(8.25);
    font.setWeight(QFont::Bold);
    a.SetFont(font);
    a.SetButtonType(isButton::ButtonCheck);
    a.SetValue(true);
    a.SetMaskColor(RGB(192, 192, 192));

    StoredForm form;
    form.put(a.SaveStored());
    SaveForm(form, path);
    const StoredForm loaded = LoadForm(path);
    const StoredControl* stored = loaded.find(QStringLiteral("cmdDownSinger"));
    ASSERT_NE(stored, nullptr);
    EXPECT_EQ(stored->extent, QSize(2990, 873));

    isButton b(nullptr, QStringLiteral("other"));
    b.LoadStored(*stored);
    EXPECT_EQ(b.size(), QSize(113, 33));
    EXPECT_EQ(b.Style(), 9);
    EXPECT_EQ(b.Caption(), QStringLiteral("下载该歌手"));
    EXPECT_EQ(b.CaptionAlign(), 4);
    EXPECT_EQ(b.CaptionFormat(), 41);
    EXPECT_EQ(b.IconAlign(), 0);
    EXPECT_EQ(b.NonThemeStyle(), 0);
    EXPECT_TRUE(b.UseCustomColors());
    EXPECT_EQ(b.BackColor(), RGB(200, 100, 50));
    EXPECT_EQ(b.ToolTipTitle(), QStringLiteral("标题"));
    EXPECT_EQ(b.ToolTipIcon(), 3);
    EXPECT_EQ(b.ToolTipType(), 0);
    // The text equalled the host's and was not stored: the host's text carries it.
    EXPECT_EQ(b.toolTip(), QStringLiteral("host text"));
    EXPECT_EQ(b.ToolTipText(), QString());
    EXPECT_EQ(b.Font().family(), QStringLiteral("Verdana"));
    EXPECT_EQ(b.Font().pointSizeF(), 8.25);
    EXPECT_EQ(b.Font().weight(), QFont::Bold);
    EXPECT_EQ(b.ButtonType(), 1);
    EXPECT_TRUE(b.Value());
    EXPECT_EQ(b.MaskColor(), RGB(192, 192, 192));
    const QImage back = b.Icon().toImage().convertToFormat(QImage::Format_ARGB32);
    EXPECT_EQ(back.pixel(0, 0), qRgb(10, 200, 30));
    EXPECT_EQ(qAlpha(back.pixel(3, 4)), 0);
}

TEST(StoredForms, ShippedMainWindowFormHoldsTheFiveButtons) {
    const StoredForm form = LoadForm(QStringLiteral(":/isButton/forms/frm_main_buttons.json"));
    struct Expect {
        const char* name;
        int style;
        QSize pixels;
        QString caption;
    };
    const Expect rows[] = {
        {"cmdLogin", 8, {153, 33}, QStringLiteral("使用Orvana帐号登录")},
        {"cmdDownSinger", 5, {113, 33}, QStringLiteral("下载该歌手")},
        {"cmdDownAlbum", 5, {113, 33}, QStringLiteral("下载该专辑")},
        {"cmdGetSingers", 8, {113, 33}, QStringLiteral("获取歌手列表")},
        {"cmdDownload", 10, {129, 33}, QStringLiteral("开始下载")},
    };
    ASSERT_EQ(form.controls.size(), 5);
    for (const Expect& e : rows) {
        const StoredControl* c = form.find(QString::fromLatin1(e.name));
        ASSERT_NE(c, nullptr) << e.name;
        isButton b(nullptr, QString::fromLatin1(e.name));
        b.LoadStored(*c);
        EXPECT_EQ(b.Style(), e.style) << e.name;
        EXPECT_EQ(b.size(), e.pixels) << e.name;
        EXPECT_EQ(b.Caption(), e.caption) << e.name;
        EXPECT_EQ(b.NonThemeStyle(), 0);
        EXPECT_EQ(b.IconAlign(), 0);
        EXPECT_EQ(b.ToolTipType(), 1);
        EXPECT_EQ(b.ToolTipForeColor(), 0u);
        EXPECT_EQ(b.MaskColor(), 0u);
        EXPECT_EQ(b.Font().family(), QStringLiteral("Verdana"));
        EXPECT_EQ(b.Font().pointSizeF(), 8.25);
        EXPECT_EQ(b.Font().weight(), QFont::Normal);
        EXPECT_TRUE(b.Icon().isNull());
    }
}

TEST(StoredForms, UnreadableFilesFailWithAMessageNamingTheFile) {
    QTemporaryDir dir;
    const QString missing = dir.filePath(QStringLiteral("none.json"));
    try {
        (void)LoadForm(missing);
        FAIL() << "expected an error";
    } catch (const orvana::Error& e) {
        EXPECT_EQ(e.kind(), orvana::ErrorKind::Io);
        EXPECT_TRUE(e.message().startsWith(QStringLiteral("Cannot open the button form \"") +
                                           missing + QStringLiteral("\": ")));
    }

    const QString other = dir.filePath(QStringLiteral("other.json"));
    QFile f(other);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("{\"format\": \"something else\"}");
    f.close();
    try {
        (void)LoadForm(other);
        FAIL() << "expected an error";
    } catch (const orvana::Error& e) {
        EXPECT_EQ(e.kind(), orvana::ErrorKind::Shape);
        EXPECT_EQ(e.message(), QStringLiteral("Cannot read the button form \"") + other +
                                   QStringLiteral("\": The file is not a stored button form."));
    }

    EXPECT_THROW((void)ParseForm("{\"format\": \"isButton form\", \"version\": 1, \"controls\": "
                                 "[{\"name\": \"a\", \"properties\": [[\"Style\"]]}]}"),
                 orvana::Error);
    EXPECT_THROW((void)ParseForm("not json"), orvana::Error);
}

TEST(StoredForms, FailedSaveKeepsTheOldFile) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("form.json"));
    StoredForm form;
    StoredControl c;
    c.name = QStringLiteral("cmdLogin");
    form.put(c);
    SaveForm(form, path);
    const QByteArray before = [&] {
        QFile f(path);
        f.open(QIODevice::ReadOnly);
        return f.readAll();
    }();
    EXPECT_THROW(SaveForm(form, dir.filePath(QStringLiteral("missing/dir/form.json"))),
                 orvana::Error);
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_EQ(f.readAll(), before);
}

TEST(StoredForms, FirstOfTwoEqualKeysWinsAndPutReplacesByName) {
    const StoredForm form = ParseForm(
        "{\"format\": \"isButton form\", \"version\": 1, \"controls\": [{\"name\": \"a\", "
        "\"properties\": [[\"Style\", 8], [\"Style\", 2]]}]}");
    ASSERT_EQ(form.controls.size(), 1);
    EXPECT_EQ(form.controls[0].properties.ReadProperty(QStringLiteral("Style"), 0).toInt(), 8);
    EXPECT_EQ(HimetricToPixels(4048), 153);
    EXPECT_EQ(HimetricToPixels(873), 33);
    EXPECT_EQ(PixelsToHimetric(129), 3413);
}

namespace {

// A 4 x 4 picture with one odd pixel, so a stored icon can be told from any other.
QImage markedIcon() {
    QImage icon(4, 4, QImage::Format_ARGB32);
    icon.fill(QColor(10, 200, 30));
    icon.setPixel(1, 2, qRgb(250, 0, 5));
    return icon;
}

// The stored properties as the form file spells them, on one line.
QByteArray storedText(const isButton& b) {
    StoredForm form;
    form.put(b.SaveStored());
    const QJsonDocument doc = QJsonDocument::fromJson(SerializeForm(form));
    const QJsonArray props = doc.object()
                                 .value(QStringLiteral("controls"))
                                 .toArray()
                                 .at(0)
                                 .toObject()
                                 .value(QStringLiteral("properties"))
                                 .toArray();
    return QJsonDocument(props).toJson(QJsonDocument::Compact);
}

} // namespace

TEST(StoredForms, EveryKeyIsReadIntoItsOwnPropertyAndWrittenBackUnchanged) {
    // One value per key that differs from every default, in the form it is stored in.
    const QList<QPair<QString, QVariant>> stored = {
        {QStringLiteral("Icon"), QVariant::fromValue(markedIcon())},
        {QStringLiteral("Style"), 8},
        {QStringLiteral("Caption"), QStringLiteral("下载该专辑")},
        {QStringLiteral("IconSize"), 24},
        {QStringLiteral("IconAlign"), 3},
        {QStringLiteral("CaptionAlign"), 2},
        {QStringLiteral("iNonThemeStyle"), 7},
        {QStringLiteral("Enabled"), false},
        {QStringLiteral("ShowFocus"), true},
        {QStringLiteral("USeCustomColors"), true},
        {QStringLiteral("BackColor"), qint64(RGB(1, 2, 3))},
        {QStringLiteral("HighlightColor"), qint64(RGB(4, 5, 6))},
        {QStringLiteral("FontColor"), qint64(RGB(7, 8, 9))},
        {QStringLiteral("FontHighlightColor"), qint64(RGB(10, 11, 12))},
        {QStringLiteral("Tooltiptitle"), QStringLiteral("标题")},
        {QStringLiteral("ToolTipIcon"), 2},
        {QStringLiteral("ToolTipType"), 0},
        {QStringLiteral("ttBackColor"), qint64(RGB(13, 14, 15))},
        {QStringLiteral("ttForeColor"), qint64(0x80000012)},
        {QStringLiteral("Font"), boldVerdana()},
        {QStringLiteral("ButtonType"), 1},
        {QStringLiteral("Value"), true},
        {QStringLiteral("MaskColor"), qint64(RGB(19, 20, 21))},
        {QStringLiteral("UseMaskColor"), true},
        {QStringLiteral("MousePointer"), 11},
    };
    // Written whatever they hold; a missing caption reads as "isButton", which is written too.
    const QStringList always = {QStringLiteral("Icon"),         QStringLiteral("Caption"),
                                QStringLiteral("Tooltiptitle"), QStringLiteral("ToolTipIcon"),
                                QStringLiteral("ToolTipType"),  QStringLiteral("Font")};
    for (const auto& [key, value] : stored) {
        MemoryPropertyBag in;
        in.set(key, value);
        isButton b;
        b.ReadProperties(in);
        MemoryPropertyBag out;
        b.WriteProperties(out);
        QStringList others = out.keys();
        others.removeAll(key);
        for (const QString& k : always)
            others.removeAll(k);
        EXPECT_EQ(others, QStringList()) << key.toStdString();
        ASSERT_TRUE(out.contains(key)) << key.toStdString();
        const QVariant back = out.ReadProperty(key, QVariant());
        if (value.typeId() == QMetaType::QImage)
            EXPECT_EQ(back.value<QImage>().convertToFormat(QImage::Format_ARGB32), markedIcon());
        else
            EXPECT_TRUE(SameStoredValue(back, value)) << key.toStdString();
    }
}

TEST(ButtonProperties, EverySetterReportsItsNameAndStoresItsValueInItsOwnType) {
    isButton b(nullptr, QStringLiteral("cmdX"));
    QSignalSpy spy(&b, &isButton::PropertyChanged);
    changeEveryProperty(b);
    QStringList names;
    for (const auto& args : spy)
        names << args.at(0).toString();
    const QStringList expected = {QStringLiteral("Style"),
                                  QStringLiteral("Caption"),
                                  QStringLiteral("Icon"),
                                  QStringLiteral("IconAlign"),
                                  QStringLiteral("IconSize"),
                                  QStringLiteral("CaptionAlign"),
                                  QStringLiteral("NonThemeStyle"),
                                  QStringLiteral("Enabled"),
                                  QStringLiteral("ShowFocus"),
                                  QStringLiteral("UseCustomColors"),
                                  QStringLiteral("BackColor"),
                                  QStringLiteral("HighlightColor"),
                                  QStringLiteral("FontColor"),
                                  QStringLiteral("FontHighlightColor"),
                                  QStringLiteral("ToolTipText"),
                                  QStringLiteral("TooltipTitle"),
                                  QStringLiteral("TooltipIcon"),
                                  QStringLiteral("ToolTipType"),
                                  QStringLiteral("ToolTipBackColor"),
                                  QStringLiteral("ToolTipForeColor"),
                                  QStringLiteral("Font"),
                                  QStringLiteral("ButtonType"),
                                  QStringLiteral("Value"),
                                  QStringLiteral("MaskColor"),
                                  QStringLiteral("UseMaskColor"),
                                  QStringLiteral("MousePointer")};
    EXPECT_EQ(names, expected);
    EXPECT_EQ(b.cursor().shape(), Qt::WaitCursor);
    EXPECT_EQ(storedText(b),
              QByteArray("[[\"Icon\",null],[\"Style\",9],[\"Caption\",\"&Go\"],[\"IconSize\",20],"
                         "[\"IconAlign\",2],[\"CaptionAlign\",4],[\"iNonThemeStyle\",7],"
                         "[\"Enabled\",false],[\"ShowFocus\",true],[\"USeCustomColors\",true],"
                         "[\"BackColor\",197121],[\"HighlightColor\",394500],"
                         "[\"FontColor\",591879],[\"FontHighlightColor\",2147483666],"
                         "[\"Tooltiptitle\",\"t\"],[\"ToolTipIcon\",3],[\"ToolTipType\",0],"
                         "[\"ttBackColor\",4294967295],[\"ttForeColor\",1184016],"
                         "[\"Font\",{\"Italic\":false,\"Name\":\"Verdana\",\"Size\":10.5,"
                         "\"Strikethrough\":false,\"Underline\":false,\"Weight\":700}],"
                         "[\"ButtonType\",1],[\"Value\",true],[\"MaskColor\",65793],"
                         "[\"UseMaskColor\",true],[\"MousePointer\",11]]"));
}

TEST(ButtonProperties, LoadingAssignsThePointerShapeThroughItsPropertyAndReportsNothingElse) {
    MemoryPropertyBag bag;
    bag.set(QStringLiteral("MousePointer"), 11);
    bag.set(QStringLiteral("Style"), 8);
    bag.set(QStringLiteral("Caption"), QStringLiteral("Go"));
    isButton b;
    QSignalSpy spy(&b, &isButton::PropertyChanged);
    b.ReadProperties(bag);
    EXPECT_EQ(b.cursor().shape(), Qt::WaitCursor);
    ASSERT_EQ(spy.count(), 1);
    EXPECT_EQ(spy.at(0).at(0).toString(), QStringLiteral("MousePointer"));
    b.ReadProperties(MemoryPropertyBag());
    EXPECT_EQ(b.cursor().shape(), Qt::ArrowCursor);
}
