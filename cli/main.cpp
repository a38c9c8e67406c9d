#include "cli/cli.h"

#include <QCoreApplication>
#include <QFile>

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QFile in, out, err;
    // Status lines and the progress bar must reach stderr as they are written (a stalled song,
    // an interrupt): a buffered QFile would hold them until exit.
    if (!in.open(stdin, QIODevice::ReadOnly) || !out.open(stdout, QIODevice::WriteOnly) ||
        !err.open(stderr, QIODevice::WriteOnly | QIODevice::Unbuffered))
        return orvana::cli::kExitFailed;
    const orvana::cli::CliIo io{&in, &out, &err};
    const int code = orvana::cli::Run(app.arguments().mid(1), io);
    // stdout carries the result: output a full disk or a broken redirection did not take must
    // not end as success.
    if (!out.flush() || out.error() != QFileDevice::NoError) {
        err.write("cannot write the standard output: " + out.errorString().toUtf8() + '\n');
        return code == orvana::cli::kExitOk ? orvana::cli::kExitFailed : code;
    }
    return code;
}
