#include "checks/isolation.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <exception>
#include <new>
#include <string>

#include "plugin/plugin_calls.h"
#include "support/child_mode.h"
#include "support/child_process.h"
#include "support/fixed_text.h"
#include "support/last_words.h"
#include "support/shared_block.h"
#include "support/text_format.h"
#include "support/watch_page.h"

namespace {

// The child reports on its channel in lines: at the end "F<severity
// letter><text>" for each finding, each followed by "K<cause>", "D" when outputs of fresh instances
// differ, "C<call>" for the plug-in call an exception came out of, and
// "V<letter><detail>", the letter standing for the verdict (in the order of
// Verdict), or 'X' for an error that interrupted the check. The step and
// the calls in progress are on the watch page.
constexpr char kVerdictLetters[] = {'P', 'W', 'E', 'S', 'C', 'T'};
constexpr std::size_t kVerdicts = sizeof kVerdictLetters;
constexpr char kInterruptedLetter = 'X';
constexpr char kSeverityLetters[] = {'W', 'E'};
// Enough of the plug-in's output to hold its last lines.
constexpr std::size_t kOutputKept = 16384;
// Room for the text of the plug-in calls in progress.
constexpr std::size_t kCallTextBytes = 512;

CheckOutcome interrupted(std::string detail) {
    CheckOutcome outcome = CheckOutcome::error(std::move(detail));
    outcome.interrupted = true;
    return outcome;
}

CheckOutcome guarded(const std::function<CheckOutcome()>& work) {
    try {
        return work();
    } catch (const PluginException& error) {
        CheckOutcome outcome = interrupted(error.cause());
        outcome.call = error.call();
        return outcome;
    } catch (const std::exception& error) {
        return interrupted(error.what());
    } catch (...) {
        return interrupted("an exception of unknown type escaped");
    }
}

std::string callsOnPage(const WatchPage& page) {
    char calls[kCallTextBytes];
    describeCallsInProgress(page.calls, calls, sizeof calls);
    return calls;
}

// One line on the channel, newlines in the text turned into spaces.
// Allocates nothing, for signal handlers; longer texts are cut.
void sendLine(char kind, const char* text, std::size_t length) {
    char line[4096];
    const std::size_t kept = std::min(length, sizeof line - 2);
    line[0] = kind;
    for (std::size_t i = 0; i < kept; ++i) {
        line[i + 1] = text[i] == '\n' ? ' ' : text[i];
    }
    line[kept + 1] = '\n';
    writeToParent(line, kept + 2);
}

// A line of any length, for the verdict and findings.
void sendLongLine(char kind, const std::string& text) {
    std::string line = kind + text + "\n";
    std::replace(line.begin() + 1, line.end() - 1, '\n', ' ');
    writeToParent(line.data(), line.size());
}

// Colour and cursor sequences in what a plug-in prints mean nothing in a
// report: "ESC [ parameters letter" is left out.
std::string withoutEscapes(const std::string& line) {
    std::string plain;
    for (std::size_t i = 0; i < line.size(); ++i) {
        if (line[i] != '\x1b') {
            plain += line[i];
            continue;
        }
        if (i + 1 < line.size() && line[i + 1] == '[') {
            i += 2;
            while (i < line.size() && !(line[i] >= '@' && line[i] <= '~')) {
                ++i;
            }
        }
    }
    return plain;
}

// What the parent gathers from a child.
struct ChildReport {
    std::string channel;
    std::string output;

    void keepOutput(const char* data, std::size_t size, bool echo) {
        if (echo) {
            std::fwrite(data, 1, size, stderr);
            std::fflush(stderr);
        }
        output.append(data, size);
        if (output.size() > 2 * kOutputKept) {
            output.erase(0, output.size() - kOutputKept);
        }
    }

    // Every line of the channel that starts with `kind`, without it.
    std::vector<std::string> lines(char kind) const {
        std::vector<std::string> found;
        std::size_t start = 0;
        for (std::size_t end = channel.find('\n'); end != std::string::npos; end = channel.find('\n', start)) {
            if (end > start && channel[start] == kind) {
                found.push_back(channel.substr(start + 1, end - start - 1));
            }
            start = end + 1;
        }
        return found;
    }

    bool verdict(CheckOutcome& outcome) const {
        const std::vector<std::string> verdicts = lines('V');
        if (verdicts.empty() || verdicts.back().empty()) {
            return false;
        }
        const std::string& message = verdicts.back();
        const std::vector<std::string> causes = lines('K');
        const std::vector<std::string> findings = lines('F');
        for (std::size_t i = 0; i < findings.size(); ++i) {
            const std::string& line = findings[i];
            if (!line.empty()) {
                outcome.findings.push_back({line[0] == kSeverityLetters[0] ? Severity::Warning : Severity::Error,
                                            line.substr(1), causes.size() == findings.size() ? causes[i] : "", ""});
            }
        }
        outcome.outputsDiffer = !lines('D').empty();
        const std::vector<std::string> calls = lines('C');
        outcome.call = calls.empty() ? "" : calls.back();
        outcome.detail = message.substr(1);
        if (message[0] == kInterruptedLetter) {
            outcome.verdict = Verdict::Error;
            outcome.interrupted = true;
            return true;
        }
        for (std::size_t verdict = 0; verdict < kVerdicts; ++verdict) {
            if (message[0] == kVerdictLetters[verdict]) {
                outcome.verdict = static_cast<Verdict>(verdict);
                return true;
            }
        }
        return false;
    }

