#include "audio/promised_length.h"

#include <cstring>

namespace {

// 32-bit sizes from here on are what streaming writers put in place of a
// length they could not know.
constexpr std::uint64_t kUnknown32 = 0x7F000000u;
// 64-bit sizes from here on cannot be true.
constexpr std::uint64_t kUnknown64 = std::uint64_t{1} << 62;

// The header's bytes, read with bounds checks: a value past the end is
// simply not there.
class Bytes {
public:
    Bytes(const unsigned char* data, std::size_t length) : data_(data), length_(length) {}

    bool has(std::uint64_t at, std::size_t count) const { return at <= length_ && count <= length_ - at; }
    bool is(std::uint64_t at, const char* text) const {
        const std::size_t count = std::strlen(text);
        return has(at, count) && std::memcmp(data_ + at, text, count) == 0;
    }
    std::uint64_t number(std::uint64_t at, std::size_t count, bool bigEndian) const {
        std::uint64_t value = 0;
        for (std::size_t i = 0; i < count; ++i) {
            const std::size_t byte = bigEndian ? i : count - 1 - i;
            value = value << 8 | data_[at + byte];
        }
        return value;
    }

private:
    const unsigned char* data_;
    std::size_t length_;
};

struct Chunk {
    std::uint64_t at;    // where its payload starts
    std::uint64_t size;  // as the header says
};

// The layout of a chunked container: where its chunks start, how their
// ids, sizes and padding look.
struct ChunkLayout {
    std::size_t idBytes;
    std::size_t sizeBytes;
    bool bigEndian;
    std::size_t sizeCounted;  // bytes of the chunk's own header included in its size field
    std::size_t alignment;
};

// The first chunk called `id` from `start` on, as far as the header goes.
std::optional<Chunk> findChunk(const Bytes& bytes, std::uint64_t start, const ChunkLayout& layout, const char* id) {
    const std::size_t headerBytes = layout.idBytes + layout.sizeBytes;
    for (std::uint64_t at = start; bytes.has(at, headerBytes);) {
        const std::uint64_t size = bytes.number(at + layout.idBytes, layout.sizeBytes, layout.bigEndian);
        if (bytes.is(at, id)) {
            return Chunk{at + headerBytes, size};
        }
        if (size < layout.sizeCounted || size >= kUnknown64) {
            return std::nullopt;
        }
        const std::uint64_t payload = size - layout.sizeCounted;
        const std::uint64_t padded = payload + (layout.alignment - payload % layout.alignment) % layout.alignment;
        if (padded > kUnknown64) {
            return std::nullopt;
        }
        at += headerBytes + padded;
    }
    return std::nullopt;
}

std::optional<std::uint64_t> frames(std::uint64_t bytes, std::size_t bytesPerFrame) {
    if (bytesPerFrame == 0) {
        return std::nullopt;
    }
    return bytes / bytesPerFrame;
}

std::optional<std::uint64_t> riff(const Bytes& bytes, std::size_t bytesPerFrame) {
    const bool bigEndian = bytes.is(0, "RIFX");
    const ChunkLayout layout{4, 4, bigEndian, 0, 2};
    const std::optional<Chunk> data = findChunk(bytes, 12, layout, "data");
    if (!data || data->size >= kUnknown32) {
        return std::nullopt;
    }
    return frames(data->size, bytesPerFrame);
}

std::optional<std::uint64_t> rf64(const Bytes& bytes, std::size_t bytesPerFrame) {
    const std::optional<Chunk> sizes = findChunk(bytes, 12, {4, 4, false, 0, 2}, "ds64");
    if (!sizes || !bytes.has(sizes->at, 16)) {
        return std::nullopt;
    }
    const std::uint64_t dataSize = bytes.number(sizes->at + 8, 8, false);
    return dataSize >= kUnknown64 ? std::nullopt : frames(dataSize, bytesPerFrame);
}

std::optional<std::uint64_t> wave64(const Bytes& bytes, std::size_t bytesPerFrame) {
    // Chunk ids are 16-byte GUIDs whose first four bytes spell the name.
    constexpr std::size_t kChunkHeader = 24;
    const std::optional<Chunk> data = findChunk(bytes, 40, {16, 8, false, kChunkHeader, 8}, "data");
    if (!data || data->size < kChunkHeader || data->size >= kUnknown64) {
        return std::nullopt;
    }
    return frames(data->size - kChunkHeader, bytesPerFrame);
}

std::optional<std::uint64_t> aiff(const Bytes& bytes, std::size_t bytesPerFrame) {
    // The sound data chunk starts with an offset and a block size.
    const std::optional<Chunk> data = findChunk(bytes, 12, {4, 4, true, 0, 2}, "SSND");
    if (!data || data->size >= kUnknown32 || data->size < 8 || !bytes.has(data->at, 4)) {
        return std::nullopt;
    }
    const std::uint64_t offset = bytes.number(data->at, 4, true);
    return offset > data->size - 8 ? std::nullopt : frames(data->size - 8 - offset, bytesPerFrame);
}

std::optional<std::uint64_t> caf(const Bytes& bytes, std::size_t bytesPerFrame) {
    // The data chunk starts with a 4-byte edit count.
    const std::optional<Chunk> data = findChunk(bytes, 8, {4, 8, true, 0, 1}, "data");
    if (!data || data->size < 4 || data->size >= kUnknown64) {
        return std::nullopt;
    }
    return frames(data->size - 4, bytesPerFrame);
}

std::optional<std::uint64_t> sunAu(const Bytes& bytes, std::size_t bytesPerFrame) {
    if (!bytes.has(8, 4)) {
        return std::nullopt;
    }
    const std::uint64_t size = bytes.number(8, 4, true);
    return size >= kUnknown32 ? std::nullopt : frames(size, bytesPerFrame);
}

struct Container {
    const char* magic;
    std::uint64_t formAt;  // where a second mark must stand, 0 when none
    const char* form;
    std::optional<std::uint64_t> (*promise)(const Bytes&, std::size_t);
};

constexpr Container kContainers[] = {
    {"RIFF", 8, "WAVE", riff}, {"RIFX", 8, "WAVE", riff}, {"RF64", 8, "WAVE", rf64}, {"riff", 24, "wave", wave64},
    {"FORM", 8, "AIFF", aiff}, {"FORM", 8, "AIFC", aiff}, {"caff", 0, "", caf},      {".snd", 0, "", sunAu},
};

}  // namespace

std::optional<std::uint64_t> promisedFrames(const unsigned char* header, std::size_t length,
                                            std::size_t bytesPerFrame) {
    const Bytes bytes(header, length);
    for (const Container& container : kContainers) {
        if (bytes.is(0, container.magic) && (container.formAt == 0 || bytes.is(container.formAt, container.form))) {
            return container.promise(bytes, bytesPerFrame);
        }
    }
    return std::nullopt;
}
