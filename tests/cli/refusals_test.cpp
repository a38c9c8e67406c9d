// Refusals of orvana-dl-cli: usage errors and unusable folders or files are refused with a clear
// message before anything is created or fetched.
#include "cli/cli.h"
#include "tests/jobs/job_test_support.h"
#include "tests/support/cli_runner.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace orvana;

namespace {

struct Outcome {
    int code;
    QString err;
};

class CliRefusalTest : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        cookies = dir.filePath(QStringLiteral("cookies.txt"));
        QFile(cookies).open(QIODevice::WriteOnly);
    }

    Outcome run(const QStringList& args) {
        const test_support::CliRun r = test_support::RunCli(args, {}, clock);
        return {r.exitCode, QString::fromUtf8(r.err)};
    }
    QStringList entries() const {
        return QDir(dir.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden);
    }

    QTemporaryDir dir;
    QString cookies;
    std::shared_ptr<test_support::RecordingClock> clock =
        std::make_shared<test_support::RecordingClock>();
};

} // namespace

TEST_F(CliRefusalTest, UsageRefusalsExitTwoAndCreateNothing) {
    const QString out = dir.filePath(QStringLiteral("a/b"));
    const QString missing = dir.filePath(QStringLiteral("none.txt"));
    const QString opt = QStringLiteral("--portal-host");
    const struct {
        QStringList args;
        QString err;
    } cases[] = {
        {{QStringLiteral("--proxy"), QString(), QStringLiteral("--cookies"), cookies},
         QStringLiteral("代理地址无效\n")},
        {{opt, QString(), QStringLiteral("--cookies"), cookies},
         QStringLiteral("invalid portal host: '' (give HOST or HOST:PORT)\n")},
        {{opt, QStringLiteral("a b"), QStringLiteral("--cookies"), cookies},
         QStringLiteral("invalid portal host: 'a b' (give HOST or HOST:PORT)\n")},
        {{opt, QStringLiteral(":99999"), QStringLiteral("--cookies"), cookies},
         QStringLiteral("invalid portal host: ':99999' (give HOST or HOST:PORT)\n")},
        {{opt, QStringLiteral("h:99999"), QStringLiteral("--cookies"), cookies},
         QStringLiteral("invalid portal host: 'h:99999' (give HOST or HOST:PORT)\n")},
        {{opt, QStringLiteral("h/x"), QStringLiteral("--cookies"), cookies},
         QStringLiteral("invalid portal host: 'h/x' (give HOST or HOST:PORT)\n")},
        {{QStringLiteral("--cookies"), missing},
         u"cannot read cookie file " + missing + u": No such file or directory\n"},
        {{QStringLiteral("--cookies"), dir.path()},
         u"cannot read cookie file " + dir.path() + u": it is a folder\n"},
    };
    for (const auto& c : cases) {
        for (const QString& command : {QStringLiteral("album"), QStringLiteral("singer")}) {
            const Outcome o =
                run(QStringList{command, QStringLiteral("1"), QStringLiteral("-o"), out} + c.args);
            EXPECT_EQ(o.code, cli::kExitUsage) << c.args.join(u' ').toStdString();
            EXPECT_EQ(o.err, c.err);
        }
        const Outcome singers =
            run(QStringList{QStringLiteral("singers"), QStringLiteral("--download"),
                            QStringLiteral("all"), QStringLiteral("-o"), out} +
                c.args);
        EXPECT_EQ(singers.code, cli::kExitUsage);
        EXPECT_EQ(singers.err, c.err);
    }
    const Outcome emptyOutput =
        run({QStringLiteral("album"), QStringLiteral("1"), QStringLiteral("-o"), QString(),
             QStringLiteral("--cookies"), cookies});
    EXPECT_EQ(emptyOutput.code, cli::kExitUsage);
    EXPECT_EQ(emptyOutput.err,
              QStringLiteral("option -o/--output needs a folder, not an empty text\n"));
    EXPECT_EQ(entries(), QStringList{QStringLiteral("cookies.txt")});
}

