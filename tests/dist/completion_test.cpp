// The bash completion and the manual page against the tool itself: commands, options and
// category rows must follow the command-line tool when it changes.
#include "cli/options.h"
#include "jobs/catalogue.h"
#include "tests/support/cli_runner.h"

#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QSet>
#include <gtest/gtest.h>

namespace orvana {
namespace {

const QString kCompletionFile = QStringLiteral(ORVANA_DIST_DIR "/completion/orvana-dl-cli");
const QString kBashCompletion = QStringLiteral("/usr/share/bash-completion/bash_completion");

// A set of words as one sorted line, so that a failure shows readable words.
std::string line(const QSet<QString>& words) {
    QStringList sorted(words.begin(), words.end());
    sorted.sort();
    return sorted.join(u' ').toStdString();
}

std::string line(const QStringList& words) {
    return line(QSet<QString>(words.begin(), words.end()));
}

// The words bash offers after `words` (the last one being completed), as the shell would ask;
// sorted, one line.
std::string complete(const QStringList& words) {
    QString script = u"source \"$1\"; source \"$2\"; shift 2\n"
                     u"COMP_WORDS=(\"$@\"); COMP_CWORD=$(($# - 1))\n"
                     u"COMP_LINE=\"$*\"; COMP_POINT=${#COMP_LINE}\n"
                     u"_orvana_dl_cli orvana-dl-cli \"${COMP_WORDS[COMP_CWORD]}\" "
                     u"\"${COMP_WORDS[COMP_CWORD-1]}\"\n"
                     u"printf '%s\\n' \"${COMPREPLY[@]}\"\n"_qs;
    QProcess bash;
    bash.start(QStringLiteral("bash"),
               QStringList{QStringLiteral("-c"), script, QStringLiteral("bash"), kBashCompletion,
                           kCompletionFile} +
                   words);
    EXPECT_TRUE(bash.waitForFinished(10000));
    EXPECT_EQ(bash.exitCode(), 0) << bash.readAllStandardError().toStdString();
    return line(QString::fromUtf8(bash.readAllStandardOutput()).split(u'\n', Qt::SkipEmptyParts));
}

// The command names the tool's own usage lists.
QSet<QString> usageCommands() {
    const test_support::CliRun run = test_support::RunCli({});
    const QString usage = QString::fromUtf8(run.err);
    const QString body = usage.section(QStringLiteral("commands:\n"), 1).section(u"\n\n"_qs, 0, 0);
    QSet<QString> names;
    for (const QString& line : body.split(u'\n', Qt::SkipEmptyParts))
        names.insert(line.trimmed().section(u' ', 0, 0));
    return names;
}

// The global options the tool's help lists ("  -o, --output DIR" gives -o and --output).
QSet<QString> helpOptions() {
    static const QRegularExpression option(QStringLiteral("^  (-[-\\w]+)(?:, (--[-\\w]+))?"),
                                           QRegularExpression::MultilineOption);
    QSet<QString> names;
    auto it = option.globalMatch(cli::GlobalOptionsHelp());
    while (it.hasNext()) {
        const QRegularExpressionMatch m = it.next();
        names.insert(m.captured(1));
        if (m.hasCaptured(2))
            names.insert(m.captured(2));
    }
    return names;
}

// The category rows as `singers` accepts them: indexes and paths of every row but separators.
QSet<QString> categoryRows() {
    QSet<QString> rows;
    for (std::size_t i = 0; i < jobs::kSingerCategories.size(); ++i) {
        const jobs::SingerCategory& c = jobs::kSingerCategories[i];
        if (c.separator)
            continue;
        rows.insert(QString::number(i));
        if (!c.path.isEmpty())
            rows.insert(c.path.mid(1).toString());
    }
    return rows;
}

class Completion : public testing::Test {
protected:
    void SetUp() override {
        if (!QFile::exists(kBashCompletion))
            GTEST_SKIP() << "bash-completion is not installed (scripts/install-deps installs it)";
    }
};

TEST_F(Completion, OffersTheCommandsAndOptionsOfTheTool) {
    ASSERT_EQ(usageCommands().size(), 5);
    EXPECT_EQ(complete({u"orvana-dl-cli"_qs, QString()}), line(usageCommands()));
    ASSERT_TRUE(helpOptions().contains(u"--portal-host"_qs));
    EXPECT_EQ(complete({u"orvana-dl-cli"_qs, u"-"_qs}), line(helpOptions()));
    EXPECT_EQ(complete({u"orvana-dl-cli"_qs, u"sing"_qs}), "singer singers");
}

TEST_F(Completion, OffersTheCategoryRowsAfterSingers) {
    EXPECT_EQ(complete({u"orvana-dl-cli"_qs, u"singers"_qs, QString()}), line(categoryRows()));
    EXPECT_EQ(complete({u"orvana-dl-cli"_qs, u"singers"_qs, u"western/"_qs}),
              "western/female western/group western/male");
    // An option's value is not the command, even when it reads like one.
    EXPECT_EQ(complete({u"orvana-dl-cli"_qs, u"--proxy"_qs, u"album"_qs, u"-o"_qs, u"/tmp"_qs,
                        u"singers"_qs, QString()}),
              line(categoryRows()));
    EXPECT_EQ(complete({u"orvana-dl-cli"_qs, u"singers"_qs, u"3"_qs, u"--download"_qs, QString()}),
              "all");
    EXPECT_EQ(complete({u"orvana-dl-cli"_qs, u"singers"_qs, u"--dow"_qs}), "--download");
}

TEST_F(Completion, OffersTheParallelCountsAndSkipsTheValuesOfTheNewOptions) {
    QStringList counts;
    for (int n = 1; n <= jobs::kMaxParallelSongs; ++n)
        counts << QString::number(n);
    EXPECT_EQ(complete({u"orvana-dl-cli"_qs, u"album"_qs, u"--parallel"_qs, QString()}),
              line(counts));
    // The archive's name and the count are values, not the command.
    EXPECT_EQ(complete({u"orvana-dl-cli"_qs, u"--archive"_qs, u"album"_qs, u"--parallel"_qs,
                        u"2"_qs, u"singers"_qs, QString()}),
              line(categoryRows()));
    EXPECT_EQ(complete({u"orvana-dl-cli"_qs, u"singer"_qs, u"--dry"_qs}), "--dry-run");
}

TEST_F(Completion, OffersNoRowsOrCommandsAfterAlbum) {
    EXPECT_EQ(complete({u"orvana-dl-cli"_qs, u"album"_qs, QString()}), "");
    EXPECT_EQ(complete({u"orvana-dl-cli"_qs, u"album"_qs, u"--portal-host"_qs, QString()}), "");
}

QString manualSource() {
    QFile file(QStringLiteral(ORVANA_DIST_DIR "/man/orvana-dl-cli.1.in"));
    EXPECT_TRUE(file.open(QIODevice::ReadOnly));
    return QString::fromUtf8(file.readAll());
}

TEST(ManualPage, ListsTheCategoryRowsOfTheCatalogue) {
    QStringList expected;
    for (std::size_t i = 0; i < jobs::kSingerCategories.size(); ++i) {
        const jobs::SingerCategory& c = jobs::kSingerCategories[i];
        if (!c.separator)
            expected.append(QString::number(i) + u'\t' +
                            (c.path.isEmpty() ? u"(all)"_qs : c.path.mid(1).toString()) + u'\t' +
                            c.text.toString());
    }
    const QString table =
        manualSource().section(QStringLiteral(".TS\nl l l.\n"), 1).section(u"\n.TE\n"_qs, 0, 0);
    EXPECT_EQ(table.split(u'\n'), expected);
}

TEST(ManualPage, DescribesEveryCommandAndOption) {
    const QString source = manualSource();
    for (const QString& command : usageCommands()) {
        static const QRegularExpression item(QStringLiteral("\\n\\.TP\\n\\.B[IR]? (\\S+)"));
        QSet<QString> items;
        auto it = item.globalMatch(source);
        while (it.hasNext())
            items.insert(it.next().captured(1));
        EXPECT_TRUE(items.contains(command)) << command.toStdString();
    }
    for (QString option : helpOptions())
        EXPECT_TRUE(source.contains(option.replace(u"-"_qs, u"\\-"_qs))) << option.toStdString();
    EXPECT_TRUE(source.contains(u"\n.B ORVANA_PORTAL_HOST\n"_qs));
}

} // namespace
} // namespace orvana
