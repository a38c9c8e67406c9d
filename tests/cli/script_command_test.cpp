#include "cli/cli.h"
#include "tests/support/cli_runner.h"

#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

namespace {

using orvana::test_support::CliRun;

class ScriptCommand : public testing::Test {
protected:
    CliRun run(const QStringList& args, const QByteArray& input = {}) {
        return orvana::test_support::RunCli(args, input);
    }

    QString file(const QString& name, const QByteArray& bytes) {
        const QString path = dir.filePath(name);
        QFile f(path);
        EXPECT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(bytes);
        return path;
    }

    QTemporaryDir dir;
};

TEST_F(ScriptCommand, PrintsTheOutputAsItIsAndAlertsOnStderr) {
    const CliRun r =
        run({u"script"_s, u"-"_s},
            "['h\xC3\xA9', {alert: {title: 'T', message: 'hi'}}, {Foo: {a: '1', b: 2}}, null]");
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.out, "h\xC3\xA9<%FOO(1,2)%>null");
    EXPECT_EQ(r.err, "[T] hi\n");
}

TEST_F(ScriptCommand, InputReadsLinesFromStdin) {
    const QString script =
        file(u"ask.json"_s, "[{input: {prompt: 'Name?', title: 'Q'}}, '/', "
                            "{input: {prompt: 'Age?', default: '18'}}, '/', {input: {}}, '.']");
    // The second answer is an empty line, which keeps the default; then the input ends.
    const CliRun r = run({u"script"_s, script}, "Ann\r\n\n");
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.out, "Ann/18/.");
    EXPECT_EQ(r.err, "[Q] Name?: Ann\n[] Age? [18]: \n[] : (cancelled)\n");
}

TEST_F(ScriptCommand, ALeadingByteOrderMarkIsSkipped) {
    const QString answers = file(u"answers.txt"_s, "\xEF\xBB\xBFyes\n");
    const CliRun r = run({u"script"_s, u"--answers"_s, answers, u"-"_s},
                         "\xEF\xBB\xBF[{input: {}}, '\xEF\xBB\xBF']");
    EXPECT_EQ(r.exitCode, 0);
    // Only the mark that starts the file goes; one inside a string stays.
    EXPECT_EQ(r.out, "yes\xEF\xBB\xBF");
}

TEST_F(ScriptCommand, AnswersFileReplacesStdin) {
    const QString script = file(u"s.json"_s, "[{input: {prompt: 'A'}}, {input: {prompt: 'B'}}, "
                                             "{input: {prompt: 'C'}}, {input: {prompt: 'D'}}]");
    const QString answers = file(u"answers.txt"_s, "one\r\n\xE4\xB8\x80\nthree");
    const CliRun r = run({u"script"_s, u"--answers"_s, answers, script}, "from stdin\n");
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.out, "one\xE4\xB8\x80three");
    EXPECT_EQ(r.err, "[] A: one\n[] B: \xE4\xB8\x80\n[] C: three\n[] D: (cancelled)\n");

    const CliRun fromStdin = run({u"script"_s, u"--answers=-"_s, script}, "x\n");
    EXPECT_EQ(fromStdin.exitCode, 0);
    EXPECT_EQ(fromStdin.out, "x");
}

TEST_F(ScriptCommand, AScriptOnStdinLeavesNoInputForTheBoxes) {
    const CliRun r = run({u"script"_s, u"-"_s}, "[{input: {prompt: 'P'}}, 'done']\nanswer\n");
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.out, "done");
    EXPECT_EQ(r.err, "[] P: (cancelled)\n");
}

TEST_F(ScriptCommand, ParserErrorsAreReportedAndExitOne) {
    const CliRun r = run({u"script"_s, u"-"_s}, "5");
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, "[Parser Error] Invalid JSON\n");

    const CliRun partial = run({u"script"_s, u"-"_s}, "[{alert: {message: 'm'}}, 1,,2]");
    EXPECT_EQ(partial.exitCode, 1);
    EXPECT_EQ(partial.out, "");
    EXPECT_EQ(partial.err, "[Parser Error] Type mismatch: ,2]\r\n");
}

TEST_F(ScriptCommand, ShapeFailuresPrintTheirMessageAndExitOne) {
    const CliRun r = run({u"script"_s, u"-"_s}, "[{alert: {message: 'before'}}, {return: 5}]");
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, "[] before\nThe value of \"return\" is a number; a command needs an object of "
                     "parameters or a string\n");
}

TEST_F(ScriptCommand, RefusesBadInputWithExitTwo) {
    const CliRun utf8 = run({u"script"_s, u"-"_s}, "['\xFF']");
    EXPECT_EQ(utf8.exitCode, 2);
    EXPECT_EQ(utf8.out, "");
    EXPECT_EQ(utf8.err,
              "the standard input is not valid UTF-8 text; save it as UTF-8 and try again\n");

    const QString badAnswers = file(u"bad.txt"_s, "\xC3(");
    const CliRun answers = run({u"script"_s, u"--answers"_s, badAnswers, u"-"_s}, "[]");
    EXPECT_EQ(answers.exitCode, 2);
    EXPECT_EQ(answers.err, (badAnswers + u" is not valid UTF-8 text; save it as UTF-8 and try "
                                         u"again\n")
                               .toUtf8());

    const CliRun missing = run({u"script"_s, dir.filePath(u"none.json"_s)});
    EXPECT_EQ(missing.exitCode, 2);
    const QByteArray expected = "cannot read " + dir.filePath(u"none.json"_s).toUtf8() + ": ";
    EXPECT_TRUE(missing.err.startsWith(expected)) << missing.err.toStdString();
}

TEST_F(ScriptCommand, RefusesBadArgumentsWithExitTwo) {
    for (const QStringList& args :
         {QStringList{u"script"_s}, QStringList{u"script"_s, u"--answers"_s},
          QStringList{u"script"_s, u"--bogus"_s, u"-"_s}, QStringList{u"script"_s, u"a"_s, u"b"_s},
          QStringList{u"script"_s, u"--answers"_s, u"-"_s, u"-"_s}}) {
        const CliRun r = run(args, "[]");
        EXPECT_EQ(r.exitCode, 2) << args.join(u' ').toStdString();
        EXPECT_EQ(r.out, "");
        EXPECT_FALSE(r.err.isEmpty());
    }
    const CliRun help = run({u"script"_s, u"--help"_s});
    EXPECT_EQ(help.exitCode, 0);
    EXPECT_TRUE(help.out.startsWith("usage: orvana-dl-cli script [--answers FILE] FILE|-\n"));
}

} // namespace
