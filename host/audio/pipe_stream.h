// A descriptor that cannot seek (standard input from a pipe) offered to
// libsndfile as a file it may seek in, so that the containers it reads from
// a file it reads from a pipe too (its own pipe mode loses the start of FLAC
// streams and reads nothing of CAF ones).
//
// The stream's first kRetainedBytes are read before libsndfile sees it, and
// kept. A stream that ends within them is a file of known length, in which
// every seek works. A longer one is read on in order; seeks within the
// retained bytes are served from there, any other seek fails (an honest
// answer libsndfile copes with: it looks for trailing chunks, or for the
// end, only to learn more), and its length is unknown, which only the
// containers of streamsWithoutLength() handle. No byte is ever skipped
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
    // True when the stream ended within the retained bytes: its length is
    // known.
    bool whole() const { return wholeAtStart_; }
    // The name of the container the retained bytes begin with when libsndfile
    // reads it without knowing the stream's length (WAV, AIFF, CAF, FLAC,
    // Ogg, MP3, ...); empty for any other.
    std::string streamsWithoutLength() const;

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
    bool wholeAtStart_ = false;
    std::string failure_;
};
