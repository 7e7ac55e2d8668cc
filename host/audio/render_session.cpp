#include "audio/render_session.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <utility>
#include <vector>

#include "audio/block_schedule.h"
#include "audio/progress_bar.h"
#include "audio/read_ahead.h"
#include "audio/resampler.h"
#include "audio/write_behind.h"
#include "opcodes.h"
#include "plugin/plugin_instance.h"
#include "plugin/program_names.h"

namespace {

using Clock = std::chrono::steady_clock;

// Chunks handed between the reader, the render and the writer: whole
// blocks, about kChunkSamples samples on the widest side, so that hand-overs
// and file calls are few and the chunks in flight stay small whatever the
// channel count. Four each way let the reader and the writer work in
// bursts of two, woken seldom; blocks larger than a chunk get two each way,
// which still overlaps the files with the plug-in.
constexpr std::size_t kChunkSamples = 65536;
constexpr std::size_t kChunksInFlight = 4;
constexpr std::size_t kLargeChunksInFlight = 2;

struct ChunkShape {
    std::size_t frames;
    std::size_t inFlight;
};

ChunkShape chunkShapeFor(std::size_t block, int widest) {
    const std::size_t blockSamples = block * static_cast<std::size_t>(std::max(widest, 1));
    if (blockSamples > kChunkSamples) {
        return {block, kLargeChunksInFlight};
    }
    return {block * (kChunkSamples / blockSamples), kChunksInFlight};
}

// Where each plug-in input finds its samples. A source channel reaches its
// first input in place; another input fed by the same channel gets a copy,
// and an input fed by nothing gets silence, each in an array of its own,
// since a plug-in may write into its inputs. A plug-in without inputs gets
// one silent array, so that the pointer table is valid. The sources are the
// files (main and sidechain) for the first plug-in of a chain, and the
// outputs of the plug-in before it (as main) for the others.
class InputFeeds {
public:
    InputFeeds(const std::vector<InputRoute>& routes, int pluginInputs, std::size_t block)
        : routes_(routes), pointers_(static_cast<std::size_t>(std::max(pluginInputs, 1))) {
        routes_.resize(static_cast<std::size_t>(std::max(pluginInputs, 0)));
        std::vector<std::pair<InputRoute::From, int>> seen;
        for (const InputRoute& route : routes_) {
            const std::pair<InputRoute::From, int> source{route.from, route.channel};
            const bool own =
                route.from == InputRoute::From::Silence || std::find(seen.begin(), seen.end(), source) != seen.end();
            own_.emplace_back(own ? block : 0, 0.0f);
            seen.push_back(source);
        }
        if (own_.empty()) {
            own_.emplace_back(block, 0.0f);
        }
        for (std::size_t input = 0; input < pointers_.size(); ++input) {
            pointers_[input] = own_[input].data();
        }
    }

    // The inputs for `frames` frames from `offset` in the sources.
    float** at(float* const* main, float* const* sidechain, std::size_t offset, std::size_t frames) {
        for (std::size_t input = 0; input < routes_.size(); ++input) {
            const InputRoute& route = routes_[input];
            float* own = own_[input].data();
            if (route.from == InputRoute::From::Silence) {
                std::fill(own, own + frames, 0.0f);
                continue;
            }
            float* const* part = route.from == InputRoute::From::Main ? main : sidechain;
            float* source = part[route.channel] + offset;
            if (own_[input].empty()) {
                pointers_[input] = source;
            } else {
                std::copy(source, source + frames, own);
            }
        }
        return pointers_.data();
    }

private:
    std::vector<InputRoute> routes_;
    std::vector<std::vector<float>> own_;  // empty for an input read in place
    std::vector<float*> pointers_;
};

// One plug-in of the chain while it plays: its automation at the stream's
// rate, the schedule of its process calls, where its inputs come from, and
// (for all but the last) the block its outputs go to.
struct ChainStage {
    ChainStage(PluginInstance& instance, const PluginSetup& setup, const std::vector<InputRoute>& routes,
               const MidiSequence* midi, double rate, std::size_t block, bool last)
        : ramps(rampsFor(setup, rate)),
          schedule(instance, ramps, midi),
          feeds(routes, instance.numInputs(), block),
          outputs(last ? 0 : instance.numOutputs(), last ? 0 : block) {}

    static std::vector<ParameterRamp> rampsFor(const PluginSetup& setup, double rate) {
        std::vector<ParameterRamp> ramps;
        for (const AutomationRequest& request : setup.automation) {
            ramps.emplace_back(*request.parameter.index, request.points, rate);
        }
        return ramps;
    }

