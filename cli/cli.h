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

// Runs `orvana-dl-cli ARGS...` (args without the program name); returns the exit code.
[[nodiscard]] int Run(const QStringList& args, const CliIo& io);

// Reads FILE, or stdin for "-". Fails with orvana::Error naming the file.
[[nodiscard]] QByteArray ReadInput(const QString& path, const CliIo& io);

// Reads FILE or stdin as UTF-8 text (a leading byte-order mark stays a character). An unreadable
// or non-UTF-8 input fails with orvana::Error InvalidArgument (a refusal: exit 2).
[[nodiscard]] QString ReadUtf8Input(const QString& path, const CliIo& io);

// Commands: args are those after the command name.
int RunJson(const QStringList& args, const CliIo& io);
int RunScript(const QStringList& args, const CliIo& io);
int RunAlbum(const QStringList& args, const CliIo& io);
int RunSinger(const QStringList& args, const CliIo& io);
int RunSingers(const QStringList& args, const CliIo& io);

} // namespace orvana::cli
