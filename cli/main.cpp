#include "cli/cli.h"

#include <QCoreApplication>
#include <QFile>

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QFile in, out, err;
    if (!in.open(stdin, QIODevice::ReadOnly) || !out.open(stdout, QIODevice::WriteOnly) ||
        !err.open(stderr, QIODevice::WriteOnly))
        return orvana::cli::kExitFailed;
    const orvana::cli::CliIo io{&in, &out, &err};
    return orvana::cli::Run(app.arguments().mid(1), io);
}
