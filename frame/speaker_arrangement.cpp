// Speaker-arrangement blocks: 8 bytes of header plus 112 bytes per channel,
// owned by whoever holds the slot and obtained from the ordinary allocator.
#include <cstdint>
#include <cstring>
#include <new>

#include "audio_effect_x.h"

bool AudioEffectX::allocateArrangement(VstSpeakerArrangement** arrangement, VstInt32 nbChannels) {
    if (arrangement == nullptr) {
        return false;
    }
    if (*arrangement != nullptr) {
        ::operator delete(*arrangement);
        *arrangement = nullptr;
    }
    // A channel count whose size does not fit the address space is refused
    // outright: a wrapped size would give a block too small for its count.
    constexpr std::size_t kMaxChannels =
        (SIZE_MAX - offsetof(VstSpeakerArrangement, speakers)) / sizeof(VstSpeakerProperties);
    if (nbChannels > 0 && static_cast<std::uint64_t>(nbChannels) > kMaxChannels) {
        return false;
    }
    const std::size_t bytes = speakerArrangementBytes(nbChannels);
    void* block = ::operator new(bytes, std::nothrow);
    if (block == nullptr) {
        return false;
    }
    std::memset(block, 0, bytes);
    auto* made = static_cast<VstSpeakerArrangement*>(block);
    made->numChannels = nbChannels;
    *arrangement = made;
    return true;
}

bool AudioEffectX::deallocateArrangement(VstSpeakerArrangement** arrangement) {
    if (arrangement != nullptr && *arrangement != nullptr) {
        ::operator delete(*arrangement);
        *arrangement = nullptr;
    }
    return true;
}

bool AudioEffectX::copySpeaker(VstSpeakerProperties* to, VstSpeakerProperties* from) {
    if (from == nullptr || to == nullptr) {
        return false;
    }
    constexpr std::size_t kNameChars = kVstSpeakerNameLen - 1;
    std::size_t i = 0;
    for (; i < kNameChars && from->name[i] != 0; ++i) {
        to->name[i] = from->name[i];
    }
    for (; i <= kNameChars; ++i) {
        to->name[i] = 0;
    }
    to->type = from->type;
    to->azimuth = from->azimuth;
    to->elevation = from->elevation;
    to->radius = from->radius;
    to->reserved = from->reserved;
    std::memcpy(to->future, from->future, sizeof(to->future));
    return true;
}

bool AudioEffectX::matchArrangement(VstSpeakerArrangement** to, VstSpeakerArrangement* from) {
    if (from == nullptr) {
        return false;
    }
    if (!deallocateArrangement(to) || !allocateArrangement(to, from->numChannels)) {
        return false;
    }
    (*to)->type = from->type;
    for (VstInt32 i = 0; i < (*to)->numChannels; ++i) {
        if (!copySpeaker(&(*to)->speakers[i], &from->speakers[i])) {
            return false;
        }
    }
    return true;
}
