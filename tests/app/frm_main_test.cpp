// The main window offscreen against the sample portal: layout, refusals, busy rules, the jobs
// on their threads, the catalogue, remembered inputs and screenshots.
#include "app/frm_main.h"
#include "app/frm_result.h"
#include "app/job_bridge.h"
#include "app/message_presenter.h"
#include "controls/isButton/is_button.h"
#include "jobs/album_folder.h"
#include "jobs/portal.h"
#include "jobs/user_texts.h"
#include "tools/portal-sim/media.h"
#include "tools/portal-sim/portal_sim.h"

#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QContextMenuEvent>
#include <QDesktopServices>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QElapsedTimer>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMimeData>
#include <QProgressBar>
#include <QPushButton>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>
#include <atomic>
#include <functional>
#include <gtest/gtest.h>
#include <thread>

// Readable failure output for texts.
inline void PrintTo(const QString& text, std::ostream* os) {
    *os << text.toStdString();
}

using namespace orvana;
using namespace std::chrono_literals;
using app::frmMain;
using controls::isButton;
using portal::Endpoint;
using portal::Fault;

namespace {

constexpr std::size_t kSongBytes = 4000;

struct Box {
    QString title;
    QString text;
    QMessageBox::Icon icon;
};

class RecordingPresenter : public app::MessagePresenter {
public:
    void show(QWidget*, const QString& title, const QString& text,
              QMessageBox::Icon icon) override {
        boxes.push_back({title, text, icon});
        if (onShow)
            onShow(boxes.back());
    }
    bool ask(QWidget* parent, const QString& title, const QString& text) override {
        questions.push_back({title, text, QMessageBox::Question});
        if (onAsk)
            onAsk(questions.back());
        return boxes_ ? boxes_->ask(parent, title, text) : answer;
    }
    // Questions go to the real boxes when set.
    app::BoxPresenter* boxes_ = nullptr;
    std::vector<Box> boxes;
    // Runs while the box is "open".
    std::function<void(const Box&)> onShow;
    std::vector<Box> questions;
    std::function<void(const Box&)> onAsk;
    bool answer = false; // Yes when true
};

// Pauses between attempts are not waited for.
class NoWaitClock : public jobs::JobClock {
public:
    void sleep(std::chrono::milliseconds, const net::CancelToken*) override {}
};

// Receives the addresses the desktop would open.
class UrlCatcher : public QObject {
    Q_OBJECT
public:
    Q_INVOKABLE void open(const QUrl& url) { urls.append(url); }
    QList<QUrl> urls;
};

const QString kAlbumFolder = QStringLiteral("夜航星 第一辑 Live");

class FrmMainTest : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        portal.start();
        host = QString::fromStdString(portal.host());
        openWindow();
    }

    void openWindow(std::shared_ptr<jobs::JobClock> clock = std::make_shared<NoWaitClock>(),
                    const std::function<void(app::FrmMainOptions&)>& adjust = {}) {
        app::FrmMainOptions options;
        options.portalHost = host;
        options.downloadFolder = out();
        options.settings = &settings;
        options.presenter = &presenter;
        options.transfer.stallTimeout = 5s;
        options.clock = std::move(clock);
        options.session = session;
        options.loginHintHold = hintHold;
        if (adjust)
            adjust(options);
        window = std::make_unique<frmMain>(options);
        window->Form_Load();
        window->show();
        activate(window.get());
    }

    // Keys reach the shortcuts of the active window only.
    static void activate(QWidget* w) {
        w->activateWindow();
        EXPECT_TRUE(QTest::qWaitFor([w] { return QApplication::activeWindow() == w; }));
    }

    QString out() const { return dir.filePath(QStringLiteral("out")); }

    template <typename T> T* child(const char* name) const {
        T* w = window->findChild<T*>(QString::fromLatin1(name));
        EXPECT_NE(w, nullptr) << name;
        return w;
    }
    isButton* button(const char* name) const { return child<isButton>(name); }
    QString status() const { return child<QLabel>("lblStatus")->text(); }

    void click(const char* name) const { QTest::mouseClick(button(name), Qt::LeftButton); }

    [[nodiscard]] bool waitFor(const std::function<bool()>& done, int ms = 20000) const {
        return QTest::qWaitFor(done, ms);
    }
    [[nodiscard]] bool waitIdle() const {
        return waitFor([this] { return !window->busy(); });
    }
    [[nodiscard]] bool waitForStall() const {
        return waitFor([this] { return portal.stallsBegun() > 0; });
    }

    // The row of the singer list that holds id.
    int rowOf(const QString& id) const {
        const QListWidget* ids = child<QListWidget>("lstSingerID");
        for (int i = 0; i < ids->count(); ++i) {
            if (ids->item(i)->text() == id)
                return i;
        }
        ADD_FAILURE() << "no row for " << id.toStdString();
        return -1;
    }
    // Fetches the singer list of row 0 and ticks the singers of ids.
    [[nodiscard]] bool listAndTick(const QStringList& ids) const {
        click("cmdGetSingers");
        if (!waitIdle())
            return false;
        for (const QString& id : ids)
            tick(id, true);
        return true;
    }
    void tick(const QString& id, bool ticked) const {
        child<QListWidget>("lstSingerName")
            ->item(rowOf(id))
            ->setCheckState(ticked ? Qt::Checked : Qt::Unchecked);
    }

    app::frmResult* results() const { return child<app::frmResult>("frmResult"); }
    QPushButton* resultButton(const char* name) const {
        return results()->findChild<QPushButton*>(QString::fromLatin1(name));
    }
    // The rows of the results list, "album | song | state | file", the file relative to the
    // download folder.
    QStringList resultRows() const {
        const QTreeWidget* list = results()->findChild<QTreeWidget*>(u"lstResult"_qs);
        QStringList rows;
        for (int i = 0; i < list->topLevelItemCount(); ++i) {
            const QTreeWidgetItem* item = list->topLevelItem(i);
            QString file = item->text(3);
            if (file.startsWith(out() + u'/'))
                file = file.mid(out().size() + 1);
            rows << item->text(0) + u" | " + item->text(1) + u" | " + item->text(2) + u" | " + file;
        }
        return rows;
    }
    void doubleClickStatus() const {
        QTest::mouseDClick(child<QLabel>("lblStatus"), Qt::LeftButton);
    }

    QByteArray song(const char* id) const {
        const std::string body = portal::SongBody(id, 128, kSongBytes);
        return QByteArray(body.data(), qsizetype(body.size()));
    }

    QTemporaryDir dir;
    // A stall of one second: long enough to act during a song, short enough to finish.
    portal::PortalSim portal{portal::DemoCatalogue(), portal::PortalOptions{kSongBytes, 1s}};
    QString host;
    QSettings settings{dir.filePath(QStringLiteral("settings.ini")), QSettings::IniFormat};
    RecordingPresenter presenter;
    std::shared_ptr<net::TransportSession> session; // null: the window makes one
    std::chrono::milliseconds hintHold{0};
    std::unique_ptr<frmMain> window;
};

// The paths the portal was asked for that start with one of prefixes, in order.
std::vector<std::string> paths(const portal::PortalSim& portal,
                               std::initializer_list<const char*> prefixes) {
    std::vector<std::string> asked;
    for (const auto& r : portal.requests()) {
        for (const char* prefix : prefixes) {
            if (r.path.rfind(prefix, 0) == 0) {
                asked.push_back(r.path);
                break;
            }
        }
    }
    return asked;
}

QByteArray readFile(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

// The files of a folder, hidden ones too (a partial file would be one), less the album marker.
QStringList files(const QString& folder) {
    QStringList names = QDir(folder).entryList(QDir::Files | QDir::Hidden, QDir::Name);
    names.removeAll(jobs::kAlbumMarkerName.toString());
    return names;
}

} // namespace

