// What leaves the plug-in on its way into the output file: the frames of its
// latency dropped, the chosen outputs picked, the statistics kept, and the
// tail ended once it has gone quiet. Holds at most `quietWindow` frames.
#pragma once

#include <algorithm>
#include <cstddef>
#include <functional>
#include <vector>

#include "audio/statistics.h"

// Receives the output in order, on the thread that runs the stage: one
// array per output file channel.
using OutputSink = std::function<void(const float* const* channels, std::size_t frames)>;

// Below this a tail counts as silent: -120 dBFS.
inline constexpr double kQuietLevel = 1e-6;

class OutputStage {
public:
    // `outputs`: the plug-in output for each file channel. `skip`: frames
    // dropped first (the plug-in's latency). `quietWindow`: frames of quiet
    // tail that end the render; 0 never ends it early.
    OutputStage(std::vector<int> outputs, std::size_t skip, std::size_t quietWindow, OutputSink sink);

    // Passes on `frames` frames of the plug-in's outputs. Output frames from
    // `tailStart` on (counted after the skip) are tail: quiet ones are held
    // back until a louder frame follows. Returns false once the tail has
    // been quiet for the whole window.
    bool push(float* const* pluginOutputs, std::size_t frames, std::size_t tailStart);
    // Changes the frames dropped at the start; only before the first push.
    void skipAtStart(std::size_t frames) { skip_ = frames; }
    // Drops whatever quiet tail is still held back.
    void finish() { heldFrames_ = 0; }

    const SignalStats& stats() const { return stats_; }
    std::size_t framesWritten() const { return written_; }

private:
    void deliver(const float* const* channels, std::size_t frames);
    void flushHeld();

    std::vector<int> outputs_;
    std::size_t skip_;
    std::size_t quietWindow_;
    OutputSink sink_;
    SignalStats stats_;
    std::size_t written_ = 0;
    std::size_t produced_ = 0;  // output frames after the skip, held ones included
    std::vector<std::vector<float>> held_;
    std::size_t heldFrames_ = 0;
    std::vector<const float*> pointers_;
};

// The stage's rule for ending a quiet tail, followed on the render thread
// while the stage itself runs behind on the writer's: it sees the same
// frames first and ends on the same block, so that the plug-in renders
// nothing past the end. Holds no audio.
//
// It also keeps the peak of the last `endWindow` tail frames, the level at
// which a tail stood when the render stopped it.
class QuietTailWatch {
public:
    QuietTailWatch(std::vector<int> outputs, std::size_t skip, std::size_t quietWindow, std::size_t endWindow)
        : outputs_(std::move(outputs)),
          skip_(skip),
          quietWindow_(quietWindow),
          recent_(std::max<std::size_t>(1, endWindow)) {}
    void skipAtStart(std::size_t frames) { skip_ = frames; }
    // As OutputStage::push, whose answer it gives.
    bool push(float* const* pluginOutputs, std::size_t frames, std::size_t tailStart);
    // The largest magnitude of the chosen outputs over the last tail frames
    // seen (infinite for NaN); 0 before any. Only followed while the quiet
    // window is not 0.
    double endLevel() const;

private:
    std::vector<int> outputs_;
    std::size_t skip_;
    std::size_t quietWindow_;
    std::size_t produced_ = 0;
    std::size_t quietFrames_ = 0;  // the quiet tail frames since the last loud one
    std::vector<float> recent_;    // the levels of the last tail frames, as a ring
    std::size_t tailFrames_ = 0;
};
