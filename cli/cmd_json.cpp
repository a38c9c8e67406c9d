#include "cli/cli.h"

#include "json/error.h"

namespace orvana::cli {

int RunJson(const QStringList& args, const CliIo& io) {
    if (args.size() != 1)
        throw Error(ErrorKind::InvalidArgument, QStringLiteral("usage: orvana-dl-cli json FILE|-"));
    io.printErr(QStringLiteral("json: not built yet\n"));
    return kExitFailed;
}

} // namespace orvana::cli
