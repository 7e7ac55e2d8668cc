#include "audio/sound_file.h"

#include <sndfile.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>

#include "audio/pending_output.h"
#include "audio/pipe_stream.h"
#include "audio/promised_length.h"
#include "support/descriptors.h"
#include "support/host_error.h"

namespace {

namespace fs = std::filesystem;

// Containers whose samples libsndfile hands out as they are stored.
constexpr int kUncompressedContainers[] = {SF_FORMAT_WAV,  SF_FORMAT_WAVEX, SF_FORMAT_W64,
                                           SF_FORMAT_RF64, SF_FORMAT_AIFF,  SF_FORMAT_CAF};

struct StoredEncoding {
    int encoding;
    StoredSamples coding;
};
constexpr StoredEncoding kStoredEncodings[] = {{SF_FORMAT_PCM_16, StoredSamples::Pcm16},
                                               {SF_FORMAT_PCM_24, StoredSamples::Pcm24},
                                               {SF_FORMAT_FLOAT, StoredSamples::Float}};

// Bytes per sample of the encodings whose frames have a fixed size.
struct SampleWidth {
    int encoding;
    std::size_t bytes;
};
constexpr SampleWidth kSampleWidths[] = {{SF_FORMAT_PCM_S8, 1}, {SF_FORMAT_PCM_U8, 1}, {SF_FORMAT_PCM_16, 2},
                                         {SF_FORMAT_PCM_24, 3}, {SF_FORMAT_PCM_32, 4}, {SF_FORMAT_FLOAT, 4},
                                         {SF_FORMAT_DOUBLE, 8}, {SF_FORMAT_ULAW, 1},   {SF_FORMAT_ALAW, 1}};

std::size_t bytesPerFrame(int format, int channels) {
    for (const SampleWidth& width : kSampleWidths) {
        if ((format & SF_FORMAT_SUBMASK) == width.encoding) {
            return width.bytes * static_cast<std::size_t>(channels);
        }
    }
    return 0;
}

// The samples of `format` as this machine stores them, when libsndfile
// reads and writes them unchanged.
std::optional<StoredSamples> storedAsIs(SNDFILE* file, int format) {
    const int container = format & SF_FORMAT_TYPEMASK;
    if (std::find(std::begin(kUncompressedContainers), std::end(kUncompressedContainers), container) ==
            std::end(kUncompressedContainers) ||
        sf_command(file, SFC_RAW_DATA_NEEDS_ENDSWAP, nullptr, 0) != SF_FALSE) {
        return std::nullopt;
    }
    for (const StoredEncoding& entry : kStoredEncodings) {
        if ((format & SF_FORMAT_SUBMASK) == entry.encoding) {
            return entry.coding;
        }
    }
    return std::nullopt;
}

}  // namespace

std::size_t fileChunkFrames(int channels) {
    constexpr std::size_t kFewestFrames = 256;
    return std::max(kFewestFrames,
                    std::min(kFileChunkFrames, kFileChunkSamples / static_cast<std::size_t>(std::max(channels, 1))));
}

SoundFileReader::SoundFileReader(const std::string& path) : path_(path == kStandardInput ? "standard input" : path) {
    open(path);
}

