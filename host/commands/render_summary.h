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

// "-23.0 LUFS", "7.5 LU" and "-0.3 dBTP"; "-" where a signal has no
// loudness or range (silence, too short, NaN or infinity), and the true
// peak as formatDecibels gives levels.
std::string integratedText(const LoudnessFigures& figures);
std::string rangeText(const LoudnessFigures& figures);
std::string truePeakText(const LoudnessFigures& figures);
