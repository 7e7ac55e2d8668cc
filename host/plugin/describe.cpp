#include "plugin/describe.h"

#include "support/text_format.h"

namespace {

struct FlagName {
    VstInt32 bit;
    const char* name;
};

constexpr FlagName kFlagNames[] = {
    {effFlagsHasEditor, "editor"},
    {effFlagsHasClip, "clip"},
    {effFlagsHasVu, "vu"},
    {effFlagsCanMono, "mono"},
    {effFlagsCanReplacing, "replacing"},
    {effFlagsProgramChunks, "chunks"},
    {effFlagsIsSynth, "synth"},
    {effFlagsNoSoundInStop, "no-sound-in-stop"},
    {effFlagsExtIsAsync, "async"},
    {effFlagsExtHasBuffer, "external-buffer"},
    {effFlagsCanDoubleReplacing, "double-replacing"},
};

// The interface's plug-in categories, by number.
constexpr const char* kCategoryNames[] = {
    "unknown",     "effect",          "synth",       "analysis",        "mastering", "spatializer",
    "room effect", "surround effect", "restoration", "offline process", "shell",     "generator",
};

}  // namespace

std::string fourCharPlain(VstInt32 code) {
    std::string text;
    const auto bits = static_cast<unsigned>(code);
    for (int shift = 24; shift >= 0; shift -= 8) {
        const char c = static_cast<char>((bits >> shift) & 0xFF);
        if (c < 0x20 || c > 0x7E) {
            return format("0x%08X", bits);
        }
        text += c;
    }
    return text;
}

std::string fourCharText(VstInt32 code) {
    const std::string plain = fourCharPlain(code);
    return plain.size() == 4 ? "'" + plain + "'" : plain;
}

std::vector<std::string> flagList(VstInt32 flags) {
    std::vector<std::string> names;
    VstInt32 unnamed = flags;
    for (const FlagName& entry : kFlagNames) {
        if ((flags & entry.bit) != 0) {
            names.push_back(entry.name);
            unnamed &= ~entry.bit;
        }
    }
    if (unnamed != 0) {
        names.push_back(format("other 0x%X", static_cast<unsigned>(unnamed)));
    }
    return names;
}

std::string flagNames(VstInt32 flags) {
    std::string text;
    for (const std::string& name : flagList(flags)) {
        text += (text.empty() ? "" : ", ") + name;
    }
    return text.empty() ? "none" : text;
}

std::string categoryName(VstIntPtr category) {
    if (category >= 0 && category < static_cast<VstIntPtr>(sizeof kCategoryNames / sizeof kCategoryNames[0])) {
        return kCategoryNames[category];
    }
    return "unknown";
}

std::string printable(const std::string& text) {
    std::string shown = text;
    for (char& c : shown) {
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) {
            c = '?';
        }
    }
    return shown;
}
