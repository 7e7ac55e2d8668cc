// Creates and closes instances in turn, each used briefly the way a host
// does. Its value lies in what runs around it: LeakSanitizer or valgrind
// report whatever the instances leave behind when the program ends.
//
// Usage: instance_churn [COUNT [PLUGIN_LIBRARY]]
//   COUNT           instances to create and close (10000)
//   PLUGIN_LIBRARY  a built plug-in (KDistortion.so or .dll) to load and
//                   reach through its exported entry point, as a host does;
//                   without it the effect linked into this program is used
#include <cstdio>
#include <cstdlib>

#include "effect_under_test.h"
#include "plugin_library.h"

int main(int argc, char** argv) {
    const long count = argc > 1 ? std::strtol(argv[1], nullptr, 10) : 10000;
    PluginLibrary library;
    PluginEntryProc entry = nullptr;
    if (argc > 2) {
        if (!library.load(argv[2]) || (entry = library.entry()) == nullptr) {
            std::fprintf(stderr, "cannot use %s as a plug-in: %s\n", argv[2], library.error().c_str());
            return 1;
        }
    }
    for (long i = 0; i < count; ++i) {
        AEffect* effect = entry != nullptr ? entry(reliability::quietHostCallback()) : reliability::openLikeAHost();
        if (effect == nullptr) {
            std::fprintf(stderr, "instance %ld of %ld could not be created\n", i + 1, count);
            return 1;
        }
        reliability::useBrieflyLikeAHost(effect);
        reliability::closeLikeAHost(effect);
    }
    std::printf("%ld instances created, used and closed%s%s\n", count, entry != nullptr ? " through " : "",
                entry != nullptr ? argv[2] : "");
    return 0;
}
