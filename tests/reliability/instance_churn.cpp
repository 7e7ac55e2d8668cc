// Creates and closes instances in turn (10000 unless a count is given), each
// used briefly the way a host does. Its value lies in what runs around it:
// LeakSanitizer or valgrind report whatever the instances leave behind when
// the program ends.
#include <cstdio>
#include <cstdlib>

#include "effect_under_test.h"

int main(int argc, char** argv) {
    const long count = argc > 1 ? std::strtol(argv[1], nullptr, 10) : 10000;
    for (long i = 0; i < count; ++i) {
        AEffect* effect = reliability::openLikeAHost();
        if (effect == nullptr) {
            std::fprintf(stderr, "instance %ld of %ld could not be created\n", i + 1, count);
            return 1;
        }
        reliability::useBrieflyLikeAHost(effect);
        reliability::closeLikeAHost(effect);
    }
    std::printf("%ld instances created, used and closed\n", count);
    return 0;
}
