#include "plugin_module.h"

#include <fstream>

#include "host_callback.h"
#include "host_error.h"

PluginModule::PluginModule(const std::string& path) : path_(path) {
    if (!std::ifstream(path, std::ios::binary).good()) {
        throw HostError("plug-in file " + path + " does not exist or cannot be read");
    }
    if (!library_.load(path)) {
        throw HostError("cannot load plug-in " + path + ": " + library_.error());
    }
    entry_ = library_.entry();
    if (entry_ == nullptr) {
        throw HostError("plug-in " + path + " exports no entry point (neither VSTPluginMain nor main)");
    }
}

AEffect* PluginModule::create(HostState& state) const {
    HostState::Creating scope(state);
    return entry_(hostCallback);
}
