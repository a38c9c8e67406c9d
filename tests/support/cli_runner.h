#pragma once

#include "cli/cli.h"

#include <QBuffer>
#include <QByteArray>
#include <QStringList>

namespace orvana::test_support {

// What one in-process run of orvana-dl-cli gave: exit code and the raw bytes of stdout/stderr.
struct CliRun {
    int exitCode;
    QByteArray out;
    QByteArray err;
};

// Runs `orvana-dl-cli ARGS...` in process with input as its standard input.
inline CliRun RunCli(const QStringList& args, const QByteArray& input = {}) {
    QByteArray inBytes = input;
    QBuffer in(&inBytes);
    QBuffer out;
    QBuffer err;
    in.open(QIODevice::ReadOnly);
    out.open(QIODevice::WriteOnly);
    err.open(QIODevice::WriteOnly);
    const int code = cli::Run(args, cli::CliIo{&in, &out, &err});
    return {code, out.data(), err.data()};
}

} // namespace orvana::test_support
