#include "plugin/library_extents.h"

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

// Offsets into the ELF header and its entries, for 32- and 64-bit files.
struct ElfLayout {
    std::size_t headerSize;
    std::size_t programHeaderOffset, programHeaderEntrySize, programHeaderCount;
    std::size_t sectionHeaderOffset, sectionHeaderEntrySize, sectionHeaderCount;
    std::size_t wordSize;  // of offsets and sizes
    std::size_t programEntrySize;
    std::size_t segmentOffset, segmentFileSize;
    std::size_t sectionEntrySize;
    std::size_t sectionType, sectionOffset, sectionSize, sectionInfo;
};

constexpr ElfLayout kElf32 = {52, 28, 42, 44, 32, 46, 48, 4, 32, 4, 16, 40, 4, 16, 20, 28};
constexpr ElfLayout kElf64 = {64, 32, 54, 56, 40, 58, 60, 8, 56, 8, 32, 64, 4, 24, 32, 44};

constexpr std::uint32_t kSectionNoBits = 8;     // occupies no file space (.bss)
constexpr std::uint32_t kManyEntries = 0xFFFF;  // the count lives in section header 0

constexpr std::size_t kDosHeaderSize = 0x40;
constexpr std::size_t kPeOffsetField = 0x3C;
constexpr std::size_t kCoffHeaderSize = 20;
constexpr std::size_t kSizeOfHeadersField = 60;  // in the optional header, 32- and 64-bit alike
constexpr std::size_t kSectionEntrySize = 40;
constexpr std::size_t kSymbolEntrySize = 18;

std::string bytesText(std::uint64_t value) {
    char text[32];
    std::snprintf(text, sizeof text, "%llu", static_cast<unsigned long long>(value));
    return text;
}

class Reader {
public:
    Reader(std::uint64_t size, const ReadBytesAt& read) : size_(size), read_(read) {}

    std::uint64_t size() const { return size_; }
    // Little-endian unsigned value of `width` bytes (1 to 8) at `offset`;
    // false when the bytes are not in the file.
    bool value(std::uint64_t offset, std::size_t width, std::uint64_t& out) const {
        unsigned char bytes[8] = {};
        if (width > sizeof bytes || !within(offset, width) || !read_(offset, bytes, width)) {
            return false;
        }
        out = 0;
        for (std::size_t i = width; i-- > 0;) {
            out = (out << 8) | bytes[i];
        }
        return true;
    }
    // True when [offset, offset + length) lies inside the file.
    bool within(std::uint64_t offset, std::uint64_t length) const {
        return offset <= size_ && length <= size_ - offset;
    }
    // "" when [offset, offset + count * entry) lies inside the file, else why not.
    std::string table(const char* what, std::uint64_t offset, std::uint64_t count, std::uint64_t entry) const {
        if (count == 0) {
            return "";
        }
        if (entry != 0 && count > (UINT64_MAX - offset) / entry) {
            return std::string("its ") + what + " claim more bytes than any file holds";
        }
        return extent(what, offset, count * entry);
    }
    std::string extent(const std::string& what, std::uint64_t offset, std::uint64_t length) const {
        if (within(offset, length)) {
            return "";
        }
        const std::string end = offset > UINT64_MAX - length ? "beyond any file size" : bytesText(offset + length);
        return "the file ends at byte " + bytesText(size_) + (offset >= size_ ? ", before" : ", inside") + " its " +
               what + " (bytes " + bytesText(offset) + " to " + end + ")";
    }

private:
    std::uint64_t size_;
    const ReadBytesAt& read_;
};

