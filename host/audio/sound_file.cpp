#include "audio/sound_file.h"

#include <sndfile.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>

#include "support/host_error.h"

namespace {

namespace fs = std::filesystem;

// The temporary file being written, for the interrupt handler: Ctrl-C during
// a long render must not leave it behind. One writer at a time.
char pendingTemporary[4096];

extern "C" void removePendingAndDie(int signalNumber) {
    if (pendingTemporary[0] != '\0') {
        unlink(pendingTemporary);
    }
    std::signal(signalNumber, SIG_DFL);
    std::raise(signalNumber);
}

void announcePending(const std::string& path) {
    static const bool installed = [] {
        std::signal(SIGINT, removePendingAndDie);
        std::signal(SIGTERM, removePendingAndDie);
        std::signal(SIGHUP, removePendingAndDie);
        return true;
    }();
    (void)installed;
    pendingTemporary[0] = '\0';
    if (path.size() < sizeof pendingTemporary) {
        std::memcpy(pendingTemporary, path.c_str(), path.size() + 1);
    }
}

// Containers whose samples libsndfile hands out as they are stored.
constexpr int kUncompressedContainers[] = {SF_FORMAT_WAV,  SF_FORMAT_WAVEX, SF_FORMAT_W64,
                                           SF_FORMAT_RF64, SF_FORMAT_AIFF,  SF_FORMAT_CAF};

std::string temporaryBeside(const std::string& path) {
    const fs::path target(path);
    const std::string name = "." + target.filename().string() + ".plughost-" + std::to_string(getpid()) + ".part";
    return (target.parent_path() / name).string();
}

}  // namespace

SoundFileReader::SoundFileReader(const std::string& path) : path_(path) {
    SF_INFO info{};
    if (path == kStandardInput) {
        file_ = sf_open_fd(STDIN_FILENO, SFM_READ, &info, SF_FALSE);
        path_ = "standard input";
    } else {
        if (fs::is_directory(path)) {
            throw FileError("cannot read audio file " + path + ": it is a directory");
        }
        file_ = sf_open(path.c_str(), SFM_READ, &info);
    }
    if (file_ == nullptr) {
        throw FileError("cannot read audio file " + path_ + ": " + sf_strerror(nullptr));
    }
    if (info.channels <= 0 || info.samplerate <= 0) {
        sf_close(file_);
        throw FileError("audio file " + path_ + " has no channels or no sample rate");
    }
    channels_ = info.channels;
    sampleRate_ = info.samplerate;
    format_.value = info.format;
    // A stream's header may claim any length (0xFFFFFFFF bytes, say): only a
    // seekable file's frame count is trusted, and only for progress.
    if (info.seekable && info.frames >= 0) {
        frames_ = static_cast<std::size_t>(info.frames);
    }
    const int container = info.format & SF_FORMAT_TYPEMASK;
    const int encoding = info.format & SF_FORMAT_SUBMASK;
    const bool asStored = std::find(std::begin(kUncompressedContainers), std::end(kUncompressedContainers),
                                    container) != std::end(kUncompressedContainers) &&
                          sf_command(file_, SFC_RAW_DATA_NEEDS_ENDSWAP, nullptr, 0) == SF_FALSE;
    if (asStored && (encoding == SF_FORMAT_PCM_16 || encoding == SF_FORMAT_PCM_24 || encoding == SF_FORMAT_FLOAT)) {
        stored_ = encoding == SF_FORMAT_PCM_16   ? StoredSamples::Pcm16
                  : encoding == SF_FORMAT_PCM_24 ? StoredSamples::Pcm24
                                                 : StoredSamples::Float;
        frameBytes_ = storedSampleBytes(*stored_) * static_cast<std::size_t>(channels_);
    }
}

SoundFileReader::~SoundFileReader() {
    if (file_ != nullptr) {
        sf_close(file_);
    }
}

// Reads the next chunk into the buffer; returns its frames, 0 at the end.
std::size_t SoundFileReader::fill() {
    if (!stored_) {
        interleaved_.resize(kFileChunkFrames * static_cast<std::size_t>(channels_));
        const sf_count_t got = sf_readf_float(file_, interleaved_.data(), static_cast<sf_count_t>(kFileChunkFrames));
        if (got < 0 || (got == 0 && sf_error(file_) != SF_ERR_NO_ERROR)) {
            throw FileError("cannot read audio file " + path_ + ": " + sf_strerror(file_));
        }
        return static_cast<std::size_t>(got);
    }
    // The bytes of a partial frame left over from the last read (a pipe may
    // stop short of one) move to the front; a partial frame at the end is
    // dropped, as libsndfile drops it. The padding lets the last 24-bit
    // sample be loaded as four bytes.
    const std::size_t chunkBytes = kFileChunkFrames * frameBytes_;
    const std::size_t consumed = next_ * frameBytes_;
    interleaved_.resize((chunkBytes + sizeof(std::uint32_t)) / sizeof(float) + 1);
    auto* bytes = reinterpret_cast<unsigned char*>(interleaved_.data());
    std::memmove(bytes, bytes + consumed, storedBytes_ - consumed);
    storedBytes_ -= consumed;
    next_ = 0;
    while (storedBytes_ < frameBytes_) {
        const sf_count_t got =
            sf_read_raw(file_, bytes + storedBytes_, static_cast<sf_count_t>(chunkBytes - storedBytes_));
        if (got < 0 || (got == 0 && sf_error(file_) != SF_ERR_NO_ERROR)) {
            throw FileError("cannot read audio file " + path_ + ": " + sf_strerror(file_));
        }
        if (got == 0) {
            return 0;
        }
        storedBytes_ += static_cast<std::size_t>(got);
    }
    return storedBytes_ / frameBytes_;
}

