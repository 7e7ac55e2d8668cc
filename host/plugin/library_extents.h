// Whether a library file holds everything its headers say it holds, checked
// before the system loader maps it: a library cut short (an interrupted copy
// or download) would otherwise be mapped past the end of the file and crash
// the host with SIGBUS on first touch, with no word of why.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

// Reads `count` bytes at `offset` into `out`; false when they are not all
// there.
using ReadBytesAt = std::function<bool(std::uint64_t offset, void* out, std::size_t count)>;

// For an ELF or PE file of `size` bytes: empty when its headers, program
// headers (segments), section headers and sections all lie within the file;
// otherwise what reaches past its end ("the file ends at byte 5000, inside
// its segment 3 (bytes 4096 to 20480)"). Files of any other kind,
// and big-endian ELF, pass unread.
std::string libraryExtentProblem(std::uint64_t size, const ReadBytesAt& read);
