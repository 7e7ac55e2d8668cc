#include "audio/midi_file.h"

#include <algorithm>

#include "support/text_format.h"

namespace {

constexpr std::size_t kSmallestHeaderLength = 6;
constexpr int kLongestQuantity = 4;  // bytes of a variable-length quantity
constexpr unsigned char kMeta = 0xFF;
constexpr unsigned char kSystemExclusive = 0xF0;
constexpr unsigned char kEscape = 0xF7;
constexpr unsigned char kMetaEndOfTrack = 0x2F;
constexpr unsigned char kMetaTempo = 0x51;
constexpr unsigned char kMetaTimeSignature = 0x58;
constexpr int kLargestMeterPower = 7;  // 2^7 = 128

struct SmpteRate {
    int code;  // minus the high byte of the division
    double framesPerSecond;
};
constexpr SmpteRate kSmpteRates[] = {{24, 24.0}, {25, 25.0}, {29, 30000.0 / 1001.0}, {30, 30.0}};

// format() with every number widened, so that %llu and %llX fit them all.
template <typename... Numbers>
std::string text(const char* pattern, Numbers... numbers) {
    return format(pattern, static_cast<unsigned long long>(numbers)...);
}

// Bytes read front to back, never past `end`.
class Bytes {
public:
    Bytes(const unsigned char* data, std::size_t size) : data_(data), size_(size) {}

    std::size_t at() const { return at_; }
    std::size_t size() const { return size_; }
    void skipTo(std::size_t offset) { at_ = offset; }

    unsigned char peek(std::size_t end, const char* what) const {
        if (at_ >= end) {
            cutShort(end, what);
        }
        return data_[at_];
    }
    unsigned char byte(std::size_t end, const char* what) {
        const unsigned char value = peek(end, what);
        ++at_;
        return value;
    }
    std::uint32_t bigEndian(int count, std::size_t end, const char* what) {
        std::uint32_t value = 0;
        for (int i = 0; i < count; ++i) {
            value = (value << 8) | byte(end, what);
        }
        return value;
    }
    std::uint32_t quantity(std::size_t end, const char* what) {
        const std::size_t start = at_;
        std::uint32_t value = 0;
        for (int i = 0; i < kLongestQuantity; ++i) {
            const unsigned char next = byte(end, what);
            value = (value << 7) | (next & 0x7Fu);
            if ((next & 0x80) == 0) {
                return value;
            }
        }
        throw MidiFileProblem(std::string(what) +
                              text(" at byte %llu is longer than the 4 bytes a MIDI file allows", start));
    }
    // Skips `count` bytes, all of which must lie before `end`.
    void skip(std::uint64_t count, std::size_t end, const char* what) {
        if (count > end - at_) {
            throw MidiFileProblem(std::string(what) + text(" at byte %llu claims %llu bytes, but only %llu are left",
                                                           at_, count, end - at_));
        }
        at_ += static_cast<std::size_t>(count);
    }

private:
    [[noreturn]] void cutShort(std::size_t end, const char* what) const {
        if (end == size_) {
            throw MidiFileProblem(text("the file ends at byte %llu in the middle of ", size_) + what +
                                  ": it is cut short");
        }
        throw MidiFileProblem(text("the track ends at byte %llu in the middle of ", end) + what);
    }