TEST_F(FrmMainTest, LayoutTextsAndFirstRunContents) {
    EXPECT_EQ(window->windowTitle(), u"Orvana音乐 专辑打包下载工具 1.0");
    EXPECT_EQ(window->size(), QSize(731, 410));
    EXPECT_EQ(window->minimumSize(), window->maximumSize());

    struct Expected {
        const char* name;
        const char* parent;
        QRect geometry;
    };
    const Expected layout[] = {
        {"Frame2", "frmMain", {8, 8, 345, 129}},
        {"Label2", "Frame2", {8, 24, 305, 25}},
        {"cmdLogin", "Frame2", {64, 48, 153, 33}},
        {"chkProxy", "Frame2", {8, 96, 153, 25}},
        {"txtProxy", "Frame2", {144, 96, 185, 21}},
        {"Frame0", "frmMain", {8, 152, 345, 217}},
        {"txtSinger", "Frame0", {8, 32, 321, 25}},
        {"cmdDownSinger", "Frame0", {216, 64, 113, 33}},
        {"txtAlbum", "Frame0", {8, 136, 321, 25}},
        {"cmdDownAlbum", "Frame0", {216, 168, 113, 33}},
        {"Frame1", "frmMain", {360, 8, 361, 361}},
        {"Label0", "Frame1", {8, 40, 49, 25}},
        {"cboSingerList", "Frame1", {48, 32, 145, 22}},
        {"cmdGetSingers", "Frame1", {224, 24, 113, 33}},
        {"lstSingerName", "Frame1", {48, 64, 289, 214}},
        {"Label1", "Frame1", {8, 288, 321, 17}},
        {"cmdDownload", "Frame1", {208, 312, 129, 33}},
        {"lstSingerID", "Frame1", {48, 352, 281, 144}},
        {"lblStatus", "frmMain", {8, 384, 713, 17}},
    };
    for (const Expected& e : layout) {
        const QWidget* w = child<QWidget>(e.name);
        ASSERT_NE(w, nullptr);
        EXPECT_EQ(w->geometry(), e.geometry) << e.name;
        EXPECT_EQ(w->parentWidget()->objectName(), QString::fromLatin1(e.parent)) << e.name;
    }
    EXPECT_FALSE(child<QWidget>("lstSingerID")->isVisible());
    EXPECT_FALSE(child<QWidget>("progressStrip")->isVisible());
    EXPECT_EQ(child<QWidget>("progressStrip")->geometry(), QRect(0, 406, 731, 4));

    EXPECT_EQ(child<QGroupBox>("Frame2")->title(), u"准备下载");
    EXPECT_EQ(child<QGroupBox>("Frame0")->title(), u"下载指定歌手 / 专辑");
    EXPECT_EQ(child<QGroupBox>("Frame1")->title(), u"歌手全部专辑 打包下载");
    EXPECT_EQ(child<QLabel>("Label2")->text(), u"如果需要下载320kbps(约10M/首)，请先");
    EXPECT_EQ(child<QLabel>("Label0")->text(), u"分类");
    EXPECT_EQ(child<QLabel>("Label1")->text(), u"请先选择一个分类，获取歌手列表");
    EXPECT_EQ(child<QCheckBox>("chkProxy")->text(), u"使用HTTP代理下载");
    EXPECT_FALSE(child<QCheckBox>("chkProxy")->isChecked());
    EXPECT_EQ(child<QLineEdit>("txtProxy")->text(), u"127.0.0.1:8081");
    EXPECT_EQ(child<QLineEdit>("txtSinger")->text(), u"http://" + host + u"/artist/18104396");
    EXPECT_EQ(child<QLineEdit>("txtAlbum")->text(), u"http://" + host + u"/album/31258219");
    EXPECT_EQ(button("cmdLogin")->Caption(), u"使用Orvana帐号登录");
    EXPECT_EQ(button("cmdDownSinger")->Caption(), u"下载该歌手");
    EXPECT_EQ(button("cmdDownAlbum")->Caption(), u"下载该专辑");
    EXPECT_EQ(button("cmdGetSingers")->Caption(), u"获取歌手列表");
    EXPECT_EQ(button("cmdDownload")->Caption(), u"开始下载");

    const QComboBox* categories = child<QComboBox>("cboSingerList");
    ASSERT_EQ(categories->count(), 15);
    EXPECT_EQ(categories->currentIndex(), 0);
    EXPECT_EQ(categories->itemText(0), u"全部歌手");
    EXPECT_EQ(categories->itemText(5), u"=============");
    EXPECT_EQ(categories->itemText(14), u"其他歌手");
    EXPECT_EQ(child<QListWidget>("lstSingerName")->count(), 0);

    // Fonts and colours: captions and text boxes SimSun 10.5 pt, status bold red 9 pt.
    for (const char* name : {"Frame0", "Frame1", "Frame2", "txtProxy", "txtSinger", "txtAlbum"}) {
        const QFont f = child<QWidget>(name)->font();
        EXPECT_EQ(f.family(), u"SimSun") << name;
        EXPECT_EQ(f.pointSizeF(), 10.5) << name;
    }
    const QLabel* status = child<QLabel>("lblStatus");
    EXPECT_EQ(status->font().pointSizeF(), 9.0);
    EXPECT_TRUE(status->font().bold());
    EXPECT_EQ(status->palette().color(QPalette::WindowText), QColor(Qt::red));
    EXPECT_FALSE(status->text().isEmpty());
    EXPECT_EQ(child<QWidget>("Frame1")->palette().color(QPalette::WindowText), QColor(192, 64, 0));
    // Only the caption: the labels inside keep the normal text colour.
    EXPECT_NE(child<QWidget>("Label1")->palette().color(QPalette::WindowText), QColor(192, 64, 0));
    // The style really paints the captions in that colour (not only the palette holds it).
    const QImage shot = window->grab().toImage().convertToFormat(QImage::Format_RGB32);
    auto captionPixels = [&shot](QRect area) {
        int n = 0;
        for (int y = area.top(); y <= area.bottom(); ++y) {
            for (int x = area.left(); x <= area.right(); ++x)
                n += shot.pixel(x, y) == qRgb(192, 64, 0) ? 1 : 0;
        }
        return n;
    };
    EXPECT_GT(captionPixels({8, 4, 80, 20}), 10);    // 准备下载
    EXPECT_GT(captionPixels({360, 4, 160, 20}), 10); // 歌手全部专辑 打包下载
    EXPECT_EQ(captionPixels({16, 36, 300, 14}), 0);  // the hint label inside Frame2
    EXPECT_TRUE(QFont::substitutes(QStringLiteral("SimSun"))
                    .contains(u"Noto Serif CJK SC", Qt::CaseInsensitive));
    EXPECT_TRUE(presenter.boxes.empty());
}

TEST_F(FrmMainTest, RefusedAddressesShowTheMessageAndStartNothing) {
    const QString base = u"http://" + host;
    const QStringList refused = {
        base + u"/album/31258219?from=home", u"HTTP://" + host + u"/album/31258219",
        base + u"/artist/18104396", QString(), QStringLiteral("   "),
        // Only the digits 0-9 make an ID: a general numeric test
        // would send these to the portal.
        QStringLiteral("1e5"), QStringLiteral("-5"), QStringLiteral("+5"), QStringLiteral("1.5"),
        QStringLiteral("0x1F"), u"１２３"_qs, u"٣١"_qs};
    for (const QString& text : refused) {
        child<QLineEdit>("txtAlbum")->setText(text);
        click("cmdDownAlbum");
        ASSERT_EQ(presenter.boxes.size(), 1u) << text.toStdString();
        EXPECT_EQ(presenter.boxes.back().text, u"无法识别的地址");
        EXPECT_EQ(presenter.boxes.back().title, frmMain::Caption());
        EXPECT_EQ(presenter.boxes.back().icon, QMessageBox::Critical);
        EXPECT_TRUE(button("cmdDownAlbum")->Enabled());
        EXPECT_FALSE(window->busy());
        presenter.boxes.clear();
    }
    child<QLineEdit>("txtSinger")->setText(base + u"/album/31258219");
    click("cmdDownSinger");
    ASSERT_EQ(presenter.boxes.size(), 1u);
    EXPECT_EQ(presenter.boxes.back().text, u"无法识别的地址");
    QTest::qWait(50);
    EXPECT_TRUE(portal.requests().empty());
    EXPECT_FALSE(QDir(out()).exists());
}

