#include "cli/cli.h"
#include "tests/support/cli_runner.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

namespace {

using orvana::test_support::CliRun;

CliRun runCli(const QStringList& args, const QByteArray& input = {}) {
    return orvana::test_support::RunCli(args, input);
}

TEST(JsonCommand, PrintsTheCanonicalLineAndExitsZero) {
    const CliRun r = runCli({u"json"_s, u"-"_s}, "{'b':[1.50,'\xC3\xA9',null], a : true}");
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.out, "{\"b\":[1.5,\"\xC3\xA9\",null],\"a\":true}\n");
    EXPECT_EQ(r.err, "");
}

TEST(JsonCommand, ReadsAFile) {
    QTemporaryDir dir;
    const QString path = dir.filePath(u"answer.json"_s);
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("[1,,2]");
    file.close();
    const CliRun r = runCli({u"json"_s, path});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.out, "[1]\n");
    EXPECT_EQ(r.err, "Type mismatch: ,2]\r\n");
}

TEST(JsonCommand, NoObjectPrintsNone) {
    const CliRun r = runCli({u"json"_s, u"-"_s}, "  5");
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.out, "none\n");
    EXPECT_EQ(r.err, "Invalid JSON");
}

TEST(JsonCommand, ByteOrderMarkIsKeptAsACharacter) {
    const CliRun r = runCli({u"json"_s, u"-"_s}, "\xEF\xBB\xBF{}");
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.out, "none\n");
    EXPECT_EQ(r.err, "Invalid JSON");
}

TEST(JsonCommand, RefusesInvalidUtf8) {
    for (const QByteArray& bytes : {QByteArray("['\xFF']"), QByteArray("['\xC3']"),
                                    QByteArray("['\xED\xA0\x80']"), QByteArray("['\xC0\xAF']")}) {
        const CliRun r = runCli({u"json"_s, u"-"_s}, bytes);
        EXPECT_EQ(r.exitCode, 2) << bytes.toHex().toStdString();
        EXPECT_EQ(r.out, "");
        EXPECT_EQ(r.err, "the standard input is not valid UTF-8 text; save it as UTF-8 and try "
                         "again\n");
    }
}

TEST(JsonCommand, LoneSurrogatesAreEscapedOnStdoutAndReplacedOnStderr) {
    // The 20-character context ends inside a surrogate pair.
    const QByteArray input = "[1,," + QByteArray(18, 'a') + "\xF0\x9F\x98\x80] ['\\ud800']";
    const CliRun r = runCli({u"json"_s, u"-"_s}, input);
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.out, "[1]\n");
    const QByteArray expected = "Type mismatch: ," + QByteArray(18, 'a') + "\xEF\xBF\xBD\r\n";
    EXPECT_EQ(r.err.toHex(' ').toStdString(), expected.toHex(' ').toStdString());
    const CliRun lone = runCli({u"json"_s, u"-"_s}, "['\\ud800x', '\\uDFFF']");
    EXPECT_EQ(lone.out, "[\"\\ud800x\",\"\\udfff\"]\n");
    EXPECT_EQ(lone.exitCode, 0);
}

TEST(JsonCommand, UsageAndUnreadableFileExitTwo) {
    CliRun r = runCli({u"json"_s});
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_EQ(r.err, "usage: orvana-dl-cli json FILE|-\n");
    r = runCli({u"json"_s, u"a"_s, u"b"_s});
    EXPECT_EQ(r.exitCode, 2);
    QTemporaryDir dir;
    r = runCli({u"json"_s, dir.filePath(u"missing.json"_s)});
    EXPECT_EQ(r.exitCode, 2);
    const QByteArray expected = "cannot read " + dir.filePath(u"missing.json"_s).toUtf8();
    EXPECT_TRUE(r.err.startsWith(expected)) << r.err.toStdString();
    EXPECT_EQ(r.out, "");
}

} // namespace
