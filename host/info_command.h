// `plughost info PLUGIN`: what a plug-in says about itself.
#pragma once

#include <ostream>

struct Arguments;

int runInfo(const Arguments& arguments, std::ostream& out);
