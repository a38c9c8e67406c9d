// The built orvana-dl-cli loads its commands from two modules: a text command loads Qt Core and no
// transport, a download command loads its module only when it runs, and a missing module is one
// clear message.
#include "cli/options.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace orvana;

namespace {

struct Result {
    int exitCode = -1;
    QString out;
    QString err;
};

Result run(const QString& program, const QStringList& args,
           const QProcessEnvironment& environment = QProcessEnvironment::systemEnvironment()) {
    QProcess p;
    p.setProcessEnvironment(environment);
    p.start(program, args);
    p.closeWriteChannel();
    if (!p.waitForFinished(60000) || p.exitStatus() != QProcess::NormalExit)
        return {-1, QString(), program + u" did not finish"};
    return {p.exitCode(), QString::fromUtf8(p.readAllStandardOutput()),
            QString::fromUtf8(p.readAllStandardError())};
}

// The shared objects the dynamic loader reported loading (LD_DEBUG=files), by file name.
QStringList loadedFiles(const QString& loaderReport) {
    QStringList files;
    for (const QString& line : loaderReport.split(u'\n')) {
        const qsizetype at = line.indexOf(u"file=");
        if (at >= 0)
            files.append(QFileInfo(line.mid(at + 5).section(u' ', 0, 0)).fileName());
    }
    return files;
}

const QString kProgram = QStringLiteral(ORVANA_CLI_PROGRAM);
const QString kMainModule = QStringLiteral(ORVANA_CLI_MAIN_MODULE);

} // namespace

TEST(CliModules, TextCommandsLoadQtCoreAloneAndADownloadCommandItsModule) {
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("LD_DEBUG"), QStringLiteral("files"));
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString json = dir.filePath(QStringLiteral("a.json"));
    QFile file(json);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("[1]");
    file.close();

    const Result version = run(kProgram, {QStringLiteral("--version")}, environment);
    EXPECT_EQ(version.exitCode, 0);
    EXPECT_EQ(version.out, cli::VersionText() + u'\n');
    const Result parsed = run(kProgram, {QStringLiteral("json"), json}, environment);
    EXPECT_EQ(parsed.exitCode, 0);
    EXPECT_EQ(parsed.out, QStringLiteral("[1]\n"));
    for (const Result* text : {&version, &parsed}) {
        const QStringList files = loadedFiles(text->err);
        EXPECT_TRUE(files.contains(QStringLiteral("orvana-dl-cli-main.so")));
        EXPECT_TRUE(files.contains(QStringLiteral("libQt6Core.so.6")));
        for (const QString& file : files)
            for (const char16_t* heavy : {u"downloads", u"curl", u"Network", u"libtag", u"gumbo"})
                EXPECT_FALSE(file.contains(QStringView(heavy))) << file.toStdString();
    }

    const Result album =
        run(kProgram, {QStringLiteral("album"), QStringLiteral("--help")}, environment);
    EXPECT_EQ(album.exitCode, 0);
    EXPECT_TRUE(album.out.startsWith(QStringLiteral("usage: orvana-dl-cli album [OPTIONS]")));
    const QStringList files = loadedFiles(album.err);
    EXPECT_TRUE(files.contains(QStringLiteral("orvana-dl-cli-downloads.so")));
    EXPECT_TRUE(files.contains(QStringLiteral("libcurl.so.4")));
}

TEST(CliModules, AMissingModuleIsOneMessageAndTheOtherCommandsStillRun) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    // A copy of the program where the modules folder lies relative to it as in the build tree.
    const QString root = QDir(dir.path()).canonicalPath();
    const QString program = root + u"/bin/orvana-dl-cli";
    // As the program writes it: its folder, then the modules folder relative to it.
    const QString modules =
        root + u"/bin/" +
        QDir(QFileInfo(kProgram).path()).relativeFilePath(QFileInfo(kMainModule).path());
    ASSERT_TRUE(QDir().mkpath(root + u"/bin") && QDir().mkpath(modules));
    ASSERT_TRUE(QFile::copy(kProgram, program));
    const auto missing = [&](const char16_t* module) -> QString {
        return u"orvana-dl is not completely installed: " + modules + u'/' + module +
               u": cannot open shared object file: No such file or directory; reinstall it\n";
    };

    const Result none = run(program, {QStringLiteral("--version")});
    EXPECT_EQ(none.exitCode, 1);
    EXPECT_EQ(none.out, QString());
    EXPECT_EQ(none.err, missing(u"orvana-dl-cli-main.so"));

    // The main module alone: the text commands run, a download command stops before it makes
    // anything.
    ASSERT_TRUE(QFile::copy(kMainModule, modules + u"/orvana-dl-cli-main.so"));
    const Result version = run(program, {QStringLiteral("--version")});
    EXPECT_EQ(version.exitCode, 0);
    EXPECT_EQ(version.out, cli::VersionText() + u'\n');
    const QString out = root + u"/out";
    const Result album =
        run(program, {QStringLiteral("album"), QStringLiteral("123"), QStringLiteral("-o"), out});
    EXPECT_EQ(album.exitCode, 1);
    EXPECT_EQ(album.out, QString());
    EXPECT_EQ(album.err, missing(u"orvana-dl-cli-downloads.so"));
    EXPECT_FALSE(QFileInfo::exists(out));
}