void SoundFileReader::open(const std::string& path) {
    SF_INFO info{};
    int descriptor = -1;
    if (path == kStandardInput) {
        struct stat status {};
        if (fstat(STDIN_FILENO, &status) == 0 && S_ISREG(status.st_mode)) {
            file_ = sf_open_fd(STDIN_FILENO, SFM_READ, &info, SF_FALSE);
            descriptor = STDIN_FILENO;
        } else {
            pipe_ = std::make_unique<PipeStream>(STDIN_FILENO);
            if (!pipe_->whole() && pipe_->failure().empty() && pipe_->streamsWithoutLength().empty()) {
                throw FileError(
                    "cannot read audio file standard input: longer streams than 1 MB are read from a pipe in WAV, "
                    "RF64, Wave64, AIFF, AU, CAF, FLAC, Ogg and MP3 files only; give this file's path instead");
            }
            SF_VIRTUAL_IO io = PipeStream::callbacks();
            file_ = sf_open_virtual(&io, SFM_READ, &info, pipe_.get());
        }
    } else {
        if (fs::is_directory(path)) {
            throw FileError("cannot read audio file " + path + ": it is a directory");
        }
        file_ = sf_open(path.c_str(), SFM_READ, &info);
    }
    if (file_ == nullptr) {
        const std::string reason = pipe_ && !pipe_->failure().empty() ? pipe_->failure() : sf_strerror(nullptr);
        throw FileError("cannot read audio file " + path_ + ": " + reason);
    }
    if (info.channels <= 0 || info.samplerate <= 0) {
        sf_close(file_);
        file_ = nullptr;
        throw FileError("audio file " + path_ + " has no channels or no sample rate");
    }
    channels_ = info.channels;
    chunkFrames_ = fileChunkFrames(channels_);
    sampleRate_ = info.samplerate;
    format_.value = info.format;
    // A stream's header may claim any length (0xFFFFFFFF bytes, say): only a
    // seekable file's frame count is trusted, for progress and as what is
    // there.
    if (info.seekable && !pipe_ && info.frames >= 0) {
        frames_ = static_cast<std::size_t>(info.frames);
        present_ = static_cast<std::uint64_t>(info.frames);
    }
    readPromise(path, descriptor);
    constexpr sf_count_t kImplausibleFrames = sf_count_t{1} << 50;
    if ((info.format & SF_FORMAT_TYPEMASK) == SF_FORMAT_FLAC && info.frames > 0 && info.frames < kImplausibleFrames) {
        promised_ = static_cast<std::uint64_t>(info.frames);  // the stream info block's total
    }
    stored_ = storedAsIs(file_, info.format);
    if (stored_) {
        frameBytes_ = storedSampleBytes(*stored_) * static_cast<std::size_t>(channels_);
    }
    // Floats, or stored bytes with room to load the last 24-bit sample as
    // four bytes; filled before it is read, so left uninitialised.
    const std::size_t samples = chunkFrames_ * static_cast<std::size_t>(channels_);
    interleaved_.reset(
        new float[std::max(samples, (chunkFrames_ * frameBytes_ + sizeof(std::uint32_t)) / sizeof(float) + 1)]);
}

// The header's promise, from the bytes libsndfile has read from a pipe, or
// from the file's first bytes.
void SoundFileReader::readPromise(const std::string& path, int descriptor) {
    const std::size_t frameBytes = bytesPerFrame(format_.value, channels_);
    if (pipe_) {
        promised_ = ::promisedFrames(pipe_->retained(), pipe_->retainedBytes(), frameBytes);
        return;
    }
    const int file = descriptor >= 0 ? descriptor : openToRead(path);
    if (file < 0) {
        return;
    }
    struct stat status {};
    const std::size_t size = fstat(file, &status) == 0 && status.st_size > 0
                                 ? std::min(static_cast<std::size_t>(status.st_size), kRetainedBytes)
                                 : 0;
    std::vector<unsigned char> header(size);
    const long long got = size > 0 ? readAt(file, header.data(), header.size(), 0) : 0;
    if (descriptor < 0) {
        close(file);
    }
    if (got > 0) {
        promised_ = ::promisedFrames(header.data(), static_cast<std::size_t>(got), frameBytes);
    }
}

SoundFileReader::~SoundFileReader() {
    if (file_ != nullptr) {
        sf_close(file_);
    }
}

bool SoundFileReader::endedEarly() const {
    if (!promised_) {
        return false;
    }
    // Once read to its end, what came counts; before, what libsndfile found.
    return ended_ ? delivered_ < *promised_ : present_ && *present_ < *promised_;
}

void SoundFileReader::failReading() {
    std::string reason = sf_strerror(file_);
    if (pipe_ && !pipe_->failure().empty()) {
        reason = pipe_->failure();
    }
    throw FileError("cannot read audio file " + path_ + ": " + reason);
}

