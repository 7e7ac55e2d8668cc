#include "support/child_process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <utility>

#include "support/child_mode.h"
#include "support/shared_block.h"

namespace {

// What is left in a child's pipes after its end is read until they pause
// this long: a grandchild holding one open does not stall the parent.
constexpr int kDrainMilliseconds = 200;
// How long the pipes may stay quiet before the parent looks whether the
// child has ended.
constexpr int kQuietMilliseconds = 20;

double secondsNow() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

void closeIfOpen(int& fd) {
    if (fd >= 0) {
        close(fd);
        fd = -1;
    }
}

// A pipe whose ends a program started later does not inherit.
bool makePipe(int ends[2]) {
    return pipe2(ends, O_CLOEXEC) == 0;
}

// The child's standard output and error, as asked.
void redirectOutput(ChildOutput output, int pipeEnd) {
    if (output == ChildOutput::Inherit) {
        return;
    }
    const int target = output == ChildOutput::Collect ? pipeEnd : open("/dev/null", O_WRONLY | O_CLOEXEC);
    dup2(target, STDOUT_FILENO);
    dup2(target, STDERR_FILENO);
}

// Reads what `fd` has; false at its end.
bool readInto(int fd, const ChildProcess::Sink& sink) {
    char buffer[65536];
    const ssize_t got = read(fd, buffer, sizeof buffer);
    if (got > 0) {
        if (sink) {
            sink(buffer, static_cast<std::size_t>(got));
        }
        return true;
    }
    return got < 0 && errno == EINTR;
}

// Runs `words` (a program file and its arguments) in place of this
// process; returns only when it cannot, with the status a shell gives that.
int execute(std::vector<std::string>& words) {
    std::vector<char*> argv;
    for (std::string& word : words) {
        argv.push_back(word.data());
    }
    argv.push_back(nullptr);
    execv(argv[0], argv.data());
    return 127;
}

// "" when it cannot be found.
std::string ownProgramFile() {
    char self[4096];
    const ssize_t length = readlink("/proc/self/exe", self, sizeof self - 1);
    return length > 0 ? std::string(self, static_cast<std::size_t>(length)) : std::string();
}

std::string startProblem(const char* what) {
    return std::string(what) + ": " + std::strerror(errno);
}

}  // namespace

ChildProcess ChildProcess::fork(ChildOutput output, const std::function<int(int channel)>& work) {
    ChildProcess child;
    int channel[2] = {-1, -1};
    int out[2] = {-1, -1};
    if (!makePipe(channel) || (output == ChildOutput::Collect && !makePipe(out))) {
        child.exit_.problem = startProblem("cannot create a pipe");
        closeIfOpen(channel[0]);
        closeIfOpen(channel[1]);
        return child;
    }
    std::fflush(stdout);
    std::fflush(stderr);
    const pid_t parent = getpid();
    const pid_t pid = ::fork();
    if (pid == 0) {
        // A child does not outlive its parent, even one killed outright.
        prctl(PR_SET_PDEATHSIG, SIGKILL);
        if (getppid() != parent) {
            _exit(127);
        }
        close(channel[0]);
        redirectOutput(output, out[1]);
        closeIfOpen(out[0]);
        closeIfOpen(out[1]);
        const int status = work(channel[1]);
        std::fflush(stdout);
        std::fflush(stderr);
        _exit(status);
    }
    close(channel[1]);
    closeIfOpen(out[1]);
    if (pid < 0) {
        child.exit_.problem = startProblem("cannot start a process");
        close(channel[0]);
        closeIfOpen(out[0]);
        return child;
    }
    child.exit_.started = true;
    child.process_ = pid;
    child.id_ = static_cast<long>(pid);
    child.channel_ = channel[0];
    child.output_ = out[0];
    return child;
}

ChildProcess ChildProcess::runSelf(ChildOutput output, const std::vector<std::string>& arguments,
                                   const SharedBlock* shared) {
    const std::string self = ownProgramFile();
    if (self.empty()) {
        ChildProcess child;
        child.exit_.problem = startProblem("cannot find plughost's own program file");
        return child;
    }
    // Built before the fork: the child only calls what is safe there.
    std::vector<std::string> words{self, kChildMarker, "", shared != nullptr ? shared->childHandle() : kNoHandle};
    words.insert(words.end(), arguments.begin(), arguments.end());
    const int sharedFd = shared != nullptr ? static_cast<int>(shared->handle()) : -1;
    return fork(output, [&words, sharedFd](int channel) {
        // The two descriptors the new program is told of survive the exec.
        fcntl(channel, F_SETFD, 0);
        if (sharedFd >= 0) {
            fcntl(sharedFd, F_SETFD, 0);
        }
        char number[24];
        std::snprintf(number, sizeof number, "%d", channel);
        words[2] = number;
        return execute(words);
    });
}

