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

namespace {

// The window offscreen in English against the sample portal; the translator goes with the test.
class WindowInEnglish : public testing::Test {
protected:
    void SetUp() override {
        english = app::InstallLanguage(QStringLiteral("en"));
        ASSERT_NE(english, nullptr);
        portal.start();
        app::FrmMainOptions options;
        options.portalHost = QString::fromStdString(portal.host());
        options.downloadFolder = dir.filePath(QStringLiteral("out"));
        options.settings = &settings;
        options.presenter = &boxes;
        options.loginHintHold = 60s;
        window = std::make_unique<app::frmMain>(options);
        window->Form_Load();
        window->show();
    }
    void TearDown() override {
        window->close();
        QCoreApplication::removeTranslator(english);
        EXPECT_EQ(app::frmMain::Caption(), u"Orvana音乐 专辑打包下载工具 1.0");
    }

    template <typename T> T* child(const char* name) const {
        return window->findChild<T*>(QString::fromLatin1(name));
    }
    void click(const char* name) const {
        QTest::mouseClick(child<controls::isButton>(name), Qt::LeftButton);
    }
    [[nodiscard]] bool idle() const {
        return QTest::qWaitFor([this] { return !window->busy(); }, 20000);
    }
    // texts less what comes from elsewhere: singer names from the portal, the status tool tip
    // (the download folder).
    QStringList withoutForeignTexts(QStringList texts) const {
        texts.removeAll(child<QLabel>("lblStatus")->toolTip());
        const QListWidget* names = child<QListWidget>("lstSingerName");
        for (int i = 0; i < names->count(); ++i)
            texts.removeAll(names->item(i)->text());
        return texts;
    }

    QTranslator* english = nullptr;
    QTemporaryDir dir;
    portal::PortalSim portal;
    QSettings settings{dir.filePath(QStringLiteral("s.ini")), QSettings::IniFormat};
    BoxRecorder boxes;
    std::unique_ptr<app::frmMain> window;
};

} // namespace

TEST_F(WindowInEnglish, ShowsNoUntranslatedText) {
    EXPECT_EQ(window->windowTitle(), u"Orvana Music Album Downloader 1.0");
    EXPECT_EQ(child<controls::isButton>("cmdLogin")->Caption(), u"Log in to Orvana");
    EXPECT_EQ(app::frmBrowser::Caption(), u"After logging in to Orvana, just close this window");
    QStringList texts = shownTexts(*window);
    auto* categories = child<QComboBox>("cboSingerList");
    ASSERT_EQ(categories->count(), int(jobs::kSingerCategories.size()));
    EXPECT_EQ(categories->itemText(2), u"Chinese male");

    // The boxes: an address refused, a separator row, a proxy text the job refuses.
    auto* album = child<QLineEdit>("txtAlbum");
    const QString good = album->text();
    album->setText(QStringLiteral("nothing"));
    click("cmdDownAlbum");
    categories->setCurrentIndex(1);
    album->setText(good);
    child<QAbstractButton>("chkProxy")->setChecked(true);
    child<QLineEdit>("txtProxy")->setText(QStringLiteral("bad"));
    click("cmdDownAlbum");
    ASSERT_TRUE(idle());
    EXPECT_EQ(boxes.texts.size(), 6);
    EXPECT_TRUE(boxes.texts.contains(u"Invalid proxy address"));

    // The hint before the first job that starts, held on the status line, the stop question
    // (answered No) and the singer count.
    child<QAbstractButton>("chkProxy")->setChecked(false);
    click("cmdGetSingers");
    click("cmdDownAlbum");
    child<QAction>("actStopDownload")->trigger();
    ASSERT_EQ(boxes.texts.size(), 8);
    EXPECT_EQ(boxes.texts.back(), u"Stop the current download? The songs saved so far are kept.");
    texts << boxes.texts;
    EXPECT_TRUE(child<QLabel>("lblStatus")->text().startsWith(u"Note: not logged in"));
    ASSERT_TRUE(idle());
    texts << shownTexts(*window);
    EXPECT_EQ(child<QLabel>("Label1")->text(),
              u"%1 singers found; tick the ones to download"_qs.arg(
                  child<QListWidget>("lstSingerName")->count()));
    EXPECT_EQ(untranslated(withoutForeignTexts(texts)), QStringList());

    const QString screens = QStringLiteral(ORVANA_BINARY_DIR "/screens");
    QDir().mkpath(screens);
    EXPECT_TRUE(window->grab().save(screens + u"/main-english.png"));
}