TEST_F(FrmMainTest, AlbumJobWritesTheAlbumAndEndsWithItsCompletionText) {
    // Spaces around the address and a trailing "/" are accepted.
    child<QLineEdit>("txtAlbum")->setText(u"  http://" + host + u"/album/31258219/ ");
    QStringList seen;
    QObject::connect(&window->bridge(), &app::JobBridge::statusChanged,
                     [&seen](const QString& text) { seen.append(text); });
    click("cmdDownAlbum");
    EXPECT_FALSE(button("cmdDownAlbum")->Enabled());
    EXPECT_TRUE(button("cmdDownSinger")->Enabled());
    ASSERT_TRUE(waitIdle());

    EXPECT_EQ(status(), u"指定专辑下载完毕.");
    EXPECT_TRUE(button("cmdDownAlbum")->Enabled());
    EXPECT_FALSE(child<QWidget>("progressStrip")->isVisible());
    EXPECT_TRUE(presenter.boxes.empty());
    ASSERT_FALSE(seen.isEmpty());
    EXPECT_EQ(seen.first(), u"下载专辑封面: 《夜航星: 第一辑 <Live>.》 ... ");
    EXPECT_EQ(seen.last(), u"正在下载MP3: 最后一首 \"再见\" ...");
    EXPECT_EQ(child<QLabel>("lblStatus")->toolTip(), out());

    const QString album = out() + u'/' + kAlbumFolder;
    EXPECT_EQ(files(album).size(), 9);
    EXPECT_TRUE(files(album).contains(u"cover.jpg"));
    EXPECT_EQ(readFile(album + u"/晴天的海.mp3"), song("1001"));

    // The completion text stays until the next job writes the line.
    QTest::qWait(50);
    EXPECT_EQ(status(), u"指定专辑下载完毕.");

    // A double click on the status line opens the results; before a window's first job, the
    // download folder (when it is there).
    UrlCatcher catcher;
    QDesktopServices::setUrlHandler(QStringLiteral("file"), &catcher, "open");
    QTest::mouseDClick(child<QLabel>("lblStatus"), Qt::LeftButton);
    EXPECT_TRUE(results()->isVisible());
    EXPECT_TRUE(catcher.urls.isEmpty());
    window.reset();
    openWindow();
    QTest::mouseDClick(child<QLabel>("lblStatus"), Qt::LeftButton);
    QDesktopServices::unsetUrlHandler(QStringLiteral("file"));
    EXPECT_EQ(catcher.urls, QList<QUrl>{QUrl::fromLocalFile(out())});
    EXPECT_FALSE(results()->isVisible());
}

// A job that did not get everything says so, with the count of failed songs or the failure
// that is no single song's; every command alike.
TEST_F(FrmMainTest, StatusLineTellsWhatFailed) {
    // The first song fails all five attempts; the others are stored.
    portal.addFault(Endpoint::SongFile, Fault::Status500, 5);
    click("cmdDownAlbum");
    ASSERT_TRUE(waitIdle());
    EXPECT_EQ(status(), u"指定专辑下载完毕. 失败 1 首 (双击查看)");
    EXPECT_EQ(files(out() + u'/' + kAlbumFolder).size(), 8);

    // The next run fetches the missing song: the plain completion text again.
    click("cmdDownAlbum");
    ASSERT_TRUE(waitIdle());
    EXPECT_EQ(status(), u"指定专辑下载完毕.");

    portal.addFault(Endpoint::AlbumPage, Fault::Status500, -1);
    child<QLineEdit>("txtAlbum")->setText(QStringLiteral("31258220"));
    click("cmdDownAlbum");
    ASSERT_TRUE(waitIdle());
    EXPECT_EQ(status(),
              u"无法获取专辑页面: Fetching http://" + host +
                  u"/album/31258220 failed: HTTP status 500 (Internal Server Error) (双击查看)");
    EXPECT_FALSE(QDir(out() + u"/空白封面").exists());
    portal.clearFaults();

    portal.addFault(Endpoint::SingerPage, Fault::Status500, -1);
    child<QLineEdit>("txtSinger")->setText(QStringLiteral("18105001"));
    click("cmdDownSinger");
    ASSERT_TRUE(waitIdle());
    EXPECT_EQ(status(), u"无法获取歌手页面: 18105001 (双击查看)");
    portal.clearFaults();

    // A ticked run counts the failed songs of every singer.
    ASSERT_TRUE(listAndTick({u"18105004"_qs, u"18105005"_qs}));
    portal.addFault(Endpoint::SongFile, Fault::Status500, 10);
    click("cmdDownload");
    ASSERT_TRUE(waitIdle());
    EXPECT_EQ(status(), u"所选专辑已下载完毕. 失败 2 首 (双击查看)");
    EXPECT_TRUE(presenter.boxes.empty());
}

// The captions of the results window and of the status line's menu, which a right click opens.
TEST_F(FrmMainTest, ResultsWindowAndStatusMenuTexts) {
    EXPECT_EQ(results()->windowTitle(), u"下载结果");
    EXPECT_TRUE(results()->isWindow());
    EXPECT_FALSE(results()->isModal());
    EXPECT_EQ(results()->parentWidget(), window.get());
    const QTreeWidget* list = results()->findChild<QTreeWidget*>(u"lstResult"_qs);
    ASSERT_NE(list, nullptr);
    const QTreeWidgetItem* header = list->headerItem();
    EXPECT_EQ(QStringList({header->text(0), header->text(1), header->text(2), header->text(3)}),
              (QStringList{u"专辑"_qs, u"歌曲"_qs, u"状态"_qs, u"文件"_qs}));
    EXPECT_EQ(resultButton("cmdRetry")->text(), u"重试失败项");
    EXPECT_EQ(resultButton("cmdOpenFolder")->text(), u"打开文件夹");
    EXPECT_EQ(resultButton("cmdCopyFailures")->text(), u"复制失败列表");
    EXPECT_EQ(resultButton("cmdClose")->text(), u"关闭");
    EXPECT_FALSE(resultButton("cmdRetry")->isEnabled());

    QMenu* menu = child<QMenu>("statusMenu");
    ASSERT_NE(menu, nullptr);
    QStringList captions;
    QList<bool> enabled;
    for (const QAction* a : menu->actions()) {
        captions << a->text();
        enabled << a->isEnabled();
    }
    EXPECT_EQ(captions, (QStringList{u"查看下载结果"_qs, u"打开下载文件夹"_qs, u"停止下载"_qs}));
    // Nothing to show or stop before the first job.
    EXPECT_EQ(enabled, (QList<bool>{false, true, false}));
    QContextMenuEvent rightClick(QContextMenuEvent::Mouse, QPoint(4, 4),
                                 child<QLabel>("lblStatus")->mapToGlobal(QPoint(4, 4)));
    QApplication::sendEvent(child<QLabel>("lblStatus"), &rightClick);
    EXPECT_TRUE(menu->isVisible());
    menu->hide();
}

namespace {

// The rows of the demo album once song 1001 failed and the others were stored.
QStringList demoAlbumRows(const QString& host) {
    const QString album = u"夜航星: 第一辑 <Live>."_qs;
    const QString folder = kAlbumFolder + u'/';
    QStringList rows{album + u" | 晴天的海 | 失败: 尝试 5 次均失败: Fetching http://" + host +
                     u"/file/1001/128.mp3 failed: HTTP status 500 (Internal Server Error) | " +
                     folder + u"晴天的海.mp3"};
    const QStringList saved[] = {{u"A/B: Side?"_qs, u"AB Side.mp3"_qs},
                                 {u"???"_qs, u"1003.mp3"_qs},
                                 {u"同名曲"_qs, u"同名曲.mp3"_qs},
                                 {u"同名曲."_qs, u"同名曲 (2).mp3"_qs},
                                 {u"Rock & Roll <Remix>"_qs, u"Rock & Roll Remix.mp3"_qs},
                                 {u" 同名曲 "_qs, u"同名曲 (3).mp3"_qs},
                                 {u"最后一首 \"再见\""_qs, u"最后一首 再见.mp3"_qs}};
    for (const QStringList& s : saved)
        rows << album + u" | " + s[0] + u" | 已保存 | " + folder + s[1];
    return rows;
}

} // namespace

