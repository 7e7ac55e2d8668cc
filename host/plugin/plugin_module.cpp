#include "plugin/plugin_module.h"

#include <filesystem>

#ifdef _WIN32
#include <windows.h>
#endif

#include "plugin/allocation_counter.h"
#include "plugin/host_callback.h"
#include "plugin/library_probe.h"
#include "plugin/plugin_calls.h"
#include "support/fatal_handlers.h"
#include "support/host_error.h"

PluginModule::PluginModule(const std::string& path) : path_(path) {
    refuseUnloadable(path);
    // A name without a directory would send the system loader through its
    // library search path; the user means the file. Finding the entry point
    // reads the library's symbol tables: that is loading it too.
    PluginCall loading;
    loading.kind = PluginCallKind::LoadLibrary;
    // A damaged library can leave the system loader's tables broken even
    // when it fails to load, and the throwing of the error is the first to
    // suffer: it is part of the loading. A library without an entry point
    // goes again before the error is thrown.
    const PluginCallScope loadingUntilReady(loading);
    const bool loaded = callPlugin(loading, [this, &path] {
        const bool done = library_.load(std::filesystem::absolute(path).string());
        entry_ = done ? library_.entry() : nullptr;
        if (done && entry_ == nullptr) {
            library_.unload();
        }
        return done;
    });
    if (!loaded) {
        throw LoadError("cannot load plug-in " + path + ": " + library_.error());
    }
    if (entry_ == nullptr) {
        throw LoadError("plug-in " + path + " exports no entry point (neither VSTPluginMain nor main)");
    }
    fatal_handlers::hookEndingsOf(reinterpret_cast<const void*>(entry_));
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
    PluginCall call;
    call.kind = PluginCallKind::Entry;
    return callPlugin(call, [this] { return entry_(hostCallback); });
}

PluginModule::~PluginModule() {
    PluginCall unloading;
    unloading.kind = PluginCallKind::UnloadLibrary;
    // A static destructor's exception cannot leave a destructor: it ends
    // the process, which the fatal handlers tell.
    callPlugin(unloading, [this] { library_.unload(); });
}