std::string elfProblem(const Reader& in, const ElfLayout& elf) {
    if (!in.within(0, elf.headerSize)) {
        return "its ELF header needs " + bytesText(elf.headerSize) + " bytes, but the file holds " +
               bytesText(in.size());
    }
    std::uint64_t programOffset = 0, programEntry = 0, programCount = 0;
    std::uint64_t sectionOffset = 0, sectionEntry = 0, sectionCount = 0;
    in.value(elf.programHeaderOffset, elf.wordSize, programOffset);
    in.value(elf.programHeaderEntrySize, 2, programEntry);
    in.value(elf.programHeaderCount, 2, programCount);
    in.value(elf.sectionHeaderOffset, elf.wordSize, sectionOffset);
    in.value(elf.sectionHeaderEntrySize, 2, sectionEntry);
    in.value(elf.sectionHeaderCount, 2, sectionCount);

    if (sectionOffset != 0) {
        if (sectionEntry < elf.sectionEntrySize) {
            return "its section headers are " + bytesText(sectionEntry) + " bytes each, too small to be any";
        }
        // Counts too large for the header are kept in section header 0,
        // which must then be there.
        const std::string problem =
            in.table("section headers", sectionOffset, std::max<std::uint64_t>(sectionCount, 1), sectionEntry);
        if (!problem.empty()) {
            return problem;
        }
        std::uint64_t first = 0;
        if (sectionCount == 0 && in.value(sectionOffset + elf.sectionSize, elf.wordSize, first)) {
            sectionCount = first;
        }
        if (programCount == kManyEntries && in.value(sectionOffset + elf.sectionInfo, 4, first)) {
            programCount = first;
        }
    }
    if (programCount > 0 && programEntry < elf.programEntrySize) {
        return "its program headers are " + bytesText(programEntry) + " bytes each, too small to be any";
    }
    std::string problem = in.table("program headers", programOffset, programCount, programEntry);
    if (!problem.empty()) {
        return problem;
    }
    for (std::uint64_t i = 0; i < programCount; ++i) {
        const std::uint64_t entry = programOffset + i * programEntry;
        std::uint64_t offset = 0, length = 0;
        in.value(entry + elf.segmentOffset, elf.wordSize, offset);
        in.value(entry + elf.segmentFileSize, elf.wordSize, length);
        problem = in.extent("segment " + bytesText(i), offset, length);
        if (!problem.empty()) {
            return problem;
        }
    }
    if (sectionOffset == 0) {
        return "";
    }
    problem = in.table("section headers", sectionOffset, sectionCount, sectionEntry);
    if (!problem.empty()) {
        return problem;
    }
    for (std::uint64_t i = 0; i < sectionCount; ++i) {
        const std::uint64_t entry = sectionOffset + i * sectionEntry;
        std::uint64_t type = 0, offset = 0, length = 0;
        in.value(entry + elf.sectionType, 4, type);
        in.value(entry + elf.sectionOffset, elf.wordSize, offset);
        in.value(entry + elf.sectionSize, elf.wordSize, length);
        if (i == 0 || type == kSectionNoBits) {
            continue;  // entry 0 holds the extended counts, not a section
        }
        problem = in.extent("section " + bytesText(i), offset, length);
        if (!problem.empty()) {
            return problem;
        }
    }
    return "";
}

std::string peProblem(const Reader& in) {
    std::uint64_t header = 0, signature = 0, sections = 0, optionalSize = 0, sizeOfHeaders = 0;
    if (!in.value(kPeOffsetField, 4, header)) {
        return "its DOS header needs " + bytesText(kDosHeaderSize) + " bytes, but the file holds " +
               bytesText(in.size());
    }
    if (!in.value(header, 4, signature) || signature != 0x4550) {  // "PE\0\0"
        return in.within(header, 4) ? "" : in.extent("PE signature", header, 4);
    }
    std::string problem = in.extent("file header", header + 4, kCoffHeaderSize);
    if (!problem.empty()) {
        return problem;
    }
    in.value(header + 6, 2, sections);
    in.value(header + 20, 2, optionalSize);
    const std::uint64_t optional = header + 4 + kCoffHeaderSize;
    problem = in.extent("optional header", optional, optionalSize);
    if (!problem.empty()) {
        return problem;
    }
    if (optionalSize >= kSizeOfHeadersField + 4 && in.value(optional + kSizeOfHeadersField, 4, sizeOfHeaders)) {
        problem = in.extent("headers", 0, sizeOfHeaders);
        if (!problem.empty()) {
            return problem;
        }
    }
    const std::uint64_t table = optional + optionalSize;
    problem = in.table("section table", table, sections, kSectionEntrySize);
    if (!problem.empty()) {
        return problem;
    }
    for (std::uint64_t i = 0; i < sections; ++i) {
        std::uint64_t length = 0, offset = 0;
        in.value(table + i * kSectionEntrySize + 16, 4, length);
        in.value(table + i * kSectionEntrySize + 20, 4, offset);
        if (length == 0) {
            continue;  // uninitialised data: nothing in the file
        }
        problem = in.extent("section " + bytesText(i + 1), offset, length);
        if (!problem.empty()) {
            return problem;
        }
    }
    // The symbol table (what the linker left for debuggers), followed by its
    // strings, whose length comes first: often the last bytes of the file.
    std::uint64_t symbols = 0, symbolCount = 0, strings = 0;
    in.value(header + 12, 4, symbols);
    in.value(header + 16, 4, symbolCount);
    if (symbols == 0) {
        return "";
    }
    problem = in.table("symbol table", symbols, symbolCount, kSymbolEntrySize);
    const std::uint64_t stringTable = symbols + symbolCount * kSymbolEntrySize;
    if (problem.empty() && !in.value(stringTable, 4, strings)) {
        problem = in.extent("symbol names", stringTable, 4);
    }
    return problem.empty() ? in.extent("symbol names", stringTable, strings) : problem;
}

}  // namespace

std::string libraryExtentProblem(std::uint64_t size, const ReadBytesAt& read) {
    const Reader in(size, read);
    unsigned char ident[6] = {};
    if (!in.within(0, sizeof ident) || !read(0, ident, sizeof ident)) {
        return "";
    }
    if (ident[0] == 0x7F && ident[1] == 'E' && ident[2] == 'L' && ident[3] == 'F') {
        if (ident[5] != 1) {
            return "";  // not little-endian: no library this host loads
        }
        return elfProblem(in, ident[4] == 2 ? kElf64 : kElf32);
    }
    if (ident[0] == 'M' && ident[1] == 'Z') {
        return peProblem(in);
    }
    return "";
}