// Reads the next chunk into the buffer; returns its frames, 0 at the end.
std::size_t SoundFileReader::fill() {
    if (!stored_) {
        const sf_count_t got = sf_readf_float(file_, interleaved_.get(), static_cast<sf_count_t>(chunkFrames_));
        if (got < 0 || (got == 0 && (sf_error(file_) != SF_ERR_NO_ERROR || (pipe_ && !pipe_->failure().empty())))) {
            failReading();
        }
        return static_cast<std::size_t>(got);
    }
    // The bytes of a partial frame left over from the last read (a pipe may
    // stop short of one) move to the front; a partial frame at the end is
    // dropped, as libsndfile drops it. The padding lets the last 24-bit
    // sample be loaded as four bytes.
    const std::size_t chunkBytes = chunkFrames_ * frameBytes_;
    const std::size_t consumed = next_ * frameBytes_;
    auto* bytes = reinterpret_cast<unsigned char*>(interleaved_.get());
    std::memmove(bytes, bytes + consumed, storedBytes_ - consumed);
    storedBytes_ -= consumed;
    next_ = 0;
    while (storedBytes_ < frameBytes_) {
        const sf_count_t got =
            sf_read_raw(file_, bytes + storedBytes_, static_cast<sf_count_t>(chunkBytes - storedBytes_));
        if (got < 0 || (got == 0 && (sf_error(file_) != SF_ERR_NO_ERROR || (pipe_ && !pipe_->failure().empty())))) {
            failReading();
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
            const std::size_t got = ended_ ? 0 : fill();
            if (got == 0) {
                ended_ = true;
                break;
            }
            buffered_ = got;
            next_ = 0;
        }
        const std::size_t count = std::min(frames - done, buffered_);
        if (stored_) {
            const auto* bytes = reinterpret_cast<const unsigned char*>(interleaved_.get()) + next_ * frameBytes_;
            splitStored(*stored_, bytes, count, width, channels, done);
        } else {
            split(interleaved_.get() + next_ * width, count, width, channels, done);
        }
        done += count;
        next_ += count;
        buffered_ -= count;
    }
    delivered_ += done;
    return done;
}

SoundFileWriter::SoundFileWriter(AudioFileFormat /*format*/, int channels, Dither /*dither*/)
    : channels_(channels), chunkFrames_(fileChunkFrames(channels)) {}

SoundFileWriter::SoundFileWriter(const std::string& path, AudioFileFormat format, int channels, int sampleRate,
                                 Dither dither)
    : path_(path),
      temporary_(pending_output::temporaryBeside(path)),
      channels_(channels),
      chunkFrames_(fileChunkFrames(channels)) {
    SF_INFO info{};
    info.samplerate = sampleRate;
    info.channels = channels;
    info.format = format.value;
    pending_output::removeStale(path);
    pending_output::announce(temporary_);
    file_ = sf_open(temporary_.c_str(), SFM_WRITE, &info);
    if (file_ == nullptr) {
        const std::string why = sf_strerror(nullptr);
        pending_output::clear();
        std::remove(temporary_.c_str());
        throw FileError("cannot write audio file " + path + " (in its folder, as " + temporary_ + "): " + why);
    }
    chooseEncoding(format, dither);
}

std::unique_ptr<SoundFileWriter> SoundFileWriter::toStandardOutput(AudioFileFormat format, int channels, int sampleRate,
                                                                   Dither dither) {
    std::unique_ptr<SoundFileWriter> writer(new SoundFileWriter(format, channels, dither));
    writer->path_ = "standard output";
    std::fflush(stdout);
    const int audio = privateCopy(STDOUT_FILENO);
    if (audio < 0 || dup2(STDERR_FILENO, STDOUT_FILENO) < 0) {
        throw FileError(std::string("cannot write audio to standard output: ") + std::strerror(errno));
    }
    const bool seekable = canSeek(audio);
    if ((format.value & SF_FORMAT_TYPEMASK) == SF_FORMAT_WAV && !seekable) {
        writer->stream_ = audio;
        writer->streamEncoding_ = format.value & SF_FORMAT_SUBMASK;
        if (const int bits = format.integerBits(); bits > 0) {
            writer->quantizer_.emplace(bits, dither);
        }
        const std::vector<unsigned char> header = streamedWavHeader(writer->streamEncoding_, channels, sampleRate);
        writer->emit(header.data(), header.size());
        return writer;
    }
    SF_INFO info{};
    info.samplerate = sampleRate;
    info.channels = channels;
    info.format = format.value;
    writer->file_ = sf_open_fd(audio, SFM_WRITE, &info, SF_TRUE);
    if (writer->file_ == nullptr) {
        const std::string why = sf_strerror(nullptr);
        close(audio);
        throw FileError("cannot write audio to standard output: " + why);
    }
    writer->chooseEncoding(format, dither);
    return writer;
}

