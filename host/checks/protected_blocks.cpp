#include "checks/protected_blocks.h"

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cstring>

#include "checks/isolation.h"
#include "plugin/plugin_calls.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <signal.h>
#include <sys/mman.h>
#include <ucontext.h>
#include <unistd.h>
#endif

namespace {

// A protected page and the channel whose block ends before it.
struct Region {
    std::uintptr_t first = 0;
    std::uintptr_t end = 0;
    BlockRole role = BlockRole::Input;
    int channel = 0;
};

// The regions the fault handler knows, in a table it can read without
// allocating; a handful of blocks are alive at a time.
constexpr std::size_t kMaxRegions = 2 * 4096 + 16;
Region regions[kMaxRegions];
std::atomic<std::size_t> regionCount{0};
std::atomic<int> liveBlocks{0};

enum class Access { Unknown, Read, Write };

std::size_t pageSize() {
#ifdef _WIN32
    SYSTEM_INFO info;
    GetSystemInfo(&info);
    return info.dwPageSize;
#else
    return static_cast<std::size_t>(sysconf(_SC_PAGESIZE));
#endif
}

void append(char* out, std::size_t size, const char* text) {
    const std::size_t used = std::strlen(out);
    const std::size_t length = std::min(std::strlen(text), size - used - 1);
    std::memcpy(out + used, text, length);
    out[used + length] = '\0';
}

void appendNumber(char* out, std::size_t size, int value) {
    char digits[16];
    int count = 0;
    auto magnitude = static_cast<unsigned>(value < 0 ? -value : value);
    do {
        digits[count++] = static_cast<char>('0' + magnitude % 10);
        magnitude /= 10;
    } while (magnitude != 0 && count < 15);
    char text[18];
    int at = 0;
    if (value < 0) {
        text[at++] = '-';
    }
    while (count > 0) {
        text[at++] = digits[--count];
    }
    text[at] = '\0';
    append(out, size, text);
}

// Ends the check when `address` lies on a protected page; returns otherwise.
void judgeFault(std::uintptr_t address, Access access) {
    const std::size_t count = regionCount.load();
    for (std::size_t i = 0; i < count; ++i) {
        const Region& region = regions[i];
        if (address < region.first || address >= region.end) {
            continue;
        }
        static char message[1024];
        message[0] = '\0';
        append(message, sizeof message,
               access == Access::Read    ? "reads past the end of "
               : access == Access::Write ? "writes past the end of "
                                         : "reaches past the end of ");
        append(message, sizeof message, region.role == BlockRole::Input ? "input channel " : "output channel ");
        appendNumber(message, sizeof message, region.channel);
        append(message, sizeof message, " in ");
        char calls[kCallTextBytes];
        describeCallsInProgress(pluginCallBoard(), calls, sizeof calls);
        append(message, sizeof message, calls[0] != '\0' ? calls : "a call of the host's own");
        endCheckWithError(message);
    }
}

#ifdef _WIN32

PVOID handlerHandle = nullptr;

LONG WINAPI onException(EXCEPTION_POINTERS* exception) {
    const EXCEPTION_RECORD* record = exception->ExceptionRecord;
    if (record->ExceptionCode == EXCEPTION_ACCESS_VIOLATION && record->NumberParameters >= 2) {
        const Access access = record->ExceptionInformation[0] == 0   ? Access::Read
                              : record->ExceptionInformation[0] == 1 ? Access::Write
                                                                     : Access::Unknown;
        judgeFault(static_cast<std::uintptr_t>(record->ExceptionInformation[1]), access);
    }
    return EXCEPTION_CONTINUE_SEARCH;
}

void watchFaults() {
    handlerHandle = AddVectoredExceptionHandler(1, onException);
}

void unwatchFaults() {
    if (handlerHandle != nullptr) {
        RemoveVectoredExceptionHandler(handlerHandle);
        handlerHandle = nullptr;
    }
}

void* mapPages(std::size_t bytes) {
    return VirtualAlloc(nullptr, bytes, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE);
}

bool protectPage(void* page, std::size_t bytes) {
    DWORD previous = 0;
    return VirtualProtect(page, bytes, PAGE_NOACCESS, &previous) != 0;
}

void unmapPages(void* start, std::size_t) {
    VirtualFree(start, 0, MEM_RELEASE);
}

#else

struct sigaction previousAction {};

void onFault(int signal, siginfo_t* info, void* context) {
    Access access = Access::Unknown;
#if defined(__x86_64__) || defined(__i386__)
    // Bit 1 of the page-fault error code: the access was a write.
    const auto* machine = static_cast<const ucontext_t*>(context);
    access = (machine->uc_mcontext.gregs[REG_ERR] & 2) != 0 ? Access::Write : Access::Read;
#else
    (void)context;
#endif
    judgeFault(reinterpret_cast<std::uintptr_t>(info->si_addr), access);
    // Not ours: the fault happens again on return, under the handler there
    // was before.
    sigaction(signal, &previousAction, nullptr);
}

void watchFaults() {
    struct sigaction action {};
    action.sa_sigaction = onFault;
    action.sa_flags = SA_SIGINFO | SA_ONSTACK;
    sigemptyset(&action.sa_mask);
    sigaction(SIGSEGV, &action, &previousAction);
}

void unwatchFaults() {
    sigaction(SIGSEGV, &previousAction, nullptr);
}

void* mapPages(std::size_t bytes) {
    void* start = mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    return start == MAP_FAILED ? nullptr : start;
}

bool protectPage(void* page, std::size_t bytes) {
    return mprotect(page, bytes, PROT_NONE) == 0;
}

void unmapPages(void* start, std::size_t bytes) {
    munmap(start, bytes);
}

#endif

}  // namespace

ProtectedBlocks::ProtectedBlocks(BlockRole role, int channels, std::size_t frames) {
    const std::size_t page = pageSize();
    const std::size_t usable = (std::max<std::size_t>(frames, 1) * sizeof(float) + page - 1) / page * page;
    for (int channel = 0; channel < std::max(channels, 1); ++channel) {
        const std::size_t bytes = usable + page;
        auto* start = static_cast<char*>(mapPages(bytes));
        const std::size_t index = regionCount.load();
        if (start == nullptr || index >= kMaxRegions || !protectPage(start + usable, page)) {
            if (start != nullptr) {
                unmapPages(start, bytes);
            }
            ok_ = false;
            break;
        }
        mappings_.push_back({start, bytes});
        pointers_.push_back(reinterpret_cast<float*>(start + usable) - frames);
        regions[index] = {reinterpret_cast<std::uintptr_t>(start + usable),
                          reinterpret_cast<std::uintptr_t>(start + bytes), role, channel};
        regionCount.store(index + 1);
    }
    if (liveBlocks.fetch_add(1) == 0) {
        watchFaults();
    }
}

ProtectedBlocks::~ProtectedBlocks() {
    if (liveBlocks.fetch_sub(1) == 1) {
        unwatchFaults();
        regionCount.store(0);
    }
    for (const Mapping& mapping : mappings_) {
        unmapPages(mapping.start, mapping.bytes);
    }
}
