// Audio files streamed through libsndfile: a reader that is an AudioSource
// (standard input included, where the length is not known), and a writer
// that fills a temporary file beside its target and puts it in place only
// when told the output is good.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "audio/audio_source.h"
#include "audio/output_format.h"
#include "audio/sample_layout.h"
#include "audio/sample_quantizer.h"

typedef struct sf_private_tag SNDFILE;
class PipeStream;

// The path that means standard input.
inline constexpr const char* kStandardInput = "-";

// Frames moved to and from libsndfile at a time, whatever the block size:
// fewer, larger calls cost the host less. Files of many channels move fewer
// frames at a time, so that a chunk stays within kFileChunkSamples.
inline constexpr std::size_t kFileChunkFrames = 16384;
inline constexpr std::size_t kFileChunkSamples = 262144;
std::size_t fileChunkFrames(int channels);

class SoundFileReader : public AudioSource {
public:
    // Reads any container libsndfile reads, from a file or from standard
    // input, seekable or not. Throws FileError naming the file and
    // libsndfile's reason.
    explicit SoundFileReader(const std::string& path);
    ~SoundFileReader() override;
    SoundFileReader(const SoundFileReader&) = delete;
    SoundFileReader& operator=(const SoundFileReader&) = delete;

    int channelCount() const override { return channels_; }
    double sampleRate() const override { return sampleRate_; }
    std::optional<std::size_t> frameCount() const override { return frames_; }
    // Throws FileError when the file cannot be read on.
    std::size_t read(float* const* channels, std::size_t frames) override;

    AudioFileFormat format() const { return format_; }
    const std::string& path() const { return path_; }

    // The frames the header promises, when it says (promised_length.h).
    std::optional<std::uint64_t> promisedFrames() const { return promised_; }
    std::size_t framesDelivered() const { return delivered_; }
    // True when the file is known to hold fewer frames than its header
    // promises: fewer came before its end, or, before the end is reached,
    // libsndfile found fewer in a seekable file.
    bool endedEarly() const;

private:
    std::string path_;
    std::unique_ptr<PipeStream> pipe_;  // for standard input that cannot seek
    SNDFILE* file_ = nullptr;
    int channels_ = 0;
    double sampleRate_ = 0.0;
    std::optional<std::size_t> frames_;
    AudioFileFormat format_;
    std::optional<std::uint64_t> promised_;
    std::optional<std::uint64_t> present_;  // what libsndfile found in a seekable file
    std::size_t delivered_ = 0;
    bool ended_ = false;
    // The samples reach floats through libsndfile's conversion, or, for
    // the common encodings, are read as stored and decoded while they are
    // split into channels, saving a pass.
    std::optional<StoredSamples> stored_;
    std::size_t chunkFrames_ = 0;
    std::size_t frameBytes_ = 0;            // when stored: bytes of one frame
    std::unique_ptr<float[]> interleaved_;  // a chunk read ahead: floats, or the stored bytes
    std::size_t storedBytes_ = 0;           // stored bytes in it, a partial frame included
    std::size_t buffered_ = 0;              // frames read ahead not yet handed out
    std::size_t next_ = 0;                  // the first of them

    void open(const std::string& path);
    void readPromise(const std::string& path, int descriptor);
    std::size_t fill();
    [[noreturn]] void failReading();
};

class SoundFileWriter {
public:
    // Creates the temporary file beside `path`, after removing the ones that
    // ended renders left there. Integer encodings get the samples rounded
    // to the nearest step, dithered as asked. Throws FileError when the file
    // cannot be created.
    SoundFileWriter(const std::string& path, AudioFileFormat format, int channels, int sampleRate,
                    Dither dither = Dither::None);
    // Streams to standard output instead (WAV or FLAC), which it takes over:
    // from then on file descriptor 1 is the error stream, so that nothing the
    // plug-in or the host prints can mix into the audio. A WAV stream into a
    // pipe has a header of unknown length (sizes of 0xFFFFFFFF, which
    // readers take as "until the end"); into a file, libsndfile writes it
    // whole. Nothing can be taken back: discard() only stops the stream.
    static std::unique_ptr<SoundFileWriter> toStandardOutput(AudioFileFormat format, int channels, int sampleRate,
                                                             Dither dither = Dither::None);
    // Removes the temporary file unless it was committed.
    ~SoundFileWriter();
    SoundFileWriter(const SoundFileWriter&) = delete;
    SoundFileWriter& operator=(const SoundFileWriter&) = delete;

    // `channels` holds the channel count of arrays. Samples beyond full scale
    // saturate in integer encodings. Throws FileError (disk full, ...).
    void write(const float* const* channels, std::size_t frames);
    // Writes what is buffered, so that roundedSamples() counts every sample;
    // the file stays temporary. Throws FileError.
    void flush();
    // Finishes the file and moves it to its path, replacing what was there.
    // Throws FileError, and then leaves the target untouched.
    void commit();
    // Removes the temporary file; the target stays as it was.
    void discard();

    // Samples an integer encoding had to round (without dither: 0 when every
    // sample fell on a step, as in a unity render of an integer file).
    std::size_t roundedSamples() const { return quantizer_ ? quantizer_->roundedSamples() : 0; }
    // The integer encoding's bits; 0 for floats and codecs.
    int integerBits() const { return quantizer_ ? quantizer_->bits() : 0; }

private:
    SoundFileWriter(AudioFileFormat format, int channels, Dither dither);
    void chooseEncoding(AudioFileFormat format, Dither dither);
    void emit(const void* bytes, std::size_t size);
    void encodeStreamed(std::size_t samples);
    void writePackedStereo(const float* const* channels, std::size_t frames);

    std::string path_;
    std::string temporary_;
    SNDFILE* file_ = nullptr;
    int stream_ = -1;  // standard output, when the WAV header is written here
    int streamEncoding_ = 0;
    int channels_;
    std::size_t chunkFrames_;
    std::vector<float> interleaved_;  // a chunk collected before it is written
    std::size_t buffered_ = 0;
    bool rawFloat_ = false;
    std::optional<SampleQuantizer> quantizer_;
    std::optional<StoredSamples> packed_;  // integers written as stored bytes
    bool packStereo_ = false;              // stereo, packed straight from the channels
    std::vector<std::int32_t> integers_;
    std::vector<unsigned char> bytes_;
};

// The header of a WAV stream whose length is not known: RIFF and data sizes
// of 0xFFFFFFFF. `encoding` is a libsndfile PCM or float encoding.
std::vector<unsigned char> streamedWavHeader(int encoding, int channels, int sampleRate);
