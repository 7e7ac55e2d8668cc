#include "arguments.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>

namespace {

struct CommandName {
    const char* word;
    Command command;
};

constexpr CommandName kCommands[] = {
    {"info", Command::Info},
    {"render", Command::Render},
    {"render-programs", Command::RenderPrograms},
    {"check", Command::Check},
};

constexpr int kLargestBlock = 1 << 20;

long parseInteger(const std::string& text, const std::string& option, long lowest, long highest) {
    errno = 0;
    char* end = nullptr;
    const long value = std::strtol(text.c_str(), &end, 10);
    if (text.empty() || *end != '\0' || errno != 0 || value < lowest || value > highest) {
        throw UsageError(option + " needs a whole number from " + std::to_string(lowest) + " to " +
                         std::to_string(highest) + ", not '" + text + "'");
    }
    return value;
}

double parseNumber(const std::string& text, const std::string& option) {
    errno = 0;
    char* end = nullptr;
    const double value = std::strtod(text.c_str(), &end);
    if (text.empty() || *end != '\0' || errno != 0 || !std::isfinite(value)) {
        throw UsageError(option + " needs a number, not '" + text + "'");
    }
    return value;
}

ParameterSetting parseSetting(const std::string& text) {
    const auto equals = text.find('=');
    if (equals == std::string::npos) {
        throw UsageError("--set needs INDEX=VALUE, not '" + text + "'");
    }
    ParameterSetting setting{};
    setting.index = static_cast<int>(parseInteger(text.substr(0, equals), "--set INDEX", 0, 100000));
    const double value = parseNumber(text.substr(equals + 1), "--set VALUE");
    if (value < 0.0 || value > 1.0) {
        throw UsageError("--set VALUE is a normalised parameter value from 0 to 1, not '" + text.substr(equals + 1) +
                         "'");
    }
    setting.value = static_cast<float>(value);
    return setting;
}

class WordReader {
public:
    explicit WordReader(const std::vector<std::string>& words) : words_(words) {}
    bool done() const { return next_ >= words_.size(); }
    const std::string& take() { return words_[next_++]; }
    const std::string& valueFor(const std::string& option) {
        if (done()) {
            throw UsageError(option + " needs a value");
        }
        return take();
    }

private:
    const std::vector<std::string>& words_;
    std::size_t next_ = 0;
};

bool rendering(Command command) {
    return command == Command::Render || command == Command::RenderPrograms;
}

void readOption(Arguments& arguments, const std::string& option, WordReader& reader) {
    const Command command = arguments.command;
    if (rendering(command) && (option == "-i" || option == "--input")) {
        arguments.input = reader.valueFor(option);
    } else if (command == Command::Render && (option == "-o" || option == "--output")) {
        arguments.output = reader.valueFor(option);
    } else if (command == Command::RenderPrograms && (option == "-d" || option == "--directory")) {
        arguments.directory = reader.valueFor(option);
    } else if (command == Command::Render && option == "--program") {
        arguments.program = static_cast<int>(parseInteger(reader.valueFor(option), option, 0, 100000));
    } else if (command == Command::Render && option == "--set") {
        arguments.settings.push_back(parseSetting(reader.valueFor(option)));
    } else if (rendering(command) && option == "--block") {
        arguments.blockSize = static_cast<int>(parseInteger(reader.valueFor(option), option, 1, kLargestBlock));
    } else if (rendering(command) && option == "--rate") {
        arguments.sampleRate = static_cast<double>(parseInteger(reader.valueFor(option), option, 8000, 768000));
    } else if (rendering(command) && option == "--float") {
        arguments.wantFloat = true;
    } else if (command == Command::Check && option == "--no-fork") {
        arguments.isolate = false;
    } else if (command == Command::Check && option == "--timeout") {
        arguments.timeoutSeconds = static_cast<int>(parseInteger(reader.valueFor(option), option, 1, 3600));
    } else if (command == Command::Check && option == "--only") {
        arguments.only = reader.valueFor(option);
    } else if (command == Command::Check && option == "--list") {
        arguments.list = true;
    } else if (command == Command::Check && option == "--verbose") {
        arguments.verbose = true;
    } else {
        throw UsageError("unknown option '" + option + "' for this command");
    }
}

}  // namespace

Arguments parseArguments(const std::vector<std::string>& words) {
    Arguments arguments;
    WordReader reader(words);
    if (reader.done()) {
        throw UsageError("no command given");
    }
    const std::string& first = reader.take();
    if (first == "help" || first == "--help" || first == "-h") {
        return arguments;
    }
    bool known = false;
    for (const CommandName& entry : kCommands) {
        if (first == entry.word) {
            arguments.command = entry.command;
            known = true;
        }
    }
    if (!known) {
        throw UsageError("unknown command '" + first + "'");
    }
    while (!reader.done()) {
        const std::string& word = reader.take();
        if (word.size() > 1 && word[0] == '-') {
            readOption(arguments, word, reader);
        } else if (arguments.plugin.empty()) {
            arguments.plugin = word;
        } else {
            throw UsageError("unexpected argument '" + word + "' (the plug-in is already '" + arguments.plugin + "')");
        }
    }
    if (arguments.plugin.empty() && !(arguments.command == Command::Check && arguments.list)) {
        throw UsageError("no plug-in file given");
    }
    if (arguments.command == Command::Render && arguments.output.empty()) {
        throw UsageError("render needs an output file: -o OUT");
    }
    if (arguments.command == Command::RenderPrograms && arguments.directory.empty()) {
        throw UsageError("render-programs needs an output directory: -d DIR");
    }
    return arguments;
}

std::string usageText() {
    return "usage: plughost COMMAND PLUGIN [options]\n"
           "\n"
           "commands:\n"
           "  info PLUGIN               identity, counts, flags, parameters and programs\n"
           "  render PLUGIN -o OUT      run audio through the plug-in into OUT\n"
           "      -i IN                 input file (WAV, AIFF, FLAC); default: embedded plucked strings\n"
           "      --program N           select program N first\n"
           "      --set INDEX=VALUE     set a parameter (normalised 0..1) after the program; repeatable\n"
           "      --block N             frames per process call (default 512)\n"
           "      --rate HZ             sample rate of the embedded input (default 44100)\n"
           "      --float               write 32-bit float samples\n"
           "  render-programs PLUGIN -d DIR\n"
           "                            render through every program into DIR/program-N.wav and\n"
           "                            print a table; takes -i, --block, --rate, --float\n"
           "  check PLUGIN              conformance and robustness checks\n"
           "      --timeout S           time limit per check in seconds (default 120)\n"
           "      --only TEXT           run only the checks whose name contains TEXT\n"
           "      --no-fork             run the checks inside the host process\n"
           "      --verbose             show what the plug-in prints during the checks\n"
           "      --list                list the checks and exit\n";
}
