#include "audio/output_stage.h"

#include <algorithm>
#include <cmath>

namespace {

// The largest magnitude of the chosen outputs at the frame; infinite for
// NaN.
float levelAt(float* const* pluginOutputs, const std::vector<int>& outputs, std::size_t frame) {
    float level = 0.0f;
    for (int output : outputs) {
        const float magnitude = std::fabs(pluginOutputs[output][frame]);
        level = magnitude <= level ? level : std::isnan(magnitude) ? HUGE_VALF : magnitude;
    }
    return level;
}

// Whether any chosen output is above the quiet level (or not a number) at
// the frame.
bool loudAt(float* const* pluginOutputs, const std::vector<int>& outputs, std::size_t frame) {
    return levelAt(pluginOutputs, outputs, frame) > kQuietLevel;
}

}  // namespace

OutputStage::OutputStage(std::vector<int> outputs, std::size_t skip, std::size_t quietWindow, OutputSink sink)
    : outputs_(std::move(outputs)),
      skip_(skip),
      quietWindow_(quietWindow),
      sink_(std::move(sink)),
      held_(outputs_.size(), std::vector<float>(quietWindow)),
      pointers_(outputs_.size()) {}

void OutputStage::deliver(const float* const* channels, std::size_t frames) {
    if (frames == 0) {
        return;
    }
    for (std::size_t channel = 0; channel < outputs_.size(); ++channel) {
        stats_.add(channels[channel], frames, written_, static_cast<int>(channel));
    }
    sink_(channels, frames);
    written_ += frames;
}

void OutputStage::flushHeld() {
    for (std::size_t channel = 0; channel < held_.size(); ++channel) {
        pointers_[channel] = held_[channel].data();
    }
    const std::size_t frames = heldFrames_;
    heldFrames_ = 0;
    deliver(pointers_.data(), frames);
}

bool OutputStage::push(float* const* pluginOutputs, std::size_t frames, std::size_t tailStart) {
    std::size_t first = 0;
    if (skip_ > 0) {
        first = std::min(skip_, frames);
        skip_ -= first;
    }
    while (first < frames) {
        // Frames before the tail go straight on.
        const std::size_t direct =
            produced_ < tailStart ? std::min(frames - first, tailStart - produced_) : std::size_t{0};
        if (direct > 0 || quietWindow_ == 0) {
            const std::size_t count = quietWindow_ == 0 ? frames - first : direct;
            for (std::size_t channel = 0; channel < outputs_.size(); ++channel) {
                pointers_[channel] = pluginOutputs[outputs_[channel]] + first;
            }
            deliver(pointers_.data(), count);
            produced_ += count;
            first += count;
            continue;
        }
        // Tail frames: a run of audible ones goes on, with everything held
        // before it; a quiet one is held back.
        std::size_t end = first;
        while (end < frames && loudAt(pluginOutputs, outputs_, end)) {
            ++end;
        }
        if (end > first) {
            flushHeld();
            for (std::size_t channel = 0; channel < outputs_.size(); ++channel) {
                pointers_[channel] = pluginOutputs[outputs_[channel]] + first;
            }
            deliver(pointers_.data(), end - first);
            produced_ += end - first;
            first = end;
            continue;
        }
        for (std::size_t channel = 0; channel < outputs_.size(); ++channel) {
            held_[channel][heldFrames_] = pluginOutputs[outputs_[channel]][first];
        }
        if (++heldFrames_ == quietWindow_) {
            heldFrames_ = 0;
            return false;
        }
        ++produced_;
        ++first;
    }
    return true;
}

bool QuietTailWatch::push(float* const* pluginOutputs, std::size_t frames, std::size_t tailStart) {
    std::size_t first = std::min(skip_, frames);
    skip_ -= first;
    if (quietWindow_ == 0) {
        return true;
    }
    const std::size_t direct = produced_ < tailStart ? std::min(frames - first, tailStart - produced_) : 0;
    produced_ += direct;
    for (std::size_t frame = first + direct; frame < frames; ++frame, ++produced_) {
        const float level = levelAt(pluginOutputs, outputs_, frame);
        recent_[tailFrames_++ % recent_.size()] = level;
        if (level > kQuietLevel) {
            quietFrames_ = 0;
        } else if (++quietFrames_ == quietWindow_) {
            return false;
        }
    }
    return true;
}

double QuietTailWatch::endLevel() const {
    const std::size_t seen = std::min(tailFrames_, recent_.size());
    return seen == 0 ? 0.0 : static_cast<double>(*std::max_element(recent_.begin(), recent_.begin() + seen));
}
