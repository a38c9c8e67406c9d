#include "cli/cli.h"
#include "tests/support/cli_runner.h"

#include <QDir>
#include <QFile>
#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

namespace {

QByteArray readAll(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        ADD_FAILURE() << "cannot read " << path.toStdString();
    return file.readAll();
}

// Each tests/data/json/NAME.json is run through `orvana-dl-cli json`; NAME.out holds the exact
// stdout and NAME.err the exact stderr; the exit code is 0 when NAME.err is empty, 1 otherwise.
TEST(JsonCorpus, EveryCasePrintsItsExpectedOutput) {
    const QDir dir(QStringLiteral(ORVANA_TEST_DATA_DIR) + u"/json");
    const QStringList inputs = dir.entryList({u"*.json"_s}, QDir::Files, QDir::Name);
    ASSERT_GE(inputs.size(), 30);
    for (const QString& input : inputs) {
        SCOPED_TRACE(input.toStdString());
        const QString base = dir.filePath(input.chopped(5));
        const orvana::test_support::CliRun r =
            orvana::test_support::RunCli({u"json"_s, dir.filePath(input)});
        const QByteArray expectedErr = readAll(base + u".err");
        EXPECT_EQ(r.out, readAll(base + u".out"));
        EXPECT_EQ(r.err, expectedErr);
        EXPECT_EQ(r.exitCode, expectedErr.isEmpty() ? 0 : 1);
    }
}

} // namespace
