#include "audio/pipe_stream.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>

namespace {

// What libsndfile is told the length is until the stream has ended:
// unknown, so larger than any stream, but far from overflowing its
// arithmetic. Once it has ended, its true length, so that parsers that
// look for chunks up to the end of the file stop there.
constexpr sf_count_t kUnknownLength = sf_count_t{1} << 62;

// Containers libsndfile reads from a stream of unknown length, known by
// the bytes they start with.
struct StreamingContainer {
    const char* name;
    std::size_t at;
    const char* mark;
    std::size_t formAt;  // a second mark, when the first is shared
    const char* form;
};
constexpr StreamingContainer kStreamingContainers[] = {
    {"WAV", 0, "RIFF", 8, "WAVE"},     {"WAV", 0, "RIFX", 8, "WAVE"},  {"RF64", 0, "RF64", 8, "WAVE"},
    {"Wave64", 0, "riff", 24, "wave"}, {"AIFF", 0, "FORM", 8, "AIFF"}, {"AIFC", 0, "FORM", 8, "AIFC"},
    {"AU", 0, ".snd", 0, ""},          {"CAF", 0, "caff", 0, ""},      {"FLAC", 0, "fLaC", 0, ""},
    {"Ogg", 0, "OggS", 0, ""},
};

}  // namespace

PipeStream::PipeStream(int descriptor) : descriptor_(descriptor) {
    retainUpTo(kRetainedBytes);
    wholeAtStart_ = ended_;
}

std::string PipeStream::streamsWithoutLength() const {
    auto holds = [this](std::size_t at, const char* mark) {
        const std::size_t length = std::strlen(mark);
        return retained_.size() >= at + length && std::memcmp(retained_.data() + at, mark, length) == 0;
    };
    for (const StreamingContainer& container : kStreamingContainers) {
        if (holds(container.at, container.mark) && holds(container.formAt, container.form)) {
            return container.name;
        }
    }
    // An MPEG audio stream starts with its tag or with a frame's sync bits.
    const bool mpegFrame = retained_.size() >= 2 && retained_[0] == 0xFF && (retained_[1] & 0xE0) == 0xE0;
    return holds(0, "ID3") || mpegFrame ? "MP3" : "";
}

SF_VIRTUAL_IO PipeStream::callbacks() {
    SF_VIRTUAL_IO io{};
    io.get_filelen = [](void* self) {
        const auto* stream = static_cast<PipeStream*>(self);
        return stream->ended_ ? stream->consumed_ : kUnknownLength;
    };
    io.seek = [](sf_count_t offset, int whence, void* self) {
        return static_cast<PipeStream*>(self)->seek(offset, whence);
    };
    io.read = [](void* into, sf_count_t count, void* self) {
        return static_cast<PipeStream*>(self)->read(into, count);
    };
    io.write = nullptr;
    io.tell = [](void* self) { return static_cast<PipeStream*>(self)->position_; };
    return io;
}

std::size_t PipeStream::readDescriptor(unsigned char* into, std::size_t count) {
    std::size_t done = 0;
    while (done < count && !ended_) {
        const ssize_t got = ::read(descriptor_, into + done, count - done);
        if (got > 0) {
            done += static_cast<std::size_t>(got);
        } else if (got < 0 && errno == EINTR) {
            continue;
        } else {
            if (got < 0) {
                failure_ = std::strerror(errno);
            }
            ended_ = true;
        }
    }
    consumed_ += static_cast<sf_count_t>(done);
    return done;
}

// Reads into the retained bytes until they reach `end` or the stream ends,
// a piece at a time, so that a short stream costs little. A target past the
// end of a short stream is then past its end.
void PipeStream::retainUpTo(std::size_t end) {
    constexpr std::size_t kPiece = 65536;
    while (retained_.size() < end && !ended_ && consumed_ == static_cast<sf_count_t>(retained_.size())) {
        const std::size_t had = retained_.size();
        retained_.resize(std::min(end, had + kPiece));
        retained_.resize(had + readDescriptor(retained_.data() + had, retained_.size() - had));
    }
}

sf_count_t PipeStream::read(void* into, sf_count_t count) {
    if (count <= 0) {
        return 0;
    }
    auto* bytes = static_cast<unsigned char*>(into);
    sf_count_t done = 0;
    if (position_ < static_cast<sf_count_t>(kRetainedBytes)) {
        retainUpTo(static_cast<std::size_t>(std::min<sf_count_t>(count, kRetainedBytes - position_) + position_));
        const sf_count_t held = std::max<sf_count_t>(0, static_cast<sf_count_t>(retained_.size()) - position_);
        done = std::min(count, held);
        if (done > 0) {
            std::memcpy(bytes, retained_.data() + position_, static_cast<std::size_t>(done));
        }
        position_ += done;
        if (done < count && position_ < static_cast<sf_count_t>(kRetainedBytes)) {
            return done;  // the stream ended within the retained bytes
        }
    }
    // Past the retained bytes every read continues where the last one
    // stopped: seeks there are refused.
    if (done < count && position_ == consumed_) {
        const std::size_t got = readDescriptor(bytes + done, static_cast<std::size_t>(count - done));
        position_ += static_cast<sf_count_t>(got);
        done += static_cast<sf_count_t>(got);
    }
    return done;
}

sf_count_t PipeStream::seek(sf_count_t offset, int whence) {
    // Offsets come from headers, so from anywhere: a target beyond what
    // the length could ever be fails.
    if (whence != SEEK_SET && whence != SEEK_CUR && whence != SEEK_END) {
        return -1;
    }
    const sf_count_t base = whence == SEEK_SET ? 0 : whence == SEEK_CUR ? position_ : ended_ ? consumed_ : -1;
    if (base < 0 || offset > kUnknownLength - base || offset < -base) {
        return -1;
    }
    const sf_count_t target = base + offset;
    // Within the retained bytes, while nothing beyond them has been read.
    if (target != position_ && !(ended_ && target >= consumed_)) {
        if (target > static_cast<sf_count_t>(kRetainedBytes) || consumed_ > static_cast<sf_count_t>(kRetainedBytes)) {
            return -1;
        }
        retainUpTo(static_cast<std::size_t>(target));
    }
    // At or past the end of an ended stream there is nothing left to lose:
    // reads there find nothing, as in a file.
    position_ = target;
    return position_;
}
