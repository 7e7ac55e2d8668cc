// libFuzzer entry for plughost's audio reader: each input is an audio file,
// read the way `plughost render -i` reads it, as a file or from a pipe on
// standard input (the input's first byte chooses). Sanitizer reports,
// crashes, exceptions other than the reader's FileError and broken promises
// (fuzzFailure) are the findings.
#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "audio/promised_length.h"
#include "audio/sound_file.h"
#include "fuzz_failure.h"
#include "support/host_error.h"

namespace {

// Inputs beyond this are cut: a pipe takes them whole without a second
// thread (its buffer is raised to this size), and libFuzzer's own default
// stays well below.
constexpr std::size_t kLargestInput = 1 << 20;
constexpr std::size_t kFramesPerRead = 1000;
// A pipe holds this much without growing its buffer.
constexpr std::size_t kPipeBuffer = 65536;
// libsndfile refuses more channels than this.
constexpr int kMostChannels = 1024;

enum class Route { File, Pipe };

// The bytes as a file in memory, named by its /proc path; one file, made
// anew for each input.
std::string memoryFile(const std::uint8_t* data, std::size_t size) {
    static const int file = memfd_create("fuzz-audio", MFD_CLOEXEC);
    FUZZ_REQUIRE(file >= 0 && ftruncate(file, 0) == 0, "the memory file cannot be made");
    for (std::size_t done = 0; done < size;) {
        const ssize_t wrote = pwrite(file, data + done, size - done, static_cast<off_t>(done));
        FUZZ_REQUIRE(wrote > 0, "writing the memory file failed");
        done += static_cast<std::size_t>(wrote);
    }
    return "/proc/self/fd/" + std::to_string(file);
}

// The bytes on standard input through a pipe whose writing end is closed.
void pipeToStandardInput(const std::uint8_t* data, std::size_t size) {
    int ends[2];
    FUZZ_REQUIRE(pipe(ends) == 0, "pipe failed");
    if (size > kPipeBuffer) {
        fcntl(ends[1], F_SETPIPE_SZ, static_cast<int>(kLargestInput));
    }
    for (std::size_t done = 0; done < size;) {
        const ssize_t wrote = write(ends[1], data + done, size - done);
        FUZZ_REQUIRE(wrote > 0, "the pipe took %zu of %zu bytes", done, size);
        done += static_cast<std::size_t>(wrote);
    }
    close(ends[1]);
    dup2(ends[0], STDIN_FILENO);
    close(ends[0]);
}

void readWhole(const std::string& path) {
    SoundFileReader reader(path);
    const int channels = reader.channelCount();
    FUZZ_REQUIRE(channels > 0 && channels <= kMostChannels, "%d channels", channels);
    FUZZ_REQUIRE(reader.sampleRate() > 0.0, "sample rate %g", reader.sampleRate());
    static std::vector<float> samples(kMostChannels * kFramesPerRead);
    std::vector<float*> at;
    for (int channel = 0; channel < channels; ++channel) {
        at.push_back(samples.data() + static_cast<std::size_t>(channel) * kFramesPerRead);
    }
    std::size_t total = 0;
    for (std::size_t got; (got = reader.read(at.data(), kFramesPerRead)) > 0;) {
        FUZZ_REQUIRE(got <= kFramesPerRead, "%zu frames for %zu asked", got, kFramesPerRead);
        total += got;
    }
    FUZZ_REQUIRE(reader.read(at.data(), kFramesPerRead) == 0, "frames after the end");
    FUZZ_REQUIRE(total == reader.framesDelivered(), "%zu frames read, %zu counted", total, reader.framesDelivered());
    const std::optional<std::uint64_t> promised = reader.promisedFrames();
    FUZZ_REQUIRE(!promised || reader.endedEarly() == (total < *promised),
                 "%zu frames of %llu promised, ended early: %d", total, static_cast<unsigned long long>(*promised),
                 reader.endedEarly());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 1) {
        return 0;
    }
    const Route route = data[0] % 2 == 0 ? Route::File : Route::Pipe;
    const std::uint8_t* bytes = data + 1;
    const std::size_t length = std::min(size - 1, kLargestInput);
    // The header parser on its own, with every frame size the reader uses.
    for (std::size_t frameBytes : {0, 1, 2, 3, 4, 6, 8, 1024}) {
        (void)promisedFrames(bytes, length, frameBytes);
    }
    std::string path = kStandardInput;
    if (route == Route::File) {
        path = memoryFile(bytes, length);
    } else {
        pipeToStandardInput(bytes, length);
    }
    try {
        readWhole(path);
    } catch (const HostError& error) {
        FUZZ_REQUIRE(error.kind() == ErrorKind::File, "a %d error for a bad file: %s", static_cast<int>(error.kind()),
                     error.what());
    }
    return 0;
}
