#include "process_memory.h"

#ifdef _WIN32
#include <windows.h>

#include <cstdlib>
#include <cstring>
#else
#include <fstream>
#include <string>
#endif

namespace process_memory {

#ifdef _WIN32
namespace {
// Under Wine: the data size (VmData) of the Wine process that runs this
// program. It holds the program's committed pages and also what Wine keeps
// on the program's behalf outside them, such as its record of every open
// handle; -1 elsewhere or when it cannot be read.
long long wineProcessDataBytes() {
    const HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
    if (ntdll == nullptr || GetProcAddress(ntdll, "wine_get_version") == nullptr) {
        return -1;
    }
    const HANDLE status = CreateFileW(L"\\\\?\\unix\\proc\\self\\status", GENERIC_READ,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
    if (status == INVALID_HANDLE_VALUE) {
        return -1;
    }
    char text[8192];
    DWORD length = 0;
    const BOOL read = ReadFile(status, text, sizeof(text) - 1, &length, nullptr);
    CloseHandle(status);
    if (!read) {
        return -1;
    }
    text[length] = '\0';
    const char* line = std::strstr(text, "VmData:");
    return line != nullptr ? std::strtoll(line + 7, nullptr, 10) * 1024 : -1;
}
}  // namespace

// Wine leaves PrivateUsage of GetProcessMemoryInfo at 0, so the regions are
// counted one by one; under Wine the Wine process's data size counts more.
long long privateBytes() {
    const long long wine = wineProcessDataBytes();
    if (wine >= 0) {
        return wine;
    }
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