// The results window lists the songs as the job reports them, while it runs; a retry fetches
// exactly the songs that are missing; the failures can be copied.
TEST_F(FrmMainTest, ResultsWindowListsTheJobLiveAndRetriesTheFailedSongs) {
    portal.addFault(Endpoint::SongFile, Fault::Status500, 5);
    portal.addFault(Endpoint::SongFile, Fault::StallMidBody);
    click("cmdDownAlbum");
    ASSERT_TRUE(waitForStall());
    doubleClickStatus();
    ASSERT_TRUE(results()->isVisible());

    // The failed song is listed while the next one is in flight; retry waits for the job.
    const QStringList expected = demoAlbumRows(host);
    ASSERT_TRUE(waitFor([this] { return !resultRows().isEmpty(); }));
    EXPECT_EQ(resultRows(), expected.mid(0, 1));
    EXPECT_TRUE(window->busy());
    EXPECT_FALSE(resultButton("cmdRetry")->isEnabled());
    Q_EMIT results()->retryRequested();
    ASSERT_EQ(presenter.boxes.size(), 1u);
    EXPECT_EQ(presenter.boxes.back().text, u"请等待上一个操作结束.");
    ASSERT_TRUE(waitIdle());
    EXPECT_EQ(resultRows(), expected);
    EXPECT_TRUE(resultButton("cmdRetry")->isEnabled());

    QTest::mouseClick(resultButton("cmdCopyFailures"), Qt::LeftButton);
    EXPECT_EQ(QGuiApplication::clipboard()->text(),
              u"夜航星: 第一辑 <Live>. / 晴天的海: 尝试 5 次均失败: Fetching http://" + host +
                  u"/file/1001/128.mp3 failed: HTTP status 500 (Internal Server Error)");
    UrlCatcher catcher;
    QDesktopServices::setUrlHandler(QStringLiteral("file"), &catcher, "open");
    QTest::mouseClick(resultButton("cmdOpenFolder"), Qt::LeftButton);
    QDesktopServices::unsetUrlHandler(QStringLiteral("file"));
    EXPECT_EQ(catcher.urls, QList<QUrl>{QUrl::fromLocalFile(out())});

    portal.clearRequests();
    QTest::mouseClick(resultButton("cmdRetry"), Qt::LeftButton);
    EXPECT_FALSE(button("cmdDownAlbum")->Enabled());
    EXPECT_FALSE(resultButton("cmdRetry")->isEnabled());
    ASSERT_TRUE(waitIdle());
    EXPECT_EQ(status(), u"指定专辑下载完毕.");
    EXPECT_EQ(paths(portal, {"/file/"}), std::vector<std::string>{"/file/1001/128.mp3"});
    QStringList retried = expected;
    retried.replaceInStrings(u" | 已保存 | "_qs, u" | 已存在 | "_qs);
    retried[0] =
        retried[0].section(u" | "_qs, 0, 1) + u" | 已保存 | " + kAlbumFolder + u"/晴天的海.mp3";
    QStringList rows = resultRows();
    // Stored and present songs may be reported in either order.
    rows.sort();
    retried.sort();
    EXPECT_EQ(rows, retried);
    EXPECT_FALSE(resultButton("cmdRetry")->isEnabled());
    QTest::mouseClick(resultButton("cmdClose"), Qt::LeftButton);
    EXPECT_FALSE(results()->isVisible());
}

// A failure of a whole album is a row of its own; a retry of a ticked run runs the singers it
// ran, whatever the lists hold by then.
TEST_F(FrmMainTest, ResultsWindowListsAlbumFailuresAndRetriesATickedRun) {
    portal.addFault(Endpoint::AlbumPage, Fault::Status500, -1);
    child<QLineEdit>("txtAlbum")->setText(QStringLiteral("31258220"));
    click("cmdDownAlbum");
    ASSERT_TRUE(waitIdle());
    const QString reason = u"无法获取专辑页面: Fetching http://" + host +
                           u"/album/31258220 failed: HTTP status 500 (Internal Server Error)";
    EXPECT_EQ(resultRows(), QStringList{u"31258220 |  | 失败: " + reason + u" | "});
    QTest::mouseClick(resultButton("cmdCopyFailures"), Qt::LeftButton);
    EXPECT_EQ(QGuiApplication::clipboard()->text(), u"31258220: " + reason);
    portal.clearFaults();
    QTest::mouseClick(resultButton("cmdRetry"), Qt::LeftButton);
    ASSERT_TRUE(waitIdle());
    EXPECT_EQ(resultRows(), (QStringList{u"空白封面 | 第一首 | 已保存 | 空白封面/第一首.mp3"_qs,
                                         u"空白封面 | 第二首 | 已保存 | 空白封面/第二首.mp3"_qs}));

    ASSERT_TRUE(listAndTick({u"18105004"_qs, u"18105005"_qs}));
    // River Lane's song fails every attempt.
    portal.addFault(Endpoint::SongFile, Fault::Status500, 5);
    click("cmdDownload");
    ASSERT_TRUE(waitIdle());
    EXPECT_EQ(status(), u"所选专辑已下载完毕. 失败 1 首 (双击查看)");
    ASSERT_EQ(resultRows().size(), 2);
    EXPECT_TRUE(resultRows()[0].startsWith(u"River Lane 首张专辑 | River Lane 之歌 | 失败: "));
    tick(QStringLiteral("18105004"), false);
    tick(QStringLiteral("18105005"), false);
    portal.clearRequests();
    QTest::mouseClick(resultButton("cmdRetry"), Qt::LeftButton);
    EXPECT_FALSE(button("cmdDownload")->Enabled());
    EXPECT_FALSE(button("cmdGetSingers")->Enabled());
    ASSERT_TRUE(waitIdle());
    EXPECT_EQ(status(), u"所选专辑已下载完毕.");
    EXPECT_EQ(paths(portal, {"/artist/", "/file/"}),
              (std::vector<std::string>{"/artist/18105004", "/file/4000004/128.mp3",
                                        "/artist/18105005"}));
    EXPECT_TRUE(button("cmdDownload")->Enabled());
    EXPECT_TRUE(button("cmdGetSingers")->Enabled());
}

// The settings file's download options reach the jobs: tags, the playlist, the archive (its
// songs listed as present from the record once their folder is gone) and parallel songs.
TEST_F(FrmMainTest, SettingsTurnOnTagsPlaylistArchiveAndParallelSongs) {
    settings.setValue(QStringLiteral("download/tags"), true);
    settings.setValue(QStringLiteral("download/m3u"), true);
    settings.setValue(QStringLiteral("download/archive"), true);
    settings.setValue(QStringLiteral("download/parallel"), 3);
    const QString archive = dir.filePath(QStringLiteral("data/archive.txt"));
    window.reset();
    openWindow(std::make_shared<NoWaitClock>(),
               [&](app::FrmMainOptions& o) { o.archivePath = archive; });
    click("cmdDownAlbum");
    ASSERT_TRUE(waitIdle());
    EXPECT_EQ(status(), u"指定专辑下载完毕.");
    const QString album = out() + u'/' + kAlbumFolder;
    EXPECT_TRUE(readFile(album + u"/晴天的海.mp3").startsWith("ID3\x03"));
    EXPECT_TRUE(readFile(album + u"/playlist.m3u8").startsWith("#EXTM3U\n"));
    EXPECT_EQ(readFile(archive).count('\n'), 8);

    ASSERT_TRUE(QDir(album).removeRecursively());
    portal.clearRequests();
    click("cmdDownAlbum");
    ASSERT_TRUE(waitIdle());
    EXPECT_TRUE(portal.requests("/song/").empty());
    doubleClickStatus();
    ASSERT_EQ(resultRows().size(), 8);
    EXPECT_EQ(resultRows()[0], u"夜航星: 第一辑 <Live>. | 晴天的海 | 已存在 (记录) | " +
                                   kAlbumFolder + u"/晴天的海.mp3");
}

TEST_F(FrmMainTest, AnArchiveThatCannotBeUsedRefusesTheJobInABox) {
    settings.setValue(QStringLiteral("download/archive"), true);
    window.reset();
    // A folder stands at the archive's name.
    openWindow(std::make_shared<NoWaitClock>(),
               [&](app::FrmMainOptions& o) { o.archivePath = dir.path(); });
    click("cmdDownAlbum");
    ASSERT_EQ(presenter.boxes.size(), 1);
    EXPECT_TRUE(presenter.boxes[0].text.startsWith(u"无法使用下载记录: cannot use the archive "))
        << presenter.boxes[0].text.toStdString();
    EXPECT_FALSE(window->busy());
    EXPECT_TRUE(portal.requests().empty());
}

