#pragma once

#include <QCommandLineOption>
#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>
#include <optional>

namespace orvana::cli {

// The options every command takes. Unset values fall back to the defaults below.
struct GlobalOptions {
    std::optional<QString> portalHost; // --portal-host HOST[:PORT]
    std::optional<QString> output;     // -o/--output DIR
    std::optional<QString> proxy;      // --proxy TEXT (as if the proxy box were ticked)
    std::optional<QString> cookies;    // --cookies FILE
    bool quiet = false;                // -q/--quiet: only failures and the summary line
    bool help = false;                 // -h/--help
    bool version = false;              // --version
    // What a download may do beyond the plain one; all off: exactly the plain download.
    bool json = false;               // --json: the events as JSON lines on stdout
    bool dryRun = false;             // --dry-run: plan only, create and fetch no file
    std::optional<QString> archive;  // --archive FILE
    bool tags = false;               // --tag: ID3v2.3 tags and the cover in each song stored
    bool playlist = false;           // --m3u: playlist.m3u8 in each album folder
    std::optional<QString> parallel; // --parallel N as typed; ParallelOf reads it
};

// One command's arguments once read: the options wherever they stood, the rest in order.
struct CommandArgs {
    GlobalOptions global;           // only help is read when the command takes no global options
    QHash<QString, QString> values; // the command's own options: first name -> last value given
    QStringList positional;         // everything else, and all after "--"
};

// Whether a command reads the global options or only -h/--help and its own.
enum class Globals { Taken, HelpOnly };

// Reads a command's arguments (those after its name): "--name value", "--name=value", "-o value",
// "-oDIR", "-qo DIR", options before or after the others, "--" ending the options. Fails with
// Error(InvalidArgument) for an unknown option, an option without its value, or a value given to
// an option that takes none; the message names the option and ends with "\n" + usage when usage
// is not empty.
[[nodiscard]] CommandArgs ParseCommandArgs(const QStringList& args, Globals globals,
                                           const QList<QCommandLineOption>& own,
                                           const QString& usage);

// Moves the global options written before the command name to just after it, so
// "orvana-dl-cli -o DIR album X" reaches the album command as "album -o DIR X". Arguments that
// do not read as global options followed by a command are given back as they are.
[[nodiscard]] QStringList CommandFirst(const QStringList& args);

// --portal-host, else the environment's ORVANA_PORTAL_HOST, else the build's portal host.
// Fails with Error(InvalidArgument) when the host given is not HOST or HOST:PORT.
[[nodiscard]] QString PortalHostOf(const GlobalOptions& options);

// Whether text is a host name or address with an optional port 1-65535, and nothing else.
[[nodiscard]] bool IsPortalHost(const QString& text);

// The songs of one album fetched at a time: --parallel N, 1 when not given. Fails with
// Error(InvalidArgument) when N is not a whole number from 1 to jobs::kMaxParallelSongs.
[[nodiscard]] int ParallelOf(const GlobalOptions& options);

// "orvana-dl-cli VERSION".
[[nodiscard]] QString VersionText();

// The help lines of the global options.
[[nodiscard]] QString GlobalOptionsHelp();

} // namespace orvana::cli
