#include "audio/render_session.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>

#include "audio/progress_bar.h"
#include "opcodes.h"
#include "plugin/midi_events.h"
#include "plugin/plugin_instance.h"
#include "plugin/program_names.h"
#include "support/host_error.h"

namespace {

using Clock = std::chrono::steady_clock;

// Planar scratch channels of one block; at least one channel, so that the
// pointer array is valid for plug-ins without inputs or outputs.
class BlockChannels {
public:
    BlockChannels(int channels, std::size_t frames)
        : storage_(static_cast<std::size_t>(std::max(channels, 1)), std::vector<float>(frames, 0.0f)) {
        for (auto& channel : storage_) {
            pointers_.push_back(channel.data());
        }
    }
    float* const* pointers() { return pointers_.data(); }
    float* channel(int index) { return pointers_[static_cast<std::size_t>(index)]; }
    // Pointers `offset` frames into every channel.
    float** from(std::size_t offset) {
        shifted_.resize(pointers_.size());
        for (std::size_t i = 0; i < pointers_.size(); ++i) {
            shifted_[i] = pointers_[i] + offset;
        }
        return shifted_.data();
    }
    void silence(std::size_t from, std::size_t to) {
        for (auto& channel : storage_) {
            std::fill(channel.begin() + static_cast<std::ptrdiff_t>(from),
                      channel.begin() + static_cast<std::ptrdiff_t>(to), 0.0f);
        }
    }

private:
    std::vector<std::vector<float>> storage_;
    std::vector<float*> pointers_;
    std::vector<float*> shifted_;
};

}  // namespace

void applyProgramAndSettings(PluginInstance& instance, const RenderJob& job) {
    if (job.program) {
        if (*job.program < 0 || *job.program >= instance.numPrograms()) {
            throw UsageError(
                "program " + std::to_string(*job.program) + " does not exist: the plug-in has " +
                std::to_string(instance.numPrograms()) + " programs" +
                (instance.numPrograms() > 0 ? " (0 to " + std::to_string(instance.numPrograms() - 1) + ")" : ""));
        }
        instance.selectProgram(*job.program);
    }
    for (const ParameterSetting& setting : job.settings) {
        instance.setParameter(setting.index, setting.value);
    }
}

double RenderReport::speed() const {
    return processSeconds > 0.0 ? static_cast<double>(outputFrames) / sampleRate / processSeconds : 0.0;
}

double RenderReport::overallSpeed() const {
    return totalSeconds > 0.0 ? static_cast<double>(outputFrames) / sampleRate / totalSeconds : 0.0;
}

std::size_t automaticTailFrames(VstIntPtr tailSizeAnswer, double sampleRate) {
    const auto longest = static_cast<std::size_t>(kLongestAutomaticTailSeconds * sampleRate);
    if (tailSizeAnswer == 1) {
        return 0;
    }
    if (tailSizeAnswer <= 0) {
        return longest;
    }
    return std::min(static_cast<std::size_t>(tailSizeAnswer), longest);
}

