// The inputs of a render read on a thread of their own, a few chunks ahead
// of the plug-in: the main input and the sidechain, each channel in its own
// array, the main input's statistics and loudness taken there too. Once a
// source has ended, its part of every later chunk is silence.
#pragma once

#include <cstddef>
#include <thread>

#include "audio/audio_source.h"
#include "audio/chunk_ring.h"
#include "audio/loudness_meter.h"
#include "audio/planar_chunk.h"
#include "audio/statistics.h"

struct InputChunk {
    PlanarChunk main;
    PlanarChunk sidechain;
    // Frames of the main input in the chunk; fewer than the chunk holds once
    // the main input has ended.
    std::size_t mainFrames = 0;
};

class ReadAhead {
public:
    // Starts reading. The sources are the reader thread's until stop().
    ReadAhead(AudioSource& main, AudioSource* sidechain, std::size_t chunkFrames, std::size_t chunksAhead);
    ~ReadAhead();
    ReadAhead(const ReadAhead&) = delete;
    ReadAhead& operator=(const ReadAhead&) = delete;

    // Render thread: the next chunk, in order, which stays the caller's until
    // release(). Waits for the reader; throws what reading threw (FileError).
    InputChunk& next();
    void release() { ring_.release(); }
    // Ends the reading and waits for the thread; stats() may be read after.
    void stop();
    // The main input as read.
    const SignalStats& stats() const { return stats_; }
    LoudnessFigures loudness() const { return loudness_.figures(); }

private:
    void run();

    AudioSource& main_;
    AudioSource* sidechain_;
    std::size_t chunkFrames_;
    SignalStats stats_;
    LoudnessMeter loudness_;
    ChunkRing<InputChunk> ring_;
    std::thread thread_;
};
