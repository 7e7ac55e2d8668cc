#include "run_command.h"

#include "support/child_process.h"

namespace {

// A Windows program writes its lines to a pipe ending in CR LF; the tests
// read them as lines, the same on every system.
void appendLines(std::string& text, const char* data, std::size_t size) {
#ifdef _WIN32
    const std::size_t from = text.empty() ? 0 : text.size() - 1;
    text.append(data, size);
    for (std::size_t at = text.find("\r\n", from); at != std::string::npos; at = text.find("\r\n", at)) {
        text.erase(at, 1);
    }
#else
    text.append(data, size);
#endif
}

}  // namespace

CommandResult runCommand(const std::vector<std::string>& arguments, int timeoutSeconds) {
    CommandResult result;
    ChildProcess child = ChildProcess::run(arguments);
    const ChildExit exit = child.finish(
        timeoutSeconds, [&result](const char* data, std::size_t size) { appendLines(result.out, data, size); },
        [&result](const char* data, std::size_t size) { appendLines(result.err, data, size); });
    result.timedOut = exit.timedOut;
    if (exit.signalled) {
        result.signal = static_cast<int>(exit.code);
    } else if (!exit.timedOut && exit.started) {
        result.exitCode = static_cast<int>(exit.code);
    }
    return result;
}
