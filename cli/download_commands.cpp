#include "cli/cli.h"

#include <utility>

namespace orvana::cli {

int RunDownloadCommand(const QString& name, const QStringList& args, const CliIo& io) {
    static constexpr std::pair<const char16_t*, Command> kDownloads[] = {
        {u"album", RunAlbum}, {u"singer", RunSinger}, {u"singers", RunSingers}};
    for (const auto& [command, run] : kDownloads) {
        if (name == QStringView(command))
            return RunCommand(run, args, io);
    }
    io.printErr(u"unknown command: " + name + u'\n');
    return kExitUsage;
}

int Run(const QStringList& args, const CliIo& io) {
    return Run(args, io, RunDownloadCommand);
}

} // namespace orvana::cli