    std::vector<ParameterRamp> ramps;
    BlockSchedule schedule;
    InputFeeds feeds;
    PlanarChunk outputs;
};

}  // namespace

double RenderReport::speed() const {
    return processSeconds > 0.0 ? static_cast<double>(outputFrames) / outputRate / processSeconds : 0.0;
}

double RenderReport::overallSpeed() const {
    return totalSeconds > 0.0 ? static_cast<double>(outputFrames) / outputRate / totalSeconds : 0.0;
}

std::size_t automaticTailFrames(const std::vector<VstIntPtr>& tailSizeAnswers, double sampleRate) {
    const auto longest = static_cast<std::size_t>(kLongestAutomaticTailSeconds * sampleRate);
    std::size_t sum = 0;
    for (VstIntPtr answer : tailSizeAnswers) {
        if (answer <= 0) {
            return longest;
        }
        if (answer > 1) {
            sum += std::min(static_cast<std::size_t>(answer), longest);
        }
    }
    return std::min(sum, longest);
}

RenderReport render(const std::vector<PluginInstance*>& chain, const RenderPlan& plan, const RenderStreams& streams,
                    const OutputSink& sink) {
    AudioSource& main = *streams.main;
    const double rate = plan.sampleRate;
    const auto block = static_cast<std::size_t>(std::max<VstInt32>(1, plan.blockSize));
    PluginInstance& last = *chain.back();

    RenderReport report;
    report.sampleRate = rate;
    report.outputRate = plan.outputRate;
    std::vector<VstIntPtr> tailAnswers;
    for (std::size_t k = 0; k < chain.size(); ++k) {
        PluginInstance& instance = *chain[k];
        applySetup(instance, plan.plugins[k]);
        PluginReport plugin;
        if (instance.numPrograms() > 0) {
            plugin.program = static_cast<int>(instance.dispatch(effGetProgram));
            plugin.programName = instance.text(effGetProgramName, 0, kProgramNameLimit).text;
        }
        report.plugins.push_back(plugin);
    }

    // Switched on, then told that processing starts. (Never switched off
    // first: it never was on, and some plug-ins assert on that.)
    for (PluginInstance* instance : chain) {
        instance->host().clock.follow(plan.tempoMap);
        instance->setMains(true);
        instance->dispatch(effStartProcess);
        tailAnswers.push_back(instance->dispatch(effGetTailSize));
    }
    // Some plug-ins report their latency only once they process: it is read
    // again after the first block, before any output has been passed on.
    auto latencyToSkip = [&chain, &plan, &report] {
        report.latency = 0;
        for (std::size_t k = 0; k < chain.size(); ++k) {
            report.plugins[k].latency = chain[k]->effect()->initialDelay;
            report.latency += std::max<VstInt32>(0, report.plugins[k].latency);
        }
        report.latencySkipped = plan.compensateLatency ? static_cast<std::size_t>(report.latency) : 0;
        return report.latencySkipped;
    };
    std::size_t skip = latencyToSkip();
    report.tailLimitFrames = plan.tailFrames ? *plan.tailFrames : automaticTailFrames(tailAnswers, rate);
    const std::size_t quietWindow = plan.tailFrames ? 0 : static_cast<std::size_t>(kQuietTailSeconds * rate);

    // Output at another rate than the plug-ins' is resampled on its way from
    // the stage to the sink, on the writer thread.
    std::optional<ResamplingSink> resampling;
    OutputSink toSink = sink;
    if (plan.outputRate != rate) {
        resampling.emplace(static_cast<int>(plan.channels.outputs.size()), rate, plan.outputRate, sink);
        toSink = [&resampling](const float* const* channels, std::size_t frames) {
            resampling->push(channels, frames);
        };
    }
    OutputStage stage(plan.channels.outputs, skip, quietWindow, toSink);
    const bool playsMidi = streams.midi != nullptr && !streams.midi->events.empty();
    std::vector<std::unique_ptr<ChainStage>> stages;
    for (std::size_t k = 0; k < chain.size(); ++k) {
        const bool midi = playsMidi && k < plan.playsMidi.size() && plan.playsMidi[k];
        stages.push_back(
            std::make_unique<ChainStage>(*chain[k], plan.plugins[k], k == 0 ? plan.channels.inputs : plan.links[k - 1],
                                         midi ? streams.midi : nullptr, rate, block, k + 1 == chain.size()));
    }
    BlockSchedule& lastSchedule = stages.back()->schedule;

    const std::optional<std::size_t> knownLength = main.frameCount();
    ProgressBar bar(stderr,
                    plan.showProgress && knownLength && static_cast<double>(*knownLength) / rate > kProgressBarSeconds,
                    "rendering");
    const int sidechainChannels = streams.sidechain != nullptr ? streams.sidechain->channelCount() : 0;
    const ChunkShape chunks =
        chunkShapeFor(block, std::max(main.channelCount() + sidechainChannels, last.numOutputs()));
    const std::size_t chunkFrames = chunks.frames;
    std::size_t inputEnd = SIZE_MAX;  // known once the input has ended
    std::size_t end = SIZE_MAX;       // the last frame to process, once known
    const Clock::time_point started = Clock::now();

    // The files are read and written on threads of their own, so that on a
    // machine with cores to spare their cost hides behind the plug-ins'.
    // The plug-ins themselves are called from this thread only, in order.
    ReadAhead reader(main, streams.sidechain, chunkFrames, chunks.inFlight);
    WriteBehind writer(stage, std::max(last.numOutputs(), 1), chunkFrames, chunks.inFlight);
    QuietTailWatch watch(plan.channels.outputs, skip, quietWindow,
                         static_cast<std::size_t>(std::llround(kTailEndSeconds * rate)));
    std::vector<float*> shifted(static_cast<std::size_t>(std::max(last.numOutputs(), 1)));  // into the chunk
    for (bool more = true; more;) {
        InputChunk& in = reader.next();
        if (inputEnd == SIZE_MAX && in.mainFrames < chunkFrames) {
            inputEnd = lastSchedule.position() + in.mainFrames;
            end = inputEnd + skip + report.tailLimitFrames;
        }
        OutputChunk& out = writer.next();
        std::size_t done = 0;  // frames of the chunk rendered
        while (done < chunkFrames) {
            const std::size_t at = lastSchedule.position();
            const std::size_t count = std::min(block, end > at ? end - at : 0);
            if (count == 0) {
                more = false;
                break;
            }
            float* const* outputs = out.outputs.channels();
            for (std::size_t channel = 0; channel < shifted.size(); ++channel) {
                shifted[channel] = outputs[channel] + done;
            }
            float** inputs = stages.front()->feeds.at(in.main.channels(), in.sidechain.channels(), done, count);
            for (std::size_t k = 0; k < stages.size(); ++k) {
                ChainStage& current = *stages[k];
                float* const* into = k + 1 == stages.size() ? shifted.data() : current.outputs.channels();
                current.schedule.process(inputs, into, count);
                if (k + 1 < stages.size()) {
                    inputs = stages[k + 1]->feeds.at(into, nullptr, 0, count);
                }
            }
            if (at == 0) {
                skip = latencyToSkip();
                stage.skipAtStart(skip);  // before the first chunk reaches the writer
                watch.skipAtStart(skip);
                end = inputEnd == SIZE_MAX ? end : inputEnd + skip + report.tailLimitFrames;
            }
            more = watch.push(shifted.data(), count, inputEnd);
            done += count;
            if (!more) {
                break;
            }
        }
        reader.release();
        out.frames = done;
        out.tailStart = inputEnd;
        writer.publish();
        if (knownLength && *knownLength > 0) {
            bar.update(static_cast<double>(lastSchedule.position()) / static_cast<double>(*knownLength));
        }
    }
    writer.finish();
    reader.stop();
    report.tailEndedQuiet = writer.ended();
    stage.finish();
    if (resampling) {
        resampling->finish();
    }
    bar.finish();
    report.totalSeconds = std::chrono::duration<double>(Clock::now() - started).count();
    for (const auto& current : stages) {
        report.processSeconds += current->schedule.secondsInPlugin();
    }

    for (PluginInstance* instance : chain) {
        instance->dispatch(effStopProcess);
        instance->setMains(false);
    }

    report.processedFrames = lastSchedule.position();
    report.inputFrames = inputEnd == SIZE_MAX ? lastSchedule.position() : inputEnd;
    report.outputFrames = resampling ? resampling->framesWritten() : stage.framesWritten();
    report.tailFrames = stage.framesWritten() > report.inputFrames ? stage.framesWritten() - report.inputFrames : 0;
    if (!plan.tailFrames && !report.tailEndedQuiet && report.tailLimitFrames > 0 &&
        watch.endLevel() > kAudibleTailLevel) {
        report.tailCutAt = watch.endLevel();
    }
    report.in = reader.stats();
    report.out = resampling ? resampling->stats() : stage.stats();
    return report;
}
