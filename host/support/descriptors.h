// What the audio code asks of a file descriptor beyond reading and writing
// it, the same on both systems (the descriptors of the C runtime on
// Windows, whose standard three plughost uses in binary mode).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// Puts standard input, output and error into binary mode: audio goes
// through pipes byte for byte, and texts end their lines as on Linux.
// Nothing to do on POSIX systems.
void useBinaryStandardStreams();

// Opens `path` to read its bytes as they are (binary mode on Windows),
// not inherited by programs started later; -1 when it cannot.
int openToRead(const std::string& path);

// A copy of `fd` that programs started later do not inherit, numbered
// above the standard three; -1 when there is none.
int privateCopy(int fd);

// Reads up to `size` bytes at `offset` without moving the descriptor's
// position; returns the count read, or -1.
long long readAt(int fd, void* into, std::size_t size, std::int64_t offset);

// Whether `fd` can seek (a file on disk, not a pipe or a terminal).
bool canSeek(int fd);
