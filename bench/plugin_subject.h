// A plug-in library loaded from its file and driven only through its record,
// as a host drives it: what the benchmarks time as "the whole plug-in". The
// current build's library and the old scalar one (bench/baseline) are both
// subjects of this kind, loaded side by side into one process.
#pragma once

#include <array>
#include <cstddef>
#include <memory>
#include <string>

#include "aeffect.h"
#include "parameter_index.h"
#include "plugin_library.h"

namespace bench {

// The seventeen parameter values of a setting, by host index.
using Settings = std::array<float, kParameterCount>;

class PluginSubject {
public:
    struct Closer {
        void operator()(AEffect* effect) const;
    };
    using Instance = std::unique_ptr<AEffect, Closer>;

    // Loads the library; loaded() tells whether that worked, error() why not.
    explicit PluginSubject(const std::string& path);

    bool loaded() const { return entry_ != nullptr; }
    const std::string& error() const { return error_; }
    const std::string& path() const { return path_; }

    // A new instance, switched on, at a factory program; with equaliserOnly
    // its per-band distortion is switched off. Null when the entry point gives
    // no instance.
    Instance open(int program, bool equaliserOnly = false) const;

    // The instance's current parameter values.
    static Settings settingsOf(AEffect* effect);

    // Processes count samples in blocks of `block` through the replacing
    // process entry, both outputs connected as a host connects them; the
    // first output goes to out.
    static void process(AEffect* effect, const float* in, float* out, std::size_t count, std::size_t block);

private:
    std::string path_;
    PluginLibrary library_;
    PluginEntryProc entry_ = nullptr;
    std::string error_;
};

}  // namespace bench
