// What every check uses: its verdict, the plug-in it checks, buffers with
// guard zones, and the standard ways to push audio through an instance.
#pragma once

#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "aeffect.h"
#include "audio/audio_buffer.h"
#include "audio/statistics.h"
#include "plugin/plugin_instance.h"
#include "plugin/plugin_module.h"

enum class Verdict { Pass, Fail, Skip };

struct CheckOutcome {
    Verdict verdict = Verdict::Pass;
    std::string detail;

    static CheckOutcome pass(std::string detail = "") { return {Verdict::Pass, std::move(detail)}; }
    static CheckOutcome fail(std::string detail) { return {Verdict::Fail, std::move(detail)}; }
    static CheckOutcome skip(std::string detail) { return {Verdict::Skip, std::move(detail)}; }
};

// Collects what went wrong during a check; the verdict lists the first few.
class Findings {
public:
    void add(std::string finding);
    bool empty() const { return findings_.empty(); }
    CheckOutcome outcome(std::string passDetail = "") const;

private:
    std::vector<std::string> findings_;
};

// The plug-in under test. The library is loaded on first use, so a check
// that runs in a fresh process and does not ask for it sees it cold.
class CheckContext {
public:
    explicit CheckContext(std::string path) : path_(std::move(path)) {}
    const std::string& path() const { return path_; }
    const PluginModule& module();

    // A fresh instance opened the way a host opens one for playback,
    // switched on.
    std::unique_ptr<PluginInstance> playing(float sampleRate = kRate, VstInt32 blockSize = kBlock);

    static constexpr float kRate = 44100.0f;
    static constexpr VstInt32 kBlock = 512;

private:
    std::string path_;
    std::unique_ptr<PluginModule> module_;
};

// Channels with guard zones before and after, filled with a NaN pattern
// that no plug-in writes by accident, to catch writes outside a block.
class GuardedChannels {
public:
    GuardedChannels(int channels, std::size_t frames);
    float** pointers() { return pointers_.data(); }
    float* channel(int index) { return pointers_[static_cast<std::size_t>(index)]; }
    std::size_t frames() const { return frames_; }
    // Fills the usable part of every channel with the guard pattern too, so
    // that any write at all shows.
    void poison();
    bool guardsIntact() const;
    bool untouched() const;  // the whole storage still holds the pattern

private:
    std::size_t frames_;
    std::vector<std::vector<float>> storage_;
    std::vector<float*> pointers_;
};

struct ProcessRun {
    AudioBuffer output;
    SignalStats stats;
    bool guardsIntact = true;
    bool inputUntouched = true;
};

// Block sizes for one run; called with the block number, returns the frame
// count of that block (0 allowed).
using BlockPlan = std::function<VstInt32(std::size_t block)>;
// Called between blocks with the block number about to be processed.
using BetweenBlocks = std::function<void(std::size_t block)>;

BlockPlan fixedBlocks(VstInt32 frames);

// Runs all of `input` through the instance (open, configured and switched
// on), feeding input channels to the plug-in's inputs in turn. Checks that
// no write lands outside the block and that separate input buffers are left
// alone.
ProcessRun processAll(PluginInstance& instance, const AudioBuffer& input, const BlockPlan& plan,
                      const BetweenBlocks& between = {});

// The test input for checks: the first `seconds` of the embedded signal at
// `rate`, then `silenceSeconds` of silence, in which decaying filters show
// subnormal numbers.
AudioBuffer checkSignal(double rate, double seconds, double silenceSeconds = 0.0);

// Index and values of the first sample at which two buffers differ bit for
// bit, or an empty text when they are identical.
std::string firstDifference(const AudioBuffer& expected, const AudioBuffer& actual);

// A deterministic source of parameter values and block sizes.
class Random {
public:
    explicit Random(unsigned seed) : state_(seed == 0 ? 1u : seed) {}
    unsigned next();
    float unit() { return static_cast<float>(next() % 1000001u) / 1000000.0f; }
    int below(int limit) { return limit <= 0 ? 0 : static_cast<int>(next() % static_cast<unsigned>(limit)); }

private:
    unsigned state_;
};