namespace {

// Holds every retry pause until the job is cancelled; counts the pauses begun.
class HoldingClock : public jobs::JobClock {
public:
    void sleep(std::chrono::milliseconds, const net::CancelToken* cancel) override {
        ++pauses;
        while (!(cancel && cancel->isCancelled()))
            std::this_thread::sleep_for(2ms);
    }
    std::atomic<int> pauses{0};
};

} // namespace

// Escape (from any control) or the status line's menu asks; No lets the job go on, Yes ends it
// at once with nothing half-written, the song in flight listed as stopped. The next job is not
// cancelled.
TEST_F(FrmMainTest, StopEndsTheDownloadInFlightAndTheNextJobStartsAfresh) {
    // Stalls that outlast the test: only the stop can end the song.
    portal::PortalSim slow(portal::DemoCatalogue(), portal::PortalOptions{kSongBytes, 60s});
    slow.start();
    host = QString::fromStdString(slow.host());
    window.reset();
    openWindow();
    QAction* stop = child<QAction>("actStopDownload");
    ASSERT_NE(stop, nullptr);
    EXPECT_FALSE(stop->isEnabled());

    // Escape without a download asks nothing.
    QTest::keyClick(child<QLineEdit>("txtAlbum"), Qt::Key_Escape);
    EXPECT_TRUE(presenter.questions.empty());

    slow.addFault(Endpoint::SongFile, Fault::StallMidBody);
    click("cmdDownAlbum");
    ASSERT_TRUE(waitFor([&slow] { return slow.stallsBegun() == 1; }));
    EXPECT_TRUE(stop->isEnabled());
    presenter.answer = false;
    QTest::keyClick(child<QLineEdit>("txtAlbum"), Qt::Key_Escape);
    ASSERT_EQ(presenter.questions.size(), 1u);
    EXPECT_EQ(presenter.questions.back().title, frmMain::Caption());
    EXPECT_EQ(presenter.questions.back().text, u"停止当前下载? 已保存的歌曲会保留.");
    QTest::qWait(100);
    EXPECT_TRUE(window->busy());

    presenter.answer = true;
    QElapsedTimer timer;
    timer.start();
    stop->trigger();
    ASSERT_EQ(presenter.questions.size(), 2u);
    ASSERT_TRUE(waitIdle());
    EXPECT_LT(timer.elapsed(), 1000);
    EXPECT_EQ(status(), u"下载已停止.");
    EXPECT_TRUE(button("cmdDownAlbum")->Enabled());
    EXPECT_FALSE(stop->isEnabled());
    const QString album = out() + u'/' + kAlbumFolder;
    EXPECT_EQ(files(album), QStringList{u"cover.jpg"_qs});
    EXPECT_EQ(resultRows(), QStringList{u"夜航星: 第一辑 <Live>. | 晴天的海 | 已停止 | "_qs +
                                        kAlbumFolder + u"/晴天的海.mp3"});
    EXPECT_FALSE(resultButton("cmdRetry")->isEnabled());

    click("cmdDownAlbum");
    ASSERT_TRUE(waitIdle());
    EXPECT_EQ(status(), u"指定专辑下载完毕.");
    EXPECT_EQ(files(album).size(), 9);
}

// The songs stored before a stop stay; a stop ends a retry pause at once; a ticked run stops as
// a whole.
TEST_F(FrmMainTest, StopKeepsWhatWasStoredAndEndsARetryPauseAndAWholeTickedRun) {
    auto clock = std::make_shared<HoldingClock>();
    window.reset();
    openWindow(clock);
    presenter.answer = true;
    // The first song is stored after its stall; the second is stopped in its own.
    portal.addFault(Endpoint::SongFile, Fault::StallMidBody, 2);
    click("cmdDownAlbum");
    ASSERT_TRUE(waitFor([this] { return portal.stallsBegun() == 2; }));
    QTest::keyClick(window.get(), Qt::Key_Escape);
    ASSERT_TRUE(waitIdle());
    EXPECT_EQ(status(), u"下载已停止.");
    const QString album = out() + u'/' + kAlbumFolder;
    EXPECT_EQ(files(album), (QStringList{u"cover.jpg"_qs, u"晴天的海.mp3"_qs}));
    QStringList rows = resultRows();
    rows.sort();
    EXPECT_EQ(rows, (QStringList{u"夜航星: 第一辑 <Live>. | A/B: Side? | 已停止 | "_qs +
                                     kAlbumFolder + u"/AB Side.mp3",
                                 u"夜航星: 第一辑 <Live>. | 晴天的海 | 已保存 | "_qs +
                                     kAlbumFolder + u"/晴天的海.mp3"}));
    QDir(album).removeRecursively();
    portal.clearRequests();

    portal.addFault(Endpoint::SongFile, Fault::Status500);
    click("cmdDownAlbum");
    ASSERT_TRUE(waitFor([&clock] { return clock->pauses == 1; }));
    QTest::keyClick(window.get(), Qt::Key_Escape);
    ASSERT_TRUE(waitIdle());
    EXPECT_EQ(status(), u"下载已停止.");
    EXPECT_EQ(portal.requests("/file/").size(), 1u);
    EXPECT_EQ(files(out() + u'/' + kAlbumFolder), QStringList{u"cover.jpg"_qs});
    EXPECT_EQ(resultRows(), QStringList{u"夜航星: 第一辑 <Live>. | 晴天的海 | 已停止 | "_qs +
                                        kAlbumFolder + u"/晴天的海.mp3"});

    ASSERT_TRUE(listAndTick({u"18105001"_qs, u"18105004"_qs}));
    portal.clearRequests();
    portal.addFault(Endpoint::SongFile, Fault::StallMidBody);
    click("cmdDownload");
    ASSERT_TRUE(waitFor([this] { return portal.stallsBegun() == 3; }));
    QTest::keyClick(window.get(), Qt::Key_Escape);
    ASSERT_TRUE(waitIdle());
    EXPECT_EQ(status(), u"下载已停止.");
    EXPECT_TRUE(button("cmdDownload")->Enabled());
    EXPECT_TRUE(button("cmdGetSingers")->Enabled());
    EXPECT_TRUE(portal.requests("/artist/18105004").empty());
    EXPECT_EQ(files(out() + u"/雨桐/雨桐 首张专辑"), QStringList{u"cover.jpg"_qs});
}

namespace {

// Offers mime to the window as a drag would, then drops it; whether each was accepted.
std::pair<bool, bool> dragAndDrop(QWidget& window, const QMimeData& mime) {
    const QPoint at(200, 300);
    QDragEnterEvent enter(at, Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&window, &enter);
    QDropEvent drop(QPointF(at), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&window, &drop);
    return {enter.isAccepted(), drop.isAccepted()};
}

} // namespace

// An album or singer address of the portal, dropped as a link or as text, goes into its box,
// which takes the focus; nothing starts. Anything else is refused and changes nothing.
TEST_F(FrmMainTest, DroppedPortalAddressesGoIntoTheirBoxes) {
    QLineEdit* album = child<QLineEdit>("txtAlbum");
    QLineEdit* singer = child<QLineEdit>("txtSinger");
    // The boxes leave drops to the window.
    EXPECT_FALSE(album->acceptDrops());
    EXPECT_FALSE(singer->acceptDrops());
    EXPECT_FALSE(child<QLineEdit>("txtProxy")->acceptDrops());
    const QString base = u"http://" + host;

    QMimeData link;
    link.setUrls({QUrl(base + u"/album/31258220")});
    EXPECT_EQ(dragAndDrop(*window, link), std::pair(true, true));
    EXPECT_EQ(album->text(), base + u"/album/31258220");
    EXPECT_TRUE(album->hasFocus());

    QMimeData text;
    text.setText(u"  " + base + u"/artist/18105001\n");
    EXPECT_EQ(dragAndDrop(*window, text), std::pair(true, true));
    EXPECT_EQ(singer->text(), base + u"/artist/18105001");
    EXPECT_TRUE(singer->hasFocus());
    EXPECT_EQ(album->text(), base + u"/album/31258220");

    const QStringList refused = {
        u"http://other.example/album/31258220"_qs,
        u"http://127.0.0.1:1/album/31258220"_qs,
        u"https://" + host + u"/album/31258220",
        base + u"/album/31258220?from=home",
        base + u"/album/31258220#top",
        base + u"/album/31258220/",
        base + u"/album/3125822x",
        base + u"/album/",
        base + u"/song/1001",
        u"http://user@" + host + u"/album/31258220",
        u"31258220"_qs,
        u"nothing at all"_qs,
    };
    for (const QString& address : refused) {
        QMimeData asText;
        asText.setText(address);
        EXPECT_EQ(dragAndDrop(*window, asText), std::pair(false, false)) << address.toStdString();
        QMimeData asLink;
        asLink.setUrls({QUrl(address)});
        EXPECT_EQ(dragAndDrop(*window, asLink), std::pair(false, false)) << address.toStdString();
    }
    // Two links at once are no one address.
    QMimeData two;
    two.setUrls({QUrl(base + u"/album/1"), QUrl(base + u"/album/2")});
    EXPECT_EQ(dragAndDrop(*window, two), std::pair(false, false));
    EXPECT_EQ(album->text(), base + u"/album/31258220");
    EXPECT_EQ(singer->text(), base + u"/artist/18105001");
    QTest::qWait(50);
    EXPECT_FALSE(window->busy());
    EXPECT_TRUE(portal.requests().empty());
    EXPECT_TRUE(presenter.boxes.empty());
}

