#pragma once

#include "app/desktop_notifier.h"
#include "jobs/address_check.h"
#include "jobs/catalogue.h"
#include "jobs/down_singer.h"
#include "net/transfer_settings.h"
#include "net/transport_session.h"

#include <QMessageBox>
#include <QWidget>
#include <chrono>
#include <functional>
#include <memory>

class QAction;
class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QMenu;
class QProgressBar;
class QSettings;

namespace orvana::controls {
class isButton;
}

namespace orvana::app {

class JobBridge;
class LoginProfile;
class MessagePresenter;
class ProxyControls;
class frmResult;
class TickedRows;

// What the window is given: where it talks to and writes, what it remembers in, how it shows
// boxes, and the limits of its jobs (tests shorten them).
struct FrmMainOptions {
    QString portalHost;                             // "host" or "host:port"
    QString downloadFolder;                         // created when a job starts
    QSettings* settings = nullptr;                  // remembered inputs; not owned; may be null
    MessagePresenter* presenter = nullptr;          // not owned; must outlive the window
    std::shared_ptr<net::TransportSession> session; // cookies and proxy of every transport
    net::TransferSettings transfer;
    jobs::RetrySettings retry;
    jobs::AlbumListSettings albumList;
    std::shared_ptr<jobs::JobClock> clock; // null: real time
    // The login window: the portal's front-page host ("host" or "host:port"), the cookie file it
    // keeps the login in (shared with orvana-dl-cli) and the browser's storage folder (empty:
    // beside the cookie file). Without a front host or cookie file cmdLogin opens nothing.
    QString frontHost;
    QString cookieFile;
    QString browserStorage;
    // How long the not-logged-in hint keeps the status line before the job's own texts show;
    // zero: they replace it at once.
    std::chrono::milliseconds loginHintHold{0};
    // The D-Bus address of the desktop notification service's bus; empty: the session bus.
    QString notificationBus;
    // The download archive used when the settings ask for one; empty: the shared default.
    QString archivePath;
};

// The main window: inputs, status line and command handlers. Jobs run on the bridge's threads;
// the busy state is the Enabled property of the command buttons. Window thread only.
class frmMain : public QWidget {
    Q_OBJECT
public:
    explicit frmMain(FrmMainOptions options, QWidget* parent = nullptr);
    ~frmMain() override;

    // The caption, also the title of every message box.
    [[nodiscard]] static QString Caption();

    // Start-up: selects category row 0 (which runs the category handler). The registration
    // step of the original has no counterpart here.
    void Form_Load();

    // Whether a download or get-singers job is running.
    [[nodiscard]] bool busy() const;
    [[nodiscard]] JobBridge& bridge() const { return *m_bridge; }
    // The login window's browser profile; null until cmdLogin first opens the window.
    [[nodiscard]] LoginProfile* loginProfile() const { return m_login.get(); }

Q_SIGNALS:
    // cmdLogin was clicked; emitted before the login window opens.
    void loginRequested();
    // A job or a get-singers fetch has ended and the buttons are set again.
    void jobFinished();
    // The window is closing: jobs are cancelled; the program should end.
    void closing();

protected:
    void closeEvent(QCloseEvent* event) override;
    // A portal album or singer address dropped anywhere on the window goes into its box.
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    struct ControlMaker;
    void buildControls();
    void buildPreparationGroup(const ControlMaker& make);
    void buildCatalogueGroup(const ControlMaker& make);
    void buildStatusLine();
    void loadButtons();
    void loadInputs();
    void saveInputs() const;

    void cmdLogin_Click();
    void cmdDownAlbum_Click();
    void cmdDownSinger_Click();
    void cmdDownload_Click();
    void cmdGetSingers_Click();
    void cboSingerList_Click();
    // A get-singers fetch has ended; show puts its result in the lists or on label 1, at once
    // or, during a ticked run, when the run has ended.
    void singerListLanded(std::function<void()> show);
    void showSingerLists(const jobs::SingerLists& lists);

    // The busy rule of a download command: refused, after the box, while any of the other
    // download buttons is disabled.
    [[nodiscard]] bool refusedWhileBusy(const QList<const controls::isButton*>& others);
    // The ID in box, or nullopt after the box "无法识别的地址".
    [[nodiscard]] std::optional<QString> checkedId(const QLineEdit& box, jobs::AddressKind kind);

    // The three download jobs, started by their commands and by a retry: each reads its
    // settings now (nothing starts when they cannot be had), disables its buttons while it runs
    // and is remembered as the job a retry runs again.
    void startAlbum(const QString& id);
    void startSinger(const QString& id);
    void startTicked(int rowCount, std::shared_ptr<const TickedRows> rows);
    // Runs the last download job again: its album, singer or ticked singers.
    void retryLastJob();

