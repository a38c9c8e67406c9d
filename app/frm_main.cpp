#include "app/frm_main.h"

#include "app/app_settings.h"
#include "app/dropped_address.h"
#include "app/frm_browser.h"
#include "app/frm_result.h"
#include "app/job_bridge.h"
#include "app/login_profile.h"
#include "app/message_presenter.h"
#include "controls/isButton/form_store.h"
#include "controls/isButton/is_button.h"
#include "jobs/address_check.h"
#include "jobs/catalogue.h"
#include "jobs/download_archive.h"
#include "jobs/job_report.h"
#include "jobs/portal.h"
#include "jobs/user_texts.h"

#include "json/error.h"
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QDesktopServices>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMimeData>
#include <QProgressBar>
#include <QScreen>
#include <QSettings>
#include <QShortcut>
#include <QTimer>
#include <QUrl>
#include <algorithm>
#include <utility>

namespace orvana::app {

namespace {

// SimSun is a Song (serif) face; on Debian its Simplified Chinese counterpart is Noto Serif
// CJK SC. Without the substitution Chinese falls back to Japanese glyph shapes.
void installFontSubstitutes() {
    if (!QFont::substitutes(QStringLiteral("SimSun"))
             .contains(QStringLiteral("Noto Serif CJK SC"), Qt::CaseInsensitive))
        QFont::insertSubstitution(QStringLiteral("SimSun"), QStringLiteral("Noto Serif CJK SC"));
}

QFont simSun(double points, bool bold = false) {
    QFont font(QStringLiteral("SimSun"));
    font.setPointSizeF(points);
    font.setBold(bold);
    return font;
}

// Gives a child of a group box the normal text colour back (the group's caption colour would
// otherwise be inherited).
void normalText(QWidget* widget, const QPalette& normal) {
    QPalette p = widget->palette();
    p.setColor(QPalette::WindowText, normal.color(QPalette::WindowText));
    p.setColor(QPalette::Text, normal.color(QPalette::Text));
    widget->setPalette(p);
}

const QString kButtonForm = QStringLiteral(":/isButton/forms/frm_main_buttons.json");

// Texts the window shows but takes from elsewhere (the stored button form, the catalogue):
// listed so they are translated with the window's own texts.
[[maybe_unused]] constexpr const char* kForeignTexts[] = {
    QT_TRANSLATE_NOOP("orvana::app::frmMain", "使用Orvana帐号登录"),
    QT_TRANSLATE_NOOP("orvana::app::frmMain", "下载该歌手"),
    QT_TRANSLATE_NOOP("orvana::app::frmMain", "下载该专辑"),
    QT_TRANSLATE_NOOP("orvana::app::frmMain", "获取歌手列表"),
    QT_TRANSLATE_NOOP("orvana::app::frmMain", "开始下载"),
    QT_TRANSLATE_NOOP("orvana::app::frmMain", "全部歌手"),
    QT_TRANSLATE_NOOP("orvana::app::frmMain", "华语男歌手"),
    QT_TRANSLATE_NOOP("orvana::app::frmMain", "华语女歌手"),
    QT_TRANSLATE_NOOP("orvana::app::frmMain", "华语乐队组合"),
    QT_TRANSLATE_NOOP("orvana::app::frmMain", "欧美男歌手"),
    QT_TRANSLATE_NOOP("orvana::app::frmMain", "欧美女歌手"),
    QT_TRANSLATE_NOOP("orvana::app::frmMain", "欧美乐队组合"),
    QT_TRANSLATE_NOOP("orvana::app::frmMain", "日韩男歌手"),
    QT_TRANSLATE_NOOP("orvana::app::frmMain", "日韩女歌手"),
    QT_TRANSLATE_NOOP("orvana::app::frmMain", "日韩乐队组合"),
    QT_TRANSLATE_NOOP("orvana::app::frmMain", "其他歌手"),
};

// A text from elsewhere in the language in use; unknown texts stay as they are.
QString translated(const QString& text) {
    return text.isEmpty() ? text : frmMain::tr(text.toUtf8().constData());
}

} // namespace

frmMain::frmMain(FrmMainOptions options, QWidget* parent)
    : QWidget(parent), m_options(std::move(options)), m_notifier(m_options.notificationBus),
      m_tickedRows(std::make_shared<TickedRows>()),
      m_proxyControls(std::make_shared<ProxyControls>()) {
    installFontSubstitutes();
    if (!m_options.session)
        m_options.session = std::make_shared<net::TransportSession>();
    m_bridge = std::make_unique<JobBridge>(m_options.session, m_options.transfer);
    // The jobs' messages come in the language in use already.
    m_bridge->setMessageHandler(
        [this](const QString& text) { showBox(text, QMessageBox::Information); });
    connect(m_bridge.get(), &JobBridge::statusChanged, this, &frmMain::setStatus);
    connect(m_bridge.get(), &JobBridge::songProgress, this, &frmMain::showProgress);

    setObjectName(QStringLiteral("frmMain"));
    setWindowTitle(Caption());
    setFixedSize(731, 410);
    buildControls();
    loadButtons();
    loadInputs();

    m_result = new frmResult(this);
    connect(m_bridge.get(), &JobBridge::songFinished, m_result, &frmResult::addSong);
    connect(m_bridge.get(), &JobBridge::jobError, m_result, &frmResult::addError);
    connect(m_result, &frmResult::retryRequested, this, &frmMain::retryLastJob);
    connect(m_result, &frmResult::openFolderRequested, this, &frmMain::openDownloadFolder);
    if (QFileInfo(m_options.downloadFolder).isDir())
        lblStatus->setToolTip(QDir::toNativeSeparators(m_options.downloadFolder));
    buildStatusMenu();
    // Drops go to the window, which takes portal addresses only (the boxes would take any text).
    setAcceptDrops(true);
    for (QLineEdit* box : {txtProxy, txtSinger, txtAlbum})
        box->setAcceptDrops(false);
    // Wherever the focus is in the window.
    auto* stop = new QShortcut(QKeySequence(Qt::Key_Escape), this);
    connect(stop, &QShortcut::activated, this, &frmMain::askStop);
}

frmMain::~frmMain() {
    m_bridge->cancelAll();
    // Closes a login window still open: a page never outlives its profile.
    m_login.reset();
}

QString frmMain::Caption() {
    return tr("Orvana音乐 专辑打包下载工具 1.0");
}

// Makes the window's standard controls with their names, places and fonts.
struct frmMain::ControlMaker {
    QWidget* window;
    QPalette normal;
    QFont boxFont = simSun(10.5);
    // The other controls use the Song face at the size of the desktop's dialogs, so the proxy
    // box's caption fits beside the text box.
    QFont plainFont = simSun(9);

