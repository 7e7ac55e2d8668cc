// How a render ends when a signal ends it: an interrupt (Ctrl-C, SIGTERM,
// SIGHUP) or a crash removes the output's temporary file first, and a crash
// names the plug-in call it happened in. The process then dies of the same
// signal, so its exit status is the one every shell reports for it (128 +
// the signal number: 130 for Ctrl-C, 139 for a segmentation fault).
#pragma once

// Installs the handlers; once is enough, again does no harm.
void installFatalSignalHandlers();
