// The one error type of the host: anything that stops a command (bad
// arguments, a file that cannot be read, a plug-in that cannot be loaded)
// becomes a HostError whose text is shown to the user as it is. Its kind
// decides the exit code (commands/exit_codes.h).
#pragma once

#include <stdexcept>
#include <string>

enum class ErrorKind {
    Usage,       // the command line asks for something impossible
    PluginLoad,  // the plug-in cannot be loaded or cannot do what was asked
    File,        // an audio or MIDI file cannot be read or written
};

class HostError : public std::runtime_error {
public:
    HostError(ErrorKind kind, const std::string& message) : std::runtime_error(message), kind_(kind) {}
    ErrorKind kind() const { return kind_; }

private:
    ErrorKind kind_;
};

struct UsageError : HostError {
    explicit UsageError(const std::string& message) : HostError(ErrorKind::Usage, message) {}
};
struct LoadError : HostError {
    explicit LoadError(const std::string& message) : HostError(ErrorKind::PluginLoad, message) {}
};
struct FileError : HostError {
    explicit FileError(const std::string& message) : HostError(ErrorKind::File, message) {}
};