    const unsigned char* data_;
    std::size_t size_;
    std::size_t at_ = 0;
};

int channelDataBytes(unsigned char status) {
    const unsigned char kind = status & 0xF0;
    return kind == 0xC0 || kind == 0xD0 ? 1 : 2;
}

void readHeader(Bytes& in, MidiFile& file) {
    if (in.size() < 4 || in.bigEndian(4, 4, "the header") != 0x4D546864u) {  // "MThd"
        throw MidiFileProblem("it does not start with \"MThd\": it is not a Standard MIDI File");
    }
    const std::uint32_t length = in.bigEndian(4, in.size(), "the header");
    if (length < kSmallestHeaderLength) {
        throw MidiFileProblem(text("its header is %llu bytes long, less than the 6 it must hold", length));
    }
    if (length > in.size() - in.at()) {
        throw MidiFileProblem(
            text("its header claims %llu bytes, but the file ends at byte %llu: it is cut short", length, in.size()));
    }
    const std::size_t end = in.at() + length;
    file.format = static_cast<int>(in.bigEndian(2, end, "the header"));
    file.tracks = static_cast<int>(in.bigEndian(2, end, "the header"));
    const std::uint32_t division = in.bigEndian(2, end, "the header");
    in.skipTo(end);  // longer headers of later versions: the rest is theirs
    if (file.format == 2) {
        throw MidiFileProblem(
            "it is of format 2 (independent patterns), which plughost does not play: save it as "
            "format 0 or 1");
    }
    if (file.format > 2) {
        throw MidiFileProblem(
            text("its header gives format %llu; Standard MIDI Files have formats 0, 1 and 2", file.format));
    }
    if (file.tracks == 0) {
        throw MidiFileProblem("its header announces no tracks");
    }
    if (file.format == 0 && file.tracks != 1) {
        throw MidiFileProblem(
            text("its header announces format 0 with %llu tracks; format 0 has exactly one", file.tracks));
    }
    if ((division & 0x8000u) == 0) {
        if (division == 0) {
            throw MidiFileProblem("its header gives 0 ticks per quarter note");
        }
        file.ticksPerQuarter = static_cast<int>(division);
        return;
    }
    const int code = 256 - static_cast<int>(division >> 8);
    const auto ticksPerFrame = static_cast<int>(division & 0xFFu);
    for (const SmpteRate& rate : kSmpteRates) {
        if (rate.code == code && ticksPerFrame > 0) {
            file.ticksPerSecond = rate.framesPerSecond * ticksPerFrame;
            return;
        }
    }
    throw MidiFileProblem(
        text("its header gives a time division of 0x%04llX, neither ticks per quarter note nor "
             "one of the SMPTE rates 24, 25, 29.97 and 30 frames per second",
             division));
}

void readMeta(Bytes& in, std::size_t end, std::uint64_t tick, std::vector<MidiFileEvent>& events, bool& ended) {
    const std::size_t start = in.at() - 1;
    const unsigned char type = in.byte(end, "a meta event");
    const std::uint32_t length = in.quantity(end, "the length of a meta event");
    const std::size_t data = in.at();
    in.skip(length, end, "a meta event");
    const auto fixed = [&](std::uint32_t expected, const char* name) {
        if (length != expected) {
            throw MidiFileProblem(std::string(name) + text(" event at byte %llu holds %llu bytes instead of %llu",
                                                           start, length, expected));
        }
    };
    Bytes body = in;
    body.skipTo(data);
    MidiFileEvent event;
    event.tick = tick;
    switch (type) {
        case kMetaEndOfTrack:
            fixed(0, "an End of Track");
            ended = true;
            return;
        case kMetaTempo:
            fixed(3, "a tempo");
            event.kind = MidiFileEvent::Kind::Tempo;
            event.microsecondsPerQuarter = body.bigEndian(3, end, "a tempo event");
            if (event.microsecondsPerQuarter == 0) {
                throw MidiFileProblem(
                    text("the tempo event at byte %llu gives 0 microseconds per quarter note", start));
            }
            events.push_back(event);
            return;
        case kMetaTimeSignature: {
            fixed(4, "a time signature");
            const unsigned char numerator = body.byte(end, "a time signature");
            const unsigned char power = body.byte(end, "a time signature");
            if (numerator == 0 || power > kLargestMeterPower) {
                throw MidiFileProblem(
                    text("the time signature at byte %llu is %llu over 2 to the power %llu", start, numerator, power));
            }
            event.kind = MidiFileEvent::Kind::TimeSignature;
            event.meter = {numerator, 1 << power};
            events.push_back(event);
            return;
        }
        default:
            return;  // names, texts, key signatures, ...: not needed to play the file
    }
}

// One MTrk chunk's events, from the reader's position to `end`.
void readTrack(Bytes& in, std::size_t end, int track, MidiFile& file) {
    std::uint64_t tick = 0;
    unsigned char running = 0;
    bool ended = false;
    while (in.at() < end) {
        if (ended) {
            throw MidiFileProblem(
                text("track %llu holds more after its End of Track event, at byte %llu", track, in.at()));
        }
        tick += in.quantity(end, "the time of an event");
        const std::size_t start = in.at();
        unsigned char status = in.peek(end, "an event");
        if (status >= 0x80) {
            in.byte(end, "an event");
        } else if (running == 0) {
            throw MidiFileProblem(
                text("the event at byte %llu starts with the data byte 0x%02llX, and no earlier "
                     "status byte of its track carries on to it",
                     start, status));
        } else {
            // Running status: the data bytes follow at once. It carries on
            // past meta and system exclusive events too, which the format
            // does not ask for but files rely on; it cannot be mistaken.
            status = running;
        }
        if (status < 0xF0) {
            running = status;
            MidiFileEvent event;
            event.tick = tick;
            event.bytes[0] = status;
            event.length = static_cast<unsigned char>(1 + channelDataBytes(status));
            for (int i = 1; i < event.length; ++i) {
                event.bytes[i] = in.byte(end, "a channel message");
                if (event.bytes[i] >= 0x80) {
                    throw MidiFileProblem(
                        text("the channel message at byte %llu holds 0x%02llX where a data byte "
                             "(below 0x80) belongs",
                             start, event.bytes[i]));
                }
            }
            file.events.push_back(event);
        } else if (status == kMeta) {
            readMeta(in, end, tick, file.events, ended);
        } else if (status == kSystemExclusive || status == kEscape) {
            in.skip(in.quantity(end, "the length of a system exclusive message"), end, "a system exclusive message");
            MidiFileEvent event;
            event.tick = tick;
            event.kind = MidiFileEvent::Kind::SystemExclusive;
            file.events.push_back(event);
        } else {
            throw MidiFileProblem(
                text("the status byte 0x%02llX at byte %llu is a real-time or common message, which a MIDI file "
                     "cannot hold",
                     status, start));
        }
    }
    if (!ended) {
        throw MidiFileProblem(
            text("track %llu ends at byte %llu without its End of Track event: the file is cut "
                 "short or damaged",
                 track, end));
    }
    file.endTick = std::max(file.endTick, tick);
}

}  // namespace

