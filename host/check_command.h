// `plughost check PLUGIN`: every check in turn, each with its verdict, then
// the line "N passed, N failed"; exit status 1 when any check failed.
#pragma once

#include <ostream>

struct Arguments;

int runCheck(const Arguments& arguments, std::ostream& out);
