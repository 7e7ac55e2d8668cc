// Standard MIDI Files built byte by byte, so that a test can make any file,
// whole or broken, without a MIDI library.
#pragma once

#include <cstdint>
#include <string>

namespace midi_bytes {

inline std::string quantity(std::uint32_t value) {
    std::string bytes(1, static_cast<char>(value & 0x7F));
    for (value >>= 7; value != 0; value >>= 7) {
        bytes.insert(bytes.begin(), static_cast<char>(0x80 | (value & 0x7F)));
    }
    return bytes;
}

inline std::string bigEndian(std::uint32_t value, int bytes) {
    std::string text;
    for (int i = bytes - 1; i >= 0; --i) {
        text += static_cast<char>((value >> (8 * i)) & 0xFF);
    }
    return text;
}

inline std::string chunk(const char* type, const std::string& body) {
    return std::string(type, 4) + bigEndian(static_cast<std::uint32_t>(body.size()), 4) + body;
}

inline std::string header(int format, int tracks, int division) {
    return chunk("MThd", bigEndian(static_cast<std::uint32_t>(format), 2) +
                             bigEndian(static_cast<std::uint32_t>(tracks), 2) +
                             bigEndian(static_cast<std::uint32_t>(division), 2));
}

// An event `delta` ticks after the one before it.
inline std::string event(std::uint32_t delta, const std::string& bytes) {
    return quantity(delta) + bytes;
}

inline std::string message(int status, int data1, int data2 = -1) {
    std::string bytes{static_cast<char>(status), static_cast<char>(data1)};
    if (data2 >= 0) {
        bytes += static_cast<char>(data2);
    }
    return bytes;
}

inline std::string tempo(std::uint32_t microsecondsPerQuarter) {
    return "\xFF\x51\x03" + bigEndian(microsecondsPerQuarter, 3);
}

inline std::string timeSignature(int numerator, int power) {
    return std::string("\xFF\x58\x04", 3) + static_cast<char>(numerator) + static_cast<char>(power) + "\x18\x08";
}

inline const std::string kEndOfTrack("\xFF\x2F\x00", 3);

// A track chunk of `events`, closed with End of Track `endDelta` ticks on.
inline std::string track(const std::string& events, std::uint32_t endDelta = 0) {
    return chunk("MTrk", events + event(endDelta, kEndOfTrack));
}

}  // namespace midi_bytes
