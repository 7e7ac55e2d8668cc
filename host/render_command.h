// `plughost render` and `plughost render-programs`: audio files through a
// plug-in, with a level and speed summary.
#pragma once

#include <ostream>

struct Arguments;

int runRender(const Arguments& arguments, std::ostream& out);
int runRenderPrograms(const Arguments& arguments, std::ostream& out);