    // The last distinct lines, a run of the same line shown once with its
    // count.
    std::vector<std::string> lastOutputLines() const {
        std::vector<std::string> lines;
        std::string previous;
        int repeats = 0;
        auto flush = [&] {
            if (repeats > 0) {
                lines.insert(lines.begin(),
                             repeats > 1 ? format("%s (%d times)", previous.c_str(), repeats) : previous);
            }
        };
        std::size_t end = output.size();
        while (end > 0 && lines.size() < kPluginOutputLines) {
            const std::size_t newline = output.rfind('\n', end - 1);
            const std::size_t start = newline == std::string::npos ? 0 : newline + 1;
            std::string line = withoutEscapes(output.substr(start, end - start));
            while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) {
                line.pop_back();
            }
            if (!line.empty()) {
                if (line == previous) {
                    ++repeats;
                } else {
                    flush();
                    previous = line;
                    repeats = 1;
                }
            }
            if (newline == std::string::npos) {
                break;
            }
            end = newline;
        }
        if (lines.size() < kPluginOutputLines) {
            flush();
        }
        return lines;
    }
};

// The page the children of this process are watched through, reused for
// each of them.
SharedBlock& childrensPage() {
    static SharedBlock shared(sizeof(WatchPage));
    return shared;
}

}  // namespace

CheckOutcome runInProcess(const std::function<CheckOutcome()>& work) {
    WatchPage& page = watchPage();
    clearWatchPage(page);
    CheckOutcome outcome = guarded(work);
    if (outcome.interrupted) {
        outcome.step = page.step.read();
        outcome.call = outcome.call.empty() ? callsOnPage(page) : outcome.call;
    }
    page.step.clear();
    return outcome;
}

void runAsIsolatedChild(const std::function<CheckOutcome()>& work) {
    const CheckOutcome outcome = guarded(work);
    std::fflush(stdout);
    std::fflush(stderr);
    for (const Finding& finding : outcome.findings) {
        sendLongLine('F', kSeverityLetters[static_cast<int>(finding.severity)] + finding.text);
        sendLongLine('K', finding.cause);
    }
    if (outcome.outputsDiffer) {
        sendLongLine('D', "");
    }
    if (!outcome.call.empty()) {
        sendLongLine('C', outcome.call);
    }
    const char letter = outcome.interrupted ? kInterruptedLetter : kVerdictLetters[static_cast<int>(outcome.verdict)];
    sendLongLine('V', letter + outcome.detail);
    endChildNow(0);
}

void endCheckWithError(const char* detail) {
    if (!isWatchedChild()) {
        last_words::endWith(detail);
    }
    char line[2048];
    line[0] = kSeverityLetters[static_cast<int>(Severity::Error)];
    const std::size_t length = std::min(std::strlen(detail), sizeof line - 1);
    std::memcpy(line + 1, detail, length);
    sendLine('F', line, length + 1);
    sendLine('V', line, length + 1);
    endChildNow(0);
}

CheckOutcome runIsolated(const IsolatedWork& isolated, int timeoutSeconds, bool echo) {
    SharedBlock& shared = childrensPage();
    if (!shared.ok()) {
        return CheckOutcome::error("cannot start a check process: no memory to share with it");
    }
    auto* page = new (shared.data()) WatchPage{};
#ifdef _WIN32
    ChildProcess child = ChildProcess::runSelf(ChildOutput::Collect, isolated.arguments, &shared);
#else
    ChildProcess child = ChildProcess::fork(ChildOutput::Collect, [&isolated, page](int channel) {
        becomeWatchedChild(page, channel);
        runAsIsolatedChild(isolated.work);
        return 0;
    });
#endif
    ChildReport report;
    const ChildExit exit = child.finish(
        timeoutSeconds, [&report](const char* data, std::size_t size) { report.channel.append(data, size); },
        [&report, echo](const char* data, std::size_t size) { report.keepOutput(data, size, echo); });
    if (!exit.started) {
        return CheckOutcome::error("cannot start a check process: " + exit.problem);
    }
    CheckOutcome outcome;
    if (exit.timedOut) {
        outcome = interrupted(format("did not finish within %d s (stopped)", timeoutSeconds));
    } else if (!report.verdict(outcome)) {
        const Ending ending = page->ending.kind != EndingKind::None ? page->ending : exit.ending();
        char cause[512];
        FixedText text(cause, sizeof cause);
        describeEnding(ending, text.text("the plug-in "));
        outcome = interrupted(cause);
    }
    if (outcome.interrupted) {
        outcome.step = page->step.read();
        outcome.call = outcome.call.empty() ? callsOnPage(*page) : outcome.call;
    }
    if (outcome.verdict == Verdict::Error) {
        outcome.pluginOutput = report.lastOutputLines();
    }
    return outcome;
}
