// Human-readable forms of the numbers a plug-in reports about itself.
#pragma once

#include <string>
#include <vector>

#include "aeffect.h"

// 'Krvx' for four printable characters, else the hexadecimal value.
std::string fourCharText(VstInt32 code);
// The same without the quotes: Krvx, or the hexadecimal value.
std::string fourCharPlain(VstInt32 code);
// "replacing, editor" — the names of the set flag bits, or "none".
std::string flagNames(VstInt32 flags);
// The same names one by one ("other 0x400" for bits without a name); empty
// for none.
std::vector<std::string> flagList(VstInt32 flags);
// "effect", "synth", ... or "unknown".
std::string categoryName(VstIntPtr category);
// A plug-in text shown in a table: unprintable bytes become '?'.
std::string printable(const std::string& text);
