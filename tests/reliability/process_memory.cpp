#include "process_memory.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <fstream>
#include <string>
#endif

namespace process_memory {

#ifdef _WIN32
// Wine leaves PrivateUsage of GetProcessMemoryInfo at 0, so the regions are
// counted one by one.
long long privateBytes() {
    long long total = 0;
    MEMORY_BASIC_INFORMATION region;
    const char* address = nullptr;
    while (VirtualQuery(address, &region, sizeof(region)) == sizeof(region)) {
        if (region.State == MEM_COMMIT && region.Type == MEM_PRIVATE) {
            total += static_cast<long long>(region.RegionSize);
        }
        const char* next = static_cast<const char*>(region.BaseAddress) + region.RegionSize;
        if (next <= address) {
            break;
        }
        address = next;
    }
    return total;
}
#else
long long privateBytes() {
    std::ifstream status("/proc/self/status");
    std::string key;
    long long kilobytes = 0;
    while (status >> key) {
        if (key == "VmData:" && status >> kilobytes) {
            return kilobytes * 1024;
        }
        status.ignore(1 << 16, '\n');
    }
    return -1;
}
#endif

}  // namespace process_memory
