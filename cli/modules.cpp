#include "cli/modules.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <dlfcn.h>
#include <unistd.h>

namespace orvana::cli {

void* LoadModuleSymbol(const char* module, const char* symbol, char* error, std::size_t errorSize) {
    // The modules folder is found from the program's own file, wherever it was started from.
    char folder[PATH_MAX];
    const ssize_t length = ::readlink("/proc/self/exe", folder, sizeof folder - 1);
    if (length <= 0) {
        std::snprintf(error, errorSize, "cannot find the folder of orvana-dl-cli: %s",
                      std::strerror(errno));
        return nullptr;
    }
    folder[length] = '\0';
    *std::strrchr(folder, '/') = '\0';
    char path[PATH_MAX];
    const int written =
        std::snprintf(path, sizeof path, "%s/" ORVANA_MODULE_DIR "/%s", folder, module);
    if (written < 0 || std::size_t(written) >= sizeof path) {
        std::snprintf(error, errorSize, "the folder of orvana-dl-cli is too long: %s", folder);
        return nullptr;
    }
    // Lazy: a command binds only the functions it calls. Local: neither module's libraries
    // lengthen the other's lookups.
    void* handle = ::dlopen(path, RTLD_LAZY | RTLD_LOCAL);
    void* found = handle ? ::dlsym(handle, symbol) : nullptr;
    if (!found)
        std::snprintf(error, errorSize, "orvana-dl is not completely installed: %s; reinstall it",
                      ::dlerror());
    return found;
}

} // namespace orvana::cli
