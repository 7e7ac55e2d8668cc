#include "checks/fresh_process.h"

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <exception>
#include <new>

#include "plugin/plugin_calls.h"
#include "support/child_mode.h"
#include "support/child_process.h"
#include "support/fixed_text.h"
#include "support/shared_block.h"
#include "support/text_format.h"
#include "support/watch_page.h"

namespace {

constexpr double kSignalSeconds = 1.0;
constexpr char kMagic[8] = {'K', 'D', 'F', 'R', 'E', 'S', 'H', '1'};

struct Header {
    char magic[8];
    std::uint32_t channels;
    std::uint32_t frames;
};

std::string encode(const AudioBuffer& output) {
    Header header{};
    std::memcpy(header.magic, kMagic, sizeof kMagic);
    header.channels = static_cast<std::uint32_t>(output.channelCount());
    header.frames = static_cast<std::uint32_t>(output.frameCount());
    std::string bytes(reinterpret_cast<const char*>(&header), sizeof header);
    for (const auto& channel : output.channels) {
        bytes.append(reinterpret_cast<const char*>(channel.data()), channel.size() * sizeof(float));
    }
    return bytes;
}

bool decode(const std::string& bytes, AudioBuffer& output) {
    Header header{};
    if (bytes.size() < sizeof header) {
        return false;
    }
    std::memcpy(&header, bytes.data(), sizeof header);
    const std::size_t samples = static_cast<std::size_t>(header.channels) * header.frames;
    if (std::memcmp(header.magic, kMagic, sizeof kMagic) != 0 ||
        bytes.size() != sizeof header + samples * sizeof(float)) {
        return false;
    }
    output = AudioBuffer(static_cast<int>(header.channels), header.frames, CheckContext::kRate);
    const char* at = bytes.data() + sizeof header;
    for (auto& channel : output.channels) {
        std::memcpy(channel.data(), at, channel.size() * sizeof(float));
        at += channel.size() * sizeof(float);
    }
    return true;
}

FreshOutput runFresh(const std::string& plugin, int timeoutSeconds) {
    FreshOutput result;
    SharedBlock shared(sizeof(WatchPage));
    if (!shared.ok()) {
        result.problem = "cannot start plughost again for a fresh process: no memory to share with it";
        return result;
    }
    const auto* page = new (shared.data()) WatchPage{};
    ChildProcess child = ChildProcess::runSelf(ChildOutput::Discard, {"check", "--fresh-output", plugin}, &shared);
    std::string bytes;
    const ChildExit exit =
        child.finish(timeoutSeconds, [&bytes](const char* data, std::size_t size) { bytes.append(data, size); });
    if (!exit.started) {
        result.problem = "cannot start plughost again for a fresh process: " + exit.problem;
    } else if (exit.timedOut) {
        result.problem = format("the fresh process did not finish within %d s", timeoutSeconds);
    } else if (decode(bytes, result.output)) {
        result.ok = true;
    } else if (page->finished != 0) {
        result.problem = format("the fresh process gave no output (exit status %d)", page->status);
    } else {
        const Ending ending = page->ending.kind != EndingKind::None ? page->ending : exit.ending();
        char cause[512];
        FixedText text(cause, sizeof cause);
        describeEnding(ending, text.text("the plug-in "));
        char calls[512];
        describeCallsInProgress(page->calls, calls, sizeof calls);
        result.problem =
            std::string("the fresh process gave no output: ") + cause + (calls[0] != '\0' ? " in " : "") + calls;
    }
    return result;
}

}  // namespace

ProcessRun reproducibilityRun(PluginInstance& instance) {
    const Stimulus stimulus = checkStimulus(instance, CheckContext::kRate, kSignalSeconds);
    return processAll(instance, stimulus, fixedBlocks(CheckContext::kBlock));
}

FreshOutput freshProcessOutput(const std::string& plugin, int timeoutSeconds) {
    return runFresh(plugin, timeoutSeconds);
}

int writeFreshOutput(const std::string& plugin) {
    try {
        CheckContext context(plugin);
        auto instance = context.playing();
        const ProcessRun run = reproducibilityRun(*instance);
        // Sent before closing: what the instance gave counts even if
        // closing it fails.
        const std::string bytes = encode(run.output);
        writeToParent(bytes.data(), bytes.size());
        instance.reset();
        return 0;
    } catch (const std::exception& error) {
        std::fprintf(stderr, "plughost: %s\n", error.what());
        return 1;
    }
}
