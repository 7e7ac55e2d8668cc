// `plughost render PLUGIN -i a.wav -i b.flac ... -d DIR [-j N]` (or
// --list FILE): one render per input into DIR/NAME.EXT, each in a process
// of its own (plughost run again with the same command line and the job's
// input and output), N at a time. One table of the results, or one JSON
// document; a failed file does not stop the others, and the exit code is
// the worst of theirs.
#pragma once

#include <ostream>
#include <string>
#include <vector>

#include "commands/render_request.h"

namespace CLI {
class App;
}

// What a process that a batch starts is told on top of the batch's own
// command line: its one input and its output. Users never give these.
struct BatchJobOptions {
    std::string input;
    std::string output;
    bool active() const { return !output.empty(); }
};
void addBatchJobOptions(CLI::App& command, BatchJobOptions& options);

// In such a process: renders the job and writes its JSON summary, and
// nothing else, to standard output (what the plug-in prints goes to the
// error stream). Returns the render's exit code.
int runBatchJob(const RenderRequest& request, const BatchJobOptions& job);

// The batch. `words` is plughost's whole command line (the program first).
// Throws UsageError before anything runs for a batch that cannot be made:
// no inputs, standard input among them, two inputs that would be written
// to the same file.
int runBatch(const RenderRequest& request, const std::vector<std::string>& words, std::ostream& out, std::ostream& err);

// The inputs of a batch (-i in order, then the list file's lines) and the
// output each one is written to. Throws UsageError or FileError as above.
struct BatchEntry {
    std::string input;
    std::string output;
};
std::vector<BatchEntry> planBatch(const RenderRequest& request);
