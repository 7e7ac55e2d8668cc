// Creates and closes instances in turn, each used briefly the way a host
// does. Its value lies in what runs around it: LeakSanitizer or valgrind
// report whatever the instances leave behind when the program ends. With
// --reload it also measures what loading and unloading the library costs.
//
// Usage: instance_churn [COUNT [PLUGIN_LIBRARY [--reload]]]
//   COUNT           instances to create and close (10000)
//   PLUGIN_LIBRARY  a built plug-in (KDistortion.so or .dll) to load and
//                   reach through its exported entry point, as a host does;
//                   without it the effect linked into this program is used
//   --reload        load the library afresh for every instance and unload it
//                   after the close, as hosts do when the last instance goes;
//                   prints the process's private memory after the first 100
//                   loads and at the end
// Exit status 0 when every instance was created, 1 when one was not (or the
// library could not be loaded), 2 for bad usage.
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "effect_under_test.h"
#include "plugin_library.h"
#include "process_memory.h"

namespace {
constexpr long kWarmUpLoads = 100;

bool loadEntry(PluginLibrary& library, const char* path, PluginEntryProc& entry) {
    if (!library.load(path) || (entry = library.entry()) == nullptr) {
        std::fprintf(stderr, "cannot use %s as a plug-in: %s\n", path, library.error().c_str());
        return false;
    }
    return true;
}
}  // namespace

int main(int argc, char** argv) {
    const long count = argc > 1 ? std::strtol(argv[1], nullptr, 10) : 10000;
    const char* path = argc > 2 ? argv[2] : nullptr;
    const bool reload = argc > 3 && std::strcmp(argv[3], "--reload") == 0;
    if (count < 1 || argc > 4 || (argc > 3 && !reload)) {
        std::fprintf(stderr, "usage: %s [COUNT [PLUGIN_LIBRARY [--reload]]] (COUNT at least 1)\n", argv[0]);
        return 2;
    }
    PluginLibrary library;
    PluginEntryProc entry = nullptr;
    if (path != nullptr && !reload && !loadEntry(library, path, entry)) {
        return 1;
    }
    long long afterWarmUp = -1;
    for (long i = 0; i < count; ++i) {
        if (reload && !loadEntry(library, path, entry)) {
            std::fprintf(stderr, "load %ld of %ld failed\n", i + 1, count);
            return 1;
        }
        AEffect* effect = entry != nullptr ? entry(reliability::quietHostCallback()) : reliability::openLikeAHost();
        if (effect == nullptr) {
            std::fprintf(stderr, "instance %ld of %ld could not be created\n", i + 1, count);
            return 1;
        }
        reliability::useBrieflyLikeAHost(effect);
        reliability::closeLikeAHost(effect);
        if (reload) {
            library.unload();
            if (i + 1 == kWarmUpLoads) {
                afterWarmUp = process_memory::privateBytes();
            }
        }
    }
    std::printf("%ld instances created, used and closed%s%s%s\n", count, path != nullptr ? " through " : "",
                path != nullptr ? path : "", reload ? ", each in its own load of the library" : "");
    if (reload && afterWarmUp >= 0) {
        const long long atEnd = process_memory::privateBytes();
        std::printf("private memory: %lld bytes after %ld loads, %lld after %ld: %+lld bytes\n", afterWarmUp,
                    kWarmUpLoads, atEnd, count, atEnd - afterWarmUp);
    }
    return 0;
}
