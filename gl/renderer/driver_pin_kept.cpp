// The sanitized test build only. Mesa's driver (swrast_dri.so and its kin; libgallium in later
// versions) keeps a few allocations until the process ends, which tests/lsan.supp lays to the
// driver by its name. A program releases every context and display before it returns, so that
// the driver's threads have ended, and that unloads the driver (eglTerminate, SDL_Quit): its
// allocations would then be reported from a module nobody can name. Marked as never to be
// unloaded, it stays mapped until the leak checker has run.
#include "gl/renderer/driver_pin.h"

#include <dlfcn.h>
#include <link.h>

#include <cstring>

namespace {

int keep_driver_mapped(dl_phdr_info* info, std::size_t, void*) {
    const char* name = info->dlpi_name;
    if (name != nullptr &&
        (std::strstr(name, "_dri.so") != nullptr || std::strstr(name, "libgallium") != nullptr)) {
        dlopen(name, RTLD_NOW | RTLD_NOLOAD | RTLD_NODELETE);
    }
    return 0;
}

} // namespace

void driver_pin_after_open() {
    dl_iterate_phdr(keep_driver_mapped, nullptr);
}
