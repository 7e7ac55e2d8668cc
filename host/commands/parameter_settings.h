// The --set INDEX=VALUE option that several commands take: parameter
// values given on the command line, applied after the program.
#pragma once

#include <string>

#include "audio/render_session.h"

// What is wrong with `text` as INDEX=VALUE (a whole index from 0 and a
// normalised value from 0 to 1); an empty text when nothing is. Fits
// CLI::Validator.
std::string settingProblem(const std::string& text);

// The setting in `text`, which settingProblem() has passed.
ParameterSetting parseSetting(const std::string& text);
