// A command that loads a plug-in runs in a child process that plughost
// watches, so that however the child ends (the plug-in crashes, aborts,
// lets a C++ exception escape, calls exit, _exit, ExitProcess or
// TerminateProcess, or the system loader gives up on its library), plughost
// says what happened and in which plug-in call, removes the output the
// child was writing, and ends with the documented exit code. On POSIX
// systems it dies of the child's signal, as a shell expects of a crash or
// Ctrl-C.
#pragma once

#include <functional>

// The parent's side. Returns the exit code to end with. On POSIX systems
// `work` runs in a forked child; on Windows the child is this program run
// anew with the same command line, and runs the command itself (its
// command line starts with the child marker, see child_mode.h). When no
// child can be started, `work` runs here, unwatched.
int runWatched(const std::function<int()>& work);

// The child's side: its work is done and it is about to end with `status`.
void finishWatched(int status);
