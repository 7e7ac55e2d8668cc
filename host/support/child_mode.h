// The hidden child mode: plughost started by itself as
// `plughost --child CHANNEL SHARED ARGUMENTS...` (ChildProcess::runSelf),
// and what any child process does to be watched by its parent: its plug-in
// calls, step and pending output kept in the memory they share, and its
// fatal handlers recording there how it ends.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

struct WatchPage;

inline constexpr const char* kChildMarker = "--child";
// The channel or shared memory of a child that has none.
inline constexpr const char* kNoHandle = "-";

// When the arguments start with the marker: takes it and its two handles
// off the front (argv[0] stays), becomes a watched child and returns true.
// A child whose parent gave no shared memory is watched through a page of
// its own.
bool takeChildMarker(int& argc, char**& argv);

// Makes this process a watched child (a forked one, or one run anew): its
// page is `page`, what it says to its parent goes on `channel` (-1: none),
// and its fatal handlers record its ending on the page.
void becomeWatchedChild(WatchPage* page, std::intptr_t channel);

// Whether this process is a watched child.
bool isWatchedChild();

// Writes to the parent's channel, whole; nothing when there is none.
// Allocates nothing.
void writeToParent(const char* data, std::size_t size);

// Ends this process at once with `status`, running nothing more of it: no
// exit handlers, no plug-in code (a plug-in's static destructors are not
// the host's to run in a child it ends).
[[noreturn]] void endChildNow(int status);
