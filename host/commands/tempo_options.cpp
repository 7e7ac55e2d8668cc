#include "commands/tempo_options.h"

#include <CLI/CLI.hpp>

void addTempoOptions(CLI::App& command, TempoSettings& settings, bool withMidi) {
    const std::string midi = withMidi ? "; a --midi file's own changes take over from where they stand" : "";
    command
        .add_option_function<double>(
            "--tempo", [&settings](double bpm) { settings.bpm = bpm; },
            "Tempo the plug-in's clock reports, in beats per minute (default 120)" + midi)
        ->check(CLI::Range(kSlowestTempo, kFastestTempo))
        ->type_name("BPM");
    command
        .add_option_function<std::string>(
            "--time-signature", [&settings](const std::string& text) { settings.meter = parseTimeSignature(text); },
            "Time signature the plug-in's clock reports (default 4/4)" + midi)
        ->check(CLI::Validator(
            [](const std::string& text) {
                return parseTimeSignature(text) ? std::string()
                                                : std::string(
                                                      "takes N/D: 1 to 255 beats of a note value 1, 2, 4, "
                                                      "8, 16, 32, 64 or 128, such as 3/4 or 7/8");
            },
            ""))
        ->type_name("N/D");
}