TEST_F(FrmMainTest, AlbumClickDuringASingerJobIsRefusedAndTheSingerJobGoesOn) {
    child<QLineEdit>("txtSinger")->setText(u"http://" + host + u"/artist/18105001");
    portal.addFault(Endpoint::SongFile, Fault::StallMidBody);
    click("cmdDownSinger");
    ASSERT_TRUE(waitForStall());
    click("cmdDownAlbum");
    ASSERT_EQ(presenter.boxes.size(), 1u);
    EXPECT_EQ(presenter.boxes.back().text, u"请等待上一个操作结束.");
    EXPECT_EQ(presenter.boxes.back().icon, QMessageBox::Information);
    EXPECT_EQ(presenter.boxes.back().title, frmMain::Caption());
    EXPECT_TRUE(button("cmdDownAlbum")->Enabled());
    click("cmdDownload");
    EXPECT_EQ(presenter.boxes.size(), 2u);

    ASSERT_TRUE(waitIdle());
    EXPECT_EQ(status(), u"指定歌手下载完毕.");
    EXPECT_TRUE(button("cmdDownSinger")->Enabled());
    EXPECT_EQ(files(out() + u"/雨桐/雨桐 首张专辑"),
              (QStringList{u"cover.jpg"_qs, u"雨桐 之歌.mp3"_qs}));
    EXPECT_TRUE(portal.requests("/album/31258219").empty());
}

TEST_F(FrmMainTest, GetSingersDuringAnAlbumJobIsAccepted) {
    portal.addFault(Endpoint::SongFile, Fault::StallMidBody);
    click("cmdDownAlbum");
    ASSERT_TRUE(waitForStall());
    click("cmdGetSingers");
    EXPECT_TRUE(presenter.boxes.empty());
    EXPECT_FALSE(button("cmdGetSingers")->Enabled());
    EXPECT_EQ(child<QLabel>("Label1")->text(), u"");
    const int singers = int(portal.catalogue().singers.size());
    ASSERT_TRUE(waitFor([this] { return button("cmdGetSingers")->Enabled(); }));
    EXPECT_EQ(child<QLabel>("Label1")->text(),
              u"共获取歌手" + QString::number(singers) + u"位, 请勾选需要下载的歌手");
    EXPECT_EQ(child<QListWidget>("lstSingerName")->count(), singers);
    EXPECT_EQ(child<QListWidget>("lstSingerID")->count(), singers);
    EXPECT_EQ(child<QListWidget>("lstSingerName")->item(0)->text(), u"夜航星乐队");
    EXPECT_EQ(child<QListWidget>("lstSingerID")->item(0)->text(), u"18104396");
    ASSERT_TRUE(waitIdle());
    EXPECT_EQ(status(), u"指定专辑下载完毕.");
}

TEST_F(FrmMainTest, SeparatorRowIsRefusedAndRowZeroSelectedAgain) {
    QComboBox* categories = child<QComboBox>("cboSingerList");
    categories->setCurrentIndex(3);
    EXPECT_TRUE(presenter.boxes.empty());
    for (int row : {1, 5, 9, 13}) {
        categories->setCurrentIndex(row);
        ASSERT_EQ(presenter.boxes.size(), 1u);
        EXPECT_EQ(presenter.boxes.back().text, u"请选择一个有效的分类");
        EXPECT_EQ(presenter.boxes.back().icon, QMessageBox::Information);
        EXPECT_EQ(presenter.boxes.back().title, frmMain::Caption());
        EXPECT_EQ(categories->currentIndex(), 0);
        presenter.boxes.clear();
    }
    // Row 14 fetches the index of its path.
    categories->setCurrentIndex(14);
    click("cmdGetSingers");
    ASSERT_TRUE(waitIdle());
    EXPECT_EQ(portal.requests("/artist").back().path, "/artist/other");
    EXPECT_EQ(child<QLabel>("Label1")->text(), u"共获取歌手1位, 请勾选需要下载的歌手");
}

TEST_F(FrmMainTest, TickedRunReadsEachTickWhenItGetsThere) {
    click("cmdGetSingers");
    ASSERT_TRUE(waitIdle());
    const QString first = QStringLiteral("18105001");   // 雨桐
    const QString later = QStringLiteral("18105004");   // River Lane
    const QString dropped = QStringLiteral("18105005"); // Ann Marie
    ASSERT_LT(rowOf(first), rowOf(later));
    ASSERT_LT(rowOf(later), rowOf(dropped));
    tick(first, true);
    tick(dropped, true);

    portal.addFault(Endpoint::SongFile, Fault::StallMidBody);
    click("cmdDownload");
    EXPECT_FALSE(button("cmdDownload")->Enabled());
    EXPECT_FALSE(button("cmdGetSingers")->Enabled());
    ASSERT_TRUE(waitForStall());
    // While the first singer's song is in flight: one row ticked, one unticked.
    tick(later, true);
    tick(dropped, false);
    click("cmdDownAlbum");
    ASSERT_EQ(presenter.boxes.size(), 1u);
    EXPECT_EQ(presenter.boxes.back().text, u"请等待上一个操作结束.");
    ASSERT_TRUE(waitIdle());

    EXPECT_EQ(status(), u"所选专辑已下载完毕.");
    EXPECT_TRUE(button("cmdDownload")->Enabled());
    EXPECT_TRUE(button("cmdGetSingers")->Enabled());
    EXPECT_EQ(QDir(out()).entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name),
              (QStringList{u"River Lane"_qs, u"雨桐"_qs}));
    std::vector<std::string> singerPages;
    for (const auto& r : portal.requests("/artist/"))
        singerPages.push_back(r.path);
    EXPECT_EQ(singerPages, (std::vector<std::string>{"/artist/18105001", "/artist/18105004"}));
    // The run changes neither the lists nor the ticks.
    EXPECT_EQ(child<QListWidget>("lstSingerName")->item(rowOf(later))->checkState(), Qt::Checked);

    // Nothing ticked: no download, and still the completion text.
    tick(first, false);
    tick(later, false);
    child<QLabel>("lblStatus")->setText(QString());
    portal.clearRequests();
    click("cmdDownload");
    ASSERT_TRUE(waitIdle());
    EXPECT_EQ(status(), u"所选专辑已下载完毕.");
    EXPECT_TRUE(portal.requests().empty());
}

