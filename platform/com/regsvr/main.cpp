// bramix-regsvr [-u] <library path>
// Loads an in-process COM server and calls its DllRegisterServer (or, with -u, its
// DllUnregisterServer), then prints the entry point's HRESULT in hex. Exit codes: 0 success,
// 1 usage, 3 the library cannot be loaded, 4 it lacks the entry point, 5 the entry point failed.

#include "combase.h"

#include <dlfcn.h>

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

int usage()
{
    std::fprintf(stderr, "usage: bramix-regsvr [-u] <library path>\n");
    return 1;
}

} // namespace

int main(int argc, char **argv)
{
    bool unregister = false;
    const char *library = nullptr;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "-u") == 0 || std::strcmp(argv[i], "/u") == 0)
            unregister = true;
        else if (!library)
            library = argv[i];
        else
            return usage();
    }
    if (!library || !*library)
        return usage();

    // A server records the path it was loaded from, so load it by its full path.
    std::string path = library;
    char resolved[PATH_MAX];
    if (::realpath(library, resolved))
        path = resolved;

    void *handle = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!handle) {
        std::fprintf(stderr, "bramix-regsvr: cannot load %s: %s\n", path.c_str(), ::dlerror());
        return 3;
    }
    const char *entryName = unregister ? "DllUnregisterServer" : "DllRegisterServer";
    typedef HRESULT (*EntryFn)();
    EntryFn entry = reinterpret_cast<EntryFn>(::dlsym(handle, entryName));
    if (!entry) {
        std::fprintf(stderr, "bramix-regsvr: %s has no entry point %s\n", path.c_str(), entryName);
        ::dlclose(handle);
        return 4;
    }
    const HRESULT initialised = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    const HRESULT hr = entry();
    if (SUCCEEDED(initialised))
        CoUninitialize();
    std::printf("%s in %s returned 0x%08X\n", entryName, path.c_str(), unsigned(uint32_t(hr)));
    std::fflush(stdout);
    // The library stays loaded until exit: its static objects may still be referenced by the
    // runtime's own exit-time cleanup.
    return SUCCEEDED(hr) ? 0 : 5;
}
