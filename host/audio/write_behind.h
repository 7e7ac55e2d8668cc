// The plug-in's output passed on behind the render, on a thread of its
// own: chunks of every plug-in output go through the output stage (latency
// dropped, outputs picked, statistics, quiet tail) into its sink, in order.
#pragma once

#include <atomic>
#include <cstddef>
#include <thread>

#include "audio/chunk_ring.h"
#include "audio/output_stage.h"
#include "audio/planar_chunk.h"

struct OutputChunk {
    PlanarChunk outputs;  // every output of the plug-in
    std::size_t frames = 0;
    std::size_t tailStart = SIZE_MAX;  // as OutputStage::push takes it
};

class WriteBehind {
public:
    // Starts the writer thread. The stage, and the sink it calls, are that
    // thread's from the first publish() until finish() returns.
    WriteBehind(OutputStage& stage, int outputs, std::size_t chunkFrames, std::size_t chunksBehind);
    // Abandons whatever was not written yet and waits for the thread.
    ~WriteBehind();
    WriteBehind(const WriteBehind&) = delete;
    WriteBehind& operator=(const WriteBehind&) = delete;

    // Render thread: a chunk to render into, once the writer has a free one.
    // Throws what writing threw (FileError, ...).
    OutputChunk& next();
    // Render thread: hands on the chunk that next() returned.
    void publish() { ring_.publish(); }
    // True once the stage has ended the render: the tail stayed quiet.
    // Chunks published after that are dropped.
    bool ended() const { return ended_.load(std::memory_order_acquire); }
    // Render thread: waits until everything published has been passed on.
    // Throws what writing threw.
    void finish();

private:
    void run();

    OutputStage& stage_;
    ChunkRing<OutputChunk> ring_;
    std::atomic<bool> ended_{false};
    std::thread thread_;
};