// A singer list fetched while a ticked run starts lands during the run: the run changes
// neither the lists nor the ticks and gets every ticked singer; the new list is shown when the
// run has ended, and only then can a list be fetched again.
TEST_F(FrmMainTest, SingerListLandingDuringATickedRunWaitsForTheRunsEnd) {
    // Every answer 150 ms late: the list lands long before the run has done its first singer.
    portal::PortalSim distant(portal::DemoCatalogue(),
                              portal::PortalOptions{kSongBytes, 30s, 150ms});
    distant.start();
    host = QString::fromStdString(distant.host());
    window.reset();
    openWindow();
    click("cmdGetSingers");
    ASSERT_TRUE(waitIdle());
    const QString first = QStringLiteral("18105001");
    const QString second = QStringLiteral("18105004");
    tick(first, true);
    tick(second, true);
    const int rows = child<QListWidget>("lstSingerName")->count();

    int ended = 0;
    QObject::connect(window.get(), &frmMain::jobFinished, [&ended] { ++ended; });
    child<QComboBox>("cboSingerList")->setCurrentIndex(14);
    click("cmdGetSingers");
    click("cmdDownload");
    ASSERT_TRUE(waitFor([&ended] { return ended == 1; }));
    ASSERT_FALSE(button("cmdDownload")->Enabled()) << "the run ended before the list landed";
    EXPECT_FALSE(button("cmdGetSingers")->Enabled());
    EXPECT_EQ(child<QListWidget>("lstSingerName")->count(), rows);
    EXPECT_EQ(child<QListWidget>("lstSingerID")->count(), rows);
    EXPECT_EQ(child<QListWidget>("lstSingerName")->item(rowOf(second))->checkState(), Qt::Checked);
    EXPECT_EQ(child<QLabel>("Label1")->text(), u"");

    ASSERT_TRUE(waitIdle());
    EXPECT_EQ(status(), u"所选专辑已下载完毕.");
    EXPECT_EQ(paths(distant, {"/artist/1"}),
              (std::vector<std::string>{"/artist/18105001", "/artist/18105004"}));
    EXPECT_EQ(child<QListWidget>("lstSingerName")->count(), 1);
    EXPECT_EQ(child<QListWidget>("lstSingerName")->item(0)->text(), u"Other/Voice");
    EXPECT_EQ(child<QListWidget>("lstSingerID")->item(0)->text(), u"18105010");
    EXPECT_EQ(child<QLabel>("Label1")->text(), u"共获取歌手1位, 请勾选需要下载的歌手");
    EXPECT_TRUE(button("cmdGetSingers")->Enabled());
    EXPECT_TRUE(button("cmdDownload")->Enabled());
}

TEST_F(FrmMainTest, FailedIndexFetchIsReportedOnLabelOneAndTheListsStay) {
    click("cmdGetSingers");
    ASSERT_TRUE(waitIdle());
    const int rows = child<QListWidget>("lstSingerName")->count();
    ASSERT_GT(rows, 0);
    portal.addFault(Endpoint::ArtistIndex, Fault::Status500);
    child<QComboBox>("cboSingerList")->setCurrentIndex(4);
    click("cmdGetSingers");
    ASSERT_TRUE(waitIdle());
    const QString label = child<QLabel>("Label1")->text();
    EXPECT_TRUE(label.startsWith(u"获取歌手列表失败: ")) << label.toStdString();
    EXPECT_TRUE(label.contains(u"/artist/cn/group")) << label.toStdString();
    EXPECT_TRUE(label.contains(u"500")) << label.toStdString();
    EXPECT_EQ(child<QListWidget>("lstSingerName")->count(), rows);
    EXPECT_EQ(child<QListWidget>("lstSingerID")->count(), rows);
    EXPECT_TRUE(button("cmdGetSingers")->Enabled());
    EXPECT_TRUE(presenter.boxes.empty());
}

TEST_F(FrmMainTest, UnreadableProxyTextIsRefusedInABoxAndNothingIsFetched) {
    child<QCheckBox>("chkProxy")->setChecked(true);
    child<QLineEdit>("txtProxy")->setText(QStringLiteral("no proxy here"));
    const QString before = status();
    click("cmdDownAlbum");
    ASSERT_TRUE(waitIdle());
    ASSERT_EQ(presenter.boxes.size(), 1u);
    EXPECT_EQ(presenter.boxes.back().text, u"代理地址无效");
    EXPECT_EQ(presenter.boxes.back().title, frmMain::Caption());
    EXPECT_EQ(status(), before);
    EXPECT_TRUE(button("cmdDownAlbum")->Enabled());
    EXPECT_TRUE(portal.requests().empty());

    // The ticked run stops after one box as well.
    ASSERT_TRUE(listAndTick({u"18105001"_qs, u"18105004"_qs}));
    portal.clearRequests();
    click("cmdDownload");
    ASSERT_TRUE(waitIdle());
    EXPECT_EQ(presenter.boxes.size(), 2u);
    EXPECT_EQ(status(), before);
    EXPECT_TRUE(portal.requests().empty());
    EXPECT_TRUE(button("cmdDownload")->Enabled());
}

// Each singer of a ticked run reads the proxy controls as they stand when it starts: a proxy
// text that cannot be read, typed during the first singer, refuses the second.
TEST_F(FrmMainTest, TickedRunReadsTheProxyAtEachSingersStart) {
    ASSERT_TRUE(listAndTick({u"18105001"_qs, u"18105004"_qs}));
    portal.addFault(Endpoint::SongFile, Fault::StallMidBody);
    click("cmdDownload");
    ASSERT_TRUE(waitForStall());
    child<QCheckBox>("chkProxy")->setChecked(true);
    child<QLineEdit>("txtProxy")->setText(QStringLiteral("no proxy here"));
    ASSERT_TRUE(waitIdle());
    ASSERT_EQ(presenter.boxes.size(), 1u);
    EXPECT_EQ(presenter.boxes.back().text, u"代理地址无效");
    EXPECT_EQ(files(out() + u"/雨桐/雨桐 首张专辑"),
              (QStringList{u"cover.jpg"_qs, u"雨桐 之歌.mp3"_qs}));
    EXPECT_TRUE(portal.requests("/artist/18105004").empty());
    // Nothing was downloaded for the refused singer: no completion text.
    EXPECT_NE(status(), u"所选专辑已下载完毕.");
    EXPECT_TRUE(button("cmdDownload")->Enabled());
}

TEST_F(FrmMainTest, InputsAreRememberedBetweenRuns) {
    child<QCheckBox>("chkProxy")->setChecked(true);
    child<QLineEdit>("txtProxy")->setText(QStringLiteral("10.1.2.3:3128"));
    child<QLineEdit>("txtSinger")->setText(QStringLiteral("18105001"));
    child<QLineEdit>("txtAlbum")->setText(QStringLiteral("31258220"));
    window->close();
    window.reset();
    openWindow();
    EXPECT_TRUE(child<QCheckBox>("chkProxy")->isChecked());
    EXPECT_EQ(child<QLineEdit>("txtProxy")->text(), u"10.1.2.3:3128");
    EXPECT_EQ(child<QLineEdit>("txtSinger")->text(), u"18105001");
    EXPECT_EQ(child<QLineEdit>("txtAlbum")->text(), u"31258220");

    // The portal moved to another port: an address on the old host gives way to the default.
    child<QLineEdit>("txtAlbum")->setText(u"http://" + host + u"/album/31258220");
    window->close();
    window.reset();
    host = QStringLiteral("127.0.0.1:9");
    openWindow();
    EXPECT_EQ(child<QLineEdit>("txtAlbum")->text(), u"http://127.0.0.1:9/album/31258219");
    EXPECT_EQ(child<QLineEdit>("txtSinger")->text(), u"18105001");
}

TEST_F(FrmMainTest, ClosingDuringAJobCancelsItPromptly) {
    portal.addFault(Endpoint::SongFile, Fault::StallMidBody);
    click("cmdDownAlbum");
    ASSERT_TRUE(waitForStall());
    QElapsedTimer timer;
    timer.start();
    window->close();
    EXPECT_TRUE(window->bridge().shutdown(1s));
    EXPECT_LT(timer.elapsed(), 1000);
    EXPECT_EQ(files(out() + u'/' + kAlbumFolder), QStringList{u"cover.jpg"_qs});
}

TEST_F(FrmMainTest, ClosingDuringARetryPauseEndsTheJobWithoutFurtherRetries) {
    window.reset();
    openWindow(nullptr); // real pauses: 1 s, 2 s, 4 s ...
    QStringList seen;
    QObject::connect(&window->bridge(), &app::JobBridge::statusChanged,
                     [&seen](const QString& text) { seen.append(text); });
    portal.addFault(Endpoint::AlbumList, Fault::Refuse, -1);
    click("cmdDownSinger");
    ASSERT_TRUE(waitFor([this] { return !portal.requests("/data/user/getalbums").empty(); }));
    // Inside the first pause.
    QTest::qWait(100);
    QElapsedTimer timer;
    timer.start();
    window->close();
    EXPECT_TRUE(window->bridge().shutdown(1s));
    EXPECT_LT(timer.elapsed(), 1000);
    QTest::qWait(50);
    EXPECT_EQ(portal.requests("/data/user/getalbums").size(), 1u);
    EXPECT_EQ(seen.filter(u"专辑列表获取失败,重试..."_qs).size(), 1);
    EXPECT_NE(status(), u"指定歌手下载完毕.");
}

