// What a render tells its user: a summary table on the terminal, or the same
// facts as JSON for scripts.
#pragma once

#include <nlohmann/json.hpp>

#include <ostream>
#include <string>

#include "commands/file_render.h"

// The summary lines: input, MIDI, channel mapping, program, latency, tail,
// output, levels in and out, speed.
void printRenderSummary(const FileRenderOutcome& outcome, const std::string& output, std::ostream& out);

// Notes, warnings and problems, one a line, for the error stream.
void printRenderMessages(const FileRenderOutcome& outcome, std::ostream& err);

nlohmann::json renderJson(const FileRenderOutcome& outcome, const std::string& output);

// "12.3x" or "-" when nothing was timed.
std::string speedText(double speed);
