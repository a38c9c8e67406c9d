#pragma once

#include <QIODevice>
#include <QString>
#include <QStringList>
#include <memory>

namespace orvana::jobs {
class JobClock;
}

namespace orvana::cli {

// The streams a command talks through: the process's stdin/stdout/stderr in the tool,
// buffers in tests. Text is written as UTF-8.
struct CliIo {
    QIODevice* in;
    QIODevice* out;
    QIODevice* err;
    // The clock of the jobs' retry pauses; null: real time. Tests pass one that does not wait.
    std::shared_ptr<jobs::JobClock> clock = nullptr;

    void print(const QString& text) const { out->write(text.toUtf8()); }
    void printErr(const QString& text) const { err->write(text.toUtf8()); }
};

// Writes out what device holds back in its buffer (the tool's stdout is a buffered file; a
// buffer in tests needs nothing).
void FlushDevice(QIODevice* device);

// Whether device is a file on a terminal.
[[nodiscard]] bool IsTerminal(QIODevice* device);

// Exit codes shared by every command.
inline constexpr int kExitOk = 0;
inline constexpr int kExitFailed = 1;
inline constexpr int kExitUsage = 2;

// A command: args are those after its name; returns the exit code. May throw orvana::Error.
using Command = int (*)(const QStringList& args, const CliIo& io);

// Runs command, turning an orvana::Error it throws into its message on stderr and exit code 2
// (InvalidArgument) or 1. Nothing else is caught.
[[nodiscard]] int RunCommand(Command command, const QStringList& args, const CliIo& io);

// Runs the download command named (album, singer, singers) with the arguments after its name;
// returns the exit code, and throws nothing. The tool loads the download commands only when one
// is run (cli/main_module.cpp); tests and that module itself run them linked in
// (RunDownloadCommand).
using DownloadCommands = int (*)(const QString& name, const QStringList& args, const CliIo& io);

// Runs `orvana-dl-cli ARGS...` (args without the program name) with the download commands
// given; returns the exit code.
[[nodiscard]] int Run(const QStringList& args, const CliIo& io, DownloadCommands downloads);
// As above, with the download commands linked in.
[[nodiscard]] int Run(const QStringList& args, const CliIo& io);
// The download command named, linked in, through RunCommand: nothing it throws escapes.
[[nodiscard]] int RunDownloadCommand(const QString& name, const QStringList& args, const CliIo& io);

// Reads FILE, or stdin for "-". Fails with orvana::Error naming the file.
[[nodiscard]] QByteArray ReadInput(const QString& path, const CliIo& io);

// Reads FILE or stdin as UTF-8 text (a leading byte-order mark stays a character). An unreadable
// or non-UTF-8 input fails with orvana::Error InvalidArgument (a refusal: exit 2).
[[nodiscard]] QString ReadUtf8Input(const QString& path, const CliIo& io);

// Commands: args are those after the command name. The last three are the download commands.
int RunJson(const QStringList& args, const CliIo& io);
int RunScript(const QStringList& args, const CliIo& io);
int RunAlbum(const QStringList& args, const CliIo& io);
int RunSinger(const QStringList& args, const CliIo& io);
int RunSingers(const QStringList& args, const CliIo& io);

} // namespace orvana::cli
