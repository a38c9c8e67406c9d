// The real program's language and the names the desktop sees: Chinese whatever the system
// locale, English when asked for through the environment or the setting; application and
// desktop file name "orvana-dl" (the window class the desktop entry's StartupWMClass names).
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

struct ProgramRun {
    QTemporaryDir dir;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();

    ProgramRun() {
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        env.insert(QStringLiteral("ORVANA_PROBE"), QStringLiteral("texts"));
        env.insert(QStringLiteral("ORVANA_PORTAL_HOST"), QStringLiteral("127.0.0.1:9"));
        env.insert(QStringLiteral("ORVANA_OUTPUT"), dir.filePath(QStringLiteral("out")));
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), dir.filePath(QStringLiteral("config")));
        env.insert(QStringLiteral("XDG_DATA_HOME"), dir.filePath(QStringLiteral("data")));
        env.insert(QStringLiteral("HOME"), dir.path());
        env.remove(QStringLiteral("ORVANA_LANG"));
        env.remove(QStringLiteral("LC_ALL"));
        env.remove(QStringLiteral("LC_MESSAGES"));
        env.remove(QStringLiteral("LANGUAGE"));
    }

    // What the program printed, or the failure.
    QString texts() {
        QProcess program;
        program.setProcessEnvironment(env);
        program.start(QStringLiteral(ORVANA_BINARY_DIR "/tests/app/orvana_dl_probe"), {});
        if (!program.waitForFinished(20000))
            return QStringLiteral("<did not end>");
        if (program.exitCode() != 0)
            return u"<exit " + QString::number(program.exitCode()) + u'>';
        return QString::fromUtf8(program.readAllStandardOutput());
    }
};

const QString kChinese = QStringLiteral("title=Orvana音乐 专辑打包下载工具 1.0\n"
                                        "cmdLogin=使用Orvana帐号登录\n"
                                        "application=orvana-dl\n"
                                        "desktopFile=orvana-dl\n"
                                        "iconSizes=16,22,24,32,48,64,128,256\n");
const QString kEnglish = QStringLiteral("title=Orvana Music Album Downloader 1.0\n"
                                        "cmdLogin=Log in to Orvana\n"
                                        "application=orvana-dl\n"
                                        "desktopFile=orvana-dl\n"
                                        "iconSizes=16,22,24,32,48,64,128,256\n");

} // namespace

TEST(ProgramLanguage, ChineseUnderAnySystemLocale) {
    for (const char* locale : {"C", "en_US.UTF-8", "de_DE.UTF-8"}) {
        ProgramRun run;
        run.env.insert(QStringLiteral("LANG"), QString::fromLatin1(locale));
        EXPECT_EQ(run.texts(), kChinese) << locale;
        run.env.insert(QStringLiteral("LC_ALL"), QString::fromLatin1(locale));
        EXPECT_EQ(run.texts(), kChinese) << locale;
    }
}

TEST(ProgramLanguage, EnglishThroughTheEnvironmentOrTheSetting) {
    ProgramRun run;
    run.env.insert(QStringLiteral("LANG"), QStringLiteral("zh_CN.UTF-8"));
    run.env.insert(QStringLiteral("ORVANA_LANG"), QStringLiteral("en"));
    EXPECT_EQ(run.texts(), kEnglish);

    ProgramRun stored;
    QDir().mkpath(stored.dir.filePath(QStringLiteral("config/orvana-dl")));
    QFile conf(stored.dir.filePath(QStringLiteral("config/orvana-dl/orvana-dl.conf")));
    ASSERT_TRUE(conf.open(QIODevice::WriteOnly));
    conf.write("[ui]\nlanguage=en\n");
    conf.close();
    EXPECT_EQ(stored.texts(), kEnglish);
    // The environment decides over the setting.
    stored.env.insert(QStringLiteral("ORVANA_LANG"), QStringLiteral("zh"));
    EXPECT_EQ(stored.texts(), kChinese);
}
