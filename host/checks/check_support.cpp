#include "checks/check_support.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

#include "audio/block_renderer.h"
#include "audio/test_signal.h"
#include "support/text_format.h"

namespace {

constexpr std::size_t kGuardFrames = 64;
constexpr std::uint32_t kGuardBits = 0x7FC0DEADu;
constexpr std::size_t kFindingsShown = 3;

float guardValue() {
    float value;
    std::memcpy(&value, &kGuardBits, sizeof value);
    return value;
}

bool holdsGuard(const float* first, std::size_t count) {
    for (std::size_t i = 0; i < count; ++i) {
        std::uint32_t bits;
        std::memcpy(&bits, first + i, sizeof bits);
        if (bits != kGuardBits) {
            return false;
        }
    }
    return true;
}

}  // namespace

void Findings::add(std::string finding) {
    findings_.push_back(std::move(finding));
}

CheckOutcome Findings::outcome(std::string passDetail) const {
    if (findings_.empty()) {
        return CheckOutcome::pass(std::move(passDetail));
    }
    std::string detail;
    for (std::size_t i = 0; i < findings_.size() && i < kFindingsShown; ++i) {
        detail += (i == 0 ? "" : "; ") + findings_[i];
    }
    if (findings_.size() > kFindingsShown) {
        detail += format(" (and %zu more)", findings_.size() - kFindingsShown);
    }
    return CheckOutcome::fail(detail);
}

const PluginModule& CheckContext::module() {
    if (!module_) {
        module_ = std::make_unique<PluginModule>(path_);
    }
    return *module_;
}

std::unique_ptr<PluginInstance> CheckContext::playing(float sampleRate, VstInt32 blockSize) {
    auto instance = std::make_unique<PluginInstance>(module(), sampleRate, blockSize);
    instance->openForPlayback(sampleRate, blockSize);
    instance->setMains(true);
    return instance;
}

GuardedChannels::GuardedChannels(int channels, std::size_t frames) : frames_(frames) {
    const auto count = static_cast<std::size_t>(std::max(channels, 1));
    storage_.assign(count, std::vector<float>(frames + 2 * kGuardFrames, guardValue()));
    for (auto& channel : storage_) {
        pointers_.push_back(channel.data() + kGuardFrames);
    }
}

void GuardedChannels::poison() {
    for (auto& channel : storage_) {
        std::fill(channel.begin(), channel.end(), guardValue());
    }
}

bool GuardedChannels::guardsIntact() const {
    return std::all_of(storage_.begin(), storage_.end(), [this](const std::vector<float>& channel) {
        return holdsGuard(channel.data(), kGuardFrames) &&
               holdsGuard(channel.data() + kGuardFrames + frames_, kGuardFrames);
    });
}

bool GuardedChannels::untouched() const {
    return std::all_of(storage_.begin(), storage_.end(),
                       [](const std::vector<float>& channel) { return holdsGuard(channel.data(), channel.size()); });
}

BlockPlan fixedBlocks(VstInt32 frames) {
    return [frames](std::size_t) { return frames; };
}

ProcessRun processAll(PluginInstance& instance, const AudioBuffer& input, const BlockPlan& plan,
                      const BetweenBlocks& between) {
    const int inputs = instance.numInputs();
    const int outputs = instance.numOutputs();
    const std::size_t frames = input.frameCount();
    ProcessRun run;
    run.output = AudioBuffer(outputs, frames, input.sampleRate);

    std::size_t capacity = 1;
    std::size_t offset = 0;
    std::vector<VstInt32> sizes;
    for (std::size_t block = 0; offset < frames; ++block) {
        const VstInt32 size = std::max<VstInt32>(0, plan(block));
        const auto frameCount = std::min(static_cast<std::size_t>(size), frames - offset);
        sizes.push_back(static_cast<VstInt32>(frameCount));
        capacity = std::max(capacity, frameCount);
        offset += frameCount;
        if (sizes.size() > frames + 1000000) {
            break;  // a plan of zero-sized blocks only; stop instead of looping forever
        }
    }
    GuardedChannels in(inputs, capacity);
    GuardedChannels out(outputs, capacity);
    std::vector<float> copy(capacity);

    offset = 0;
    for (std::size_t block = 0; block < sizes.size(); ++block) {
        if (between) {
            between(block);
        }
        const auto count = static_cast<std::size_t>(sizes[block]);
        in.poison();
        out.poison();
        for (int channel = 0; channel < inputs; ++channel) {
            const int source = sourceChannelFor(channel, input.channelCount());
            std::memcpy(in.channel(channel), input.channels[static_cast<std::size_t>(source)].data() + offset,
                        count * sizeof(float));
        }
        instance.process(in.pointers(), out.pointers(), static_cast<VstInt32>(count));
        run.guardsIntact = run.guardsIntact && in.guardsIntact() && out.guardsIntact();
        if (count == 0) {
            run.guardsIntact = run.guardsIntact && out.untouched();
        }
        for (int channel = 0; channel < inputs && run.inputUntouched; ++channel) {
            const int source = sourceChannelFor(channel, input.channelCount());
            run.inputUntouched =
                std::memcmp(in.channel(channel), input.channels[static_cast<std::size_t>(source)].data() + offset,
                            count * sizeof(float)) == 0;
        }
        for (int channel = 0; channel < outputs; ++channel) {
            std::memcpy(run.output.channels[static_cast<std::size_t>(channel)].data() + offset, out.channel(channel),
                        count * sizeof(float));
        }
        offset += count;
    }
    run.stats.add(run.output);
    return run;
}

AudioBuffer checkSignal(double rate, double seconds, double silenceSeconds) {
    AudioBuffer demo = makeDemoSignal(rate, 2);
    const auto sounding = std::min(demo.frameCount(), static_cast<std::size_t>(seconds * rate));
    const auto silent = static_cast<std::size_t>(silenceSeconds * rate);
    AudioBuffer signal(2, sounding + silent, rate);
    for (std::size_t channel = 0; channel < 2; ++channel) {
        std::copy_n(demo.channels[channel].begin(), sounding, signal.channels[channel].begin());
    }
    return signal;
}

std::string firstDifference(const AudioBuffer& expected, const AudioBuffer& actual) {
    if (expected.channelCount() != actual.channelCount() || expected.frameCount() != actual.frameCount()) {
        return format("shapes differ: %d x %zu against %d x %zu", expected.channelCount(), expected.frameCount(),
                      actual.channelCount(), actual.frameCount());
    }
    for (std::size_t channel = 0; channel < expected.channels.size(); ++channel) {
        const auto& want = expected.channels[channel];
        const auto& got = actual.channels[channel];
        for (std::size_t i = 0; i < want.size(); ++i) {
            if (std::memcmp(&want[i], &got[i], sizeof(float)) != 0) {
                return format("channel %zu sample %zu: %.9g against %.9g", channel, i, static_cast<double>(want[i]),
                              static_cast<double>(got[i]));
            }
        }
    }
    return "";
}

unsigned Random::next() {
    state_ ^= state_ << 13;
    state_ ^= state_ >> 17;
    state_ ^= state_ << 5;
    return state_;
}
