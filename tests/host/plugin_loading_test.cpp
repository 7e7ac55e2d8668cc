// What the host does with plug-in files that are missing, broken or faulty:
// a clear error or a measured fault, never a crash.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <string>

#include "plugin/allocation_counter.h"
#include "support/host_error.h"
#include "opcodes.h"
#include "plugin/plugin_instance.h"
#include "plugin/plugin_module.h"

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

TEST(PluginLoading, AMissingFileIsNamedInTheError) {
    const std::string message = errorOf([] { PluginModule module("no/such/plugin" KD_LIBRARY_SUFFIX); });
    EXPECT_NE(message.find("no/such/plugin"), std::string::npos) << message;
    EXPECT_NE(message.find("does not exist"), std::string::npos) << message;
}

TEST(PluginLoading, ATextFileDressedAsALibraryCannotBeLoaded) {
    const std::string path = std::string(KD_TEST_WORK_DIR) + "/broken" KD_LIBRARY_SUFFIX;
    std::ofstream(path) << "this is not a plug-in\n";
    const std::string message = errorOf([&path] { PluginModule module(path); });
    EXPECT_NE(message.find("cannot load plug-in"), std::string::npos) << message;
    std::remove(path.c_str());
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
