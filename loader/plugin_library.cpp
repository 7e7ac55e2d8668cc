#include "plugin_library.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <dlfcn.h>
#endif

PluginLibrary::~PluginLibrary() {
    unload();
}

bool PluginLibrary::load(const std::string& path) {
    unload();
#ifdef _WIN32
    HMODULE module = LoadLibraryA(path.c_str());
    if (module == nullptr) {
        const DWORD code = GetLastError();
        char text[512] = {};
        const DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code,
                                            0, text, sizeof text, nullptr);
        std::string why(text, length);
        while (!why.empty() && (why.back() == '\n' || why.back() == '\r' || why.back() == '.')) {
            why.pop_back();
        }
        error_ = (why.empty() ? "cannot load " + path : why) + " (Windows error " + std::to_string(code) + ")";
        return false;
    }
    handle_ = reinterpret_cast<void*>(module);
#else
    handle_ = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (handle_ == nullptr) {
        const char* why = dlerror();
        error_ = why != nullptr ? why : ("cannot load " + path);
        return false;
    }
#endif
    error_.clear();
    return true;
}

void PluginLibrary::unload() {
    if (handle_ == nullptr) {
        return;
    }
#ifdef _WIN32
    FreeLibrary(reinterpret_cast<HMODULE>(handle_));
#else
    dlclose(handle_);
#endif
    handle_ = nullptr;
}

void* PluginLibrary::symbol(const char* name) const {
    if (handle_ == nullptr) {
        return nullptr;
    }
#ifdef _WIN32
    return reinterpret_cast<void*>(GetProcAddress(reinterpret_cast<HMODULE>(handle_), name));
#else
    return dlsym(handle_, name);
#endif
}

PluginEntryProc PluginLibrary::entry() const {
    void* found = symbol("VSTPluginMain");
    if (found == nullptr) {
        found = symbol("main");
    }
    return reinterpret_cast<PluginEntryProc>(found);
}
