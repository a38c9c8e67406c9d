// The window in English: which language is chosen, and every text the window itself shows
// (captions, labels, list items, button captions from the stored form, boxes, the login hint)
// translated. The jobs' status lines stay Chinese and are not walked.
#include "app/frm_browser.h"
#include "app/frm_main.h"
#include "app/language.h"
#include "app/message_presenter.h"
#include "controls/isButton/is_button.h"
#include "jobs/catalogue.h"
#include "tools/portal-sim/portal_sim.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QDir>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>
#include <QTranslator>
#include <QTreeWidget>
#include <gtest/gtest.h>

// Readable failure output for texts.
inline void PrintTo(const QString& text, std::ostream* os) {
    *os << text.toStdString();
}

using namespace orvana;
using namespace std::chrono_literals;

namespace {

class BoxRecorder : public app::MessagePresenter {
public:
    void show(QWidget*, const QString& title, const QString& text, QMessageBox::Icon) override {
        texts << title << text;
    }
    bool ask(QWidget*, const QString& title, const QString& text) override {
        texts << title << text;
        return false;
    }
    QStringList texts;
};

bool isChinese(QChar c) {
    const char16_t u = c.unicode();
    return (u >= 0x2E80 && u <= 0x9FFF) || (u >= 0xF900 && u <= 0xFAFF) ||
           (u >= 0xFF00 && u <= 0xFFEF);
}

// Every text a user can see on root and its children.
QStringList shownTexts(QWidget& root) {
    QStringList texts;
    QList<QWidget*> widgets = root.findChildren<QWidget*>();
    widgets.prepend(&root);
    for (QWidget* w : widgets) {
        texts << w->windowTitle() << w->toolTip() << w->statusTip() << w->whatsThis();
        if (auto* label = qobject_cast<QLabel*>(w))
            texts << label->text();
        if (auto* button = qobject_cast<QAbstractButton*>(w))
            texts << button->text();
        if (auto* group = qobject_cast<QGroupBox*>(w))
            texts << group->title();
        if (auto* line = qobject_cast<QLineEdit*>(w))
            texts << line->text() << line->placeholderText();
        if (auto* combo = qobject_cast<QComboBox*>(w)) {
            for (int i = 0; i < combo->count(); ++i)
                texts << combo->itemText(i);
        }
        if (auto* list = qobject_cast<QListWidget*>(w)) {
            for (int i = 0; i < list->count(); ++i)
                texts << list->item(i)->text();
        }
        if (auto* menu = qobject_cast<QMenu*>(w)) {
            for (const QAction* action : menu->actions())
                texts << action->text();
        }
        if (auto* tree = qobject_cast<QTreeWidget*>(w)) {
            for (int i = 0; i < tree->columnCount(); ++i)
                texts << tree->headerItem()->text(i);
        }
        if (auto* button = qobject_cast<controls::isButton*>(w))
            texts << button->Caption() << button->ToolTipText() << button->ToolTipTitle();
    }
    return texts;
}

QStringList untranslated(const QStringList& texts) {
    QStringList found;
    for (const QString& text : texts) {
        if (std::any_of(text.begin(), text.end(), isChinese))
            found << text;
    }
    return found;
}

} // namespace

// The spellings of the wish (the program test covers locale, setting and precedence).
TEST(UiLanguage, EnglishOnlyWhenAskedForInOneOfItsSpellings) {
    const QByteArray saved = qgetenv("ORVANA_LANG");
    QTemporaryDir dir;
    const QSettings settings(dir.filePath(QStringLiteral("s.ini")), QSettings::IniFormat);
    for (const char* asked : {"en", "EN", "en_US.UTF-8", "en-GB", " en "}) {
        qputenv("ORVANA_LANG", asked);
        EXPECT_EQ(app::UiLanguage(settings), u"en") << asked;
    }
    for (const char* asked : {"english", "de", "enx", "zh_CN"}) {
        qputenv("ORVANA_LANG", asked);
        EXPECT_EQ(app::UiLanguage(settings), u"zh") << asked;
    }
    qputenv("ORVANA_LANG", saved);
    EXPECT_EQ(app::InstallLanguage(QStringLiteral("zh")), nullptr);
}

