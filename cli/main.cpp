// The program orvana-dl-cli: runs the main module (cli/modules.h).
#include "cli/modules.h"

#include <climits>
#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv) {
    char error[PATH_MAX + 512];
    using MainEntry = int (*)(int argc, char** argv);
    const auto entry = reinterpret_cast<MainEntry>(orvana::cli::LoadModuleSymbol(
        orvana::cli::kMainModule, orvana::cli::kMainEntry, error, sizeof error));
    if (!entry) {
        std::fprintf(stderr, "%s\n", error);
        return EXIT_FAILURE;
    }
    return entry(argc, argv);
}
