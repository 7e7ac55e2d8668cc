#include <fftw3.h>
#include <gtest/gtest.h>
#include <sndfile.h>

#include <algorithm>
#include <cmath>
#include <complex>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

namespace {

constexpr double pi = 3.14159265358979323846;

struct Codec {
    const char* file;
    int format;
    int sampleRate;
    double minimumSnrDb;  // of the signal read back against the one written
};

// Each at a rate its codec takes. The lossy ones at their default quality
// give back two plain tones at about 40 (Vorbis, MP3) and 23.6 dB (Opus),
// the figures Debian's own builds of the libraries give on Linux.
constexpr Codec codecs[] = {
    {"roundtrip.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 44100, 85.0},
    {"roundtrip.flac", SF_FORMAT_FLAC | SF_FORMAT_PCM_24, 96000, 130.0},
    {"roundtrip.ogg", SF_FORMAT_OGG | SF_FORMAT_VORBIS, 44100, 35.0},
    {"roundtrip.opus", SF_FORMAT_OGG | SF_FORMAT_OPUS, 48000, 20.0},
    {"roundtrip.mp3", SF_FORMAT_MPEG | SF_FORMAT_MPEG_LAYER_III, 44100, 35.0},
};

std::vector<float> stereoTones(int sampleRate, int frames) {
    std::vector<float> samples(2 * static_cast<size_t>(frames));
    for (int i = 0; i < frames; ++i) {
        double t = static_cast<double>(i) / sampleRate;
        samples[2 * i] = static_cast<float>(0.5 * std::sin(2 * pi * 440.0 * t));
        samples[2 * i + 1] = static_cast<float>(0.25 * std::sin(2 * pi * 1000.0 * t));
    }
    return samples;
}

double snrDb(const std::vector<float>& written, const std::vector<float>& readBack) {
    double signal = 0, error = 0;
    for (size_t i = 0; i < written.size(); ++i) {
        signal += double(written[i]) * written[i];
        error += (double(readBack[i]) - written[i]) * (double(readBack[i]) - written[i]);
    }
    return 10.0 * std::log10(signal / error);
}

TEST(WindowsLibraries, EveryCodecWritesAndReadsBackTwoTones) {
    for (const Codec& codec : codecs) {
        SCOPED_TRACE(codec.file);
        const int frames = codec.sampleRate;  // one second
        const std::vector<float> written = stereoTones(codec.sampleRate, frames);

        SF_INFO info{};
        info.samplerate = codec.sampleRate;
        info.channels = 2;
        info.format = codec.format;
        SNDFILE* out = sf_open(codec.file, SFM_WRITE, &info);
        ASSERT_NE(out, nullptr) << sf_strerror(nullptr);
        EXPECT_EQ(sf_writef_float(out, written.data(), frames), frames) << sf_strerror(out);
        ASSERT_EQ(sf_close(out), 0);

        SF_INFO readInfo{};
        SNDFILE* in = sf_open(codec.file, SFM_READ, &readInfo);
        ASSERT_NE(in, nullptr) << sf_strerror(nullptr);
        EXPECT_EQ(readInfo.format, codec.format);
        EXPECT_EQ(readInfo.samplerate, codec.sampleRate);
        EXPECT_EQ(readInfo.channels, 2);
        EXPECT_EQ(readInfo.frames, frames);
        std::vector<float> readBack(written.size(), 0.0f);
        EXPECT_EQ(sf_readf_float(in, readBack.data(), frames), frames) << sf_strerror(in);
        sf_close(in);
        std::remove(codec.file);

        double snr = snrDb(written, readBack);
        EXPECT_GE(snr, codec.minimumSnrDb) << "read back " << snr << " dB from the signal written";
    }
}

TEST(WindowsLibraries, FftwRealTransformMatchesADirectDft) {
    std::mt19937 random(25);
    std::uniform_real_distribution<double> uniform(-1.0, 1.0);
    for (int size : {48, 1024}) {
        double* in = fftw_alloc_real(size);
        fftw_complex* out = fftw_alloc_complex(size / 2 + 1);
        fftw_plan plan = fftw_plan_dft_r2c_1d(size, in, out, FFTW_ESTIMATE);
        ASSERT_NE(plan, nullptr);
        std::vector<double> x(size);
        for (double& value : x)
            value = uniform(random);
        std::copy(x.begin(), x.end(), in);
        fftw_execute(plan);

        double worst = 0;
        for (int k = 0; k <= size / 2; ++k) {
            std::complex<long double> direct = 0;
            for (int n = 0; n < size; ++n) {
                long double angle = -2.0L * 3.14159265358979323846264338327950288L * k * n / size;
                direct += std::complex<long double>(std::cos(angle), std::sin(angle)) * static_cast<long double>(x[n]);
            }
            worst = std::max(worst,
                             static_cast<double>(std::abs(std::complex<long double>(out[k][0], out[k][1]) - direct)));
        }
        EXPECT_LT(worst, 1e-12 * size) << "size " << size << ": largest difference " << worst;
        fftw_destroy_plan(plan);
        fftw_free(in);
        fftw_free(out);
    }
}

}  // namespace
