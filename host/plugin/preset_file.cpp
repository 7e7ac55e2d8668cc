#include "plugin/preset_file.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <fstream>

#include "plugin/describe.h"
#include "support/host_error.h"
#include "support/text_format.h"

namespace {

constexpr VstInt32 kChunkMagic = fourCharCode('C', 'c', 'n', 'K');
constexpr std::size_t kReservedBankBytes = 124;

// The four kinds of contents, by the magic after the byte size.
struct PresetKind {
    VstInt32 magic;
    bool bank;
    bool chunk;
    VstInt32 newestVersion;  // a bank's version 2 adds the current program
};
constexpr PresetKind kKinds[] = {
    {fourCharCode('F', 'x', 'C', 'k'), false, false, 1},
    {fourCharCode('F', 'P', 'C', 'h'), false, true, 1},
    {fourCharCode('F', 'x', 'B', 'k'), true, false, 2},
    {fourCharCode('F', 'B', 'C', 'h'), true, true, 2},
};

const PresetKind& kindFor(bool bank, bool chunk) {
    return *std::find_if(std::begin(kKinds), std::end(kKinds),
                         [&](const PresetKind& kind) { return kind.bank == bank && kind.chunk == chunk; });
}

std::string codeText(VstInt32 code) {
    std::string text;
    for (int shift = 24; shift >= 0; shift -= 8) {
        const auto c = static_cast<char>((static_cast<std::uint32_t>(code) >> shift) & 0xFF);
        if (c < 0x20 || c > 0x7E) {
            return format("0x%08X", static_cast<unsigned>(code));
        }
        text += c;
    }
    return "'" + text + "'";
}

// The bytes read front to back; nothing is taken from them before its
// length has been checked against what is left.
class Reader {
public:
    Reader(const unsigned char* data, std::size_t size) : data_(data), size_(size) {}

    std::size_t at() const { return at_; }
    std::size_t left() const { return size_ - at_; }