std::size_t SoundFileReader::read(float* const* channels, std::size_t frames) {
    const auto width = static_cast<std::size_t>(channels_);
    std::size_t done = 0;
    while (done < frames) {
        if (buffered_ == 0) {
            const std::size_t got = fill();
            if (got == 0) {
                break;
            }
            buffered_ = got;
            next_ = 0;
        }
        const std::size_t count = std::min(frames - done, buffered_);
        if (stored_) {
            const auto* bytes = reinterpret_cast<const unsigned char*>(interleaved_.data()) + next_ * frameBytes_;
            splitStored(*stored_, bytes, count, width, channels, done);
        } else {
            split(interleaved_.data() + next_ * width, count, width, channels, done);
        }
        done += count;
        next_ += count;
        buffered_ -= count;
    }
    return done;
}

SoundFileWriter::SoundFileWriter(const std::string& path, AudioFileFormat format, int channels, int sampleRate)
    : path_(path), temporary_(temporaryBeside(path)), channels_(channels) {
    SF_INFO info{};
    info.samplerate = sampleRate;
    info.channels = channels;
    info.format = format.value;
    announcePending(temporary_);
    file_ = sf_open(temporary_.c_str(), SFM_WRITE, &info);
    if (file_ == nullptr) {
        const std::string why = sf_strerror(nullptr);
        pendingTemporary[0] = '\0';
        std::remove(temporary_.c_str());
        throw FileError("cannot write audio file " + path + " (in its folder, as " + temporary_ + "): " + why);
    }
    // Integer encodings saturate rather than wrap around; the render reports
    // the clipping (or refuses it) before the file is kept.
    sf_command(file_, SFC_SET_CLIPPING, nullptr, SF_TRUE);
    // A file of 32-bit floats in this machine's byte order takes the
    // samples as they are, without libsndfile's conversion pass.
    rawFloat_ = (format.value & SF_FORMAT_SUBMASK) == SF_FORMAT_FLOAT &&
                sf_command(file_, SFC_RAW_DATA_NEEDS_ENDSWAP, nullptr, 0) == SF_FALSE;
}

SoundFileWriter::~SoundFileWriter() {
    discard();
}

void SoundFileWriter::write(const float* const* channels, std::size_t frames) {
    const auto width = static_cast<std::size_t>(channels_);
    interleaved_.resize(kFileChunkFrames * width);
    for (std::size_t done = 0; done < frames;) {
        const std::size_t count = std::min(frames - done, kFileChunkFrames - buffered_);
        interleave(channels, width, done, count, interleaved_.data() + buffered_ * width);
        done += count;
        buffered_ += count;
        if (buffered_ == kFileChunkFrames) {
            flush();
        }
    }
}

void SoundFileWriter::flush() {
    if (buffered_ == 0) {
        return;
    }
    bool written = false;
    if (rawFloat_) {
        const auto bytes = static_cast<sf_count_t>(buffered_ * static_cast<std::size_t>(channels_) * sizeof(float));
        written = sf_write_raw(file_, interleaved_.data(), bytes) == bytes;
    } else {
        written = sf_writef_float(file_, interleaved_.data(), static_cast<sf_count_t>(buffered_)) ==
                  static_cast<sf_count_t>(buffered_);
    }
    if (!written) {
        throw FileError("cannot write audio file " + path_ + ": " + sf_strerror(file_));
    }
    buffered_ = 0;
}

void SoundFileWriter::commit() {
    flush();
    SNDFILE* file = file_;
    file_ = nullptr;
    if (sf_close(file) != 0) {
        discard();
        throw FileError("cannot finish audio file " + path_ + ": the last of it could not be written");
    }
    std::error_code error;
    fs::rename(temporary_, path_, error);
    if (error) {
        discard();
        throw FileError("cannot put the finished file in place as " + path_ + ": " + error.message());
    }
    temporary_.clear();
    pendingTemporary[0] = '\0';
}

void SoundFileWriter::discard() {
    if (file_ != nullptr) {
        sf_close(file_);
        file_ = nullptr;
    }
    if (!temporary_.empty()) {
        std::remove(temporary_.c_str());
        temporary_.clear();
        pendingTemporary[0] = '\0';
    }
}
