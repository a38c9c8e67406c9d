// Where the window talks to and writes, and what it remembers.
#include "app/app_settings.h"
#include "jobs/portal.h"

#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace orvana::app;

namespace {

// Settings in a file of the test's own, and the three variables unset for the test's length.
class AppSettingsTest : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        for (const char* name : {"ORVANA_PORTAL_HOST", "ORVANA_FRONT_HOST", "ORVANA_OUTPUT"})
            qunsetenv(name);
    }
    void TearDown() override {
        for (const char* name : {"ORVANA_PORTAL_HOST", "ORVANA_FRONT_HOST", "ORVANA_OUTPUT"})
            qunsetenv(name);
    }

    QTemporaryDir dir;
    QSettings settings{dir.filePath(QStringLiteral("s.ini")), QSettings::IniFormat};
};

} // namespace

TEST_F(AppSettingsTest, PortalHostEnvironmentThenSettingThenBuildDefault) {
    EXPECT_EQ(PortalHost(settings), orvana::jobs::DefaultPortalHost());
    settings.setValue(QStringLiteral("portal/host"), QStringLiteral("stored.example:81"));
    EXPECT_EQ(PortalHost(settings), u"stored.example:81");
    qputenv("ORVANA_PORTAL_HOST", "127.0.0.1:9000");
    EXPECT_EQ(PortalHost(settings), u"127.0.0.1:9000");
}

TEST_F(AppSettingsTest, FrontHostIsTheWwwFormOfThePortalHostUnlessGiven) {
    settings.setValue(QStringLiteral("portal/host"), QStringLiteral("music.orvana.example"));
    EXPECT_EQ(FrontHost(settings), u"www.orvana.example");
    settings.setValue(QStringLiteral("portal/host"), QStringLiteral("orvana.example:8080"));
    EXPECT_EQ(FrontHost(settings), u"www.orvana.example:8080");
    // A test portal on an address keeps its address.
    settings.setValue(QStringLiteral("portal/host"), QStringLiteral("127.0.0.1:8080"));
    EXPECT_EQ(FrontHost(settings), u"127.0.0.1:8080");
    settings.setValue(QStringLiteral("portal/host"), QStringLiteral("localhost:8080"));
    EXPECT_EQ(FrontHost(settings), u"localhost:8080");
    settings.setValue(QStringLiteral("portal/frontHost"), QStringLiteral("front.example"));
    EXPECT_EQ(FrontHost(settings), u"front.example");
    qputenv("ORVANA_FRONT_HOST", "127.0.0.1:7000");
    EXPECT_EQ(FrontHost(settings), u"127.0.0.1:7000");
}

TEST_F(AppSettingsTest, DownloadFolderEnvironmentThenSettingThenMusicFolder) {
    const QString music = QStandardPaths::writableLocation(QStandardPaths::MusicLocation);
    EXPECT_EQ(DownloadFolder(settings), music + u"/Orvana");
    settings.setValue(QStringLiteral("download/folder"), QStringLiteral("/srv/albums/"));
    EXPECT_EQ(DownloadFolder(settings), u"/srv/albums");
    qputenv("ORVANA_OUTPUT", "/tmp/x/../y");
    EXPECT_EQ(DownloadFolder(settings), u"/tmp/y");
}

TEST_F(AppSettingsTest, FreshProfileGivesTheFirstRunInputsAndSavedOnesComeBack) {
    const RememberedInputs fresh = LoadInputs(settings, QStringLiteral("h.example"));
    EXPECT_FALSE(fresh.proxyEnabled);
    EXPECT_EQ(fresh.proxyText, u"127.0.0.1:8081");
    EXPECT_EQ(fresh.singerAddress, u"http://h.example/artist/18104396");
    EXPECT_EQ(fresh.albumAddress, u"http://h.example/album/31258219");

    SaveInputs(settings,
               {true, QStringLiteral("10.0.0.1:3128"), QStringLiteral("s"), QStringLiteral("")});
    QSettings again(dir.filePath(QStringLiteral("s.ini")), QSettings::IniFormat);
    const RememberedInputs back = LoadInputs(again, QStringLiteral("h.example"));
    EXPECT_TRUE(back.proxyEnabled);
    EXPECT_EQ(back.proxyText, u"10.0.0.1:3128");
    EXPECT_EQ(back.singerAddress, u"s");
    // An emptied box stays empty: it is not replaced by the example address.
    EXPECT_EQ(back.albumAddress, u"");
}

// The portal host changed since the addresses were remembered (the sample portal takes a new
// port each run): an address on another host is replaced by the default for the current host,
// which the address check would otherwise refuse. Bare IDs and emptied boxes stay.
TEST_F(AppSettingsTest, RememberedAddressOnAnotherHostGivesWayToTheDefault) {
    const QString host = QStringLiteral("127.0.0.1:4000");
    const RememberedInputs defaults = DefaultInputs(host);
    const struct {
        QString stored;
        bool kept;
    } cases[] = {
        {QStringLiteral("http://127.0.0.1:3999/album/31258220"), false},
        {QStringLiteral("127.0.0.1:3999/album/31258220"), false},
        {QStringLiteral("  http://music.orvana.example/album/31258220 "), false},
        {QStringLiteral("http://127.0.0.1:4000/album/31258220"), true},
        {QStringLiteral(" 127.0.0.1:4000/album/31258220/"), true},
        {QStringLiteral("31258220"), true},
        {QStringLiteral("/album/31258220"), true},
        {QString(), true},
    };
    for (const auto& c : cases) {
        SaveInputs(settings, {true, QStringLiteral("10.0.0.1:3128"), c.stored, c.stored});
        const RememberedInputs back = LoadInputs(settings, host);
        EXPECT_EQ(back.albumAddress, c.kept ? c.stored : defaults.albumAddress)
            << c.stored.toStdString();
        EXPECT_EQ(back.singerAddress, c.kept ? c.stored : defaults.singerAddress)
            << c.stored.toStdString();
        EXPECT_EQ(back.proxyText, u"10.0.0.1:3128");
    }
}

TEST_F(AppSettingsTest, DownloadOptionsAreOffUnlessSetAndParallelStaysWithinItsRange) {
    DownloadPreferences prefs = LoadDownloadPreferences(settings);
    EXPECT_FALSE(prefs.tags || prefs.playlist || prefs.archive);
    EXPECT_EQ(prefs.parallel, 1);
    settings.setValue(QStringLiteral("download/tags"), true);
    settings.setValue(QStringLiteral("download/m3u"), QStringLiteral("true"));
    settings.setValue(QStringLiteral("download/archive"), true);
    settings.setValue(QStringLiteral("download/parallel"), 4);
    prefs = LoadDownloadPreferences(settings);
    EXPECT_TRUE(prefs.tags && prefs.playlist && prefs.archive);
    EXPECT_EQ(prefs.parallel, 4);
    for (const char* bad : {"0", "5", "x", "-2", ""}) {
        settings.setValue(QStringLiteral("download/parallel"), QString::fromLatin1(bad));
        EXPECT_EQ(LoadDownloadPreferences(settings).parallel, 1) << bad;
    }
}
