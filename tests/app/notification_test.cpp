// The desktop notification at a download job's end, against a notification service of the
// test's own on a private bus: sent only while the main window is not the active one, not at
// all when the setting says so, and nothing at all (no error) without the service or the bus.
#include "app/frm_main.h"
#include "app/frm_result.h"
#include "app/message_presenter.h"
#include "controls/isButton/is_button.h"
#include "tools/portal-sim/portal_sim.h"

#include <QDBusConnection>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QProcess>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

using namespace orvana;
using namespace std::chrono_literals;

// Readable failure output for texts.
inline void PrintTo(const QString& text, std::ostream* os) {
    *os << text.toStdString();
}

namespace {

// Records every Notify call as one line: "app|replaces|icon|summary|body|actions|hints|timeout".
class NotificationService : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")
public:
    QStringList calls;

public Q_SLOTS:
    uint Notify(const QString& app, uint replaces, const QString& icon, const QString& summary,
                const QString& body, const QStringList& actions, const QVariantMap& hints,
                int timeout) {
        calls << QStringLiteral("%1|%2|%3|%4|%5|%6|%7|%8")
                     .arg(app)
                     .arg(replaces)
                     .arg(icon, summary, body, actions.join(u','))
                     .arg(hints.size())
                     .arg(timeout);
        return uint(calls.size());
    }
};

class YesPresenter : public app::MessagePresenter {
public:
    void show(QWidget*, const QString&, const QString&, QMessageBox::Icon) override {}
    bool ask(QWidget*, const QString&, const QString&) override { return true; }
};

// A bus daemon of the test's own, ended with the test.
class PrivateBus {
public:
    explicit PrivateBus(const QString& dir) {
        QFile config(dir + u"/bus.conf");
        if (!config.open(QIODevice::WriteOnly))
            return;
        config.write(
            R"(<!DOCTYPE busconfig PUBLIC "-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN"
 "http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd">
<busconfig>
  <type>session</type>
  <listen>unix:path=)" +
            QFile::encodeName(dir) +
            R"(/bus</listen>
  <auth>EXTERNAL</auth>
  <policy context="default">
    <allow send_destination="*" eavesdrop="true"/>
    <allow eavesdrop="true"/>
    <allow own="*"/>
  </policy>
</busconfig>
)");
        config.close();
        m_daemon.start(QStringLiteral("dbus-daemon"),
                       {u"--config-file=" + config.fileName(), QStringLiteral("--nofork"),
                        QStringLiteral("--print-address=1")});
        if (m_daemon.waitForReadyRead(5000))
            address = QString::fromUtf8(m_daemon.readLine()).trimmed();
    }
    ~PrivateBus() {
        m_daemon.kill();
        m_daemon.waitForFinished(5000);
    }
    QString address;

private:
    QProcess m_daemon;
};

class NotificationTest : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        ASSERT_FALSE(bus.address.isEmpty()) << "dbus-daemon did not start";
        service = std::make_unique<QDBusConnection>(
            QDBusConnection::connectToBus(bus.address, QStringLiteral("service")));
        ASSERT_TRUE(service->isConnected());
        ASSERT_TRUE(service->registerObject(QStringLiteral("/org/freedesktop/Notifications"),
                                            &notifications, QDBusConnection::ExportAllSlots));
        ASSERT_TRUE(service->registerService(QStringLiteral("org.freedesktop.Notifications")));
        portal.start();
        window = openWindow(bus.address);
    }
    void TearDown() override {
        window.reset();
        service.reset();
        QDBusConnection::disconnectFromBus(QStringLiteral("service"));
    }

    std::unique_ptr<app::frmMain> openWindow(const QString& busAddress) {
        app::FrmMainOptions options;
        options.portalHost = QString::fromStdString(portal.host());
        options.downloadFolder = dir.filePath(QStringLiteral("out"));
        options.settings = &settings;
        options.presenter = &presenter;
        options.notificationBus = busAddress;
        options.retry.pauses = {0ms};
        auto w = std::make_unique<app::frmMain>(options);
        w->Form_Load();
        w->show();
        return w;
    }

    // The job of a button, to its end, with the given window active.
    void runJob(app::frmMain& main, const char* name, QWidget* active) {
        active->show();
        active->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(active));
        Q_EMIT main.findChild<controls::isButton*>(QString::fromLatin1(name))->Click();
        ASSERT_TRUE(QTest::qWaitFor([&main] { return !main.busy(); }, 20000));
    }
    app::frmResult* results() const { return window->findChild<app::frmResult*>(); }
    QString status(const app::frmMain& main) const {
        return main.findChild<QLabel*>(QStringLiteral("lblStatus"))->text();
    }

    QTemporaryDir dir;
    PrivateBus bus{dir.path()};
    NotificationService notifications;
    std::unique_ptr<QDBusConnection> service;
    portal::PortalSim portal{portal::DemoCatalogue(), portal::PortalOptions{2000, 30s}};
    QSettings settings{dir.filePath(QStringLiteral("s.ini")), QSettings::IniFormat};
    YesPresenter presenter;
    std::unique_ptr<app::frmMain> window;
};

