#include <gtest/gtest.h>
#include <signal.h>
#include <sndfile.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "audio/midi_sequence.h"
#include "audio/output_format.h"
#include "audio/pipe_stream.h"
#include "audio/resampler.h"
#include "audio/sample_layout.h"
#include "audio/sound_file.h"
#include "midi_bytes.h"
#include "support/host_error.h"

namespace {

namespace fs = std::filesystem;

std::string workPath(const char* name) {
    return std::string(KD_TEST_WORK_DIR) + "/" + name;
}

// The format chooseOutputFormat picks, or the start of its refusal.
std::string chosen(const std::string& path, BitDepth depth, int channels = 2, int rate = 44100) {
    try {
        return chooseOutputFormat(path, depth, channels, rate).describe();
    } catch (const HostError& error) {
        return error.what();
    }
}

// Whether libsndfile itself writes (and finishes) such a file at the rate.
// Asked in a child process: libsndfile leaks the MP3 encoder of a file it
// fails to write, which is not for this test's leak check to report.
bool libsndfileWrites(const std::string& path, int format, int rate) {
    const pid_t child = fork();
    if (child != 0) {
        int status = 0;
        waitpid(child, &status, 0);
        return WIFEXITED(status) && WEXITSTATUS(status) == 0;
    }
    SF_INFO info{};
    info.format = format;
    info.channels = 2;
    info.samplerate = rate;
    SNDFILE* file = sf_open(path.c_str(), SFM_WRITE, &info);
    if (file == nullptr) {
        _exit(1);
    }
    const std::vector<float> frames(2 * 4096, 0.25f);
    const bool written = sf_writef_float(file, frames.data(), 4096) == 4096;
    _exit(sf_close(file) == 0 && written ? 0 : 1);
}

// The codecs' rates are checked before rendering, and the check agrees with
// what libsndfile then writes: a rate refused here fails there.
TEST(OutputFormat, ComesFromTheExtensionAndTheBitDepthAndFitsTheChannelsAndTheRate) {
    const struct {
        const char* path;
        BitDepth depth;
        int channels;
        const char* expected;
        int rate = 44100;
    } kCases[] = {
        {"out.wav", BitDepth::Default, 2, "WAV, 32 bit float"},
        {"dir.v2/out.WAV", BitDepth::Int24, 2, "WAV, Signed 24 bit PCM"},
        {"out.aif", BitDepth::Int16, 2, "AIFF, Signed 16 bit PCM"},
        {"out.wav", BitDepth::Int8, 2, "WAV, Unsigned 8 bit PCM"},
        {"out.flac", BitDepth::Default, 2, "FLAC, Signed 24 bit PCM"},
        {"out.mp3", BitDepth::Default, 2, "MPEG-1/2 Audio, MPEG Layer III"},
        {"out.ogg", BitDepth::Default, 2, "OGG, Vorbis"},
        {"out.caf", BitDepth::Double, 2, "CAF, 64 bit float"},
        {"out.wav", BitDepth::Default, 98, "WAV, 32 bit float"},
        {"out.flac", BitDepth::Float, 2, "FLAC files cannot hold 32-bit float samples"},
        {"out.mp3", BitDepth::Int16, 2, "MPEG-1/2 Audio files have no bit depth to choose"},
        {"out.flac", BitDepth::Default, 98, "FLAC files cannot hold 98 channels at 44100 Hz"},
        {"out.xyz", BitDepth::Default, 2, "cannot write .xyz files"},
        {"dir.v2/out", BitDepth::Default, 2, "cannot tell the format of dir.v2/out"},
        {"out.opus", BitDepth::Default, 2,
         "OGG (Opus) files take 8000, 12000, 16000, 24000 or 48000 Hz, not 44100 Hz: resample the output with "
         "--output-rate 48000, or write another container (.wav, .w64, .rf64, .caf, .aiff, .flac)"},
        {"out.opus", BitDepth::Default, 2, "OGG, Opus", 48000},
        {"out.opus", BitDepth::Default, 2, "OGG (Opus) files take", 11025},
        {"out.mp3", BitDepth::Default, 2,
         "MPEG-1/2 Audio (MPEG Layer III) files take 8000, 11025, 12000, 16000, 22050, 24000, 32000, 44100 or 48000 "
         "Hz, not 96000 Hz: resample the output with --output-rate 48000",
         96000},
        {"out.mp3", BitDepth::Default, 2, "MPEG-1/2 Audio, MPEG Layer III", 8000},
        {"out.mp3", BitDepth::Default, 2, "MPEG-1/2 Audio (MPEG Layer III) files take", 64000},
        {"out.flac", BitDepth::Default, 2,
         "FLAC files take up to 655350 Hz, not 768000 Hz: resample the output with --output-rate 384000", 768000},
        {"out.flac", BitDepth::Int16, 2, "FLAC, Signed 16 bit PCM", 655350},
        {"out.flac", BitDepth::Int16, 2, "FLAC files take up to 655350 Hz, not 655351 Hz", 655351},
        {"out.ogg", BitDepth::Default, 2,
         "OGG (Vorbis) files take up to 200000 Hz, not 200001 Hz: resample the "
         "output with --output-rate 192000",
         200001},
        {"out.ogg", BitDepth::Default, 2, "OGG, Vorbis", 200000},
    };
    for (const auto& entry : kCases) {
        const std::string result = chosen(entry.path, entry.depth, entry.channels, entry.rate);
        EXPECT_EQ(result.rfind(entry.expected, 0), 0u) << entry.path << " at " << entry.rate << ": " << result;
        if (entry.rate != 44100) {
            const int format = chooseOutputFormat(entry.path, entry.depth, entry.channels, 48000).value;
            const bool accepted = result.find(" files take ") == std::string::npos;
            EXPECT_EQ(libsndfileWrites(workPath("rate-probe.audio"), format, entry.rate), accepted)
                << entry.path << " at " << entry.rate << " Hz: the check and libsndfile disagree";
        }
    }
    EXPECT_TRUE(AudioFileFormat{SF_FORMAT_WAV | SF_FORMAT_FLOAT}.keepsBeyondFullScale());
    EXPECT_FALSE(AudioFileFormat{SF_FORMAT_OGG | SF_FORMAT_VORBIS}.keepsBeyondFullScale());
}

// A 1 kHz sine at half scale, `seconds` long at `rate`.
AudioBuffer toneAt(double rate, double seconds) {
    AudioBuffer tone(2, static_cast<std::size_t>(std::llround(seconds * rate)), rate);
    for (std::size_t i = 0; i < tone.frameCount(); ++i) {
        const double phase = 2.0 * M_PI * 1000.0 * static_cast<double>(i) / rate;
        tone.channels[0][i] = static_cast<float>(0.5 * std::sin(phase));
        tone.channels[1][i] = static_cast<float>(0.5 * std::cos(phase));
    }
    return tone;
}

// The largest difference from the same tone computed at the new rate, away
// from the ends (where the filter sees the signal start and stop).
double worstDifference(const AudioBuffer& resampled) {
    const AudioBuffer expected = toneAt(resampled.sampleRate, resampled.seconds());
    const auto margin = static_cast<std::size_t>(0.01 * resampled.sampleRate);
    double worst = 0.0;
    for (std::size_t channel = 0; channel < 2; ++channel) {
        for (std::size_t i = margin; i + margin < resampled.frameCount(); ++i) {
            worst = std::max(
                worst, std::fabs(static_cast<double>(resampled.channels[channel][i]) - expected.channels[channel][i]));
        }
    }
    return worst;
}

// Resampled input (read in odd pieces) and output (pushed in odd pieces)
// keep the length, the level and the timing: the tone comes out as the
// same tone computed at the new rate, to within -90 dB of full scale.
TEST(Resampler, GivesTheSameToneAtTheNewRateWithTheLengthScaled) {
    const struct {
        double from;
        double to;
    } kRates[] = {{48000, 44100}, {44100, 96000}, {96000, 8000}, {44100, 192000}};
    for (const auto& rates : kRates) {
        const AudioBuffer tone = toneAt(rates.from, 0.5);
        const auto frames = static_cast<std::size_t>(std::llround(0.5 * rates.to));

        BufferSource source(tone);
        ResampledSource input(source, rates.to);
        EXPECT_EQ(input.frameCount(), frames);
        AudioBuffer read(2, frames + 100, rates.to);
        std::size_t got = 0;
        for (std::size_t piece;
             (piece =
                  input.read(std::vector<float*>{read.channels[0].data() + got, read.channels[1].data() + got}.data(),
                             std::min<std::size_t>(777, frames + 100 - got))) > 0;) {
            got += piece;
        }
        EXPECT_EQ(got, frames) << rates.from << " -> " << rates.to;
        read.channels[0].resize(got);
        read.channels[1].resize(got);
        EXPECT_LT(worstDifference(read), 3e-5) << "input " << rates.from << " -> " << rates.to;

        AudioBuffer written(2, 0, rates.to);
        ResamplingSink sink(2, rates.from, rates.to, [&written](const float* const* channels, std::size_t count) {
            for (std::size_t channel = 0; channel < 2; ++channel) {
                written.channels[channel].insert(written.channels[channel].end(), channels[channel],
                                                 channels[channel] + count);
            }
        });
        for (std::size_t at = 0; at < tone.frameCount(); at += 333) {
            const std::size_t count = std::min<std::size_t>(333, tone.frameCount() - at);
            const float* pieces[] = {tone.channels[0].data() + at, tone.channels[1].data() + at};
            sink.push(pieces, count);
        }
        sink.finish();
        EXPECT_EQ(written.frameCount(), frames) << "output " << rates.from << " -> " << rates.to;
        EXPECT_EQ(sink.framesWritten(), frames);
        EXPECT_LT(worstDifference(written), 3e-5) << "output " << rates.from << " -> " << rates.to;
    }
}

std::string contents(const std::string& path) {
    std::ostringstream text;
    text << std::ifstream(path, std::ios::binary).rdbuf();
    return text.str();
}

// A run that fails leaves what was there and nothing else; one that
// succeeds replaces it whole.
TEST(SoundFileWriter, PutsTheFileInPlaceOnlyWhenCommitted) {
    const fs::path directory = workPath("writer");
    fs::remove_all(directory);
    fs::create_directories(directory);
    const std::string target = (directory / "out.wav").string();
    std::ofstream(target) << "an earlier render";
    float left[] = {0.5f, -0.25f, 1.5f};
    float right[] = {0.0f, 0.125f, -2.0f};
    const float* channels[] = {left, right};
    {
        SoundFileWriter writer(target, AudioFileFormat{SF_FORMAT_WAV | SF_FORMAT_PCM_16}, 2, 48000);
        writer.write(channels, 3);
    }
    EXPECT_EQ(contents(target), "an earlier render");
    EXPECT_EQ(std::distance(fs::directory_iterator(directory), fs::directory_iterator()), 1) << "temporary file left";

    SoundFileWriter writer(target, AudioFileFormat{SF_FORMAT_WAV | SF_FORMAT_PCM_16}, 2, 48000);
    writer.write(channels, 3);
    writer.commit();
    SoundFileReader reader(target);
    ASSERT_EQ(reader.channelCount(), 2);
    EXPECT_EQ(reader.sampleRate(), 48000.0);
    float readLeft[4] = {};
    float readRight[4] = {};
    float* readBack[] = {readLeft, readRight};
    ASSERT_EQ(reader.read(readBack, 4), 3u);
    EXPECT_NEAR(readLeft[1], -0.25f, 1e-4f);
    EXPECT_NEAR(readRight[1], 0.125f, 1e-4f);
    EXPECT_NEAR(readLeft[2], 1.0f, 1e-4f) << "an integer file saturates, never wraps around";
    EXPECT_NEAR(readRight[2], -1.0f, 1e-4f);
    EXPECT_EQ(reader.read(readBack, 4), 0u);
}

// The writer packs 16- and 24-bit samples itself, several at a time (and
// two channels at once): the bytes are the little-endian samples, whatever
// the count (the last few packed one by one), and decode back to the same
// values.
TEST(SampleLayout, PacksAndUnpacksEveryCountOfSamplesExactly) {
    for (const StoredSamples coding : {StoredSamples::Pcm16, StoredSamples::Pcm24}) {
        const std::size_t width = storedSampleBytes(coding);
        for (std::size_t count = 0; count <= 9; ++count) {
            std::vector<std::int32_t> integers;
            for (std::size_t i = 0; i < count; ++i) {
                const std::uint32_t pattern = 0x80000000u >> i | 0x01234500u * static_cast<std::uint32_t>(i + 1);
                integers.push_back(static_cast<std::int32_t>(pattern >> (32 - 8 * width) << (32 - 8 * width)));
            }
            std::vector<unsigned char> bytes(count * width + 4, 0xEE);
            packStored(coding, integers.data(), count, bytes.data());
            for (std::size_t i = 0; i < count; ++i) {
                for (std::size_t byte = 0; byte < width; ++byte) {
                    EXPECT_EQ(bytes[i * width + byte],
                              static_cast<unsigned char>(static_cast<std::uint32_t>(integers[i]) >>
                                                         (32 - 8 * width + 8 * byte)))
                        << "sample " << i << " of " << count << ", byte " << byte;
                }
            }
            EXPECT_EQ(bytes[count * width], 0xEE) << "written past " << count << " samples";
            // Two channels packed at once give the interleaved bytes.
            const std::size_t frames = count / 2;
            std::vector<std::int32_t> left;
            std::vector<std::int32_t> right;
            for (std::size_t frame = 0; frame < frames; ++frame) {
                left.push_back(integers[2 * frame]);
                right.push_back(integers[2 * frame + 1]);
            }
            std::vector<unsigned char> stereo(frames * 2 * width + 4, 0xEE);
            packStoredStereo(coding, left.data(), right.data(), frames, stereo.data());
            EXPECT_TRUE(std::equal(stereo.begin(), stereo.begin() + static_cast<std::ptrdiff_t>(frames * 2 * width),
                                   bytes.begin()))
                << frames << " stereo frames";
            EXPECT_EQ(stereo[frames * 2 * width], 0xEE) << "written past " << frames << " stereo frames";
            std::vector<float> decoded(count + 1);
            float* channel[] = {decoded.data()};
            splitStored(coding, bytes.data(), count, 1, channel, 0);
            for (std::size_t i = 0; i < count; ++i) {
                EXPECT_EQ(decoded[i], static_cast<float>(integers[i]) / 2147483648.0f) << i;
            }
        }
    }
}

// The reader decodes the common encodings itself: it must give exactly
// libsndfile's samples, across its read-ahead chunks, whatever the pieces
// asked for, with the extreme values of every encoding.
TEST(SoundFileReader, GivesLibsndfilesSamplesExactly) {
    const int kEncodings[] = {SF_FORMAT_WAV | SF_FORMAT_PCM_16,  SF_FORMAT_WAV | SF_FORMAT_PCM_24,
                              SF_FORMAT_WAV | SF_FORMAT_FLOAT,   SF_FORMAT_W64 | SF_FORMAT_PCM_24,
                              SF_FORMAT_AIFF | SF_FORMAT_PCM_24, SF_FORMAT_WAV | SF_FORMAT_PCM_32,
                              SF_FORMAT_FLAC | SF_FORMAT_PCM_24};
    constexpr sf_count_t kFrames = 40000;  // more than two read-ahead chunks
    const std::string path = workPath("exact.audio");
    for (const int format : kEncodings) {
        for (const int channels : {1, 2, 3}) {
            std::vector<float> written(static_cast<std::size_t>(kFrames * channels));
            for (std::size_t i = 0; i < written.size(); ++i) {
                const float extremes[] = {1.0f, -1.0f, 0.0f, 1e-7f, -0.999999f};
                written[i] = i % 7 < 5 ? extremes[i % 7] : std::sin(static_cast<float>(i) * 0.01f);
            }
            SF_INFO info{};
            info.samplerate = 44100;
            info.channels = channels;
            info.format = format;
            SNDFILE* file = sf_open(path.c_str(), SFM_WRITE, &info);
            ASSERT_NE(file, nullptr) << sf_strerror(nullptr);
            sf_writef_float(file, written.data(), kFrames);
            sf_close(file);
            std::vector<float> expected(written.size());
            info = SF_INFO{};
            file = sf_open(path.c_str(), SFM_READ, &info);
            ASSERT_EQ(sf_readf_float(file, expected.data(), kFrames), kFrames);
            sf_close(file);

            SoundFileReader reader(path);
            std::vector<std::vector<float>> planar(static_cast<std::size_t>(channels), std::vector<float>(kFrames));
            std::size_t done = 0;
            for (std::size_t piece = 1000; done < static_cast<std::size_t>(kFrames); piece += 1117) {
                std::vector<float*> at;
                for (auto& channel : planar) {
                    at.push_back(channel.data() + done);
                }
                done += reader.read(at.data(), std::min(piece, static_cast<std::size_t>(kFrames) - done));
            }
            float* end[3] = {};
            EXPECT_EQ(reader.read(end, 1), 0u);
            for (std::size_t i = 0; i < expected.size(); ++i) {
                const float got =
                    planar[i % static_cast<std::size_t>(channels)][i / static_cast<std::size_t>(channels)];
                ASSERT_EQ(std::memcmp(&got, &expected[i], sizeof got), 0)
                    << reader.format().describe() << ", " << channels << " channels, sample " << i << ": " << got
                    << " instead of " << expected[i];
            }
        }
    }
    std::remove(path.c_str());
}

TEST(SoundFileReader, NamesTheFileItCannotRead) {
    const std::string path = workPath("not-audio.wav");
    std::ofstream(path) << "plain text";
    try {
        SoundFileReader reader(path);
        FAIL() << "reading text as audio should fail";
    } catch (const HostError& error) {
        EXPECT_EQ(error.kind(), ErrorKind::File);
        EXPECT_NE(std::string(error.what()).find("cannot read audio file " + path), std::string::npos) << error.what();
    }
    std::remove(path.c_str());
}

}  // namespace

