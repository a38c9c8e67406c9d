// How orvana-dl-cli reads its options: every spelling a user may type gives the same options,
// and what cannot be read is refused in the tool's own words, naming the option.
#include "cli/options.h"
#include "tests/support/cli_runner.h"

#include "json/error.h"
#include <gtest/gtest.h>

using namespace orvana;
using namespace Qt::StringLiterals;

namespace {

const QString kAlbumUsage = u"usage: orvana-dl-cli album [OPTIONS] ADDRESS"_s;

cli::CommandArgs parse(const QStringList& args) {
    return cli::ParseCommandArgs(args, cli::Globals::Taken, {}, kAlbumUsage);
}

// The message a refused parse gives, or "(accepted)".
QString refusal(const QStringList& args, cli::Globals globals = cli::Globals::Taken,
                const QList<QCommandLineOption>& own = {}) {
    try {
        (void)cli::ParseCommandArgs(args, globals, own, kAlbumUsage);
    } catch (const Error& e) {
        EXPECT_EQ(e.kind(), ErrorKind::InvalidArgument);
        return e.message();
    }
    return u"(accepted)"_s;
}

TEST(CommandArgs, EverySpellingOfAnOptionGivesTheSameValue) {
    const QStringList spellings[] = {
        {u"1"_s, u"--output"_s, u"d"_s},
        {u"--output=d"_s, u"1"_s},
        {u"-o"_s, u"d"_s, u"1"_s},
        {u"1"_s, u"-od"_s},
        {u"-o=d"_s, u"1"_s},
        {u"-o"_s, u"x"_s, u"1"_s, u"-o"_s, u"d"_s},
    };
    for (const QStringList& args : spellings) {
        const cli::CommandArgs a = parse(args);
        EXPECT_EQ(a.global.output, u"d"_s) << args.join(u' ').toStdString();
        EXPECT_EQ(a.positional, QStringList{u"1"_s}) << args.join(u' ').toStdString();
        EXPECT_FALSE(a.global.quiet);
    }
    const cli::CommandArgs grouped = parse({u"-qo"_s, u"d"_s, u"1"_s});
    EXPECT_TRUE(grouped.global.quiet);
    EXPECT_EQ(grouped.global.output, u"d"_s);
}

TEST(CommandArgs, DownloadOptionsAreReadWhereverTheyStand) {
    const cli::CommandArgs none = parse({u"1"_s});
    EXPECT_FALSE(none.global.json || none.global.dryRun || none.global.tags ||
                 none.global.playlist || none.global.archive || none.global.parallel);
    EXPECT_EQ(cli::ParallelOf(none.global), 1);
    const cli::CommandArgs all = parse({u"--json"_s, u"1"_s, u"--dry-run"_s, u"--archive=a.txt"_s,
                                        u"--tag"_s, u"--m3u"_s, u"--parallel"_s, u"4"_s});
    EXPECT_TRUE(all.global.json && all.global.dryRun && all.global.tags && all.global.playlist);
    EXPECT_EQ(all.global.archive, u"a.txt"_s);
    EXPECT_EQ(cli::ParallelOf(all.global), 4);
    EXPECT_EQ(all.positional, QStringList{u"1"_s});
    EXPECT_EQ(cli::CommandFirst({u"--json"_s, u"--parallel=2"_s, u"album"_s, u"1"_s}),
              (QStringList{u"album"_s, u"--json"_s, u"--parallel=2"_s, u"1"_s}));
    EXPECT_EQ(refusal({u"1"_s, u"--json=1"_s}), u"option --json takes no value\n"_s + kAlbumUsage);
    EXPECT_EQ(refusal({u"1"_s, u"--archive"_s}),
              u"option --archive needs a value\n"_s + kAlbumUsage);
}

TEST(CommandArgs, ParallelTakesAWholeNumberFromOneToFour) {
    for (const QString& text : {u"0"_s, u"5"_s, u"x"_s, QString(), u" 2"_s, u"+2"_s, u"2.0"_s,
                                u"-1"_s, u"99999999999"_s}) {
        cli::GlobalOptions options;
        options.parallel = text;
        try {
            (void)cli::ParallelOf(options);
            ADD_FAILURE() << "accepted: " << text.toStdString();
        } catch (const Error& e) {
            EXPECT_EQ(e.kind(), ErrorKind::InvalidArgument);
            EXPECT_EQ(e.message(),
                      u"option --parallel takes a number from 1 to 4, not '"_s + text + u'\'');
        }
    }
    cli::GlobalOptions two;
    two.parallel = u"02"_s;
    EXPECT_EQ(cli::ParallelOf(two), 2);
}

TEST(CommandArgs, ValuesAndOperandsAreTakenAsWritten) {
    // A value is the next argument whatever it looks like, an empty one included.
    const cli::CommandArgs dashValue =
        parse({u"-o"_s, u"-q"_s, u"--portal-host"_s, u"--"_s, u"--cookies="_s, u"1"_s});
    EXPECT_EQ(dashValue.global.output, u"-q"_s);
    EXPECT_EQ(dashValue.global.portalHost, u"--"_s);
    EXPECT_EQ(dashValue.global.cookies, QString());
    EXPECT_TRUE(dashValue.global.cookies.has_value());
    EXPECT_FALSE(dashValue.global.quiet);
    EXPECT_FALSE(dashValue.global.proxy.has_value());

    // "--" ends the options; "-" and "" are operands; order is kept.
    const cli::CommandArgs operands =
        parse({u"b"_s, u"-"_s, QString(), u"--quiet"_s, u"--"_s, u"-o"_s, u"--help"_s});
    EXPECT_EQ(operands.positional, (QStringList{u"b"_s, u"-"_s, QString(), u"-o"_s, u"--help"_s}));
    EXPECT_TRUE(operands.global.quiet);
    EXPECT_FALSE(operands.global.help);
    EXPECT_FALSE(operands.global.output.has_value());
}

TEST(CommandArgs, RefusalsNameTheOptionAndEndWithTheUsage) {
    const struct {
        QStringList args;
        QString message;
    } cases[] = {
        {{u"1"_s, u"--bogus"_s}, u"unknown option: --bogus"_s},
        {{u"--bogus=1"_s, u"1"_s}, u"unknown option: --bogus"_s},
        {{u"-x"_s, u"1"_s}, u"unknown option: -x"_s},
        {{u"-5"_s}, u"unknown option: -5"_s},
        {{u"1"_s, u"-o"_s}, u"option -o needs a value"_s},
        {{u"1"_s, u"--cookies"_s}, u"option --cookies needs a value"_s},
        {{u"1"_s, u"-qo"_s}, u"option -o needs a value"_s},
        {{u"1"_s, u"--quiet=yes"_s}, u"option --quiet takes no value"_s},
    };
    for (const auto& c : cases)
        EXPECT_EQ(refusal(c.args), c.message + u'\n' + kAlbumUsage)
            << c.args.join(u' ').toStdString();
}

TEST(CommandArgs, HelpIsAnsweredEvenBesideAStrayOption) {
    EXPECT_TRUE(parse({u"--bogus"_s, u"--help"_s}).global.help);
    EXPECT_TRUE(parse({u"1"_s, u"-h"_s}).global.help);
}

TEST(CommandArgs, ACommandWithoutGlobalOptionsReadsOnlyItsOwn) {
    const QCommandLineOption answers(u"answers"_s, QString(), u"FILE"_s);
    const cli::CommandArgs a = cli::ParseCommandArgs({u"s.json"_s, u"--answers=-"_s},
                                                     cli::Globals::HelpOnly, {answers}, {});
    EXPECT_EQ(a.values.value(u"answers"_s), u"-"_s);
    EXPECT_EQ(a.positional, QStringList{u"s.json"_s});
    EXPECT_EQ(refusal({u"-o"_s, u"d"_s, u"s.json"_s}, cli::Globals::HelpOnly, {answers}),
              u"unknown option: -o\n"_s + kAlbumUsage);
    EXPECT_EQ(refusal({u"--answers"_s}, cli::Globals::HelpOnly, {answers}),
              u"option --answers needs a value\n"_s + kAlbumUsage);
}

TEST(CommandFirst, MovesTheLeadingGlobalOptionsBehindTheCommand) {
    const struct {
        QStringList args;
        QStringList expected;
    } cases[] = {
        {{u"--portal-host=h"_s, u"--output"_s, u"d"_s, u"album"_s, u"1"_s},
         {u"album"_s, u"--portal-host=h"_s, u"--output"_s, u"d"_s, u"1"_s}},
        {{u"-qod"_s, u"singers"_s, u"--download"_s, u"all"_s},
         {u"singers"_s, u"-qod"_s, u"--download"_s, u"all"_s}},
        // The command's own arguments are left to it, options among them.
        {{u"-q"_s, u"album"_s, u"-o"_s, u"x"_s, u"--"_s, u"-1"_s},
         {u"album"_s, u"-q"_s, u"-o"_s, u"x"_s, u"--"_s, u"-1"_s}},
        // "--" as a value stays; as the end of the options it has done its work.
        {{u"-o"_s, u"--"_s, u"album"_s, u"1"_s}, {u"album"_s, u"-o"_s, u"--"_s, u"1"_s}},
        {{u"--"_s, u"album"_s, u"1"_s}, {u"album"_s, u"1"_s}},
        // Nothing to move: no command, or what leads is not a global option.
        {{u"album"_s, u"-o"_s, u"x"_s}, {u"album"_s, u"-o"_s, u"x"_s}},
        {{u"-o"_s, u"album"_s}, {u"-o"_s, u"album"_s}},
        {{u"-x"_s, u"album"_s}, {u"-x"_s, u"album"_s}},
        {{u"-q"_s, u"--version"_s}, {u"-q"_s, u"--version"_s}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(cli::CommandFirst(c.args), c.expected) << c.args.join(u' ').toStdString();
}

TEST(CliOptions, OptionsWithoutACommandAnswerHelpAndVersionOnly) {
    const test_support::CliRun help = test_support::RunCli({u"-q"_s, u"--help"_s});
    EXPECT_EQ(help.exitCode, cli::kExitOk);
    EXPECT_TRUE(help.err.startsWith("usage: orvana-dl-cli COMMAND [ARGS]\n"));
    const test_support::CliRun version = test_support::RunCli({u"-o"_s, u"d"_s, u"--version"_s});
    EXPECT_EQ(version.exitCode, cli::kExitOk);
    EXPECT_EQ(version.out, (cli::VersionText() + u'\n').toUtf8());
    for (const QStringList& args :
         {QStringList{u"-q"_s}, QStringList{u"-o"_s}, QStringList{u"-x"_s}}) {
        const test_support::CliRun r = test_support::RunCli(args);
        EXPECT_EQ(r.exitCode, cli::kExitUsage);
        EXPECT_TRUE(r.err.startsWith(
            QByteArray("unknown command: " + args.first().toUtf8() + "\nusage: ")));
    }
}

TEST(CliOptions, AnUnknownOptionIsRefusedBeforeAnythingIsDone) {
    const test_support::CliRun r =
        test_support::RunCli({u"album"_s, u"--ouptut"_s, u"d"_s, u"1"_s});
    EXPECT_EQ(r.exitCode, cli::kExitUsage);
    EXPECT_EQ(r.err, "unknown option: --ouptut\n" + kAlbumUsage.toUtf8() + '\n');
    const test_support::CliRun singers =
        test_support::RunCli({u"singers"_s, u"0"_s, u"--download"_s});
    EXPECT_EQ(singers.exitCode, cli::kExitUsage);
    EXPECT_EQ(singers.err, "option --download needs a value\nusage: orvana-dl-cli singers "
                           "[OPTIONS] [ROW] [--download all|I,J,...]\n");
}

} // namespace