    void need(std::size_t count, const char* what) const {
        if (count > left()) {
            throw PresetFileProblem(
                format("%s at byte %zu needs %zu bytes, but the file ends at byte %zu: it is cut "
                       "short",
                       what, at_, count, size_));
        }
    }
    std::int32_t integer(const char* what) {
        need(4, what);
        std::uint32_t value = 0;
        for (int i = 0; i < 4; ++i) {
            value = (value << 8) | data_[at_++];
        }
        return static_cast<std::int32_t>(value);
    }
    float real(const char* what) {
        const auto bits = static_cast<std::uint32_t>(integer(what));
        float value;
        std::memcpy(&value, &bits, sizeof value);
        return value;
    }
    std::string name() {
        need(kPresetNameBytes, "the program name");
        const auto* first = reinterpret_cast<const char*>(data_ + at_);
        at_ += kPresetNameBytes;
        return std::string(first, std::find(first, first + kPresetNameBytes, '\0'));
    }
    std::vector<unsigned char> bytes(std::size_t count, const char* what) {
        need(count, what);
        std::vector<unsigned char> result(data_ + at_, data_ + at_ + count);
        at_ += count;
        return result;
    }
    void skip(std::size_t count, const char* what) {
        need(count, what);
        at_ += count;
    }

private:
    const unsigned char* data_;
    std::size_t size_;
    std::size_t at_ = 0;
};

struct Header {
    const PresetKind& kind;
    VstInt32 version;
};

// 'CcnK', the byte size (not relied on), the kind and its format version.
Header header(Reader& in) {
    const std::size_t start = in.at();
    const VstInt32 magic = in.integer("the file's first four bytes");
    if (magic != kChunkMagic) {
        throw PresetFileProblem(
            format("the record at byte %zu starts with %s, not 'CcnK': it is no program or bank "
                   "file of the plug-in interface",
                   start, codeText(magic).c_str()));
    }
    in.integer("the byte size");
    const VstInt32 magicOfKind = in.integer("the kind of contents");
    const auto kind = std::find_if(std::begin(kKinds), std::end(kKinds),
                                   [&](const PresetKind& entry) { return entry.magic == magicOfKind; });
    if (kind == std::end(kKinds)) {
        throw PresetFileProblem(format("the record at byte %zu holds %s, none of 'FxCk', 'FPCh', 'FxBk' and 'FBCh'",
                                       start, codeText(magicOfKind).c_str()));
    }
    const VstInt32 version = in.integer("the format version");
    if (version < 1 || version > kind->newestVersion) {
        throw PresetFileProblem(
            format("the record at byte %zu is of format version %d, which plughost does not know "
                   "(%s files have versions 1%s)",
                   start, version, codeText(kind->magic).c_str(), kind->newestVersion == 2 ? " and 2" : ""));
    }
    return {*kind, version};
}

// A count or a size, which may not be negative nor promise more than
// `unit`-byte items in what is left.
std::size_t count(Reader& in, const char* what, std::size_t unit) {
    const std::size_t at = in.at();
    const VstInt32 value = in.integer(what);
    if (value < 0) {
        throw PresetFileProblem(format("%s at byte %zu is negative (%d)", what, at, value));
    }
    if (static_cast<std::size_t>(value) > in.left() / unit) {
        throw PresetFileProblem(format("%s at byte %zu promises %d, but only %zu bytes follow: the file is cut short",
                                       what, at, value, in.left()));
    }
    return static_cast<std::size_t>(value);
}

std::vector<unsigned char> chunk(Reader& in) {
    return in.bytes(count(in, "the chunk size", 1), "the chunk");
}

ProgramPreset program(Reader& in, const PresetKind& kind) {
    ProgramPreset result;
    result.isChunk = kind.chunk;
    result.pluginId = in.integer("the plug-in id");
    result.pluginVersion = in.integer("the plug-in version");
    const std::size_t parameterCountAt = in.at();
    result.parameterCount = in.integer("the parameter count");
    result.name = in.name();
    if (kind.chunk) {
        result.chunk = chunk(in);
        return result;
    }
    if (result.parameterCount < 0) {
        throw PresetFileProblem(
            format("the parameter count at byte %zu is negative (%d)", parameterCountAt, result.parameterCount));
    }
    in.need(4 * static_cast<std::size_t>(result.parameterCount), "the parameter values");
    for (VstInt32 index = 0; index < result.parameterCount; ++index) {
        const std::size_t at = in.at();
        const float value = in.real("a parameter value");
        if (!std::isfinite(value)) {
            throw PresetFileProblem(
                format("parameter value %d at byte %zu is %s", index, at, std::isnan(value) ? "NaN" : "infinite"));
        }
        result.values.push_back(value);
    }
    return result;
}

BankPreset bank(Reader& in, const PresetKind& kind, VstInt32 version) {
    BankPreset result;
    result.isChunk = kind.chunk;
    result.pluginId = in.integer("the plug-in id");
    result.pluginVersion = in.integer("the plug-in version");
    const VstInt32 programCount = in.integer("the program count");
    const VstInt32 current = in.integer("the current program");
    in.skip(kReservedBankBytes, "the bank header's reserved bytes");
    result.programCount = programCount;
    if (version >= 2 && current >= 0 && current < programCount) {
        result.currentProgram = current;
    }
    if (kind.chunk) {
        result.chunk = chunk(in);
        return result;
    }
    if (programCount < 0 || static_cast<std::size_t>(programCount) > in.left() / kProgramHeaderBytes) {
        throw PresetFileProblem(
            format("the bank promises %d programs, but only %zu bytes follow its header", programCount, in.left()));
    }
    for (VstInt32 index = 0; index < programCount; ++index) {
        const std::size_t at = in.at();
        const Header record = header(in);
        if (record.kind.bank) {
            throw PresetFileProblem(format("program %d at byte %zu is a bank, not a program", index, at));
        }
        result.programs.push_back(program(in, record.kind));
    }
    return result;
}

class Writer {
public:
    void integer(VstInt32 value) {
        const auto bits = static_cast<std::uint32_t>(value);
        for (int shift = 24; shift >= 0; shift -= 8) {
            bytes_.push_back(static_cast<unsigned char>((bits >> shift) & 0xFF));
        }
    }
    void real(float value) {
        std::uint32_t bits;
        std::memcpy(&bits, &value, sizeof bits);
        integer(static_cast<VstInt32>(bits));
    }
    void name(const std::string& text) {
        const std::size_t length = std::min(text.size(), kPresetNameBytes - 1);
        bytes_.insert(bytes_.end(), text.begin(), text.begin() + static_cast<std::ptrdiff_t>(length));
        bytes_.insert(bytes_.end(), kPresetNameBytes - length, 0);
    }
    void zeros(std::size_t count) { bytes_.insert(bytes_.end(), count, 0); }
    void chunk(const std::vector<unsigned char>& data) {
        integer(static_cast<VstInt32>(data.size()));
        bytes_.insert(bytes_.end(), data.begin(), data.end());
    }
    void append(const std::vector<unsigned char>& data) { bytes_.insert(bytes_.end(), data.begin(), data.end()); }
    // 'CcnK' and a byte size filled in by finish().
    void header(const PresetKind& kind, VstInt32 version) {
        start_ = bytes_.size();
        integer(kChunkMagic);
        integer(0);
        integer(kind.magic);
        integer(version);
    }
    std::vector<unsigned char> finish() {
        const auto size = static_cast<std::uint32_t>(bytes_.size() - start_ - 8);
        for (int i = 0; i < 4; ++i) {
            bytes_[start_ + 4 + static_cast<std::size_t>(i)] =
                static_cast<unsigned char>((size >> (24 - 8 * i)) & 0xFF);
        }
        return std::move(bytes_);
    }

private:
    std::vector<unsigned char> bytes_;
    std::size_t start_ = 0;
};

}  // namespace

