// What a process keeps where whoever reports on it can read it after the
// plug-in crashed, hung or ended it: its own fatal handlers, or the parent
// that watches it, reading memory they share. Every field is written so
// that a reader at any moment sees it empty or whole.
#pragma once

#include <cstdint>

#include "plugin/plugin_calls.h"
#include "support/process_endings.h"
#include "support/published_text.h"

struct WatchPage {
    // The calls into the plug-in in progress.
    PluginCallBoard calls;
    // What the work is doing now ("44100 Hz, blocks of 17").
    PublishedText<256> step;
    // A file or folder that is being written and must go should the
    // process end before it is put in place.
    PublishedText<4096> pendingOutput;
    // How the process is ending, as its own handlers saw it.
    Ending ending;
    // Set to 1 (after `status`) when the work is done and the process is
    // about to end with `status`.
    std::int32_t status;
    volatile std::int32_t finished;
};

// This process's page: in memory shared with its parent when a parent
// watches it (see watchOn), a page of its own otherwise.
WatchPage& watchPage();

// From now on the page is `shared` (null: the process's own again).
void watchOn(WatchPage* shared);

// Empties the page for the next piece of work.
void clearWatchPage(WatchPage& page);

// Records how the process is ending, unless an ending is already recorded
// (an uncaught exception is recorded before the abort it leads to).
// Allocates nothing.
void recordEnding(WatchPage& page, const Ending& ending);
