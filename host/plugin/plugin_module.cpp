#include "plugin/plugin_module.h"

#include <fstream>

#ifdef _WIN32
#include <windows.h>
#endif

#include "plugin/allocation_counter.h"
#include "plugin/host_callback.h"
#include "support/host_error.h"

PluginModule::PluginModule(const std::string& path) : path_(path) {
    if (!std::ifstream(path, std::ios::binary).good()) {
        throw LoadError("plug-in file " + path + " does not exist or cannot be read");
    }
    if (!library_.load(path)) {
        throw LoadError("cannot load plug-in " + path + ": " + library_.error());
    }
    entry_ = library_.entry();
    if (entry_ == nullptr) {
        throw LoadError("plug-in " + path + " exports no entry point (neither VSTPluginMain nor main)");
    }
#ifdef _WIN32
    HMODULE module = nullptr;
    if (GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                           reinterpret_cast<LPCSTR>(entry_), &module)) {
        allocation_counter::watchModule(module);
    }
#endif
}

AEffect* PluginModule::create(HostState& state) const {
    HostState::Creating scope(state);
    return entry_(hostCallback);
}
