// The 32-bit Windows DLL unwinds exceptions with DWARF tables, which its
// start-up code registers with the statically linked runtime's frame registry
// (__register_frame_info) and takes out again at unload
// (__deregister_frame_info). The registry guards its list with a mutex whose
// Windows semaphore it creates at the first registration and never closes: a
// host that loads and unloads the library would keep one handle per load for
// good, and the memory the system keeps for each.
//
// The link (cmake/plugin.cmake) sends the start-up code's two calls and the
// runtime's CreateSemaphoreW through the functions below: the semaphore
// created while this library's frames are being registered is the
// registry's, and it is closed once they have been taken out, when nothing
// can use the registry any more. The 64-bit DLL unwinds through the system's
// tables and registers nothing.
#if defined(_WIN32) && defined(__i386__)
#include <windows.h>

namespace {
using CreateSemaphoreFunction = HANDLE(WINAPI*)(LPSECURITY_ATTRIBUTES, LONG, LONG, LPCWSTR);

// Written only by the loader thread, under the loader lock, while no other
// code of the library runs: at load (inside the registration) and at unload.
bool registering = false;
HANDLE registrySemaphore = nullptr;
}  // namespace

extern "C" {
void __real___register_frame_info(const void* frames, void* object);
void* __real___deregister_frame_info(const void* frames);
// The import slot of the real CreateSemaphoreW (--wrap renames every other
// reference to it).
extern const CreateSemaphoreFunction realCreateSemaphore __asm__("___real__imp__CreateSemaphoreW@16");
}

namespace {
// any thread; the runtime's mutexes create their semaphores through here.
HANDLE WINAPI createSemaphoreNotingTheRegistry(LPSECURITY_ATTRIBUTES attributes, LONG initial, LONG maximum,
                                               LPCWSTR name) {
    const HANDLE semaphore = realCreateSemaphore(attributes, initial, maximum, name);
    if (registering && registrySemaphore == nullptr) {
        registrySemaphore = semaphore;
    }
    return semaphore;
}
}  // namespace

extern "C" {
// What the runtime's calls to CreateSemaphoreW go through: a pointer in place
// of the import slot.
extern const CreateSemaphoreFunction wrappedCreateSemaphore __asm__("___wrap__imp__CreateSemaphoreW@16");
const CreateSemaphoreFunction wrappedCreateSemaphore = createSemaphoreNotingTheRegistry;

// loader thread, at DLL_PROCESS_ATTACH, under the loader lock.
void __wrap___register_frame_info(const void* frames, void* object) {
    registering = true;
    __real___register_frame_info(frames, object);
    registering = false;
}

// loader thread, at DLL_PROCESS_DETACH, under the loader lock, after every
// static destructor: no exception can be thrown in the library any more.
void* __wrap___deregister_frame_info(const void* frames) {
    void* const object = __real___deregister_frame_info(frames);
    if (registrySemaphore != nullptr) {
        CloseHandle(registrySemaphore);
        registrySemaphore = nullptr;
    }
    return object;
}
}
#endif