    // The last download job, for a retry: its kind and its album or singer IDs (a ticked run's
    // are the singers it ran).
    struct LastJob {
        enum class Kind { Album, Singer, Ticked };
        Kind kind = Kind::Album;
        QStringList ids;
    };
    // The start of every download job: its settings (nullopt, after a box, when they cannot be
    // had: nothing starts), job remembered, downloadStarted.
    [[nodiscard]] std::optional<jobs::JobSettings>
    beginDownload(LastJob job, const QList<controls::isButton*>& buttons);
    // A download job starts: buttons disabled, the results cleared, the job counted.
    void downloadStarted(const QList<controls::isButton*>& buttons);
    // It has ended: endText (when there is one) on the status line, buttons enabled again.
    void downloadEnded(const QList<controls::isButton*>& buttons,
                       const std::optional<QString>& endText);
    // The text a download job ends with: text, or none when the job did not start or the
    // window is closing.
    [[nodiscard]] std::optional<QString> endTextOf(jobs::JobOutcome outcome,
                                                   const QString& text) const;
    void showResults();
    void openDownloadFolder() const;
    // A download job ended with text: a desktop notification when the window is not the
    // active one, unless the setting "ui/notify" is false.
    void notifyIfAway(const QString& text) const;
    // Escape or the status line's menu: after a Yes to the question, the running download is
    // cancelled (its songs stored so far stay).
    void askStop();
    // The status line's context menu: results, download folder, stop (only while a download
    // runs).
    void buildStatusMenu();
    void updateStatusMenu();

    void showBox(const QString& text, QMessageBox::Icon icon);
    // The proxy controls as they stand.
    [[nodiscard]] net::ProxySetting proxySetting() const;
    // The settings of a download job starting now (proxy read now, a cancel token of its own);
    // nullopt, after a box, when the download folder cannot be made.
    [[nodiscard]] std::optional<jobs::JobSettings> jobSettings();
    // The settings file's download options (tags, playlist, archive, parallel songs) into
    // download; false, after a box, when the archive cannot be used.
    [[nodiscard]] bool readDownloadPreferences(jobs::DownloadOptions& download);
    void setStatus(const QString& text);
    // Before the first download job of the run: the hint that the portal serves 128 kbps files
    // to users not logged in, held on the status line for a moment (the job starts anyway).
    void hintLoginOnFirstJob();
    // The caption, tool tip and title of a button as the language in use says them.
    static void translateButton(controls::isButton& button);
    void showProgress(qint64 received, qint64 total);
    // A job of the given kind has ended: the buttons are set, the strip hides with the last
    // download.
    enum class JobKind { Download, SingerList };
    void jobEnded(JobKind kind);

    FrmMainOptions m_options;
    DesktopNotifier m_notifier;
    std::unique_ptr<JobBridge> m_bridge;
    std::shared_ptr<TickedRows> m_tickedRows;
    std::shared_ptr<ProxyControls> m_proxyControls; // chkProxy and txtProxy, for the worker
    int m_downloads = 0;   // download jobs running (0 or 1: the busy rules keep them apart)
    int m_singerLists = 0; // get-singers fetches running
    std::unique_ptr<LoginProfile> m_login;
    bool m_firstJobSeen = false;
    bool m_loginOpen = false;
    bool m_closing = false;
    bool m_hintHolding = false;             // the login hint keeps the status line
    std::optional<QString> m_pendingStatus; // the latest text given while it does

    std::optional<LastJob> m_lastJob;
    frmResult* m_result = nullptr;
    std::function<void()> m_heldSingerList; // a get-singers result waiting for a ticked run

    QGroupBox* Frame0 = nullptr;
    QGroupBox* Frame1 = nullptr;
    QGroupBox* Frame2 = nullptr;
    QLabel* Label0 = nullptr;
    QLabel* Label1 = nullptr;
    QLabel* Label2 = nullptr;
    controls::isButton* cmdLogin = nullptr;
    QCheckBox* chkProxy = nullptr;
    QLineEdit* txtProxy = nullptr;
    QLineEdit* txtSinger = nullptr;
    controls::isButton* cmdDownSinger = nullptr;
    QLineEdit* txtAlbum = nullptr;
    controls::isButton* cmdDownAlbum = nullptr;
    QComboBox* cboSingerList = nullptr;
    controls::isButton* cmdGetSingers = nullptr;
    QListWidget* lstSingerName = nullptr;
    controls::isButton* cmdDownload = nullptr;
    QListWidget* lstSingerID = nullptr;
    QLabel* lblStatus = nullptr;
    QProgressBar* progressStrip = nullptr;
    QMenu* m_statusMenu = nullptr;
    QAction* m_showResultsAction = nullptr;
    QAction* m_stopAction = nullptr;
};

} // namespace orvana::app
