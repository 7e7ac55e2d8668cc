#include "audio/audio_file.h"

#include <sndfile.h>

#include <algorithm>
#include <cctype>
#include <vector>

#include "support/host_error.h"

namespace {

struct ContainerName {
    const char* extension;
    int container;
    const char* name;
};

constexpr ContainerName kContainers[] = {
    {".wav", SF_FORMAT_WAV, "WAV"},
    {".aif", SF_FORMAT_AIFF, "AIFF"},
    {".aiff", SF_FORMAT_AIFF, "AIFF"},
    {".flac", SF_FORMAT_FLAC, "FLAC"},
};

struct EncodingName {
    int encoding;
    const char* name;
};

constexpr EncodingName kEncodings[] = {
    {SF_FORMAT_PCM_S8, "8-bit PCM"},    {SF_FORMAT_PCM_U8, "8-bit PCM"},  {SF_FORMAT_PCM_16, "16-bit PCM"},
    {SF_FORMAT_PCM_24, "24-bit PCM"},   {SF_FORMAT_PCM_32, "32-bit PCM"}, {SF_FORMAT_FLOAT, "32-bit float"},
    {SF_FORMAT_DOUBLE, "64-bit float"},
};

std::string lowercaseExtension(const std::string& path) {
    const auto slash = path.find_last_of("/\\");
    const auto dot = path.find_last_of('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) {
        return "";
    }
    std::string extension = path.substr(dot);
    std::transform(extension.begin(), extension.end(), extension.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return extension;
}

class SoundFile {
public:
    SoundFile(const std::string& path, int mode, SF_INFO& info) : file_(sf_open(path.c_str(), mode, &info)) {}
    ~SoundFile() {
        if (file_ != nullptr) {
            sf_close(file_);
        }
    }
    SoundFile(const SoundFile&) = delete;
    SoundFile& operator=(const SoundFile&) = delete;
    SNDFILE* get() const { return file_; }

private:
    SNDFILE* file_;
};

}  // namespace

std::string AudioFileFormat::describe() const {
    std::string container = "audio";
    for (const ContainerName& entry : kContainers) {
        if ((value & SF_FORMAT_TYPEMASK) == entry.container) {
            container = entry.name;
        }
    }
    for (const EncodingName& entry : kEncodings) {
        if ((value & SF_FORMAT_SUBMASK) == entry.encoding) {
            return container + " " + entry.name;
        }
    }
    return container;
}

LoadedAudio readAudioFile(const std::string& path) {
    SF_INFO info{};
    SoundFile file(path, SFM_READ, info);
    if (file.get() == nullptr) {
        throw FileError("cannot read audio file " + path + ": " + sf_strerror(nullptr));
    }
    if (info.channels <= 0 || info.samplerate <= 0) {
        throw FileError("audio file " + path + " has no channels or no sample rate");
    }
    const auto frames = static_cast<std::size_t>(info.frames);
    const auto channels = static_cast<std::size_t>(info.channels);
    std::vector<float> interleaved(frames * channels);
    const sf_count_t got = sf_readf_float(file.get(), interleaved.data(), info.frames);
    if (got < 0) {
        throw FileError("cannot read audio file " + path + ": " + sf_strerror(file.get()));
    }
    LoadedAudio loaded;
    loaded.format.value = info.format;
    loaded.buffer = AudioBuffer(info.channels, static_cast<std::size_t>(got), info.samplerate);
    for (std::size_t frame = 0; frame < static_cast<std::size_t>(got); ++frame) {
        for (std::size_t channel = 0; channel < channels; ++channel) {
            loaded.buffer.channels[channel][frame] = interleaved[frame * channels + channel];
        }
    }
    return loaded;
}

void writeAudioFile(const std::string& path, const AudioBuffer& buffer, AudioFileFormat format) {
    SF_INFO info{};
    info.samplerate = static_cast<int>(buffer.sampleRate);
    info.channels = buffer.channelCount();
    info.format = format.value;
    if (info.channels <= 0) {
        throw FileError("nothing to write to " + path + ": the plug-in has no outputs");
    }
    if (!sf_format_check(&info)) {
        throw FileError("cannot write " + format.describe() + " with " + std::to_string(info.channels) +
                        " channels at " + std::to_string(info.samplerate) + " Hz to " + path);
    }
    SoundFile file(path, SFM_WRITE, info);
    if (file.get() == nullptr) {
        throw FileError("cannot write audio file " + path + ": " + sf_strerror(nullptr));
    }
    sf_command(file.get(), SFC_SET_CLIPPING, nullptr, SF_TRUE);
    const std::size_t frames = buffer.frameCount();
    const auto channels = static_cast<std::size_t>(info.channels);
    std::vector<float> interleaved(frames * channels);
    for (std::size_t frame = 0; frame < frames; ++frame) {
        for (std::size_t channel = 0; channel < channels; ++channel) {
            interleaved[frame * channels + channel] = buffer.channels[channel][frame];
        }
    }
    if (sf_writef_float(file.get(), interleaved.data(), static_cast<sf_count_t>(frames)) !=
        static_cast<sf_count_t>(frames)) {
        throw FileError("cannot write audio file " + path + ": " + sf_strerror(file.get()));
    }
}

AudioFileFormat chooseOutputFormat(const std::string& outputPath, const AudioFileFormat* input, bool wantFloat) {
    int container = 0;
    const std::string extension = lowercaseExtension(outputPath);
    for (const ContainerName& entry : kContainers) {
        if (extension == entry.extension) {
            container = entry.container;
        }
    }
    if (container == 0) {
        container = input != nullptr ? (input->value & SF_FORMAT_TYPEMASK) : SF_FORMAT_WAV;
    }
    int encoding = SF_FORMAT_FLOAT;
    if (input != nullptr && !wantFloat) {
        encoding = input->value & SF_FORMAT_SUBMASK;
    }
    if (container == SF_FORMAT_FLAC && encoding == SF_FORMAT_FLOAT) {
        if (wantFloat) {
            throw FileError("FLAC cannot hold 32-bit float samples: choose a .wav or .aiff output for --float");
        }
        encoding = SF_FORMAT_PCM_24;
    }
    SF_INFO probe{};
    probe.samplerate = 44100;
    probe.channels = 2;
    probe.format = container | encoding;
    if (!sf_format_check(&probe)) {
        encoding = SF_FORMAT_PCM_24;
    }
    return AudioFileFormat{container | encoding};
}
