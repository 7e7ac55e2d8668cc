// plughost: loads plug-ins of the effect interface to describe them, render
// audio through them and check them.
#include <cstdio>
#include <exception>
#include <iostream>
#include <string>
#include <vector>

#include "arguments.h"
#include "check_command.h"
#include "info_command.h"
#include "render_command.h"

namespace {

int run(const Arguments& arguments) {
    switch (arguments.command) {
        case Command::Help:
            std::cout << usageText();
            return 0;
        case Command::Info:
            return runInfo(arguments, std::cout);
        case Command::Check:
            return runCheck(arguments, std::cout);
        case Command::Render:
        case Command::RenderPrograms:
#ifdef KD_HAVE_AUDIO_FILES
            return arguments.command == Command::Render ? runRender(arguments, std::cout)
                                                        : runRenderPrograms(arguments, std::cout);
#else
            throw HostError("this build of plughost has no audio file support; render on Linux");
#endif
    }
    return 1;
}

}  // namespace

int main(int argc, char** argv) {
    const std::vector<std::string> words(argv + 1, argv + argc);
    try {
        return run(parseArguments(words));
    } catch (const UsageError& error) {
        std::cout.flush();
        std::cerr << "plughost: " << error.what() << "\n"
                  << "Run 'plughost --help' for usage.\n";
        return 2;
    } catch (const std::exception& error) {
        std::cout.flush();
        std::cerr << "plughost: " << error.what() << "\n";
        return 1;
    }
}
