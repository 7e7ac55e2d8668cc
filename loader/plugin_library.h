// Loads a plug-in library from a file and finds its entry point, on Linux
// (dlopen) and Windows (LoadLibrary). Used by the host and by the tests that
// check what a host sees.
#pragma once

#include <string>

#include "aeffect.h"

using PluginEntryProc = AEffect*(VSTCALLBACK*)(audioMasterCallback);

class PluginLibrary {
public:
    PluginLibrary() = default;
    ~PluginLibrary();
    PluginLibrary(const PluginLibrary&) = delete;
    PluginLibrary& operator=(const PluginLibrary&) = delete;

    // Loads the file; on failure returns false and error() says why.
    bool load(const std::string& path);
    void unload();
    bool loaded() const { return handle_ != nullptr; }

    // "VSTPluginMain" first, then "main"; null when neither is exported.
    PluginEntryProc entry() const;
    void* symbol(const char* name) const;
    const std::string& error() const { return error_; }

private:
    void* handle_ = nullptr;
    std::string error_;
};