    QGroupBox* group(const char* name, const QString& caption, QRect geometry) const {
        auto* g = new QGroupBox(caption, window);
        place(g, name, geometry, boxFont);
        QPalette p = g->palette();
        // Fusion draws the caption in WindowText; other styles read Text for it.
        p.setColor(QPalette::WindowText, QColor(192, 64, 0));
        p.setColor(QPalette::Text, QColor(192, 64, 0));
        g->setPalette(p);
        return g;
    }
    QLabel* label(QWidget* parent, const char* name, const QString& text, QRect geometry) const {
        auto* l = new QLabel(text, parent);
        l->setTextFormat(Qt::PlainText);
        plain(l, name, geometry);
        return l;
    }
    QLineEdit* textBox(QWidget* parent, const char* name, QRect geometry) const {
        auto* t = new QLineEdit(parent);
        place(t, name, geometry, boxFont);
        normalText(t, normal);
        return t;
    }
    template <typename W> W* plain(W* widget, const char* name, QRect geometry) const {
        place(widget, name, geometry, plainFont);
        normalText(widget, normal);
        return widget;
    }
    static void place(QWidget* w, const char* name, QRect geometry, const QFont& font) {
        w->setObjectName(QString::fromLatin1(name));
        w->setGeometry(geometry);
        w->setFont(font);
    }
};

void frmMain::buildControls() {
    const ControlMaker make{this, palette()};
    buildPreparationGroup(make);
    Frame0 = make.group("Frame0", tr("下载指定歌手 / 专辑"), {8, 152, 345, 217});
    txtSinger = make.textBox(Frame0, "txtSinger", {8, 32, 321, 25});
    txtAlbum = make.textBox(Frame0, "txtAlbum", {8, 136, 321, 25});
    buildCatalogueGroup(make);
    buildStatusLine();
}

void frmMain::buildPreparationGroup(const ControlMaker& make) {
    Frame2 = make.group("Frame2", tr("准备下载"), {8, 8, 345, 129});
    Label2 =
        make.label(Frame2, "Label2", tr("如果需要下载320kbps(约10M/首)，请先"), {8, 24, 305, 25});
    chkProxy =
        make.plain(new QCheckBox(tr("使用HTTP代理下载"), Frame2), "chkProxy", {8, 96, 153, 25});
    txtProxy = make.textBox(Frame2, "txtProxy", {144, 96, 185, 21});
}

void frmMain::buildCatalogueGroup(const ControlMaker& make) {
    Frame1 = make.group("Frame1", tr("歌手全部专辑 打包下载"), {360, 8, 361, 361});
    Label0 = make.label(Frame1, "Label0", tr("分类"), {8, 40, 49, 25});
    cboSingerList = make.plain(new QComboBox(Frame1), "cboSingerList", {48, 32, 145, 22});
    // Only the rows' places reach the jobs, so the names may be shown translated.
    for (const jobs::SingerCategory& c : jobs::kSingerCategories)
        cboSingerList->addItem(translated(c.text.toString()));
    lstSingerName = make.plain(new QListWidget(Frame1), "lstSingerName", {48, 64, 289, 214});
    Label1 = make.label(Frame1, "Label1", tr("请先选择一个分类，获取歌手列表"), {8, 288, 321, 17});
    lstSingerID = new QListWidget(Frame1);
    lstSingerID->setObjectName(QStringLiteral("lstSingerID"));
    lstSingerID->setGeometry(48, 352, 281, 144);
    // Below the visible part of its group; the IDs are never shown.
    lstSingerID->hide();
    connect(cboSingerList, &QComboBox::currentIndexChanged, this, &frmMain::cboSingerList_Click);
    connect(lstSingerName, &QListWidget::itemChanged, this, [this](QListWidgetItem* item) {
        m_tickedRows->setTicked(lstSingerName->row(item), item->checkState() == Qt::Checked);
    });
}

void frmMain::buildStatusLine() {
    lblStatus = new QLabel(tr("Orvana音乐 专辑打包下载 · 就绪"), this);
    lblStatus->setTextFormat(Qt::PlainText);
    ControlMaker::place(lblStatus, "lblStatus", {8, 384, 713, 17}, simSun(9, true));
    QPalette p = lblStatus->palette();
    p.setColor(QPalette::WindowText, Qt::red);
    lblStatus->setPalette(p);
    lblStatus->installEventFilter(this);

    progressStrip = new QProgressBar(this);
    progressStrip->setObjectName(QStringLiteral("progressStrip"));
    progressStrip->setGeometry(0, 406, 731, 4);
    progressStrip->setTextVisible(false);
    progressStrip->setRange(0, 1000);
    progressStrip->hide();
}

void frmMain::loadButtons() {
    controls::StoredForm form;
    try {
        form = controls::LoadForm(kButtonForm);
    } catch (const Error&) {
        // Compiled in: only a broken build gets here; the buttons keep their own defaults.
    }
    auto button = [&](QWidget* parent, const char* name, QRect geometry) {
        const QString objectName = QString::fromLatin1(name);
        auto* b = new controls::isButton(parent, objectName);
        b->setObjectName(objectName);
        if (const controls::StoredControl* stored = form.find(objectName))
            b->LoadStored(*stored);
        translateButton(*b);
        b->setGeometry(geometry);
        return b;
    };
    cmdLogin = button(Frame2, "cmdLogin", {64, 48, 153, 33});
    cmdDownSinger = button(Frame0, "cmdDownSinger", {216, 64, 113, 33});
    cmdDownAlbum = button(Frame0, "cmdDownAlbum", {216, 168, 113, 33});
    cmdGetSingers = button(Frame1, "cmdGetSingers", {224, 24, 113, 33});
    cmdDownload = button(Frame1, "cmdDownload", {208, 312, 129, 33});

    connect(cmdLogin, &controls::isButton::Click, this, &frmMain::cmdLogin_Click);
    connect(cmdDownSinger, &controls::isButton::Click, this, &frmMain::cmdDownSinger_Click);
    connect(cmdDownAlbum, &controls::isButton::Click, this, &frmMain::cmdDownAlbum_Click);
    connect(cmdGetSingers, &controls::isButton::Click, this, &frmMain::cmdGetSingers_Click);
    connect(cmdDownload, &controls::isButton::Click, this, &frmMain::cmdDownload_Click);
}

void frmMain::translateButton(controls::isButton& button) {
    button.SetCaption(translated(button.Caption()));
    button.SetToolTipText(translated(button.ToolTipText()));
    button.SetToolTipTitle(translated(button.ToolTipTitle()));
}

void frmMain::loadInputs() {
    const RememberedInputs inputs = m_options.settings
                                        ? LoadInputs(*m_options.settings, m_options.portalHost)
                                        : DefaultInputs(m_options.portalHost);
    chkProxy->setChecked(inputs.proxyEnabled);
    txtProxy->setText(inputs.proxyText);
    txtSinger->setText(inputs.singerAddress);
    txtAlbum->setText(inputs.albumAddress);
    // Each singer of a ticked run reads the controls as they stand when it starts.
    auto share = [this] {
        m_proxyControls->set(proxySetting());
    };
    share();
    connect(chkProxy, &QCheckBox::toggled, this, share);
    connect(txtProxy, &QLineEdit::textChanged, this, share);
}

net::ProxySetting frmMain::proxySetting() const {
    return {chkProxy->isChecked(), txtProxy->text()};
}

void frmMain::saveInputs() const {
    if (m_options.settings)
        SaveInputs(*m_options.settings,
                   {chkProxy->isChecked(), txtProxy->text(), txtSinger->text(), txtAlbum->text()});
}

void frmMain::Form_Load() {
    cboSingerList->setCurrentIndex(0);
    cboSingerList_Click();
    const QScreen* screen = this->screen();
    if (screen) {
        QRect frame = frameGeometry();
        frame.moveCenter(screen->availableGeometry().center());
        move(frame.topLeft());
    }
}

bool frmMain::busy() const {
    return m_downloads > 0 || m_singerLists > 0;
}

void frmMain::showBox(const QString& text, QMessageBox::Icon icon) {
    if (m_options.presenter)
        m_options.presenter->show(this, Caption(), text, icon);
}

std::optional<jobs::JobSettings> frmMain::jobSettings() {
    saveInputs();
    const QString folder = m_options.downloadFolder;
    if (!QDir().mkpath(folder)) {
        showBox(tr("无法创建下载文件夹: %1").arg(QDir::toNativeSeparators(folder)),
                QMessageBox::Critical);
        return std::nullopt;
    }
    lblStatus->setToolTip(QDir::toNativeSeparators(folder));
    jobs::JobSettings settings;
    settings.portalHost = m_options.portalHost;
    settings.outputRoot = folder;
    settings.proxy = proxySetting();
    settings.retry = m_options.retry;
    settings.clock = m_options.clock;
    if (!readDownloadPreferences(settings.download))
        return std::nullopt;
    settings.cancel = m_bridge->newDownloadToken();
    return settings;
}

bool frmMain::readDownloadPreferences(jobs::DownloadOptions& download) {
    if (!m_options.settings)
        return true;
    const DownloadPreferences prefs = LoadDownloadPreferences(*m_options.settings);
    download.tags = prefs.tags;
    download.playlist = prefs.playlist;
    download.parallel = prefs.parallel;
    if (!prefs.archive)
        return true;
    const QString path = m_options.archivePath.isEmpty() ? jobs::DownloadArchive::DefaultPath()
                                                         : m_options.archivePath;
    try {
        QDir().mkpath(QFileInfo(path).absolutePath());
        download.archive =
            jobs::DownloadArchive::Open(path, jobs::DownloadArchive::Mode::ReadWrite);
    } catch (const Error& e) {
        showBox(tr("无法使用下载记录: %1").arg(e.message()), QMessageBox::Critical);
        return false;
    }
    return true;
}

void frmMain::setStatus(const QString& text) {
    if (m_hintHolding) {
        m_pendingStatus = text;
        return;
    }
    lblStatus->setText(text);
    progressStrip->setValue(0);
}

void frmMain::hintLoginOnFirstJob() {
    if (std::exchange(m_firstJobSeen, true))
        return;
    if (jobs::HoldsPortalLogin(*m_options.session->cookies(), m_options.portalHost))
        return;
    // A proxy text the job will refuse: the job does not start, its box says why.
    if (chkProxy->isChecked() && !net::ParseProxyText(txtProxy->text())) {
        m_firstJobSeen = false;
        return;
    }
    lblStatus->setText(jobs::UserText(jobs::kLoginHint));
    if (m_options.loginHintHold <= std::chrono::milliseconds::zero())
        return;
    m_hintHolding = true;
    QTimer::singleShot(m_options.loginHintHold, this, [this] {
        m_hintHolding = false;
        if (m_pendingStatus)
            setStatus(*std::exchange(m_pendingStatus, std::nullopt));
    });
}

void frmMain::showProgress(qint64 received, qint64 total) {
    if (m_downloads == 0)
        return;
    if (total > 0) {
        progressStrip->setRange(0, 1000);
        progressStrip->setValue(int(qBound(qint64(0), received * 1000 / total, qint64(1000))));
    } else {
        // Unknown length: a busy strip.
        progressStrip->setRange(0, 0);
    }
    progressStrip->show();
}

void frmMain::jobEnded(JobKind kind) {
    if (kind == JobKind::Download && --m_downloads == 0)
        progressStrip->hide();
    if (kind == JobKind::SingerList)
        --m_singerLists;
    // Neither a list fetch nor a ticked run may be running for another fetch.
    cmdGetSingers->SetEnabled(m_singerLists == 0 && cmdDownload->Enabled());
    Q_EMIT jobFinished();
}

void frmMain::cmdLogin_Click() {
    Q_EMIT loginRequested();
    // The window is application-modal: a second opening can only come from code.
    if (m_loginOpen || m_options.frontHost.isEmpty() || m_options.cookieFile.isEmpty())
        return;
    if (!m_login)
        m_login = std::make_unique<LoginProfile>(m_options.session->cookies(), m_options.cookieFile,
                                                 m_options.browserStorage);
    m_loginOpen = true;
    // Returns when the window is closed; jobs carry on meanwhile on their threads.
    ShowLoginWindow(this, QUrl(jobs::PortalBase(m_options.frontHost) + u'/'), *m_login,
                    proxySetting());
    m_loginOpen = false;
}

bool frmMain::refusedWhileBusy(const QList<const controls::isButton*>& others) {
    if (std::all_of(others.begin(), others.end(),
                    [](const controls::isButton* b) { return b->Enabled(); }))
        return false;
    showBox(tr("请等待上一个操作结束."), QMessageBox::Information);
    return true;
}

std::optional<QString> frmMain::checkedId(const QLineEdit& box, jobs::AddressKind kind) {
    std::optional<QString> id = jobs::CheckAddress(box.text(), m_options.portalHost, kind);
    if (!id)
        showBox(jobs::UserText(jobs::kUnrecognisedAddress), QMessageBox::Critical);
    return id;
}

void frmMain::downloadStarted(const QList<controls::isButton*>& buttons) {
    for (controls::isButton* b : buttons)
        b->SetEnabled(false);
    ++m_downloads;
    m_result->clear();
    m_result->setDownloading(true);
    hintLoginOnFirstJob();
    updateStatusMenu();
}

void frmMain::downloadEnded(const QList<controls::isButton*>& buttons,
                            const std::optional<QString>& endText) {
    if (endText) {
        setStatus(*endText);
        notifyIfAway(*endText);
    }
    for (controls::isButton* b : buttons)
        b->SetEnabled(true);
    m_result->setDownloading(false);
    jobEnded(JobKind::Download);
    updateStatusMenu();
}

std::optional<QString> frmMain::endTextOf(jobs::JobOutcome outcome, const QString& text) const {
    // A refused proxy text started nothing; a closed window shows nothing more.
    if (outcome == jobs::JobOutcome::NotStarted || m_closing)
        return std::nullopt;
    return text;
}

void frmMain::cmdDownAlbum_Click() {
    if (refusedWhileBusy({cmdDownload, cmdDownSinger}))
        return;
    if (const std::optional<QString> id = checkedId(*txtAlbum, jobs::AddressKind::Album))
        startAlbum(*id);
}

void frmMain::cmdDownSinger_Click() {
    if (refusedWhileBusy({cmdDownload, cmdDownAlbum}))
        return;
    if (const std::optional<QString> id = checkedId(*txtSinger, jobs::AddressKind::Singer))
        startSinger(*id);
}

void frmMain::cmdDownload_Click() {
    if (refusedWhileBusy({cmdDownAlbum, cmdDownSinger}))
        return;
    // The row count is taken once; each row's tick and ID are read when the loop gets there.
    startTicked(lstSingerName->count(), m_tickedRows);
}

std::optional<jobs::JobSettings> frmMain::beginDownload(LastJob job,
                                                        const QList<controls::isButton*>& buttons) {
    std::optional<jobs::JobSettings> settings = jobSettings();
    if (!settings)
        return std::nullopt;
    m_lastJob = std::move(job);
    downloadStarted(buttons);
    return settings;
}

void frmMain::startAlbum(const QString& id) {
    const std::optional<jobs::JobSettings> settings =
        beginDownload({LastJob::Kind::Album, {id}}, {cmdDownAlbum});
    if (!settings)
        return;
    m_bridge->runAlbum(id, *settings, [this](const jobs::AlbumSummary& summary) {
        downloadEnded({cmdDownAlbum}, endTextOf(summary.outcome, jobs::AlbumEndText(summary)));
    });
}

void frmMain::startSinger(const QString& id) {
    const std::optional<jobs::JobSettings> settings =
        beginDownload({LastJob::Kind::Singer, {id}}, {cmdDownSinger});
    if (!settings)
        return;
    m_bridge->runSinger(
        id, *settings, m_options.albumList, [this, id](const jobs::SingerSummary& summary) {
            downloadEnded({cmdDownSinger},
                          endTextOf(summary.outcome, jobs::SingerEndText(id, summary)));
        });
}

void frmMain::startTicked(int rowCount, std::shared_ptr<const TickedRows> rows) {
    // The run's singers are known at its end.
    const std::optional<jobs::JobSettings> settings =
        beginDownload({LastJob::Kind::Ticked, {}}, {cmdDownload, cmdGetSingers});
    if (!settings)
        return;
    m_bridge->runTicked(rowCount, std::move(rows), m_proxyControls, *settings, m_options.albumList,
                        [this](const jobs::TickedRunSummary& run) {
                            m_lastJob = LastJob{LastJob::Kind::Ticked, run.ids};
                            // A singer list that landed during the run is shown now.
                            if (m_heldSingerList)
                                std::exchange(m_heldSingerList, {})();
                            // A refused proxy text ended the run before any download: no end text.
                            downloadEnded({cmdDownload},
                                          endTextOf(run.outcome(), jobs::TickedRunEndText(run)));
                        });
}

void frmMain::retryLastJob() {
    if (!m_lastJob)
        return;
    // Refused while any download runs, as the commands are.
    if (refusedWhileBusy({cmdDownAlbum, cmdDownSinger, cmdDownload}))
        return;
    const LastJob job = *m_lastJob;
    switch (job.kind) {
    case LastJob::Kind::Album:
        return startAlbum(job.ids.value(0));
    case LastJob::Kind::Singer:
        return startSinger(job.ids.value(0));
    case LastJob::Kind::Ticked: {
        // The singers the run reached, every one ticked: the lists may have changed since.
        auto rows = std::make_shared<TickedRows>();
        rows->setRows(job.ids);
        for (int i = 0; i < job.ids.size(); ++i)
            rows->setTicked(i, true);
        return startTicked(int(job.ids.size()), rows);
    }
    }
}

void frmMain::buildStatusMenu() {
    m_statusMenu = new QMenu(this);
    m_statusMenu->setObjectName(QStringLiteral("statusMenu"));
    m_showResultsAction = m_statusMenu->addAction(tr("查看下载结果"), this, &frmMain::showResults);
    m_showResultsAction->setObjectName(QStringLiteral("actShowResults"));
    QAction* folder =
        m_statusMenu->addAction(tr("打开下载文件夹"), this, &frmMain::openDownloadFolder);
    folder->setObjectName(QStringLiteral("actOpenFolder"));
    m_stopAction = m_statusMenu->addAction(tr("停止下载"), this, &frmMain::askStop);
    m_stopAction->setObjectName(QStringLiteral("actStopDownload"));
    lblStatus->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(lblStatus, &QWidget::customContextMenuRequested, this,
            [this](const QPoint& at) { m_statusMenu->popup(lblStatus->mapToGlobal(at)); });
    updateStatusMenu();
}

void frmMain::updateStatusMenu() {
    m_showResultsAction->setEnabled(m_lastJob.has_value());
    m_stopAction->setEnabled(m_downloads > 0);
}

void frmMain::askStop() {
    if (m_downloads == 0 || !m_options.presenter)
        return;
    if (!m_options.presenter->ask(this, Caption(), tr("停止当前下载? 已保存的歌曲会保留.")))
        return;
    // The job may have ended while the question was open; the next one has a token of its own.
    if (m_downloads > 0)
        m_bridge->stopDownload();
}

void frmMain::notifyIfAway(const QString& text) const {
    if (isActiveWindow())
        return;
    if (m_options.settings &&
        !m_options.settings->value(QStringLiteral("ui/notify"), true).toBool())
        return;
    m_notifier.notify(tr("Orvana 专辑下载"), text);
}

void frmMain::showResults() {
    m_result->show();
    m_result->raise();
    m_result->activateWindow();
}

void frmMain::openDownloadFolder() const {
    QDesktopServices::openUrl(QUrl::fromLocalFile(m_options.downloadFolder));
}

void frmMain::cmdGetSingers_Click() {
    cmdGetSingers->SetEnabled(false);
    Label1->setText(QString());
    ++m_singerLists;
    // The address is built now: a category change during the fetch does not touch it.
    m_bridge->getSingers(
        m_options.portalHost, cboSingerList->currentIndex(),
        [this](const jobs::SingerLists& lists) {
            singerListLanded([this, lists] { showSingerLists(lists); });
        },
        [this](const QString& reason) {
            // The lists keep their rows: the fetch comes before they are emptied.
            singerListLanded(
                [this, reason] { Label1->setText(tr("获取歌手列表失败: %1").arg(reason)); });
        });
}

void frmMain::singerListLanded(std::function<void()> show) {
    // A ticked run reads the lists and ticks as they stood at its start.
    if (cmdDownload->Enabled())
        show();
    else
        m_heldSingerList = std::move(show);
    jobEnded(JobKind::SingerList);
}

void frmMain::showSingerLists(const jobs::SingerLists& lists) {
    lstSingerName->clear();
    lstSingerID->clear();
    {
        const QSignalBlocker block(lstSingerName);
        for (int i = 0; i < lists.size(); ++i) {
            auto* item = new QListWidgetItem(lists.names.at(i), lstSingerName);
            item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
            item->setCheckState(Qt::Unchecked);
            lstSingerID->addItem(lists.ids.at(i));
        }
    }
    m_tickedRows->setRows(lists.ids);
    Label1->setText(jobs::SingerCountText(lists.size()));
}

void frmMain::cboSingerList_Click() {
    const int row = cboSingerList->currentIndex();
    if (!jobs::IsSeparatorRow(row))
        return;
    showBox(jobs::UserText(jobs::kChooseValidCategory), QMessageBox::Information);
    // Runs this handler once more, which finds row 0 and does nothing.
    cboSingerList->setCurrentIndex(0);
}

void frmMain::closeEvent(QCloseEvent* event) {
    m_closing = true;
    saveInputs();
    // Abandon running jobs where they stand: no partial file can stay (writes are atomic).
    m_bridge->cancelAll();
    m_result->close();
    // The login window goes with its owner; its modal loop then returns.
    for (frmBrowser* login : findChildren<frmBrowser*>(Qt::FindDirectChildrenOnly))
        login->close();
    event->accept();
    Q_EMIT closing();
}

void frmMain::dragEnterEvent(QDragEnterEvent* event) {
    if (DroppedPortalAddress(*event->mimeData(), m_options.portalHost))
        event->acceptProposedAction();
    else
        event->ignore();
}

void frmMain::dropEvent(QDropEvent* event) {
    const std::optional<DroppedAddress> dropped =
        DroppedPortalAddress(*event->mimeData(), m_options.portalHost);
    if (!dropped) {
        event->ignore();
        return;
    }
    // Into its box only: the user starts the job.
    QLineEdit* box = dropped->kind == jobs::AddressKind::Album ? txtAlbum : txtSinger;
    box->setText(dropped->address);
    box->setFocus(Qt::OtherFocusReason);
    event->acceptProposedAction();
}

bool frmMain::eventFilter(QObject* watched, QEvent* event) {
    if (watched == lblStatus && event->type() == QEvent::MouseButtonDblClick) {
        // The results once a download job has run; before, the folder when it is there.
        if (m_lastJob)
            showResults();
        else if (!lblStatus->toolTip().isEmpty())
            openDownloadFolder();
        return true;
    }
    return QWidget::eventFilter(watched, event);
}

} // namespace orvana::app
