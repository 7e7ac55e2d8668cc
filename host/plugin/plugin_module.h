// A plug-in file loaded into the host process, and the way to make instances
// from it through its entry point.
#pragma once

#include <string>

#include "aeffect.h"
#include "plugin_library.h"

struct HostState;

class PluginModule {
public:
    // Loads the file, a relative path taken from the current directory.
    // Throws LoadError with a message for the user when the file is missing,
    // is no library this host can load, fails to load, or exports no entry
    // point.
    explicit PluginModule(const std::string& path);
    // Unloads the library (the plug-in call "unloading the library").
    ~PluginModule();
    PluginModule(const PluginModule&) = delete;
    PluginModule& operator=(const PluginModule&) = delete;

    const std::string& path() const { return path_; }

    // Calls the entry point with the host callback; host calls made before it
    // returns are answered from `state`. Returns what the plug-in returned,
    // possibly null.
    AEffect* create(HostState& state) const;

private:
    std::string path_;
    PluginLibrary library_;
    PluginEntryProc entry_ = nullptr;
};