void SoundFileWriter::chooseEncoding(AudioFileFormat format, Dither dither) {
    if (const int bits = format.integerBits(); bits > 0) {
        // Rounded here, not by libsndfile, whose float conversions either
        // wrap around or, told to clip, truncate towards minus infinity.
        quantizer_.emplace(bits, dither);
        const std::optional<StoredSamples> stored = storedAsIs(file_, format.value);
        if (stored && *stored != StoredSamples::Float) {
            packed_ = stored;
            packStereo_ = channels_ == 2 && dither == Dither::None;
        }
        return;
    }
    // Codecs and companded encodings take floats: beyond full scale they
    // saturate; the render reports the clipping (or refuses it) first.
    sf_command(file_, SFC_SET_CLIPPING, nullptr, SF_TRUE);
    // A file of 32-bit floats in this machine's byte order takes the
    // samples as they are, without libsndfile's conversion pass. libsndfile
    // would then write a peak chunk claiming silence: none is written.
    rawFloat_ = storedAsIs(file_, format.value) == StoredSamples::Float;
    if (rawFloat_) {
        sf_command(file_, SFC_SET_ADD_PEAK_CHUNK, nullptr, SF_FALSE);
    }
}

void SoundFileWriter::emit(const void* bytes, std::size_t size) {
    const auto* at = static_cast<const unsigned char*>(bytes);
    while (size > 0) {
        const ssize_t written = ::write(stream_, at, size);
        if (written < 0 && errno == EINTR) {
            continue;
        }
        if (written <= 0) {
            throw FileError(std::string("cannot write audio to standard output: ") + std::strerror(errno));
        }
        at += written;
        size -= static_cast<std::size_t>(written);
    }
}

// The buffered samples as a WAV stream's bytes: little-endian integers of
// the depth (8-bit ones unsigned), 32-bit floats as they are, 64-bit floats.
void SoundFileWriter::encodeStreamed(std::size_t samples) {
    if (streamEncoding_ == SF_FORMAT_FLOAT) {
        emit(interleaved_.data(), samples * sizeof(float));
        return;
    }
    if (streamEncoding_ == SF_FORMAT_DOUBLE) {
        bytes_.resize(samples * sizeof(double));
        for (std::size_t i = 0; i < samples; ++i) {
            const double value = interleaved_[i];
            std::memcpy(bytes_.data() + i * sizeof(double), &value, sizeof(double));
        }
        emit(bytes_.data(), bytes_.size());
        return;
    }
    integers_.resize(samples);
    quantizer_->quantize(interleaved_.data(), samples, integers_.data());
    const auto width = static_cast<std::size_t>(quantizer_->bits() / 8);
    bytes_.resize(samples * width);
    if (width == 2 || width == 3) {
        packStored(width == 2 ? StoredSamples::Pcm16 : StoredSamples::Pcm24, integers_.data(), samples, bytes_.data());
        emit(bytes_.data(), bytes_.size());
        return;
    }
    for (std::size_t i = 0; i < samples; ++i) {
        const auto word = static_cast<std::uint32_t>(integers_[i]);
        for (std::size_t byte = 0; byte < width; ++byte) {
            bytes_[i * width + byte] = static_cast<unsigned char>(word >> (8 * (4 - width + byte)));
        }
        if (width == 1) {
            bytes_[i] ^= 0x80;  // 8-bit WAV samples are unsigned
        }
    }
    emit(bytes_.data(), bytes_.size());
}

std::vector<unsigned char> streamedWavHeader(int encoding, int channels, int sampleRate) {
    struct Layout {
        int encoding;
        std::uint16_t tag;
        std::uint16_t bits;
    };
    constexpr Layout kLayouts[] = {{SF_FORMAT_PCM_U8, 1, 8},  {SF_FORMAT_PCM_16, 1, 16}, {SF_FORMAT_PCM_24, 1, 24},
                                   {SF_FORMAT_PCM_32, 1, 32}, {SF_FORMAT_FLOAT, 3, 32},  {SF_FORMAT_DOUBLE, 3, 64}};
    const Layout* layout = std::find_if(std::begin(kLayouts), std::end(kLayouts),
                                        [encoding](const Layout& entry) { return entry.encoding == encoding; });
    if (layout == std::end(kLayouts)) {
        throw UsageError("a WAV stream takes 8-, 16-, 24- or 32-bit integers or 32- or 64-bit floats");
    }
    std::vector<unsigned char> header;
    const auto put = [&header](std::uint32_t value, int bytes) {
        for (int byte = 0; byte < bytes; ++byte) {
            header.push_back(static_cast<unsigned char>(value >> (8 * byte)));
        }
    };
    const auto tag = [&header](const char* text) { header.insert(header.end(), text, text + 4); };
    const std::uint32_t blockAlign = static_cast<std::uint32_t>(channels) * layout->bits / 8;
    const bool isFloat = layout->tag == 3;
    tag("RIFF");
    put(0xFFFFFFFFu, 4);
    tag("WAVE");
    tag("fmt ");
    put(isFloat ? 18 : 16, 4);
    put(layout->tag, 2);
    put(static_cast<std::uint32_t>(channels), 2);
    put(static_cast<std::uint32_t>(sampleRate), 4);
    put(static_cast<std::uint32_t>(sampleRate) * blockAlign, 4);
    put(blockAlign, 2);
    put(layout->bits, 2);
    if (isFloat) {
        put(0, 2);  // no extension
    }
    tag("data");
    put(0xFFFFFFFFu, 4);
    return header;
}