// Standard input replaced by a pipe that carries `bytes`, for as long as
// the object lives; a thread feeds it, so any size fits.
class PipedStandardInput {
public:
    explicit PipedStandardInput(std::string bytes) : bytes_(std::move(bytes)) {
        int ends[2];
        EXPECT_EQ(pipe(ends), 0);
        saved_ = dup(STDIN_FILENO);
        dup2(ends[0], STDIN_FILENO);
        close(ends[0]);
        feeder_ = std::thread([this, writing = ends[1]] {
            // A reader that stops early must not end the test with SIGPIPE.
            sigset_t pipeSignal;
            sigemptyset(&pipeSignal);
            sigaddset(&pipeSignal, SIGPIPE);
            pthread_sigmask(SIG_BLOCK, &pipeSignal, nullptr);
            for (std::size_t done = 0; done < bytes_.size();) {
                const ssize_t wrote = write(writing, bytes_.data() + done, bytes_.size() - done);
                if (wrote <= 0) {
                    break;
                }
                done += static_cast<std::size_t>(wrote);
            }
            close(writing);
        });
    }
    ~PipedStandardInput() {
        dup2(saved_, STDIN_FILENO);  // the reader's end closes: a feeder still writing stops
        close(saved_);
        feeder_.join();
    }

private:
    std::string bytes_;
    int saved_;
    std::thread feeder_;
};

