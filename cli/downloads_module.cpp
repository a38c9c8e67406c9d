// The download commands' module of orvana-dl-cli (cli/modules.h). Nothing it throws escapes it.
#include "cli/cli.h"

extern "C" __attribute__((visibility("default"))) int
orvana_cli_download(const QString& name, const QStringList& args, const orvana::cli::CliIo& io) {
    return orvana::cli::RunDownloadCommand(name, args, io);
}
