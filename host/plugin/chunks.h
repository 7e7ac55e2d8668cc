// Saving and restoring a plug-in's state as an opaque chunk (effGetChunk,
// effSetChunk), the way hosts keep it in projects when the plug-in declares
// chunk state.
#pragma once

#include <cstddef>
#include <vector>

#include "aeffect.h"

class PluginInstance;

// The record's flag for chunk state.
bool declaresChunks(const PluginInstance& instance);

struct SavedChunk {
    VstIntPtr size = 0;  // what effGetChunk returned
    bool pointerGiven = false;
    std::vector<unsigned char> bytes;  // the host's copy; empty unless size and pointer were usable
};

// effGetChunk for the whole bank (or the current program only), copied into
// host memory at once, as the plug-in owns the original.
SavedChunk saveChunk(PluginInstance& instance, bool programOnly = false);

struct ChunkRestore {
    VstIntPtr result = 0;     // the plug-in's answer
    bool guardIntact = true;  // nothing written past the host's copy
};

// effSetChunk with a host-owned copy of `bytes`, followed by a guard area.
ChunkRestore restoreChunk(PluginInstance& instance, const std::vector<unsigned char>& bytes, bool programOnly = false);

// Larger chunks than this are taken for garbage rather than copied.
inline constexpr VstIntPtr kMaxPlausibleChunkBytes = VstIntPtr{1} << 28;
