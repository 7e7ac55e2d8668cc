#include "audio/read_ahead.h"

#include <algorithm>
#include <exception>
#include <stdexcept>
#include <vector>

namespace {

std::vector<InputChunk> makeChunks(int mainChannels, int sidechainChannels, std::size_t frames, std::size_t count) {
    std::vector<InputChunk> chunks;
    for (std::size_t i = 0; i < count; ++i) {
        chunks.push_back({PlanarChunk(mainChannels, frames), PlanarChunk(sidechainChannels, frames), 0});
    }
    return chunks;
}

// Fills the chunk unless the source ends first: pipes may deliver less than
// asked before the end. `at` is scratch space for the channel pointers.
std::size_t readFully(AudioSource& source, PlanarChunk& chunk, std::vector<float*>& at) {
    at.assign(chunk.channels(), chunk.channels() + source.channelCount());
    std::size_t got = 0;
    while (got < chunk.frames()) {
        const std::size_t more = source.read(at.data(), chunk.frames() - got);
        if (more == 0) {
            break;
        }
        got += more;
        for (float*& channel : at) {
            channel += more;
        }
    }
    return got;
}

}  // namespace

ReadAhead::ReadAhead(AudioSource& main, AudioSource* sidechain, std::size_t chunkFrames, std::size_t chunksAhead)
    : main_(main),
      sidechain_(sidechain),
      chunkFrames_(chunkFrames),
      loudness_(main.channelCount(), main.sampleRate()),
      ring_(makeChunks(main.channelCount(), sidechain != nullptr ? sidechain->channelCount() : 0, chunkFrames,
                       chunksAhead),
            std::max<std::size_t>(1, chunksAhead / 2), 1),
      thread_([this] { run(); }) {}

ReadAhead::~ReadAhead() {
    stop();
}

void ReadAhead::stop() {
    if (thread_.joinable()) {
        ring_.abandon();
        thread_.join();
    }
}

InputChunk& ReadAhead::next() {
    InputChunk* chunk = ring_.toUse();
    if (chunk == nullptr) {
        throw std::logic_error("the input was read after the reading stopped");
    }
    return *chunk;
}

// Reader thread: may block on the files and on the ring; no plug-in calls.
void ReadAhead::run() {
    try {
        bool mainEnded = false;
        bool sidechainEnded = sidechain_ == nullptr;
        std::size_t position = 0;  // main input frames read so far
        std::vector<float*> at;
        at.reserve(static_cast<std::size_t>(
            std::max(main_.channelCount(), sidechain_ != nullptr ? sidechain_->channelCount() : 0)));
        while (InputChunk* chunk = ring_.toFill()) {
            std::size_t got = 0;
            if (!mainEnded) {
                got = readFully(main_, chunk->main, at);
                mainEnded = got < chunkFrames_;
                for (int channel = 0; channel < main_.channelCount(); ++channel) {
                    stats_.add(chunk->main.channel(static_cast<std::size_t>(channel)), got, position, channel);
                }
                loudness_.add(chunk->main.channels(), got);
                position += got;
            }
            chunk->main.silenceFrom(got);
            chunk->mainFrames = got;
            std::size_t sidechainGot = 0;
            if (!sidechainEnded) {
                sidechainGot = readFully(*sidechain_, chunk->sidechain, at);
                sidechainEnded = sidechainGot < chunkFrames_;
            }
            if (sidechain_ != nullptr) {
                chunk->sidechain.silenceFrom(sidechainGot);
            }
            ring_.publish();
        }
    } catch (...) {
        ring_.abandon(std::current_exception());
    }
}