std::vector<float> readAll(SoundFileReader& reader) {
    const auto channels = static_cast<std::size_t>(reader.channelCount());
    std::vector<float> samples;
    std::vector<std::vector<float>> planar(channels, std::vector<float>(777));
    std::vector<float*> at;
    for (auto& channel : planar) {
        at.push_back(channel.data());
    }
    for (std::size_t got; (got = reader.read(at.data(), 777)) > 0;) {
        for (std::size_t frame = 0; frame < got; ++frame) {
            for (const auto& channel : planar) {
                samples.push_back(channel[frame]);
            }
        }
    }
    return samples;
}

// Whatever libsndfile reads from a file, plughost reads from a pipe too,
// sample for sample (its own pipe mode loses FLAC and reads nothing of CAF).
TEST(SoundFileReader, ReadsEveryContainerFromAPipeAsFromAFile) {
    int majors = 0;
    sf_command(nullptr, SFC_GET_FORMAT_MAJOR_COUNT, &majors, sizeof majors);
    ASSERT_GT(majors, 20);
    std::vector<float> written(6000);
    for (std::size_t i = 0; i < written.size(); ++i) {
        written[i] = 0.5f * std::sin(static_cast<float>(i) * 0.01f);
    }
    const std::string path = workPath("piped.audio");
    int compared = 0;
    for (int index = 0; index < majors; ++index) {
        SF_FORMAT_INFO major{};
        major.format = index;
        sf_command(nullptr, SFC_GET_FORMAT_MAJOR, &major, sizeof major);
        // Raw files have no header that says what they are; a Sound Designer
        // II file's header is a second file beside it, which no pipe carries.
        if (major.format == SF_FORMAT_RAW || major.format == SF_FORMAT_SD2) {
            continue;
        }
        SF_INFO info{};
        info.samplerate = 8000;
        info.channels = 1;
        try {
            info.format = chooseOutputFormat(std::string("x.") + major.extension, BitDepth::Default, 1, 8000).value;
        } catch (const HostError&) {
            continue;  // a container that holds no mono at this rate
        }
        SNDFILE* file = sf_open(path.c_str(), SFM_WRITE, &info);
        if (file == nullptr) {
            continue;
        }
        sf_writef_float(file, written.data(), static_cast<sf_count_t>(written.size()));
        sf_close(file);
        std::vector<float> expected;
        try {
            SoundFileReader fromFile(path);
            expected = readAll(fromFile);
        } catch (const HostError&) {
            continue;  // what libsndfile writes but cannot read back
        }
        PipedStandardInput piped(contents(path));
        try {
            SoundFileReader fromPipe(kStandardInput);
            EXPECT_EQ(readAll(fromPipe), expected) << major.name << ": " << expected.size() << " samples from the file";
            EXPECT_FALSE(fromPipe.endedEarly()) << major.name;
        } catch (const HostError& error) {
            ADD_FAILURE() << major.name << " from a pipe: " << error.what();
        }
        ++compared;
    }
    EXPECT_GT(compared, 15);

    // Streams longer than what is read before libsndfile sees them: their
    // length is unknown, which the common containers handle and the others
    // are refused for.
    std::vector<float> noise(600000);
    std::uint32_t state = 1;
    for (float& sample : noise) {
        state = state * 1664525u + 1013904223u;
        sample = static_cast<float>(state >> 8) / 16777216.0f - 0.5f;
    }
    const struct {
        const char* extension;
        const char* refusal;  // empty when it must read as from the file
    } kLongStreams[] = {
        {"wav", ""},
        {"rf64", ""},
        {"w64", ""},
        {"aiff", ""},
        {"au", ""},
        {"caf", ""},
        {"flac", ""},
        {"svx", "longer streams than 1 MB are read from a pipe in WAV, RF64, Wave64, AIFF, AU, CAF, FLAC, Ogg and MP3"},
    };
    for (const auto& entry : kLongStreams) {
        const std::string name = workPath("long-stream.") + entry.extension;
        SF_INFO info{};
        info.samplerate = 44100;
        info.channels = 1;
        info.format = chooseOutputFormat(name, BitDepth::Default, 1, 44100).value;
        SNDFILE* file = sf_open(name.c_str(), SFM_WRITE, &info);
        ASSERT_NE(file, nullptr) << name;
        sf_writef_float(file, noise.data(), static_cast<sf_count_t>(noise.size()));
        sf_close(file);
        ASSERT_GT(fs::file_size(name), kRetainedBytes) << name;
        SoundFileReader fromFile(name);
        const std::vector<float> expected = readAll(fromFile);
        PipedStandardInput piped(contents(name));
        std::string refusal;
        try {
            SoundFileReader fromPipe(kStandardInput);
            EXPECT_EQ(readAll(fromPipe), expected) << name;
        } catch (const HostError& error) {
            refusal = error.what();
        }
        EXPECT_NE(refusal.find(entry.refusal), std::string::npos) << name << ": " << refusal;
        EXPECT_EQ(refusal.empty(), std::string(entry.refusal).empty()) << name << ": " << refusal;
        std::remove(name.c_str());
    }
    std::remove(path.c_str());
}