SoundFileWriter::~SoundFileWriter() {
    discard();
}

// Stereo integers stored as they are, without dither: each stretch of the
// two channels is rounded channel by channel and packed straight into the
// chunk's bytes while it is still in the processor's nearest cache, rather
// than interleaved as floats first. (With dither the noise follows the
// interleaved order, and other channel counts take that way too.)
void SoundFileWriter::writePackedStereo(const float* const* channels, std::size_t frames) {
    constexpr std::size_t kStretch = 1024;
    const std::size_t frameBytes = 2 * storedSampleBytes(*packed_);
    bytes_.resize(chunkFrames_ * frameBytes);
    integers_.resize(2 * kStretch);
    for (std::size_t done = 0; done < frames;) {
        const std::size_t count = std::min({frames - done, chunkFrames_ - buffered_, kStretch});
        quantizer_->quantize(channels[0] + done, count, integers_.data());
        quantizer_->quantize(channels[1] + done, count, integers_.data() + kStretch);
        packStoredStereo(*packed_, integers_.data(), integers_.data() + kStretch, count,
                         bytes_.data() + buffered_ * frameBytes);
        done += count;
        buffered_ += count;
        if (buffered_ == chunkFrames_) {
            flush();
        }
    }
}

void SoundFileWriter::write(const float* const* channels, std::size_t frames) {
    if (packStereo_) {
        writePackedStereo(channels, frames);
        return;
    }
    const auto width = static_cast<std::size_t>(channels_);
    interleaved_.resize(chunkFrames_ * width);
    for (std::size_t done = 0; done < frames;) {
        const std::size_t count = std::min(frames - done, chunkFrames_ - buffered_);
        interleave(channels, width, done, count, interleaved_.data() + buffered_ * width);
        done += count;
        buffered_ += count;
        if (buffered_ == chunkFrames_) {
            flush();
        }
    }
}

void SoundFileWriter::flush() {
    if (buffered_ == 0) {
        return;
    }
    const std::size_t samples = buffered_ * static_cast<std::size_t>(channels_);
    bool written = false;
    if (packStereo_) {
        const auto size = static_cast<sf_count_t>(buffered_ * 2 * storedSampleBytes(*packed_));
        written = sf_write_raw(file_, bytes_.data(), size) == size;
    } else if (stream_ >= 0) {
        encodeStreamed(samples);
        written = true;
    } else if (rawFloat_) {
        const auto bytes = static_cast<sf_count_t>(samples * sizeof(float));
        written = sf_write_raw(file_, interleaved_.data(), bytes) == bytes;
    } else if (quantizer_) {
        integers_.resize(samples);
        quantizer_->quantize(interleaved_.data(), samples, integers_.data());
        if (packed_) {
            bytes_.resize(samples * storedSampleBytes(*packed_));
            packStored(*packed_, integers_.data(), samples, bytes_.data());
            const auto size = static_cast<sf_count_t>(bytes_.size());
            written = sf_write_raw(file_, bytes_.data(), size) == size;
        } else {
            written = sf_writef_int(file_, integers_.data(), static_cast<sf_count_t>(buffered_)) ==
                      static_cast<sf_count_t>(buffered_);
        }
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
    if (file != nullptr && sf_close(file) != 0) {
        discard();
        throw FileError("cannot finish audio file " + path_ + ": the last of it could not be written");
    }
    if (temporary_.empty()) {  // standard output
        discard();
        return;
    }
    std::error_code error;
    fs::rename(temporary_, path_, error);
    if (error) {
        discard();
        throw FileError("cannot put the finished file in place as " + path_ + ": " + error.message());
    }
    temporary_.clear();
    pending_output::clear();
}

void SoundFileWriter::discard() {
    if (file_ != nullptr) {
        sf_close(file_);
        file_ = nullptr;
    }
    if (stream_ >= 0) {
        close(stream_);
        stream_ = -1;
    }
    if (!temporary_.empty()) {
        std::remove(temporary_.c_str());
        temporary_.clear();
        pending_output::clear();
    }
}
