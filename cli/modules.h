#pragma once

// orvana-dl-cli is a small program that loads its commands from two modules: the main one (the
// tool's start and the text commands, Qt Core alone) and the download commands (the transport,
// the HTML component, tags), loaded only when one of them runs. `--version` or `json` so loads Qt
// Core and nothing more, and since the program itself links the C library alone, each module's
// libraries are looked up in a short scope: the symbol lookups are most of what a start costs.

#include <cstddef>

namespace orvana::cli {

// The module files, in the modules folder: ORVANA_MODULE_DIR, relative to the program's folder
// (the same in the build tree as where it is installed).
inline constexpr char kMainModule[] = "orvana-dl-cli-main.so";
inline constexpr char kDownloadsModule[] = "orvana-dl-cli-downloads.so";
// Their entry points: int (int argc, char** argv) and a DownloadCommands (cli/cli.h).
inline constexpr char kMainEntry[] = "orvana_cli_main";
inline constexpr char kDownloadsEntry[] = "orvana_cli_download";

// Loads module from the modules folder (it stays loaded) and gives its symbol; null, with the
// reason and what to do written to error, when either cannot be had. Uses no C++ library, so that
// the program links the C library alone.
[[nodiscard]] void* LoadModuleSymbol(const char* module, const char* symbol, char* error,
                                     std::size_t errorSize);

} // namespace orvana::cli