namespace {

using namespace midi_bytes;

// What reading `bytes` as a MIDI file at 48 kHz gives, or why it is refused.
struct MidiRead {
    MidiSequence sequence;
    std::string problem;
};

MidiRead readMidi(const std::string& bytes, const TempoSettings& settings = {}) {
    MidiRead read;
    try {
        const auto* data = reinterpret_cast<const unsigned char*>(bytes.data());
        read.sequence = sequenceFrom(parseMidiFile(data, bytes.size()), 48000.0, settings, "song.mid");
    } catch (const MidiFileProblem& problem) {
        read.problem = problem.what();
    }
    return read;
}

const std::string kNote = event(0, message(0x90, 60, 100)) + event(480, message(0x80, 60, 0));

TEST(MidiFile, ADamagedOrCutFileIsRefusedWithWhatIsWrongAndWhere) {
    const std::string whole = header(0, 1, 480) + track(kNote);
    const struct {
        const char* what;
        std::string bytes;
        const char* problem;
    } kCases[] = {
        {"cut in its track", whole.substr(0, whole.size() - 3),
         "the chunk at byte 14 claims 13 bytes, but the file ends at byte 32: it is cut short"},
        {"cut in its header", whole.substr(0, 10),
         "its header claims 6 bytes, but the file ends at byte 10: it is cut short"},
        {"cut before its track", whole.substr(0, 14), "it holds 0 of the 1 tracks its header announces"},
        {"no End of Track", header(0, 1, 480) + chunk("MTrk", kNote),
         "track 1 ends at byte 31 without its End of Track event"},
        {"more after End of Track", header(0, 1, 480) + chunk("MTrk", event(0, kEndOfTrack) + kNote),
         "track 1 holds more after its End of Track event, at byte 26"},
        {"a data byte first", header(0, 1, 480) + track(event(0, "\x3C\x40")),
         "the event at byte 23 starts with the data byte 0x3C"},
        {"a status byte as data", header(0, 1, 480) + track(event(0, message(0x90, 0x90, 1))),
         "holds 0x90 where a data byte (below 0x80) belongs"},
        {"a real-time message", header(0, 1, 480) + track(event(0, "\xF8")), "the status byte 0xF8 at byte 23"},
        {"a meta event past its track", header(0, 1, 480) + track(event(0, "\xFF\x01\x7F")),
         "a meta event at byte 26 claims 127 bytes, but only 4 are left"},
        {"a five-byte time", header(0, 1, 480) + track("\x81\x81\x81\x81\x01" + message(0x90, 60, 1)),
         "the time of an event at byte 22 is longer than the 4 bytes"},
        {"a short tempo", header(0, 1, 480) + track(event(0, "\xFF\x51\x02\x07\xA1")),
         "a tempo event at byte 23 holds 2 bytes instead of 3"},
        {"tempo 0", header(0, 1, 480) + track(event(0, tempo(0))), "gives 0 microseconds per quarter note"},
        {"a meter of 0 beats", header(0, 1, 480) + track(event(0, timeSignature(0, 2))),
         "the time signature at byte 23 is 0 over 2 to the power 2"},
        {"format 2", header(2, 1, 480) + track(kNote), "format 2 (independent patterns)"},
        {"format 0 of two tracks", header(0, 2, 480) + track(kNote) + track(kNote), "format 0 with 2 tracks"},
        {"0 ticks per quarter", header(0, 1, 0) + track(kNote), "0 ticks per quarter note"},
        {"a made-up SMPTE rate", header(0, 1, 0xE028) + track(kNote), "time division of 0xE028"},
        {"not a MIDI file", "RIFF\x10\0\0\0RMIDdata", "not a Standard MIDI File"},
        {"too long to play", header(0, 1, 1) + track(event(0x0FFFFFFF, message(0x90, 60, 1))),
         "it plays on beyond 24 hours"},
    };
    for (const auto& entry : kCases) {
        const MidiRead read = readMidi(entry.bytes);
        EXPECT_NE(read.problem.find(entry.problem), std::string::npos)
            << entry.what << ": " << (read.problem.empty() ? "read" : read.problem);
    }
}

// Two tracks: the first holds the tempo (120 BPM, 250 000 us a quarter from
// tick 960 = 1 s on) and the time signature, with a chunk of another kind
// after it; the second a program change, a system exclusive message, a
// note from 0.5 s to 1.25 s (its note-off by running status) and a note
// that is never released. The file ends at tick 1920 = 1.5 s.
TEST(MidiFile, AWholeFilePlaysAtTheFramesOfItsTempoMap) {
    const std::string conductor =
        track(event(0, tempo(500000)) + event(0, timeSignature(3, 2)) + event(960, tempo(250000)), 960);
    const std::string notes =
        track(event(0, message(0xC0, 5)) + event(0, "\xF0\x03\x7E\x01\xF7") + event(480, message(0x90, 60, 100)) +
                  event(960, std::string("\x3C\x00", 2)) + event(0, message(0x91, 64, 90)),
              480);
    const std::string longHeader = chunk("MThd", std::string("\0\x01\0\x02\x01\xE0\0\0", 8));
    const MidiRead read = readMidi(longHeader + conductor + chunk("XFIH", "ignored") + notes);
    ASSERT_EQ(read.problem, "");
    const MidiSequence& midi = read.sequence;
    ASSERT_EQ(midi.events.size(), 4u);
    const std::size_t frames[] = {0, 24000, 60000, 60000};
    const int statuses[] = {0xC0, 0x90, 0x90, 0x91};
    for (std::size_t i = 0; i < 4; ++i) {
        EXPECT_EQ(midi.events[i].frame, frames[i]) << "event " << i;
        EXPECT_EQ(midi.events[i].bytes[0], statuses[i]) << "event " << i;
    }
    EXPECT_EQ(midi.events[2].bytes[2], 0) << "running status carries the note-on";
    EXPECT_EQ(midi.endFrame, 72000u);
    EXPECT_EQ(midi.skipped, 1u);
    const TempoMap::Point end = midi.tempoMap.at(1.5);
    EXPECT_DOUBLE_EQ(end.quarters, 4.0);
    EXPECT_EQ(end.bpm, 240.0);
    EXPECT_EQ(end.meter.numerator, 3);
    ASSERT_EQ(midi.warnings.size(), 2u);
    EXPECT_EQ(midi.warnings[0], "1 system exclusive messages in song.mid were not sent");
    EXPECT_EQ(midi.warnings[1],
              "1 note is still held when song.mid ends (the first: key 64 on channel 2, from 1.25 s); they sound on "
              "into the tail");
}

// The tempo given holds until the file sets its own; time in SMPTE frames
// (25 a second, 40 ticks each) follows no tempo.
TEST(MidiFile, TheTempoGivenTimesAFileThatSetsNoneAndAFileOfItsOwnOverridesIt) {
    const TempoSettings slow{60.0, TimeSignature{3, 4}};
    const struct {
        const char* what;
        std::string bytes;
        std::size_t noteOff;  // frame
        std::size_t warnings;
    } kCases[] = {
        {"no tempo of its own", header(0, 1, 480) + track(kNote), 48000, 0},
        {"its own tempo and meter",
         header(0, 1, 480) + track(event(0, tempo(500000)) + event(0, timeSignature(4, 2)) + kNote), 24000, 2},
        {"SMPTE time", header(0, 1, 0xE728) + track(event(0, message(0x90, 60, 1)) + event(500, message(0x80, 60, 0))),
         24000, 0},
    };
    for (const auto& entry : kCases) {
        const MidiRead read = readMidi(entry.bytes, slow);
        ASSERT_EQ(read.problem, "") << entry.what;
        ASSERT_EQ(read.sequence.events.size(), 2u) << entry.what;
        EXPECT_EQ(read.sequence.events[1].frame, entry.noteOff) << entry.what;
        EXPECT_EQ(read.sequence.warnings.size(), entry.warnings) << entry.what;
    }
    EXPECT_EQ(readMidi(kCases[1].bytes, slow).sequence.warnings[0],
              "the tempo given (60 BPM) is overridden from the start by the 120 BPM of song.mid");
}

}  // namespace