TEST_F(FrmMainTest, ClosingWhileAJobWaitsForItsMessageBoxEndsTheWaitAtOnce) {
    child<QCheckBox>("chkProxy")->setChecked(true);
    child<QLineEdit>("txtProxy")->setText(QStringLiteral("no proxy here"));
    bool ended = false;
    qint64 ms = -1;
    presenter.onShow = [&](const Box&) {
        // The box is still open when the main window is closed (as a termination signal does).
        QElapsedTimer timer;
        timer.start();
        window->close();
        ended = window->bridge().shutdown(1s);
        ms = timer.elapsed();
    };
    click("cmdDownAlbum");
    ASSERT_TRUE(waitFor([&ms] { return ms >= 0; }));
    EXPECT_TRUE(ended);
    EXPECT_LT(ms, 1000);
    EXPECT_EQ(presenter.boxes.back().text, u"代理地址无效");
}

TEST_F(FrmMainTest, ScreenshotsOfTheIdleWindowAndOfAJob) {
    const QString screens = QStringLiteral(ORVANA_BINARY_DIR "/screens");
    ASSERT_TRUE(QDir().mkpath(screens));
    click("cmdGetSingers");
    ASSERT_TRUE(waitIdle());
    QImage idle = window->grab().toImage();
    EXPECT_EQ(idle.size() / idle.devicePixelRatio(), QSize(731, 410));
    EXPECT_TRUE(idle.save(screens + u"/frm_main_idle.png"));

    tick(QStringLiteral("18105001"), true);
    std::vector<qint64> deliveries;
    QElapsedTimer clock;
    clock.start();
    QObject::connect(&window->bridge(), &app::JobBridge::songProgress,
                     [&](qint64, qint64) { deliveries.push_back(clock.elapsed()); });
    portal.addFault(Endpoint::SongFile, Fault::StallMidBody);
    click("cmdDownload");
    ASSERT_TRUE(waitForStall());
    ASSERT_TRUE(waitFor([this] { return status() == u"正在下载MP3: 雨桐 之歌 ..."; }));
    EXPECT_TRUE(window->grab().toImage().save(screens + u"/frm_main_job.png"));
    ASSERT_TRUE(waitIdle());
    EXPECT_FALSE(child<QProgressBar>("progressStrip")->isVisible());
    // At most 20 updates a second reach the window thread.
    for (std::size_t i = 1; i < deliveries.size(); ++i)
        EXPECT_GE(deliveries[i] - deliveries[i - 1], 45) << i;
}

// The window after a job with a failed song, the results window, and the real stop question
// box (answered by a timer, so the test never blocks).
TEST_F(FrmMainTest, ScreenshotsOfAFailureAndOfTheStopQuestion) {
    const QString screens = QStringLiteral(ORVANA_BINARY_DIR "/screens");
    ASSERT_TRUE(QDir().mkpath(screens));
    portal.addFault(Endpoint::SongFile, Fault::Status500, 5);
    click("cmdDownAlbum");
    ASSERT_TRUE(waitIdle());
    ASSERT_EQ(status(), u"指定专辑下载完毕. 失败 1 首 (双击查看)");
    EXPECT_TRUE(window->grab().save(screens + u"/main-failed-songs.png"));
    doubleClickStatus();
    ASSERT_TRUE(results()->isVisible());
    EXPECT_TRUE(results()->grab().save(screens + u"/results-failure.png"));
    // The results window took the activation; the main window takes it back for the Escape.
    ASSERT_TRUE(waitFor([this] { return QApplication::activeWindow() == results(); }));
    results()->close();

    app::BoxPresenter real;
    presenter.boxes_ = &real;
    portal.addFault(Endpoint::SongFile, Fault::StallMidBody);
    child<QLineEdit>("txtAlbum")->setText(QStringLiteral("31258220"));
    click("cmdDownAlbum");
    ASSERT_TRUE(waitForStall());
    QString seen;
    QTimer::singleShot(100ms, [&seen, screens] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box) {
            seen = u"no box"_qs;
            return;
        }
        seen = box->windowTitle() + u'|' + box->text() + u'|' +
               box->button(QMessageBox::Yes)->text() + u'|' + box->button(QMessageBox::No)->text() +
               u'|' + (box->defaultButton() == box->button(QMessageBox::No) ? u"No"_qs : u"Yes"_qs);
        box->grab().save(screens + u"/stop-question.png");
        box->button(QMessageBox::Yes)->click();
    });
    activate(window.get());
    QTest::keyClick(window.get(), Qt::Key_Escape);
    EXPECT_EQ(seen, frmMain::Caption() + u"|停止当前下载? 已保存的歌曲会保留.|是(&Y)|否(&N)|No");
    ASSERT_TRUE(waitIdle());
    EXPECT_EQ(status(), u"下载已停止.");
}

#include "frm_main_test.moc"

// Not logged in: the first download job of the run puts the hint on the status line and holds
// it there for a moment, then the job's latest text shows; the job itself is not held up.
// Later jobs, and any job of a run that holds a login cookie, show no hint.
TEST_F(FrmMainTest, LoginHintBeforeTheFirstDownloadOnlyAndNeverWithALogin) {
    hintHold = 500ms;
    openWindow();
    QElapsedTimer sinceClick;
    sinceClick.start();
    click("cmdDownAlbum");
    EXPECT_EQ(status(), jobs::UserText(jobs::kLoginHint));
    const QString screens = QStringLiteral(ORVANA_BINARY_DIR "/screens");
    QDir().mkpath(screens);
    EXPECT_TRUE(window->grab().save(screens + u"/main-login-hint.png"));
    // The job runs under the hint; its latest text replaces the hint once the hold is over.
    ASSERT_TRUE(waitIdle());
    EXPECT_EQ(files(out() + u'/' + kAlbumFolder).size(), 9);
    ASSERT_TRUE(waitFor([this] { return status() != jobs::UserText(jobs::kLoginHint); }, 3000));
    EXPECT_GE(sinceClick.elapsed(), 450);
    EXPECT_EQ(status(), u"指定专辑下载完毕.");

    click("cmdDownSinger");
    EXPECT_NE(status(), jobs::UserText(jobs::kLoginHint));
    ASSERT_TRUE(waitIdle());
    EXPECT_EQ(status(), u"指定歌手下载完毕.");

    // A new run holding an unexpired login cookie for the portal host.
    auto store = std::make_shared<net::CookieStore>();
    const QNetworkCookie login(jobs::kLoginCookieName,
                               QByteArray::fromStdString(portal.issueSession("demo")));
    ASSERT_TRUE(store->setCookiesFromUrl({login}, QUrl(u"http://" + host + u'/')));
    session = std::make_shared<net::TransportSession>(store);
    openWindow();
    click("cmdDownAlbum");
    EXPECT_NE(status(), jobs::UserText(jobs::kLoginHint));
    ASSERT_TRUE(waitIdle());
    EXPECT_EQ(status(), u"指定专辑下载完毕.");
}

// A first job that will refuse its proxy text shows the refusal, not the hint, and leaves the
// hint to the next job that starts.
TEST_F(FrmMainTest, LoginHintWaitsForAJobThatStarts) {
    child<QCheckBox>("chkProxy")->setChecked(true);
    child<QLineEdit>("txtProxy")->setText(QStringLiteral("no proxy here"));
    click("cmdDownAlbum");
    EXPECT_EQ(status(), u"Orvana音乐 专辑打包下载 · 就绪");
    ASSERT_TRUE(waitIdle());
    child<QCheckBox>("chkProxy")->setChecked(false);
    click("cmdDownAlbum");
    EXPECT_EQ(status(), jobs::UserText(jobs::kLoginHint));
    ASSERT_TRUE(waitIdle());
}
