// The main module of orvana-dl-cli (cli/modules.h): the tool's start, with the download
// commands loaded from their own module when one runs.
#include "cli/cli.h"
#include "cli/modules.h"

#include <QCoreApplication>
#include <QFile>
#include <climits>

namespace {

// The download command from its module; a module that cannot be loaded is its one line on
// stderr and exit code 1.
int LoadedDownloadCommand(const QString& name, const QStringList& args,
                          const orvana::cli::CliIo& io) {
    using namespace orvana::cli;
    char error[PATH_MAX + 512];
    const auto run = reinterpret_cast<DownloadCommands>(
        LoadModuleSymbol(kDownloadsModule, kDownloadsEntry, error, sizeof error));
    if (!run) {
        io.printErr(QString::fromLocal8Bit(error) + u'\n');
        return kExitFailed;
    }
    return run(name, args, io);
}

} // namespace

extern "C" __attribute__((visibility("default"))) int orvana_cli_main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QFile in, out, err;
    // Status lines and the progress bar must reach stderr as they are written (a stalled song,
    // an interrupt): a buffered QFile would hold them until exit.
    if (!in.open(stdin, QIODevice::ReadOnly) || !out.open(stdout, QIODevice::WriteOnly) ||
        !err.open(stderr, QIODevice::WriteOnly | QIODevice::Unbuffered))
        return orvana::cli::kExitFailed;
    const orvana::cli::CliIo io{&in, &out, &err};
    const int code = orvana::cli::Run(app.arguments().mid(1), io, LoadedDownloadCommand);
    // stdout carries the result: output a full disk or a broken redirection did not take must
    // not end as success.
    if (!out.flush() || out.error() != QFileDevice::NoError) {
        err.write("cannot write the standard output: " + out.errorString().toUtf8() + '\n');
        return code == orvana::cli::kExitOk ? orvana::cli::kExitFailed : code;
    }
    return code;
}
