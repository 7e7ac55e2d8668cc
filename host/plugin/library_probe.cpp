#include "plugin/library_probe.h"

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <system_error>
#include <vector>

#include "plugin/library_extents.h"
#include "support/host_error.h"

namespace {

namespace fs = std::filesystem;

struct MachineName {
    int elf;  // e_machine
    int pe;   // COFF machine
    const char* name;
};

constexpr MachineName kMachines[] = {
    {3, 0x014C, "x86"},     {62, 0x8664, "x86-64"}, {40, 0x01C0, "ARM"},
    {183, 0xAA64, "ARM64"}, {8, 0x0166, "MIPS"},    {243, 0x5064, "RISC-V"},
};

std::string machineName(int elf, int pe) {
    for (const MachineName& entry : kMachines) {
        if ((elf != 0 && entry.elf == elf) || (pe != 0 && entry.pe == pe)) {
            return entry.name;
        }
    }
    return "unknown processor";
}

unsigned readLittle(const std::vector<unsigned char>& bytes, std::size_t at, int size) {
    unsigned value = 0;
    for (int i = size - 1; i >= 0; --i) {
        value = (value << 8) |
                (at + static_cast<std::size_t>(i) < bytes.size() ? bytes[at + static_cast<std::size_t>(i)] : 0u);
    }
    return value;
}

// The first bytes of a file shown to the user: printable characters kept.
std::string opening(const std::vector<unsigned char>& bytes) {
    std::string text;
    for (std::size_t i = 0; i < bytes.size() && text.size() < 16; ++i) {
        const unsigned char c = bytes[i];
        if (c == '\n' || c == '\r') {
            break;
        }
        text += (c >= 0x20 && c < 0x7F) ? static_cast<char>(c) : '.';
    }
    return text;
}

std::vector<unsigned char> firstBytes(const std::string& path, std::size_t count) {
    std::ifstream file(path, std::ios::binary);
    std::vector<unsigned char> bytes(count);
    file.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(count));
    bytes.resize(static_cast<std::size_t>(file.gcount()));
    return bytes;
}

// Up to three plug-in libraries inside a directory, as a hint.
std::string librariesInside(const fs::path& directory) {
    std::string names;
    int shown = 0;
    std::error_code error;
    for (const fs::directory_entry& entry : fs::directory_iterator(directory, error)) {
        const std::string extension = entry.path().extension().string();
        if ((extension == ".so" || extension == ".dll") && shown < 3) {
            names += (shown++ == 0 ? "" : ", ") + entry.path().filename().string();
        }
    }
    return names;
}

}  // namespace

std::string LibraryKind::describe(bool plural) const {
    if (format == Format::Unknown) {
        return "not a shared library";
    }
    const char* system = format == Format::Elf ? "Linux" : format == Format::Pe ? "Windows" : "macOS";
    const char* word = format == Format::Pe ? (plural ? "DLLs" : "DLL") : (plural ? "libraries" : "library");
    std::string text = (bits != 0 ? std::to_string(bits) + "-bit " : "") + system + " " + word;
    return machine.empty() ? text : text + " for " + machine;
}

LibraryKind hostLibraryKind() {
    LibraryKind kind;
#if defined(_WIN32)
    kind.format = LibraryKind::Format::Pe;
#elif defined(__APPLE__)
    kind.format = LibraryKind::Format::MachO;
#else
    kind.format = LibraryKind::Format::Elf;
#endif
    kind.bits = static_cast<int>(sizeof(void*) * 8);
#if defined(__x86_64__) || defined(_M_X64)
    kind.machine = "x86-64";
#elif defined(__i386__) || defined(_M_IX86)
    kind.machine = "x86";
#elif defined(__aarch64__)
    kind.machine = "ARM64";
#elif defined(__arm__)
    kind.machine = "ARM";
#else
    kind.machine = "unknown processor";
#endif
    return kind;
}

LibraryKind probeLibrary(const std::string& path) {
    const std::vector<unsigned char> bytes = firstBytes(path, 4096);
    LibraryKind kind;
    if (bytes.size() >= 20 && bytes[0] == 0x7F && bytes[1] == 'E' && bytes[2] == 'L' && bytes[3] == 'F') {
        kind.format = LibraryKind::Format::Elf;
        kind.bits = bytes[4] == 2 ? 64 : 32;
        kind.machine = machineName(static_cast<int>(readLittle(bytes, 18, 2)), 0);
    } else if (bytes.size() >= 64 && bytes[0] == 'M' && bytes[1] == 'Z') {
        const std::size_t header = readLittle(bytes, 0x3C, 4);
        if (header + 26 <= bytes.size() && bytes[header] == 'P' && bytes[header + 1] == 'E') {
            kind.format = LibraryKind::Format::Pe;
            const unsigned machine = readLittle(bytes, header + 4, 2);
            kind.machine = machineName(0, static_cast<int>(machine));
            // The optional header's magic: 0x10B for 32-bit, 0x20B for 64-bit images.
            kind.bits = readLittle(bytes, header + 24, 2) == 0x20B ? 64 : 32;
        }
    } else if (bytes.size() >= 4) {
        const unsigned magic = readLittle(bytes, 0, 4);
        if (magic == 0xFEEDFACEu || magic == 0xFEEDFACFu || magic == 0xBEBAFECAu) {
            kind.format = LibraryKind::Format::MachO;
        }
    }
    return kind;
}

void refuseUnloadable(const std::string& path) {
    std::error_code error;
    const fs::file_status status = fs::status(path, error);
    if (!fs::exists(status)) {
        throw LoadError("plug-in file " + path + " does not exist or cannot be read");
    }
    if (fs::is_directory(status)) {
        const std::string inside = librariesInside(path);
        throw LoadError("plug-in " + path + " is a directory, not a plug-in library" +
                        (inside.empty() ? std::string() : "; it holds libraries such as " + inside));
    }
    if (!fs::is_regular_file(status)) {
        throw LoadError("plug-in " + path + " is not a regular file");
    }
    if (!std::ifstream(path, std::ios::binary).good()) {
        throw LoadError("plug-in file " + path + " does not exist or cannot be read");
    }
    const LibraryKind kind = probeLibrary(path);
    const LibraryKind host = hostLibraryKind();
    if (kind.format == LibraryKind::Format::Unknown) {
        throw LoadError("plug-in " + path +
                        " is not a plug-in library: it is not a shared library at all (it starts with \"" +
                        opening(firstBytes(path, 64)) + "\")");
    }
    if (!kind.sameAs(host)) {
        throw LoadError(
            "plug-in " + path + " is a " + kind.describe() + ", but this plughost loads only " + host.describe(true) +
            (kind.format == LibraryKind::Format::Pe ? ": use the plughost.exe of the matching Windows build" : ""));
    }
    std::ifstream file(path, std::ios::binary);
    const std::uint64_t size = fs::file_size(path, error);
    const std::string problem =
        libraryExtentProblem(error ? 0 : size, [&file](std::uint64_t offset, void* out, std::size_t count) {
            file.clear();
            file.seekg(static_cast<std::streamoff>(offset));
            file.read(static_cast<char*>(out), static_cast<std::streamsize>(count));
            return file.gcount() == static_cast<std::streamsize>(count);
        });
    if (!problem.empty()) {
        throw LoadError("plug-in " + path + " is cut short or damaged: " + problem + ". Install or copy it again");
    }
}
