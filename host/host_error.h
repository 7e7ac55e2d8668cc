// The one error type of the host: anything that stops a command (bad
// arguments, a file that cannot be read, a plug-in that cannot be loaded)
// becomes a HostError whose text is shown to the user as it is.
#pragma once

#include <stdexcept>
#include <string>

class HostError : public std::runtime_error {
public:
    explicit HostError(const std::string& message) : std::runtime_error(message) {}
};
