#include "audio/output_format.h"

#include <sndfile.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <vector>

#include "support/host_error.h"

namespace {

// Extensions that libsndfile's own list does not give, or gives to more than
// one container; an encoding of 0 means "choose as for any container".
struct ExtensionAlias {
    const char* extension;
    int container;
    int encoding;
};

constexpr ExtensionAlias kAliases[] = {
    {"wav", SF_FORMAT_WAV, 0},
    {"aif", SF_FORMAT_AIFF, 0},
    {"snd", SF_FORMAT_AU, 0},
    {"svx", SF_FORMAT_SVX, 0},
    {"ogg", SF_FORMAT_OGG, SF_FORMAT_VORBIS},
    {"oga", SF_FORMAT_OGG, SF_FORMAT_VORBIS},
    {"opus", SF_FORMAT_OGG, SF_FORMAT_OPUS},
    {"mp3", SF_FORMAT_MPEG, SF_FORMAT_MPEG_LAYER_III},
};

struct DepthEncoding {
    BitDepth depth;
    const char* word;
    const char* samples;
    int integerBits;   // 0 for floats
    int encodings[2];  // the first the container takes is used
};

constexpr DepthEncoding kDepths[] = {
    {BitDepth::Int8, "8", "8-bit integer", 8, {SF_FORMAT_PCM_S8, SF_FORMAT_PCM_U8}},
    {BitDepth::Int16, "16", "16-bit integer", 16, {SF_FORMAT_PCM_16, 0}},
    {BitDepth::Int24, "24", "24-bit integer", 24, {SF_FORMAT_PCM_24, 0}},
    {BitDepth::Int32, "32", "32-bit integer", 32, {SF_FORMAT_PCM_32, 0}},
    {BitDepth::Float, "float", "32-bit float", 0, {SF_FORMAT_FLOAT, 0}},
    {BitDepth::Double, "double", "64-bit float", 0, {SF_FORMAT_DOUBLE, 0}},
};

// Without --bit-depth: float first, so that nothing clips; then the widest
// integers for containers without float; any other encoding last.
constexpr int kDefaultEncodings[] = {SF_FORMAT_FLOAT, SF_FORMAT_PCM_24, SF_FORMAT_PCM_16, SF_FORMAT_PCM_S8,
                                     SF_FORMAT_PCM_U8};

// Sample rates that a codec takes, where libsndfile's format check accepts
// more than the codec then does: a range, or (when `listed` starts with a
// rate) only the rates listed. Encoding 0: every encoding of the container.
struct CodecRates {
    int container;
    int encoding;
    int lowest;
    int highest;
    int listed[9];
};

constexpr CodecRates kCodecRates[] = {
    {SF_FORMAT_FLAC, 0, 1, 655350, {}},
    {SF_FORMAT_OGG, SF_FORMAT_VORBIS, 1, 200000, {}},
    {SF_FORMAT_OGG, SF_FORMAT_OPUS, 0, 0, {8000, 12000, 16000, 24000, 48000}},
    {SF_FORMAT_MPEG, SF_FORMAT_MPEG_LAYER_III, 0, 0, {8000, 11025, 12000, 16000, 22050, 24000, 32000, 44100, 48000}},
};

// Containers suggested when the chosen one cannot hold the channels or rate.
constexpr const char* kRoomyContainers[] = {"wav", "w64", "rf64", "caf", "aiff", "flac"};

std::string lowercase(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

std::string formatName(int format) {
    SF_FORMAT_INFO info{};
    info.format = format;
    if (sf_command(nullptr, SFC_GET_FORMAT_INFO, &info, sizeof info) != 0 || info.name == nullptr) {
        return "unknown";
    }
    // "WAV (Microsoft)" -> "WAV"
    const std::string name = info.name;
    const auto bracket = name.find(" (");
    return bracket == std::string::npos ? name : name.substr(0, bracket);
}

int count(int command) {
    int value = 0;
    sf_command(nullptr, command, &value, sizeof value);
    return value;
}

SF_FORMAT_INFO listed(int command, int index) {
    SF_FORMAT_INFO info{};
    info.format = index;
    sf_command(nullptr, command, &info, sizeof info);
    return info;
}

// The container for an extension, and the encoding it implies (0 for none).
std::optional<ExtensionAlias> containerFor(const std::string& extension) {
    for (const ExtensionAlias& alias : kAliases) {
        if (extension == alias.extension) {
            return alias;
        }
    }
    const int majors = count(SFC_GET_FORMAT_MAJOR_COUNT);
    for (int index = 0; index < majors; ++index) {
        const SF_FORMAT_INFO info = listed(SFC_GET_FORMAT_MAJOR, index);
        if (info.extension != nullptr && extension == info.extension) {
            return ExtensionAlias{nullptr, info.format, 0};
        }
    }
    return std::nullopt;
}

bool accepts(int format, int channels, int sampleRate) {
    SF_INFO probe{};
    probe.format = format;
    probe.channels = channels;
    probe.samplerate = sampleRate;
    return sf_format_check(&probe) != 0;
}

// The first encoding (from the preferences, then libsndfile's list) that the
// container takes at this channel count and rate; 0 when none.
int defaultEncoding(int container, int channels, int sampleRate) {
    for (int encoding : kDefaultEncodings) {
        if (accepts(container | encoding, channels, sampleRate)) {
            return encoding;
        }
    }
    const int subtypes = count(SFC_GET_FORMAT_SUBTYPE_COUNT);
    for (int index = 0; index < subtypes; ++index) {
        const int encoding = listed(SFC_GET_FORMAT_SUBTYPE, index).format;
        if (accepts(container | encoding, channels, sampleRate)) {
            return encoding;
        }
    }
    return 0;
}

const CodecRates* codecRatesOf(int format) {
    for (const CodecRates& entry : kCodecRates) {
        if ((format & SF_FORMAT_TYPEMASK) == entry.container &&
            (entry.encoding == 0 || (format & SF_FORMAT_SUBMASK) == entry.encoding)) {
            return &entry;
        }
    }
    return nullptr;
}

bool codecTakes(const CodecRates& rates, int sampleRate) {
    if (rates.listed[0] == 0) {
        return sampleRate >= rates.lowest && sampleRate <= rates.highest;
    }
    return std::find(std::begin(rates.listed), std::end(rates.listed), sampleRate) != std::end(rates.listed);
}

// "8000, 12000, 16000, 24000 or 48000 Hz", "up to 655350 Hz"
std::string ratesText(const CodecRates& rates) {
    if (rates.listed[0] == 0) {
        return (rates.lowest <= 1 ? "up to " : std::to_string(rates.lowest) + " to ") + std::to_string(rates.highest) +
               " Hz";
    }
    std::string text;
    const int* end = std::find(std::begin(rates.listed), std::end(rates.listed), 0);
    for (const int* rate = std::begin(rates.listed); rate != end; ++rate) {
        text += rate == std::begin(rates.listed) ? "" : rate + 1 == end ? " or " : ", ";
        text += std::to_string(*rate);
    }
    return text + " Hz";
}

// The common rate to suggest for --output-rate: the lowest the codec takes
// at or above `sampleRate`, else the highest it takes.
constexpr int kCommonRates[] = {8000,  11025, 12000, 16000,  22050,  24000,  32000, 44100,
                                48000, 88200, 96000, 176400, 192000, 352800, 384000};

int suggestedRate(const CodecRates& rates, int sampleRate) {
    int highest = 0;
    for (int rate : kCommonRates) {
        if (codecTakes(rates, rate)) {
            if (rate >= sampleRate) {
                return rate;
            }
            highest = rate;
        }
    }
    return highest;
}

std::string roomierContainers(int channels, int sampleRate) {
    std::string names;
    for (const char* extension : kRoomyContainers) {
        const auto container = containerFor(extension);
        const int encoding = container ? defaultEncoding(container->container, channels, sampleRate) : 0;
        const CodecRates* rates = codecRatesOf(container ? container->container | encoding : 0);
        if (encoding != 0 && (rates == nullptr || codecTakes(*rates, sampleRate))) {
            names += (names.empty() ? "." : ", .") + std::string(extension);
        }
    }
    return names;
}

}  // namespace

std::string AudioFileFormat::describe() const {
    return formatName(value & SF_FORMAT_TYPEMASK) + ", " + formatName(value & SF_FORMAT_SUBMASK);
}

bool AudioFileFormat::keepsBeyondFullScale() const {
    const int encoding = value & SF_FORMAT_SUBMASK;
    return encoding == SF_FORMAT_FLOAT || encoding == SF_FORMAT_DOUBLE;
}

bool AudioFileFormat::containerTakesFloat(int channels, int sampleRate) const {
    return accepts((value & SF_FORMAT_TYPEMASK) | SF_FORMAT_FLOAT, channels, sampleRate);
}

int AudioFileFormat::integerBits() const {
    const int encoding = value & SF_FORMAT_SUBMASK;
    for (const DepthEncoding& entry : kDepths) {
        if (encoding == 0) {
            break;
        }
        if (entry.encodings[0] == encoding || entry.encodings[1] == encoding) {
            return entry.integerBits;
        }
    }
    return 0;
}

std::optional<BitDepth> parseBitDepth(const std::string& text) {
    for (const DepthEncoding& entry : kDepths) {
        if (lowercase(text) == entry.word) {
            return entry.depth;
        }
    }
    return std::nullopt;
}

std::string writableExtensions() {
    std::vector<std::string> extensions;
    for (const ExtensionAlias& alias : kAliases) {
        extensions.emplace_back(alias.extension);
    }
    const int majors = count(SFC_GET_FORMAT_MAJOR_COUNT);
    for (int index = 0; index < majors; ++index) {
        const SF_FORMAT_INFO info = listed(SFC_GET_FORMAT_MAJOR, index);
        if (info.extension != nullptr &&
            std::find(extensions.begin(), extensions.end(), info.extension) == extensions.end()) {
            extensions.emplace_back(info.extension);
        }
    }
    std::string list;
    for (const std::string& extension : extensions) {
        list += (list.empty() ? "" : ", ") + extension;
    }
    return list;
}

AudioFileFormat chooseOutputFormat(const std::string& path, BitDepth depth, int channels, int sampleRate) {
    std::string extension = lowercase(std::filesystem::path(path).extension().string());
    if (extension.empty()) {
        throw UsageError("cannot tell the format of " + path +
                         " from its name: give it an extension such as .wav or .flac");
    }
    return chooseFormatFor(extension.erase(0, 1), path, depth, channels, sampleRate);
}

AudioFileFormat chooseFormatFor(const std::string& givenExtension, const std::string& path, BitDepth depth,
                                int channels, int sampleRate) {
    const std::string extension = lowercase(givenExtension);
    const auto container = containerFor(extension);
    if (!container) {
        throw UsageError("cannot write ." + extension +
                         " files; the output's extension chooses the format: " + writableExtensions());
    }
    const std::string containerName = formatName(container->container);
    int encoding = container->encoding;
    if (encoding != 0 && depth != BitDepth::Default) {
        throw UsageError(containerName + " files have no bit depth to choose: their codec decides (" + path + ")");
    }
    if (encoding == 0 && depth != BitDepth::Default) {
        for (const DepthEncoding& entry : kDepths) {
            if (entry.depth != depth) {
                continue;
            }
            for (int candidate : entry.encodings) {
                if (candidate != 0 && encoding == 0 && accepts(container->container | candidate, 1, 44100)) {
                    encoding = candidate;
                }
            }
            if (encoding == 0) {
                throw UsageError(containerName + " files cannot hold " + entry.samples +
                                 " samples: choose another bit depth or another container");
            }
        }
    }
    if (encoding == 0) {
        encoding = defaultEncoding(container->container, channels, sampleRate);
    }
    const AudioFileFormat format{container->container | encoding};
    if (encoding == 0 || !accepts(format.value, channels, sampleRate)) {
        const std::string roomier = roomierContainers(channels, sampleRate);
        throw UsageError(containerName + " files cannot hold " + std::to_string(channels) + " channels at " +
                         std::to_string(sampleRate) + " Hz" +
                         (encoding != 0 ? " as " + formatName(encoding) : std::string()) +
                         (roomier.empty() ? std::string() : "; these can: " + roomier) +
                         "; or write fewer of the plug-in's outputs");
    }
    if (const CodecRates* rates = codecRatesOf(format.value); rates != nullptr && !codecTakes(*rates, sampleRate)) {
        const std::string roomier = roomierContainers(channels, sampleRate);
        throw UsageError(containerName + (rates->encoding == 0 ? std::string() : " (" + formatName(encoding) + ")") +
                         " files take " + ratesText(*rates) + ", not " + std::to_string(sampleRate) +
                         " Hz: resample the output with --output-rate " +
                         std::to_string(suggestedRate(*rates, sampleRate)) +
                         (roomier.empty() ? std::string() : ", or write another container (" + roomier + ")"));
    }
    return format;
}
