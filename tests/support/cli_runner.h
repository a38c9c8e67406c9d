#pragma once

#include "cli/cli.h"

#include <QBuffer>
#include <QByteArray>
#include <QRegularExpression>
#include <QStringList>
#include <memory>

namespace orvana::test_support {

// What one in-process run of orvana-dl-cli gave: exit code and the raw bytes of stdout/stderr.
struct CliRun {
    int exitCode;
    QByteArray out;
    QByteArray err;
};

// Runs `orvana-dl-cli ARGS...` in process with input as its standard input; clock, when given,
// takes the jobs' retry pauses.
inline CliRun RunCli(const QStringList& args, const QByteArray& input = {},
                     std::shared_ptr<jobs::JobClock> clock = nullptr) {
    QByteArray inBytes = input;
    QBuffer in(&inBytes);
    QBuffer out;
    QBuffer err;
    in.open(QIODevice::ReadOnly);
    out.open(QIODevice::WriteOnly);
    err.open(QIODevice::WriteOnly);
    const int code = cli::Run(args, cli::CliIo{&in, &out, &err, std::move(clock)});
    return {code, out.data(), err.data()};
}

// Takes the closing summary line of a download command (or of a dry run) off its stderr text
// and gives it with the elapsed time written "T"; empty when the text does not end with one.
inline QString TakeSummaryLine(QString& err) {
    static const QRegularExpression summary(QStringLiteral(
        "(?:^|\\n)((?:已保存|计划) \\d+ 首, 已存在 \\d+ 首, 失败 \\d+ 首, \\d+ 字节, 用时 "
        ")\\d+\\.\\d( 秒, 文件夹: [^\\n]*)\\n$"));
    const QRegularExpressionMatch m = summary.match(err);
    if (!m.hasMatch())
        return {};
    err.truncate(m.capturedStart(1));
    return m.captured(1) + u'T' + m.captured(2);
}

// A download command's run as text, its summary line taken apart from the rest of stderr.
struct DownloadRun {
    int code;
    QString out;
    QString err;     // without the summary line
    QString summary; // the closing summary line, its time written "T"
};

inline DownloadRun RunDownloadCli(const QStringList& args,
                                  std::shared_ptr<jobs::JobClock> clock = nullptr) {
    const CliRun r = RunCli(args, {}, std::move(clock));
    QString err = QString::fromUtf8(r.err);
    const QString summary = TakeSummaryLine(err);
    return {r.exitCode, QString::fromUtf8(r.out), err, summary};
}

} // namespace orvana::test_support
