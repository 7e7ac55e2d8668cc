#include "plugin/chunks.h"

#include <algorithm>
#include <cstring>

#include "opcodes.h"
#include "plugin/guarded_channels.h"
#include "plugin/plugin_instance.h"

bool declaresChunks(const PluginInstance& instance) {
    return (instance.effect()->flags & effFlagsProgramChunks) != 0;
}

SavedChunk saveChunk(PluginInstance& instance, bool programOnly) {
    SavedChunk saved;
    void* data = nullptr;
    saved.size = instance.dispatch(effGetChunk, programOnly ? 1 : 0, 0, &data);
    saved.pointerGiven = data != nullptr;
    if (saved.pointerGiven && saved.size > 0 && saved.size <= kMaxPlausibleChunkBytes) {
        const auto* first = static_cast<const unsigned char*>(data);
        saved.bytes.assign(first, first + saved.size);
    }
    return saved;
}

ChunkRestore restoreChunk(PluginInstance& instance, const std::vector<unsigned char>& bytes, bool programOnly) {
    GuardedBytes copy(bytes.size());
    std::copy(bytes.begin(), bytes.end(), static_cast<unsigned char*>(copy.data()));
    ChunkRestore restore;
    restore.result =
        instance.dispatch(effSetChunk, programOnly ? 1 : 0, static_cast<VstIntPtr>(bytes.size()), copy.data());
    restore.guardIntact = copy.guardIntact();
    return restore;
}
