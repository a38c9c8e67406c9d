#include "cli/cli.h"

#include "cli/options.h"
#include "net/text_conversion.h"

#include "json/error.h"
#include <QFile>
#include <unistd.h>

namespace orvana::cli {

namespace {

struct NamedCommand {
    const char16_t* name;
    Command run; // null: a download command
    const char16_t* usage;
};

constexpr NamedCommand kCommands[] = {
    {u"json", RunJson, u"json FILE|-        print how the parser reads a JSON text"},
    {u"script", RunScript, u"script FILE|-      run a script written in JSON"},
    {u"album", nullptr, u"album ADDRESS      download an album (see album --help)"},
    {u"singer", nullptr, u"singer ADDRESS     download every album of a singer"},
    {u"singers", nullptr, u"singers [ROW]      list a category's singers; --download to fetch"},
};

void printUsage(const CliIo& io) {
    QString text = QStringLiteral("usage: orvana-dl-cli COMMAND [ARGS]\n\ncommands:\n");
    for (const NamedCommand& c : kCommands)
        text += u"  " + QString::fromUtf16(c.usage) + u'\n';
    io.printErr(text + u'\n' + GlobalOptionsHelp());
}

} // namespace

void FlushDevice(QIODevice* device) {
    if (auto* file = qobject_cast<QFileDevice*>(device))
        file->flush();
}

bool IsTerminal(QIODevice* device) {
    auto* file = qobject_cast<QFile*>(device);
    return file && file->handle() >= 0 && isatty(file->handle());
}

QByteArray ReadInput(const QString& path, const CliIo& io) {
    if (path == u"-")
        return io.in->readAll();
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw Error(ErrorKind::Io,
                    QStringLiteral("cannot read %1: %2").arg(path, file.errorString()));
    return file.readAll();
}

QString ReadUtf8Input(const QString& path, const CliIo& io) {
    QByteArray bytes;
    try {
        bytes = ReadInput(path, io);
    } catch (const Error& e) {
        throw Error(ErrorKind::InvalidArgument, e.message());
    }
    if (!IsValidUtf8(bytes)) {
        const QString name = path == u"-" ? QStringLiteral("the standard input") : path;
        throw Error(
            ErrorKind::InvalidArgument,
            QStringLiteral("%1 is not valid UTF-8 text; save it as UTF-8 and try again").arg(name));
    }
    return Utf8BytesToText(bytes);
}

int RunCommand(Command command, const QStringList& args, const CliIo& io) {
    try {
        return command(args, io);
    } catch (const Error& e) {
        io.printErr(e.message() + u'\n');
        return e.kind() == ErrorKind::InvalidArgument ? kExitUsage : kExitFailed;
    }
}

int Run(const QStringList& rawArgs, const CliIo& io, DownloadCommands downloads) {
    // Global options may stand before the command name; the command reads them.
    const QStringList args = CommandFirst(rawArgs);
    if (args.isEmpty()) {
        printUsage(io);
        return kExitUsage;
    }
    for (const NamedCommand& c : kCommands) {
        if (args.first() != QStringView(c.name))
            continue;
        return c.run ? RunCommand(c.run, args.mid(1), io)
                     : downloads(args.first(), args.mid(1), io);
    }
    // Options alone: only --help and --version have an answer without a command.
    try {
        const CommandArgs given = ParseCommandArgs(args, Globals::Taken, {}, {});
        if (given.positional.isEmpty() && given.global.help) {
            printUsage(io);
            return kExitOk;
        }
        if (given.positional.isEmpty() && given.global.version) {
            io.print(VersionText() + u'\n');
            return kExitOk;
        }
    } catch (const Error&) {
        // Not options the tool knows: reported as the unknown command they stand in place of.
    }
    io.printErr(u"unknown command: " + args.first() + u'\n');
    printUsage(io);
    return kExitUsage;
}

} // namespace orvana::cli
