// What a render tells its user: a summary table on the terminal, or the same
// facts as JSON for scripts.
#pragma once

#include <nlohmann/json.hpp>

#include <ostream>
#include <string>

#include "commands/file_render.h"

// The summary lines: input, MIDI, resampling, the chain, channel mapping,
// program, latency, tail, output, levels in and out, speed.
void printRenderSummary(const FileRenderOutcome& outcome, const RenderRequest& request, std::ostream& out);

// Notes, warnings and problems, one a line, for the error stream.
void printRenderMessages(const FileRenderOutcome& outcome, std::ostream& err);

// The summary's facts, and the plug-in, program, settings and automation
// the render used.
nlohmann::json renderJson(const FileRenderOutcome& outcome, const RenderRequest& request);

// "12.3x" or "-" when nothing was timed.
std::string speedText(double speed);
