#include "process_handles.h"

#ifdef _WIN32
#include <windows.h>

#include <cstdint>
#else
#include <fcntl.h>
#include <unistd.h>
#endif

namespace process_handles {

#ifdef _WIN32
long long nextHandleNumber() {
    const HANDLE event = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    if (event == nullptr) {
        return -1;
    }
    const long long number = static_cast<long long>(reinterpret_cast<std::uintptr_t>(event));
    CloseHandle(event);
    return number;
}
#else
long long nextHandleNumber() {
    const int descriptor = open("/dev/null", O_RDONLY | O_CLOEXEC);
    if (descriptor < 0) {
        return -1;
    }
    close(descriptor);
    return descriptor;
}
#endif

}  // namespace process_handles