TEST_F(CliRefusalTest, BadParallelCountsAndUnusableArchivesExitTwoAndCreateNothing) {
    const QString out = dir.filePath(QStringLiteral("out"));
    const QString nowhere = dir.filePath(QStringLiteral("none/songs.archive"));
    const struct {
        QStringList args;
        QString err;
    } cases[] = {
        {{u"--parallel"_qs, u"0"_qs},
         u"option --parallel takes a number from 1 to 4, not '0'\n"_qs},
        {{u"--parallel"_qs, u"5"_qs},
         u"option --parallel takes a number from 1 to 4, not '5'\n"_qs},
        {{u"--parallel=x"_qs}, u"option --parallel takes a number from 1 to 4, not 'x'\n"_qs},
        {{u"--archive"_qs, dir.path()},
         u"cannot use the archive "_qs + dir.path() + u": it is a folder\n"},
        {{u"--archive"_qs, nowhere},
         u"cannot use the archive "_qs + nowhere + u": No such file or directory\n"},
        // A dry run reads the archive only, but a folder cannot be read either.
        {{u"--dry-run"_qs, u"--archive"_qs, dir.path()},
         u"cannot use the archive "_qs + dir.path() + u": it is a folder\n"},
    };
    const QStringList commands[] = {{u"album"_qs, u"1"_qs},
                                    {u"singer"_qs, u"1"_qs},
                                    {u"singers"_qs, u"--download"_qs, u"all"_qs}};
    for (const auto& c : cases) {
        for (const QStringList& command : commands) {
            // Port 1 of loopback: a refusal that came too late would fail to connect instead.
            const Outcome o = run(command + c.args +
                                  QStringList{u"--json"_qs, u"-o"_qs, out, u"--portal-host"_qs,
                                              u"127.0.0.1:1"_qs, u"--cookies"_qs, cookies});
            EXPECT_EQ(o.code, cli::kExitUsage) << (command + c.args).join(u' ').toStdString();
            EXPECT_EQ(o.err, c.err) << (command + c.args).join(u' ').toStdString();
        }
    }
    EXPECT_EQ(entries(), QStringList{QStringLiteral("cookies.txt")});
}

TEST_F(CliRefusalTest, OutputFolderThatCannotBeCreatedIsNamedWithTheReason) {
    QFile file(dir.filePath(QStringLiteral("plain")));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.close();
    const QString out = dir.filePath(QStringLiteral("plain/sub/album"));
    const Outcome o = run({QStringLiteral("album"), QStringLiteral("1"), QStringLiteral("-o"), out,
                           QStringLiteral("--cookies"), cookies});
    EXPECT_EQ(o.code, cli::kExitFailed);
    EXPECT_EQ(o.err, u"cannot create folder " + dir.filePath(QStringLiteral("plain")) +
                         u": a file of that name is in the way\n");
    EXPECT_EQ(entries(), (QStringList{QStringLiteral("cookies.txt"), QStringLiteral("plain")}));
}

TEST_F(CliRefusalTest, UnreachablePortalLeavesNoAlbumFolder) {
    // Port 1 on loopback: nothing listens there.
    const QString out = dir.filePath(QStringLiteral("out"));
    const Outcome o = run({QStringLiteral("album"), QStringLiteral("31258219"),
                           QStringLiteral("--portal-host"), QStringLiteral("127.0.0.1:1"),
                           QStringLiteral("-o"), out, QStringLiteral("--cookies"), cookies});
    EXPECT_EQ(o.code, cli::kExitFailed);
    EXPECT_TRUE(o.err.contains(QStringLiteral("\n无法获取专辑页面: "))) << o.err.toStdString();
    EXPECT_EQ(QDir(out).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden),
              QStringList());
}

// Without --cookies the login's own file is read; when it cannot be, the run is refused before
// the output folder exists.
TEST_F(CliRefusalTest, UnreadableDefaultCookieFileRefusesBeforeTheOutputFolderIsMade) {
    const QByteArray oldData = qgetenv("XDG_DATA_HOME");
    const bool hadData = qEnvironmentVariableIsSet("XDG_DATA_HOME");
    const QString data = dir.filePath(QStringLiteral("data"));
    // A folder where the file should be: cannot be opened, whoever runs the test.
    const QString defaultFile = data + u"/orvana-dl/cookies.txt";
    ASSERT_TRUE(QDir().mkpath(defaultFile));
    qputenv("XDG_DATA_HOME", data.toUtf8());
    const QString out = dir.filePath(QStringLiteral("out"));
    const QStringList runs[] = {
        {QStringLiteral("album"), QStringLiteral("1"), QStringLiteral("-o"), out},
        {QStringLiteral("singer"), QStringLiteral("1"), QStringLiteral("-o"), out},
        {QStringLiteral("singers"), QStringLiteral("--download"), QStringLiteral("all"),
         QStringLiteral("-o"), out},
    };
    for (const QStringList& args : runs) {
        const Outcome o = run(args);
        EXPECT_EQ(o.code, cli::kExitFailed) << args.first().toStdString();
        EXPECT_TRUE(o.err.startsWith(u"Cannot read the cookie file \"" + defaultFile + u"\": "))
            << o.err.toStdString();
        EXPECT_FALSE(QFileInfo::exists(out)) << args.first().toStdString();
    }
    if (hadData)
        qputenv("XDG_DATA_HOME", oldData);
    else
        qunsetenv("XDG_DATA_HOME");
}