MidiFile parseMidiFile(const unsigned char* bytes, std::size_t size) {
    Bytes in(bytes, size);
    MidiFile file;
    readHeader(in, file);
    int found = 0;
    while (found < file.tracks) {
        if (in.at() == size) {
            throw MidiFileProblem(
                text("it holds %llu of the %llu tracks its header announces: it is cut short", found, file.tracks));
        }
        const std::size_t start = in.at();
        const std::uint32_t type = in.bigEndian(4, size, "a chunk header");
        const std::uint32_t length = in.bigEndian(4, size, "a chunk header");
        if (length > size - in.at()) {
            throw MidiFileProblem(
                text("the chunk at byte %llu claims %llu bytes, but the file ends at byte %llu: it "
                     "is cut short",
                     start, length, size));
        }
        const std::size_t end = in.at() + length;
        if (type == 0x4D54726Bu) {  // "MTrk"; chunks of other types are skipped, as the format asks
            readTrack(in, end, ++found, file);
        }
        in.skipTo(end);
    }
    // The tracks were read one after another; a stable sort keeps their
    // order among events at the same tick.
    std::stable_sort(file.events.begin(), file.events.end(),
                     [](const MidiFileEvent& a, const MidiFileEvent& b) { return a.tick < b.tick; });
    return file;
}
