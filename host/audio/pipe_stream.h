// A descriptor that cannot seek (standard input from a pipe) offered to
// libsndfile as a file it may seek in, so that every container it reads
// from a file it reads from a pipe too (its own pipe mode loses the start of
// FLAC streams and reads nothing of CAF ones).
//
// The stream is read in order. Its first kRetainedBytes are kept, and any
// seek within them is served from there; a seek anywhere else fails (an
// honest answer libsndfile copes with: it looks for trailing chunks, or for
// the end, only to learn more about the file). No byte is ever skipped
// unread, so what libsndfile decodes is the stream as sent.
#pragma once

#include <sndfile.h>

#include <cstddef>
#include <string>
#include <vector>

inline constexpr std::size_t kRetainedBytes = std::size_t{1} << 20;

class PipeStream {
public:
    explicit PipeStream(int descriptor);
    PipeStream(const PipeStream&) = delete;
    PipeStream& operator=(const PipeStream&) = delete;

    // The callbacks, with this stream as their user data.
    static SF_VIRTUAL_IO callbacks();

    // The start of the stream, as far as it has been read (at most
    // kRetainedBytes).
    const unsigned char* retained() const { return retained_.data(); }
    std::size_t retainedBytes() const { return retained_.size(); }
    // Why the last read failed (errno's text); empty when none did.
    const std::string& failure() const { return failure_; }

private:
    sf_count_t read(void* into, sf_count_t count);
    sf_count_t seek(sf_count_t offset, int whence);
    std::size_t readDescriptor(unsigned char* into, std::size_t count);
    void retainUpTo(std::size_t end);

    int descriptor_;
    std::vector<unsigned char> retained_;
    sf_count_t position_ = 0;  // where the next read starts
    sf_count_t consumed_ = 0;  // bytes taken from the descriptor
    bool ended_ = false;
    std::string failure_;
};
