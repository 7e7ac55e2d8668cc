#include "run_command.h"

#include "support/child_process.h"

namespace {

// A Windows program may write its lines ending in CR LF (plughost writes
// its streams in binary mode, as on Linux); the tests read the error
// stream as lines, the same on every system. Standard output is kept as
// it came: it may carry audio.
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
        timeoutSeconds, [&result](const char* data, std::size_t size) { result.out.append(data, size); },
        [&result](const char* data, std::size_t size) { appendLines(result.err, data, size); });
    result.timedOut = exit.timedOut;
    if (exit.signalled) {
        result.signal = static_cast<int>(exit.code);
    } else if (!exit.timedOut && exit.started) {
        result.exitCode = static_cast<int>(exit.code);
    }
    return result;
}