TEST(WindowInEnglish, ShowsNoUntranslatedText) {
    QTranslator* english = app::InstallLanguage(QStringLiteral("en"));
    ASSERT_NE(english, nullptr);
    QTemporaryDir dir;
    portal::PortalSim portal;
    portal.start();
    QSettings settings(dir.filePath(QStringLiteral("s.ini")), QSettings::IniFormat);
    BoxRecorder boxes;
    app::FrmMainOptions options;
    options.portalHost = QString::fromStdString(portal.host());
    options.downloadFolder = dir.filePath(QStringLiteral("out"));
    options.settings = &settings;
    options.presenter = &boxes;
    options.loginHintHold = 60s;
    app::frmMain window(options);
    window.Form_Load();
    window.show();

    EXPECT_EQ(window.windowTitle(), u"Orvana Music Album Downloader 1.0");
    EXPECT_EQ(window.findChild<controls::isButton*>(QStringLiteral("cmdLogin"))->Caption(),
              u"Log in to Orvana");
    EXPECT_EQ(app::frmBrowser::Caption(), u"After logging in to Orvana, just close this window");
    QStringList texts = shownTexts(window);
    auto* categories = window.findChild<QComboBox*>(QStringLiteral("cboSingerList"));
    ASSERT_EQ(categories->count(), int(jobs::kSingerCategories.size()));
    EXPECT_EQ(categories->itemText(2), u"Chinese male");

    auto* album = window.findChild<QLineEdit*>(QStringLiteral("txtAlbum"));
    auto click = [&window](const char* name) {
        QTest::mouseClick(window.findChild<controls::isButton*>(QString::fromLatin1(name)),
                          Qt::LeftButton);
    };
    auto idle = [&window] {
        return QTest::qWaitFor([&window] { return !window.busy(); }, 20000);
    };
    // The boxes: an address refused, a separator row, a proxy text the job refuses.
    const QString good = album->text();
    album->setText(QStringLiteral("nothing"));
    click("cmdDownAlbum");
    categories->setCurrentIndex(1);
    album->setText(good);
    window.findChild<QAbstractButton*>(QStringLiteral("chkProxy"))->setChecked(true);
    window.findChild<QLineEdit*>(QStringLiteral("txtProxy"))->setText(QStringLiteral("bad"));
    click("cmdDownAlbum");
    ASSERT_TRUE(idle());
    EXPECT_EQ(boxes.texts.size(), 6);
    EXPECT_TRUE(boxes.texts.contains(u"Invalid proxy address"));
    texts << boxes.texts;

    // The hint before the first job that starts, held on the status line, and the singer count.
    window.findChild<QAbstractButton*>(QStringLiteral("chkProxy"))->setChecked(false);
    click("cmdGetSingers");
    click("cmdDownAlbum");
    // The stop question (answered No).
    window.findChild<QAction*>(QStringLiteral("actStopDownload"))->trigger();
    ASSERT_EQ(boxes.texts.size(), 8);
    EXPECT_EQ(boxes.texts.back(), u"Stop the current download? The songs saved so far are kept.");
    texts << boxes.texts.mid(6);
    auto* status = window.findChild<QLabel*>(QStringLiteral("lblStatus"));
    EXPECT_TRUE(status->text().startsWith(u"Note: not logged in"));
    ASSERT_TRUE(idle());
    texts << shownTexts(window);
    EXPECT_EQ(window.findChild<QLabel*>(QStringLiteral("Label1"))->text(),
              u"%1 singers found; tick the ones to download"_qs.arg(
                  window.findChild<QListWidget*>(QStringLiteral("lstSingerName"))->count()));

    // Singer names come from the portal; the status tool tip is the download folder.
    texts.removeAll(status->toolTip());
    for (int i = 0; i < window.findChild<QListWidget*>(QStringLiteral("lstSingerName"))->count();
         ++i)
        texts.removeAll(
            window.findChild<QListWidget*>(QStringLiteral("lstSingerName"))->item(i)->text());
    EXPECT_EQ(untranslated(texts), QStringList());

    const QString screens = QStringLiteral(ORVANA_BINARY_DIR "/screens");
    QDir().mkpath(screens);
    EXPECT_TRUE(window.grab().save(screens + u"/main-english.png"));
    window.close();
    QCoreApplication::removeTranslator(english);
    EXPECT_EQ(window.Caption(), u"Orvana音乐 专辑打包下载工具 1.0");
}
