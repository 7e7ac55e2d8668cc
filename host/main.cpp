// plughost: loads plug-ins of the effect interface to describe them, render
// audio through them and check them.
#include "commands/command_line.h"
#include "support/descriptors.h"

int main(int argc, char** argv) {
    useBinaryStandardStreams();
    return runCommandLine(argc, argv);
}
