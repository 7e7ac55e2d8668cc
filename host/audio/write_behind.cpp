#include "audio/write_behind.h"

#include <algorithm>
#include <exception>
#include <stdexcept>
#include <vector>

namespace {

std::vector<OutputChunk> makeChunks(int outputs, std::size_t frames, std::size_t count) {
    std::vector<OutputChunk> chunks;
    for (std::size_t i = 0; i < count; ++i) {
        chunks.push_back({PlanarChunk(outputs, frames), 0, SIZE_MAX});
    }
    return chunks;
}

}  // namespace

WriteBehind::WriteBehind(OutputStage& stage, int outputs, std::size_t chunkFrames, std::size_t chunksBehind)
    : stage_(stage),
      ring_(makeChunks(outputs, chunkFrames, chunksBehind), 1, std::max<std::size_t>(1, chunksBehind / 2)),
      thread_([this] { run(); }) {}

WriteBehind::~WriteBehind() {
    if (thread_.joinable()) {
        ring_.abandon();
        thread_.join();
    }
}

OutputChunk& WriteBehind::next() {
    OutputChunk* chunk = ring_.toFill();
    if (chunk == nullptr) {
        throw std::logic_error("output was rendered after the writing stopped");
    }
    return *chunk;
}

void WriteBehind::finish() {
    ring_.close();
    if (thread_.joinable()) {
        thread_.join();
    }
    ring_.rethrowError();
}

// Writer thread: may block on the file and on the ring; no plug-in calls.
void WriteBehind::run() {
    try {
        while (OutputChunk* chunk = ring_.toUse()) {
            if (!ended()) {
                if (!stage_.push(chunk->outputs.channels(), chunk->frames, chunk->tailStart)) {
                    ended_.store(true, std::memory_order_release);
                }
            }
            ring_.release();
        }
    } catch (...) {
        ring_.abandon(std::current_exception());
    }
}