RenderReport render(PluginInstance& instance, const RenderJob& job, const OutputSink& sink) {
    AudioSource& main = *job.main;
    const double rate = main.sampleRate();
    const auto block = static_cast<std::size_t>(std::max<VstInt32>(1, job.blockSize));

    applyProgramAndSettings(instance, job);
    RenderReport report;
    report.sampleRate = rate;
    if (instance.numPrograms() > 0) {
        report.programName = instance.text(effGetProgramName, 0, kProgramNameLimit).text;
    }

    // Switched on, then told that processing starts. (Never switched off
    // first: it never was on, and some plug-ins assert on that.)
    instance.setMains(true);
    instance.dispatch(effStartProcess);
    // Some plug-ins report their latency only once they process: it is read
    // again after the first block, before any output has been passed on.
    auto latencyToSkip = [&instance, &job, &report] {
        report.latency = instance.effect()->initialDelay;
        report.latencySkipped =
            job.compensateLatency ? static_cast<std::size_t>(std::max<VstInt32>(0, report.latency)) : 0;
        return report.latencySkipped;
    };
    std::size_t skip = latencyToSkip();
    report.tailLimitFrames = job.tailSeconds ? static_cast<std::size_t>(std::llround(*job.tailSeconds * rate))
                                             : automaticTailFrames(instance.dispatch(effGetTailSize), rate);
    const std::size_t quietWindow = job.tailSeconds ? 0 : static_cast<std::size_t>(kQuietTailSeconds * rate);

    BlockChannels mainBlock(main.channelCount(), block);
    BlockChannels sideBlock(job.sidechain != nullptr ? job.sidechain->channelCount() : 0, block);
    BlockChannels inputs(instance.numInputs(), block);
    BlockChannels outputs(instance.numOutputs(), block);
    OutputStage stage(job.channels.outputs, skip, quietWindow, sink);
    MidiEventBatch events;
    MidiCursor midi(job.midi);
    std::vector<float> sentValues(job.automation.size(), -1.0f);

    const std::optional<std::size_t> knownLength = main.frameCount();
    ProgressBar bar(stderr,
                    job.showProgress && knownLength && static_cast<double>(*knownLength) / rate > kProgressBarSeconds,
                    "rendering");
    std::size_t inputEnd = SIZE_MAX;  // known once the input has ended
    bool sidechainEnded = job.sidechain == nullptr;
    std::size_t fed = 0;  // frames handed to the plug-in so far
    Clock::duration busy{};
    const Clock::time_point started = Clock::now();

    for (;;) {
        std::size_t count = block;
        std::size_t got = 0;
        if (inputEnd == SIZE_MAX) {
            got = main.read(mainBlock.pointers(), block);
            while (got > 0 && got < block) {  // pipes may deliver less than asked
                const std::size_t more = main.read(mainBlock.from(got), block - got);
                if (more == 0) {
                    break;
                }
                got += more;
            }
            if (got < block) {
                inputEnd = fed + got;
            }
            for (int channel = 0; channel < main.channelCount(); ++channel) {
                report.in.add(mainBlock.channel(channel), got, fed, channel);
            }
        }
        mainBlock.silence(got, block);
        if (inputEnd != SIZE_MAX) {
            const std::size_t last = inputEnd + skip + report.tailLimitFrames;
            count = std::min(block, last > fed ? last - fed : 0);
        }
        if (count == 0) {
            break;
        }
        std::size_t sideGot = 0;
        if (!sidechainEnded) {
            sideGot = job.sidechain->read(sideBlock.pointers(), count);
            sidechainEnded = sideGot < count;
        }
        sideBlock.silence(sideGot, block);
        for (std::size_t input = 0; input < job.channels.inputs.size(); ++input) {
            const InputRoute& route = job.channels.inputs[input];
            float* target = inputs.channel(static_cast<int>(input));
            const float* source = route.from == InputRoute::From::Main        ? mainBlock.channel(route.channel)
                                  : route.from == InputRoute::From::Sidechain ? sideBlock.channel(route.channel)
                                                                              : nullptr;
            if (source == nullptr) {
                std::fill(target, target + count, 0.0f);
            } else {
                std::copy(source, source + count, target);
            }
        }

        // Process calls: split where automation must be sent again.
        for (std::size_t start = 0; start < count;) {
            std::size_t end = count;
            for (std::size_t i = 0; i < job.automation.size(); ++i) {
                const ParameterRamp& ramp = job.automation[i];
                const float value = ramp.valueAt(fed + start);
                if (value != sentValues[i]) {
                    instance.setParameter(ramp.index(), value);
                    sentValues[i] = value;
                }
                const std::size_t next = ramp.nextUpdate(fed + start);
                if (next != SIZE_MAX) {
                    end = std::min(end, next - fed);
                }
            }
            events.clear();
            midi.collect(fed + start, end - start, events);
            instance.sendEvents(events);
            const Clock::time_point before = Clock::now();
            instance.process(inputs.from(start), outputs.from(start), static_cast<VstInt32>(end - start));
            busy += Clock::now() - before;
            start = end;
        }

        if (fed == 0) {
            skip = latencyToSkip();
            stage.skipAtStart(skip);
        }
        fed += count;
        const bool going = stage.push(outputs.pointers(), count, inputEnd);
        if (knownLength && *knownLength > 0) {
            bar.update(static_cast<double>(fed) / static_cast<double>(*knownLength));
        }
        if (!going) {
            report.tailEndedQuiet = true;
            break;
        }
    }
    stage.finish();
    bar.finish();
    report.totalSeconds = std::chrono::duration<double>(Clock::now() - started).count();
    report.processSeconds = std::chrono::duration<double>(busy).count();

    instance.dispatch(effStopProcess);
    instance.setMains(false);

    report.inputFrames = inputEnd == SIZE_MAX ? fed : inputEnd;
    report.outputFrames = stage.framesWritten();
    report.tailFrames = report.outputFrames > report.inputFrames ? report.outputFrames - report.inputFrames : 0;
    report.out = stage.stats();
    return report;
}
