// What the host does with plug-in files that are missing, broken or faulty:
// a clear error or a measured fault, never a crash.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "opcodes.h"
#include "plugin/allocation_counter.h"
#include "plugin/library_extents.h"
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

// The whole of a file, as bytes.
std::string contentsOf(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

TEST(PluginLoading, AFileThatCannotBeLoadedIsNamedForWhatItIs) {
    const std::string work = KD_TEST_WORK_DIR;
    // Our own plug-in as an interrupted copy leaves it: its start only, or
    // all but its last byte (on Linux section headers, on Windows symbol names).
    const std::string library = contentsOf(KD_FAULTY_PLUGIN);
    ASSERT_GT(library.size(), 5000u);
    const struct {
        const char* name;  // created with `contents` unless empty
        std::string contents;
        const char* message;
    } kCases[] = {
        {"missing" KD_LIBRARY_SUFFIX, "", "does not exist"},
        {"text" KD_LIBRARY_SUFFIX, "this is not a plug-in\n", "is not a plug-in library"},
        {"arm64-linux" KD_LIBRARY_SUFFIX, elfHeader(64, 183), "is a 64-bit Linux library for ARM64, but"},
        {"arm64-windows" KD_LIBRARY_SUFFIX, peHeader(0xAA64, 0x20B), "is a 64-bit Windows DLL for ARM64, but"},
        {"first-5000" KD_LIBRARY_SUFFIX, library.substr(0, 5000),
         "is cut short or damaged: the file ends at byte 5000"},
        {"last-byte-lost" KD_LIBRARY_SUFFIX, library.substr(0, library.size() - 1),
         "is cut short or damaged: the file ends at byte"},
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

// Header tables and sections laid out by hand: what lies past the end of
// the file is named, and a file that holds all it claims passes.
std::string at(std::string bytes, std::size_t offset, std::uint64_t value, int width) {
    for (int i = 0; i < width; ++i) {
        bytes[offset + static_cast<std::size_t>(i)] = static_cast<char>((value >> (8 * i)) & 0xFF);
    }
    return bytes;
}

// A 64-bit ELF file of `size` bytes: one segment, and `sections` section
// headers at `sectionsAt` (none when 0).
std::string elfFile(std::size_t size, std::uint64_t segmentBytes, std::uint64_t sectionsAt = 0, int sections = 0) {
    std::string bytes = elfHeader(64, 62);
    bytes.resize(std::max<std::size_t>(size, 120), '\0');
    bytes[5] = 1;                  // little-endian
    bytes = at(bytes, 32, 64, 8);  // program headers right after the header
    bytes = at(bytes, 54, 56, 2);  // of 56 bytes
    bytes = at(bytes, 56, 1, 2);   // one of them
    bytes = at(bytes, 40, sectionsAt, 8);
    bytes = at(bytes, 58, 64, 2);
    bytes = at(bytes, 60, static_cast<std::uint64_t>(sections), 2);
    bytes = at(bytes, 64 + 32, segmentBytes, 8);  // its file size, from offset 0
    return bytes.substr(0, size);
}

// A 32-bit PE file of `size` bytes with one section of `rawBytes` at 0x200,
// and `symbols` symbols at `symbolsAt` (none when 0).
std::string peFile(std::size_t size, std::uint64_t rawBytes, std::uint64_t symbolsAt = 0, int symbols = 0) {
    std::string bytes = peHeader(0x014C, 0x10B);
    bytes.resize(std::max<std::size_t>(size, 0x200), '\0');
    bytes = at(bytes, 0x46, 1, 2);          // sections
    bytes = at(bytes, 0x4C, symbolsAt, 4);  // symbol table
    bytes = at(bytes, 0x50, static_cast<std::uint64_t>(symbols), 4);
    bytes = at(bytes, 0x54, 0x60, 2);           // optional header size
    bytes = at(bytes, 0x58 + 60, 0x200, 4);     // size of headers
    bytes = at(bytes, 0xB8 + 16, rawBytes, 4);  // the section's bytes in the file
    bytes = at(bytes, 0xB8 + 20, 0x200, 4);     // where they start
    return bytes.substr(0, size);
}

TEST(LibraryExtents, EveryHeaderTableAndSectionMustLieWithinTheFile) {
    const struct {
        const char* what;
        std::string bytes;
        const char* problem;  // "" when the file is whole
    } kCases[] = {
        {"whole ELF", elfFile(400, 400, 200, 3), ""},
        {"ELF segment cut", elfFile(300, 4096), "the file ends at byte 300, inside its segment 0 (bytes 0 to 4096)"},
        {"ELF section headers gone", elfFile(300, 300, 1000, 3),
         "the file ends at byte 300, before its section headers (bytes 1000 to 1192)"},
        {"ELF header cut", elfFile(40, 40), "its ELF header needs 64 bytes, but the file holds 40"},
        {"whole PE", peFile(0x400, 0x200, 0x400 - 4 - 18, 1).replace(0x400 - 4, 1, 1, 4), ""},
        {"PE section cut", peFile(0x300, 0x1000),
         "the file ends at byte 768, inside its section 1 (bytes 512 to 4608)"},
        {"PE symbol names cut", peFile(0x400, 0x200, 0x400 - 18, 1),
         "the file ends at byte 1024, before its symbol names (bytes 1024 to 1028)"},
        {"not a library", "just some text", ""},
    };
    for (const auto& entry : kCases) {
        const std::string& bytes = entry.bytes;
        const std::string problem =
            libraryExtentProblem(bytes.size(), [&bytes](std::uint64_t offset, void* out, std::size_t count) {
                if (offset > bytes.size() || count > bytes.size() - offset) {
                    return false;
                }
                std::copy_n(bytes.data() + offset, count, static_cast<char*>(out));
                return true;
            });
        EXPECT_EQ(problem, entry.problem) << entry.what;
    }
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