ChildProcess ChildProcess::run(const std::vector<std::string>& arguments) {
    std::vector<std::string> words = arguments;
    return fork(ChildOutput::Collect, [&words](int channel) {
        dup2(channel, STDOUT_FILENO);
        return execute(words);
    });
}

ChildProcess ChildProcess::runSelfPlainly(const std::vector<std::string>& arguments) {
    std::vector<std::string> words{ownProgramFile()};
    if (words[0].empty()) {
        ChildProcess child;
        child.exit_.problem = startProblem("cannot find plughost's own program file");
        return child;
    }
    words.insert(words.end(), arguments.begin(), arguments.end());
    // Made before the fork: other threads may start such runs at the same
    // time, and a child of a threaded process must not allocate.
    std::vector<char*> argv;
    for (std::string& word : words) {
        argv.push_back(word.data());
    }
    argv.push_back(nullptr);
    return fork(ChildOutput::Collect, [&argv](int channel) {
        const int nothing = open("/dev/null", O_RDONLY | O_CLOEXEC);
        dup2(nothing, STDIN_FILENO);
        dup2(channel, STDOUT_FILENO);
        execv(argv[0], argv.data());
        return 127;
    });
}

ChildProcess::~ChildProcess() {
    if (process_ != 0 && !waited_) {
        finish(0.0, {}, {});
    }
}

ChildExit ChildProcess::finish(double seconds, const Sink& channel, const Sink& output) {
    if (process_ == 0 || waited_) {
        return exit_;
    }
    const auto pid = static_cast<pid_t>(process_);
    int pipes[2] = {static_cast<int>(channel_), static_cast<int>(output_)};
    const Sink* sinks[2] = {&channel, &output};
    const double deadline = secondsNow() + seconds;
    int status = 0;
    bool ended = false;
    for (;;) {
        ended = waitpid(pid, &status, WNOHANG) == pid;
        if (ended) {
            break;
        }
        if (seconds >= 0.0 && secondsNow() >= deadline) {
            exit_.timedOut = true;
            kill(pid, SIGKILL);
            break;
        }
        // Reads as it comes, looking at the child again whenever the pipes
        // are quiet: one that has ended has said everything, even when
        // something it started still holds a pipe open.
        pollfd waiting[2] = {{pipes[0], POLLIN, 0}, {pipes[1], POLLIN, 0}};
        const int quiet = pipes[0] < 0 && pipes[1] < 0 ? 1 : kQuietMilliseconds;
        const int left = seconds < 0.0 ? quiet : static_cast<int>((deadline - secondsNow()) * 1000.0) + 1;
        if (poll(waiting, 2, std::max(0, std::min(quiet, left))) <= 0) {
            continue;
        }
        for (int i = 0; i < 2; ++i) {
            if ((waiting[i].revents & (POLLIN | POLLHUP | POLLERR)) != 0 && !readInto(pipes[i], *sinks[i])) {
                closeIfOpen(pipes[i]);
            }
        }
    }
    while (!ended && waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    waited_ = true;
    // What is left in the pipes, until they end or stay quiet.
    for (int i = 0; i < 2; ++i) {
        while (pipes[i] >= 0) {
            pollfd waiting{pipes[i], POLLIN, 0};
            if (poll(&waiting, 1, kDrainMilliseconds) <= 0 || !readInto(pipes[i], *sinks[i])) {
                closeIfOpen(pipes[i]);
            }
        }
    }
    channel_ = output_ = -1;
    exit_.signalled = WIFSIGNALED(status);
    exit_.code = exit_.signalled ? WTERMSIG(status) : WEXITSTATUS(status);
    return exit_;
}

long currentProcessId() {
    return static_cast<long>(getpid());
}

bool processRuns(long id) {
    return kill(static_cast<pid_t>(id), 0) == 0 || errno != ESRCH;
}