PresetFile parsePresetFile(const unsigned char* bytes, std::size_t size) {
    if (size > kLargestPresetFileBytes) {
        throw PresetFileProblem(
            format("it holds %zu bytes, more than the %zu MB plughost reads", size, kLargestPresetFileBytes >> 20));
    }
    Reader in(bytes, size);
    const Header first = header(in);
    if (!first.kind.bank) {
        return program(in, first.kind);
    }
    return bank(in, first.kind, first.version);
}

std::vector<unsigned char> encodeProgram(const ProgramPreset& program) {
    Writer out;
    out.header(kindFor(false, program.isChunk), 1);
    out.integer(program.pluginId);
    out.integer(program.pluginVersion);
    out.integer(program.isChunk ? program.parameterCount : static_cast<VstInt32>(program.values.size()));
    out.name(program.name);
    if (program.isChunk) {
        out.chunk(program.chunk);
    } else {
        for (float value : program.values) {
            out.real(value);
        }
    }
    return out.finish();
}

std::vector<unsigned char> encodeBank(const BankPreset& bank) {
    Writer out;
    out.header(kindFor(true, bank.isChunk), bank.currentProgram ? 2 : 1);
    out.integer(bank.pluginId);
    out.integer(bank.pluginVersion);
    out.integer(bank.isChunk ? bank.programCount : static_cast<VstInt32>(bank.programs.size()));
    out.integer(bank.currentProgram.value_or(0));
    out.zeros(kReservedBankBytes);
    if (bank.isChunk) {
        out.chunk(bank.chunk);
    } else {
        for (const ProgramPreset& program : bank.programs) {
            out.append(encodeProgram(program));
        }
    }
    return out.finish();
}

PresetFile readPresetFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary | std::ios::ate);
    if (!in) {
        throw FileError("cannot read preset file " + path + ": it does not exist or cannot be read");
    }
    const std::streamoff size = in.tellg();
    if (size < 0 || static_cast<std::uint64_t>(size) > kLargestPresetFileBytes) {
        throw FileError(format("cannot read preset file %s: it is larger than %zu MB, more than any plug-in's state",
                               path.c_str(), kLargestPresetFileBytes >> 20));
    }
    std::vector<unsigned char> bytes(static_cast<std::size_t>(size));
    in.seekg(0);
    in.read(reinterpret_cast<char*>(bytes.data()), size);
    if (in.gcount() != size) {
        throw FileError("cannot read preset file " + path + ": reading it failed");
    }
    try {
        return parsePresetFile(bytes.data(), bytes.size());
    } catch (const PresetFileProblem& problem) {
        throw FileError("cannot read preset file " + path + ": " + problem.what());
    }
}

std::string describePreset(const PresetFile& preset) {
    if (const auto* program = std::get_if<ProgramPreset>(&preset)) {
        const std::string name = program->name.empty() ? "" : ", \"" + printable(program->name) + "\"";
        return (program->isChunk ? format("a program chunk of %zu bytes", program->chunk.size())
                                 : format("a program of %zu parameter values", program->values.size())) +
               name;
    }
    const auto& bank = std::get<BankPreset>(preset);
    return bank.isChunk ? format("a bank chunk of %zu bytes", bank.chunk.size())
                        : format("a bank of %zu program%s", bank.programs.size(), bank.programs.size() == 1 ? "" : "s");
}
