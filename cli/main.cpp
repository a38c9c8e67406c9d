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
    return orvana::cli::Run(app.arguments().mid(1), io);
}
