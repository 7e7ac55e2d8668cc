// What kind of file a plug-in path names, read from its first bytes, so that
// a file this host can never load gets a message that says why (a directory,
// a text file, a library for another system or processor) instead of the
// loader's terse error.
#pragma once

#include <string>

struct LibraryKind {
    enum class Format { Unknown, Elf, Pe, MachO };
    Format format = Format::Unknown;
    int bits = 0;         // 32 or 64; 0 when unknown
    std::string machine;  // "x86-64", "x86", "ARM64", ...
    // "64-bit Linux library for x86-64", "32-bit Windows DLLs for x86", ...
    std::string describe(bool plural = false) const;
    bool sameAs(const LibraryKind& other) const {
        return format == other.format && bits == other.bits && machine == other.machine;
    }
};

// The kind of library this host program itself can load.
LibraryKind hostLibraryKind();

// The kind of the file's contents; Format::Unknown for anything that is not
// a shared library.
LibraryKind probeLibrary(const std::string& path);

// Throws LoadError with a message for the user when `path` is missing, not a
// regular file, a library that this host cannot load, or one whose headers
// reach past the end of the file (cut short); returns quietly when it looks
// loadable. Every command loads plug-ins through this check.
void refuseUnloadable(const std::string& path);