const QString kCall = QStringLiteral("orvana-dl|0|orvana-dl|Orvana 专辑下载|%1||0|-1");

} // namespace

TEST_F(NotificationTest, SentOnlyWhileTheWindowIsNotActiveAndNotWhenSwitchedOff) {
    // Active: nothing. Calls arrive in the order sent, so a later one shows none came before.
    runJob(*window, "cmdDownAlbum", window.get());
    EXPECT_EQ(status(*window), u"指定专辑下载完毕.");

    // The results window is active, so the main window is not: the end text is the body.
    portal.addFault(portal::Endpoint::SongFile, portal::Fault::Status500, 5);
    window->findChild<QLineEdit*>(QStringLiteral("txtAlbum"))->setText(u"31258220"_qs);
    runJob(*window, "cmdDownAlbum", results());
    ASSERT_TRUE(QTest::qWaitFor([this] { return !notifications.calls.isEmpty(); }, 5000));
    EXPECT_EQ(notifications.calls,
              QStringList{kCall.arg(u"指定专辑下载完毕. 失败 1 首 (双击查看)")});

    settings.setValue(QStringLiteral("ui/notify"), QStringLiteral("false"));
    runJob(*window, "cmdDownSinger", results());
    EXPECT_EQ(status(*window), u"指定歌手下载完毕.");

    // A stopped job is told too.
    settings.remove(QStringLiteral("ui/notify"));
    portal.addFault(portal::Endpoint::SongFile, portal::Fault::StallMidBody);
    window->findChild<QLineEdit*>(QStringLiteral("txtAlbum"))->setText(u"31258221"_qs);
    results()->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(results()));
    Q_EMIT window->findChild<controls::isButton*>(QStringLiteral("cmdDownAlbum"))->Click();
    ASSERT_TRUE(QTest::qWaitFor([this] { return portal.stallsBegun() == 1; }, 10000));
    window->findChild<QAction*>(QStringLiteral("actStopDownload"))->trigger();
    ASSERT_TRUE(QTest::qWaitFor([this] { return !window->busy(); }, 5000));
    ASSERT_TRUE(QTest::qWaitFor([this] { return notifications.calls.size() == 2; }, 5000));
    EXPECT_EQ(notifications.calls.back(), kCall.arg(u"下载已停止."));
}

TEST_F(NotificationTest, WithoutServiceOrBusTheJobEndsAsAlways) {
    ASSERT_TRUE(service->unregisterService(QStringLiteral("org.freedesktop.Notifications")));
    runJob(*window, "cmdDownAlbum", results());
    EXPECT_EQ(status(*window), u"指定专辑下载完毕.");

    auto unreachable = openWindow(dir.filePath(QStringLiteral("no-bus")).prepend(u"unix:path="));
    runJob(*unreachable, "cmdDownSinger", results());
    EXPECT_EQ(status(*unreachable), u"指定歌手下载完毕.");
    EXPECT_TRUE(notifications.calls.isEmpty());
}

#include "notification_test.moc"
