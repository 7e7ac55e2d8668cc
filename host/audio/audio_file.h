// Reading and writing audio files through libsndfile: WAV, AIFF and FLAC.
#pragma once

#include <string>

#include "audio/audio_buffer.h"

// A libsndfile format word: container in the high bits, encoding in the low.
struct AudioFileFormat {
    int value = 0;
    std::string describe() const;  // e.g. "WAV 24-bit PCM"
};

struct LoadedAudio {
    AudioBuffer buffer;
    AudioFileFormat format;
};

// Throws HostError naming the file and libsndfile's reason.
LoadedAudio readAudioFile(const std::string& path);

// Samples beyond full scale are clipped when the encoding is integer.
// Throws HostError on failure.
void writeAudioFile(const std::string& path, const AudioBuffer& buffer, AudioFileFormat format);

// The output format: the container from the output name's extension (.wav,
// .aif/.aiff, .flac), else the input's container; the encoding of the input,
// or 32-bit float when asked for or when there is no input file. Asking for
// float in a FLAC file throws HostError; otherwise an encoding that the
// container cannot hold falls back to 24-bit PCM.
AudioFileFormat chooseOutputFormat(const std::string& outputPath, const AudioFileFormat* input, bool wantFloat);
