// What the host does with plug-in files that are missing, broken or faulty:
// a clear error or a measured fault, never a crash.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "opcodes.h"
#include "plugin/allocation_counter.h"
#include "plugin/plugin_instance.h"
#include "plugin/plugin_module.h"
#include "support/host_error.h"

namespace {

// The message that `work` fails with; empty when it does not fail.
template <typename Work>
std::string errorOf(Work work) {
    try {
        work();
    } catch (const HostError& error) {
        return error.what();
    }
    return "";
}

// The first bytes of a library header: enough for a loader to tell the
// system and processor it was built for.
std::string elfHeader(unsigned char bits, unsigned short machine) {
    std::string bytes = std::string(
                            "\x7f"
                            "ELF",
                            4) +
                        static_cast<char>(bits == 64 ? 2 : 1) + std::string(59, '\0');
    bytes[18] = static_cast<char>(machine & 0xFF);
    bytes[19] = static_cast<char>(machine >> 8);
    return bytes;
}

std::string peHeader(unsigned short machine, unsigned short magic) {
    std::string bytes(512, '\0');
    bytes[0] = 'M';
    bytes[1] = 'Z';
    bytes[0x3C] = 0x40;
    bytes.replace(0x40, 4, std::string("PE\0\0", 4));
    bytes[0x44] = static_cast<char>(machine & 0xFF);
    bytes[0x45] = static_cast<char>(machine >> 8);
    bytes[0x58] = static_cast<char>(magic & 0xFF);
    bytes[0x59] = static_cast<char>(magic >> 8);
    return bytes;
}

TEST(PluginLoading, AFileThatCannotBeLoadedIsNamedForWhatItIs) {
    const std::string work = KD_TEST_WORK_DIR;
    const struct {
        const char* name;  // created with `contents` unless empty
        std::string contents;
        const char* message;
    } kCases[] = {
        {"missing" KD_LIBRARY_SUFFIX, "", "does not exist"},
        {"text" KD_LIBRARY_SUFFIX, "this is not a plug-in\n", "is not a plug-in library"},
        {"arm64-linux" KD_LIBRARY_SUFFIX, elfHeader(64, 183), "is a 64-bit Linux library for ARM64, but"},
        {"arm64-windows" KD_LIBRARY_SUFFIX, peHeader(0xAA64, 0x20B), "is a 64-bit Windows DLL for ARM64, but"},
    };
    for (const auto& entry : kCases) {
        const std::string path = work + "/" + entry.name;
        if (!entry.contents.empty()) {
            std::ofstream(path, std::ios::binary) << entry.contents;
        }
        const std::string message = errorOf([&path] { PluginModule module(path); });
        EXPECT_NE(message.find(path), std::string::npos) << message;
        EXPECT_NE(message.find(entry.message), std::string::npos) << message;
        std::remove(path.c_str());
    }
    EXPECT_NE(errorOf([&work] { PluginModule module(work); }).find("is a directory"), std::string::npos);
}

TEST(PluginLoading, ANameWithoutADirectoryIsTheFileInTheCurrentDirectory) {
    const std::filesystem::path before = std::filesystem::current_path();
    std::filesystem::current_path(KD_STUB_DIR);
    const std::string message = errorOf([] {
        PluginModule module("stub_three" KD_LIBRARY_SUFFIX);
        PluginInstance instance(module);
        EXPECT_EQ(instance.numInputs(), 3);
    });
    std::filesystem::current_path(before);
    EXPECT_EQ(message, "");
}

TEST(PluginLoading, AnEntryPointThatReturnsNullCreatesNoInstance) {
    PluginModule module(KD_NULL_ENTRY_PLUGIN);
    const std::string message = errorOf([&module] { PluginInstance instance(module); });
    EXPECT_NE(message.find("entry point returned null"), std::string::npos) << message;
}

TEST(FaultyPlugin, ItsOverlongParameterNameIsMeasuredNotTrusted) {
    PluginModule module(KD_FAULTY_PLUGIN);
    PluginInstance instance(module);
    instance.openForPlayback(44100.0f, 64);
    const TextAnswer name = instance.text(effGetParamName, 0, kVstMaxParamStrLen);
    EXPECT_EQ(name.text, "FarTooLongName");
    EXPECT_EQ(name.bytesWritten, 15u);
    EXPECT_FALSE(name.fits);
    const TextAnswer display = instance.text(effGetParamDisplay, 0, kVstMaxParamStrLen);
    EXPECT_TRUE(display.fits) << display.bytesWritten << " bytes";
}

TEST(FaultyPlugin, ItsAllocationsInsideProcessAreCounted) {
    if (!allocation_counter::available()) {
        GTEST_SKIP() << "this build does not count allocations";
    }
    PluginModule module(KD_FAULTY_PLUGIN);
    PluginInstance instance(module);
    instance.openForPlayback(44100.0f, 64);
    instance.setMains(true);
    float in[64] = {};
    float out[64] = {};
    float* inputs[] = {in};
    float* outputs[] = {out};
    instance.process(inputs, outputs, 64);
    instance.process(inputs, outputs, 64);
    EXPECT_EQ(instance.processAllocations(), 2);
}

TEST(FaultyPlugin, ClosingDestroysTheInstanceOnce) {
    PluginModule module(KD_FAULTY_PLUGIN);
    auto instance = std::make_unique<PluginInstance>(module);
    instance->open();
    instance->close();
    EXPECT_EQ(instance->effect(), nullptr);
    instance.reset();  // the destructor must not close a second time
}

}  // namespace
