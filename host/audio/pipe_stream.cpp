#include "audio/pipe_stream.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>

namespace {

// What libsndfile is told the length is: unknown, so larger than any
// stream, but far from overflowing its arithmetic.
constexpr sf_count_t kUnknownLength = sf_count_t{1} << 62;

}  // namespace

PipeStream::PipeStream(int descriptor) : descriptor_(descriptor) {}

SF_VIRTUAL_IO PipeStream::callbacks() {
    SF_VIRTUAL_IO io{};
    io.get_filelen = [](void*) { return kUnknownLength; };
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

// Reads into the retained bytes until they reach `end` or the stream ends.
void PipeStream::retainUpTo(std::size_t end) {
    const std::size_t had = retained_.size();
    if (end <= had || consumed_ != static_cast<sf_count_t>(had)) {
        return;
    }
    retained_.resize(end);
    retained_.resize(had + readDescriptor(retained_.data() + had, end - had));
}

sf_count_t PipeStream::read(void* into, sf_count_t count) {
    if (count <= 0) {
        return 0;
    }
    auto* bytes = static_cast<unsigned char*>(into);
    sf_count_t done = 0;
    if (position_ < static_cast<sf_count_t>(kRetainedBytes)) {
        retainUpTo(static_cast<std::size_t>(std::min<sf_count_t>(position_ + count, kRetainedBytes)));
        const sf_count_t held = std::max<sf_count_t>(0, static_cast<sf_count_t>(retained_.size()) - position_);
        done = std::min(count, held);
        std::memcpy(bytes, retained_.data() + position_, static_cast<std::size_t>(done));
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
    sf_count_t target = -1;
    if (whence == SEEK_SET) {
        target = offset;
    } else if (whence == SEEK_CUR) {
        target = position_ + offset;
    }
    if (target == position_) {
        return position_;
    }
    // Within the retained bytes, while nothing beyond them has been read.
    if (target < 0 || target > static_cast<sf_count_t>(kRetainedBytes) ||
        consumed_ > static_cast<sf_count_t>(kRetainedBytes)) {
        return -1;
    }
    retainUpTo(static_cast<std::size_t>(target));
    if (target > static_cast<sf_count_t>(retained_.size())) {
        return -1;
    }
    position_ = target;
    return position_;
}
