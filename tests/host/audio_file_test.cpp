#include "audio/audio_file.h"

#include <gtest/gtest.h>
#include <sndfile.h>

#include <cstdio>
#include <fstream>
#include <string>

#include "support/host_error.h"

namespace {

std::string workPath(const char* name) {
    return std::string(KD_TEST_WORK_DIR) + "/" + name;
}

AudioBuffer ramp(int channels, std::size_t frames) {
    AudioBuffer buffer(channels, frames, 48000.0);
    for (int channel = 0; channel < channels; ++channel) {
        for (std::size_t i = 0; i < frames; ++i) {
            buffer.channels[static_cast<std::size_t>(channel)][i] =
                static_cast<float>(i) / static_cast<float>(frames) - 0.5f * static_cast<float>(channel);
        }
    }
    return buffer;
}

TEST(AudioFile, FloatWavComesBackSampleForSample) {
    const std::string path = workPath("round-trip.wav");
    const AudioBuffer written = ramp(2, 1000);
    writeAudioFile(path, written, AudioFileFormat{SF_FORMAT_WAV | SF_FORMAT_FLOAT});
    const LoadedAudio read = readAudioFile(path);
    EXPECT_EQ(read.format.describe(), "WAV 32-bit float");
    EXPECT_EQ(read.buffer.sampleRate, 48000.0);
    EXPECT_EQ(read.buffer.channels, written.channels);
    std::remove(path.c_str());
}

TEST(AudioFile, IntegerFormatsClipInsteadOfWrappingAround) {
    const std::string path = workPath("loud.aiff");
    AudioBuffer loud(1, 4, 44100.0);
    loud.channels[0] = {1.5f, -1.5f, 0.5f, 0.0f};
    writeAudioFile(path, loud, AudioFileFormat{SF_FORMAT_AIFF | SF_FORMAT_PCM_16});
    const LoadedAudio read = readAudioFile(path);
    EXPECT_EQ(read.format.describe(), "AIFF 16-bit PCM");
    ASSERT_EQ(read.buffer.frameCount(), 4u);
    EXPECT_NEAR(read.buffer.channels[0][0], 1.0f, 1e-4f);
    EXPECT_NEAR(read.buffer.channels[0][1], -1.0f, 1e-4f);
    EXPECT_NEAR(read.buffer.channels[0][2], 0.5f, 1e-4f);
    std::remove(path.c_str());
}

TEST(AudioFile, AFileThatIsNotAudioGivesAnErrorNamingIt) {
    const std::string path = workPath("not-audio.wav");
    std::ofstream(path) << "plain text";
    try {
        readAudioFile(path);
        FAIL() << "reading text as audio should fail";
    } catch (const HostError& error) {
        EXPECT_NE(std::string(error.what()).find("cannot read audio file " + path), std::string::npos) << error.what();
    }
    std::remove(path.c_str());
}

TEST(OutputFormat, FollowsTheInputUnlessTheNameOrTheUserSaysOtherwise) {
    const AudioFileFormat pcm16Wav{SF_FORMAT_WAV | SF_FORMAT_PCM_16};
    const AudioFileFormat floatWav{SF_FORMAT_WAV | SF_FORMAT_FLOAT};
    EXPECT_EQ(chooseOutputFormat("out", &pcm16Wav, false).describe(), "WAV 16-bit PCM");
    EXPECT_EQ(chooseOutputFormat("out.AIFF", &pcm16Wav, false).describe(), "AIFF 16-bit PCM");
    EXPECT_EQ(chooseOutputFormat("out.wav", &pcm16Wav, true).describe(), "WAV 32-bit float");
    EXPECT_EQ(chooseOutputFormat("out.flac", &floatWav, false).describe(), "FLAC 24-bit PCM");
    EXPECT_EQ(chooseOutputFormat("dir.v2/out", nullptr, false).describe(), "WAV 32-bit float")
        << "the embedded input is float, and a dot in a directory is no extension";
}

TEST(OutputFormat, RefusesFloatInFlac) {
    EXPECT_THROW(chooseOutputFormat("out.flac", nullptr, true), HostError);
}

}  // namespace
