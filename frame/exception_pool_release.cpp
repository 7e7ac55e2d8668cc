// The C++ runtime linked statically into the Windows DLLs sets aside an
// emergency pool for exceptions thrown when memory runs out (about 18 KB in
// the 32-bit build, 73 KB in the 64-bit one), allocated when the library
// loads and never freed: a host that loads and unloads the library would
// lose that much at every unload. The runtime offers __gnu_cxx::__freeres to
// give it back; it is called here when the library unloads.
#ifdef _WIN32
namespace __gnu_cxx {
void __freeres() noexcept;
}

namespace {
// Constructed before any other static object of the library, so destroyed
// after all of them: the pool is not needed once it has run.
struct ReleaseAtUnload {
    // loader thread, at DLL_PROCESS_DETACH, under the loader lock: frees one
    // block, takes no other lock.
    ~ReleaseAtUnload() { __gnu_cxx::__freeres(); }
};
ReleaseAtUnload releaseAtUnload __attribute__((init_priority(101)));
}  // namespace
#endif
