// The command line of plughost: each command adds its own CLI11 subcommand
// (add*Command in its own file); this part puts them together, parses, runs
// the chosen command and turns every way a command can end into an exit code
// (exit_codes.h).
#pragma once

// Runs plughost on the words of `argv`; returns the exit code.
int runCommandLine(int argc, char** argv);
