#include "audio/render_session.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <utility>
#include <vector>

#include "audio/block_schedule.h"
#include "audio/progress_bar.h"
#include "audio/read_ahead.h"
#include "audio/write_behind.h"
#include "opcodes.h"
#include "plugin/parameter_lookup.h"
#include "plugin/plugin_instance.h"
#include "plugin/program_names.h"
#include "support/host_error.h"

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

// Where each plug-in input finds its samples. A file channel reaches its
// first input in place; another input fed by the same channel gets a copy,
// and an input fed by nothing gets silence, each in an array of its own,
// since a plug-in may write into its inputs. A plug-in without inputs gets
// one silent array, so that the pointer table is valid.
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

    // The inputs for `frames` frames from `offset` in the chunk.
    float** at(InputChunk& chunk, std::size_t offset, std::size_t frames) {
        for (std::size_t input = 0; input < routes_.size(); ++input) {
            const InputRoute& route = routes_[input];
            float* own = own_[input].data();
            if (route.from == InputRoute::From::Silence) {
                std::fill(own, own + frames, 0.0f);
                continue;
            }
            const PlanarChunk& part = route.from == InputRoute::From::Main ? chunk.main : chunk.sidechain;
            float* source = part.channel(static_cast<std::size_t>(route.channel)) + offset;
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

// The automation's ramps at the stream's rate, resolved against the plug-in.
std::vector<ParameterRamp> rampsFor(PluginInstance& instance, const std::vector<AutomationRequest>& automation,
                                    double rate, std::vector<AutomationRequest>& resolved) {
    std::vector<ParameterRamp> ramps;
    for (const AutomationRequest& request : automation) {
        resolved.push_back({resolveParameter(instance, request.parameter), request.points});
        ramps.emplace_back(*resolved.back().parameter.index, request.points, rate);
    }
    return ramps;
}

}  // namespace

std::vector<ParameterSetting> applyProgramAndSettings(PluginInstance& instance, const RenderJob& job) {
    if (job.program) {
        if (*job.program < 0 || *job.program >= instance.numPrograms()) {
            throw UsageError(
                "program " + std::to_string(*job.program) + " does not exist: the plug-in has " +
                std::to_string(instance.numPrograms()) + " programs" +
                (instance.numPrograms() > 0 ? " (0 to " + std::to_string(instance.numPrograms() - 1) + ")" : ""));
        }
        instance.selectProgram(*job.program);
    }
    std::vector<ParameterSetting> applied;
    for (const ParameterSetting& setting : job.settings) {
        applied.push_back({resolveParameter(instance, setting.parameter), setting.value});
        instance.setParameter(*applied.back().parameter.index, setting.value);
    }
    return applied;
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

RenderReport render(PluginInstance& instance, const RenderJob& job, const RenderStreams& streams,
                    const OutputSink& sink) {
    AudioSource& main = *streams.main;
    const double rate = main.sampleRate();
    const auto block = static_cast<std::size_t>(std::max<VstInt32>(1, job.blockSize));

    RenderReport report;
    report.sampleRate = rate;
    report.settings = applyProgramAndSettings(instance, job);
    const std::vector<ParameterRamp> ramps = rampsFor(instance, job.automation, rate, report.automation);
    if (instance.numPrograms() > 0) {
        report.program = static_cast<int>(instance.dispatch(effGetProgram));
        report.programName = instance.text(effGetProgramName, 0, kProgramNameLimit).text;
    }

    // Switched on, then told that processing starts. (Never switched off
    // first: it never was on, and some plug-ins assert on that.)
    instance.host().clock.follow(streams.tempoMap);
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

    OutputStage stage(streams.channels.outputs, skip, quietWindow, rate, sink);
    const bool playsMidi = streams.midi != nullptr && !streams.midi->events.empty();
    BlockSchedule schedule(instance, ramps, playsMidi ? streams.midi : nullptr);

    const std::optional<std::size_t> knownLength = main.frameCount();
    ProgressBar bar(stderr,
                    job.showProgress && knownLength && static_cast<double>(*knownLength) / rate > kProgressBarSeconds,
                    "rendering");
    const int sidechainChannels = streams.sidechain != nullptr ? streams.sidechain->channelCount() : 0;
    const ChunkShape chunks =
        chunkShapeFor(block, std::max(main.channelCount() + sidechainChannels, instance.numOutputs()));
    const std::size_t chunkFrames = chunks.frames;
    InputFeeds feeds(streams.channels.inputs, instance.numInputs(), block);
    std::size_t inputEnd = SIZE_MAX;  // known once the input has ended
    std::size_t end = SIZE_MAX;       // the last frame to process, once known
    const Clock::time_point started = Clock::now();

    // The files are read and written on threads of their own, so that on a
    // machine with cores to spare their cost hides behind the plug-in's.
    // The plug-in itself is called from this thread only, in order.
    ReadAhead reader(main, streams.sidechain, chunkFrames, chunks.inFlight);
    WriteBehind writer(stage, std::max(instance.numOutputs(), 1), chunkFrames, chunks.inFlight);
    QuietTailWatch watch(streams.channels.outputs, skip, quietWindow,
                         static_cast<std::size_t>(std::llround(kTailEndSeconds * rate)));
    std::vector<float*> shifted(static_cast<std::size_t>(std::max(instance.numOutputs(), 1)));  // into the chunk
    for (bool more = true; more;) {
        InputChunk& in = reader.next();
        if (inputEnd == SIZE_MAX && in.mainFrames < chunkFrames) {
            inputEnd = schedule.position() + in.mainFrames;
            end = inputEnd + skip + report.tailLimitFrames;
        }
        OutputChunk& out = writer.next();
        std::size_t done = 0;  // frames of the chunk rendered
        while (done < chunkFrames) {
            const std::size_t at = schedule.position();
            const std::size_t count = std::min(block, end > at ? end - at : 0);
            if (count == 0) {
                more = false;
                break;
            }
            float* const* outputs = out.outputs.channels();
            for (std::size_t channel = 0; channel < shifted.size(); ++channel) {
                shifted[channel] = outputs[channel] + done;
            }
            schedule.process(feeds.at(in, done, count), shifted.data(), count);
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
            bar.update(static_cast<double>(schedule.position()) / static_cast<double>(*knownLength));
        }
    }
    writer.finish();
    reader.stop();
    report.tailEndedQuiet = writer.ended();
    stage.finish();
    bar.finish();
    report.totalSeconds = std::chrono::duration<double>(Clock::now() - started).count();
    report.processSeconds = schedule.secondsInPlugin();

    instance.dispatch(effStopProcess);
    instance.setMains(false);

    report.processedFrames = schedule.position();
    report.inputFrames = inputEnd == SIZE_MAX ? schedule.position() : inputEnd;
    report.outputFrames = stage.framesWritten();
    report.tailFrames = report.outputFrames > report.inputFrames ? report.outputFrames - report.inputFrames : 0;
    if (!job.tailSeconds && !report.tailEndedQuiet && report.tailLimitFrames > 0 &&
        watch.endLevel() > kAudibleTailLevel) {
        report.tailCutAt = watch.endLevel();
    }
    report.in = reader.stats();
    report.out = stage.stats();
    report.inLoudness = reader.loudness();
    report.outLoudness = stage.loudness();
    return report;
}
