// plughost: loads plug-ins of the effect interface to describe them, render
// audio through them and check them.
#include "commands/command_line.h"

int main(int argc, char** argv) {
    return runCommandLine(argc, argv);
}
