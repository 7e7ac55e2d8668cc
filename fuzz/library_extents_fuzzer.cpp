// Any bytes as a plug-in library file, through the header check that every
// plughost command makes before the system loader sees a file. The check
// asks for no byte outside the file, and a file that passes still passes
// with bytes added at its end (nothing it read has changed).
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "plugin/library_extents.h"

namespace {

[[noreturn]] void fail(const char* what) {
    std::fprintf(stderr, "library_extents_fuzzer: %s\n", what);
    std::abort();
}

std::string checked(const std::vector<std::uint8_t>& bytes) {
    return libraryExtentProblem(bytes.size(), [&bytes](std::uint64_t offset, void* out, std::size_t count) {
        if (offset > bytes.size() || count > bytes.size() - offset) {
            fail("asked for bytes outside the file");
        }
        std::memcpy(out, bytes.data() + offset, count);
        return true;
    });
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::vector<std::uint8_t> bytes(data, data + size);
    if (!checked(bytes).empty()) {
        return 0;
    }
    bytes.resize(size + 64, 0);
    if (!checked(bytes).empty()) {
        fail("a whole file failed once longer");
    }
    return 0;
}
