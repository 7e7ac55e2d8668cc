#include "support/parallel_runs.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace {

struct Running {
    std::size_t index;
    pid_t pid;
    int out;  // -1 once it has ended
    int err;
    FinishedRun result;
};

std::string ownExecutable() {
    char path[4096];
    const ssize_t length = readlink("/proc/self/exe", path, sizeof path - 1);
    return length > 0 ? std::string(path, static_cast<std::size_t>(length)) : std::string();
}

// Starts one run; on failure the run is already finished.
bool start(const std::string& self, const std::vector<std::string>& arguments, Running& run) {
    int out[2];
    int err[2];
    if (self.empty() || pipe2(out, O_CLOEXEC) != 0) {
        run.result = {127, "", "cannot start plughost again: " + std::string(std::strerror(errno)) + "\n"};
        return false;
    }
    if (pipe2(err, O_CLOEXEC) != 0) {
        close(out[0]);
        close(out[1]);
        run.result = {127, "", "cannot start plughost again: " + std::string(std::strerror(errno)) + "\n"};
        return false;
    }
    // Everything the child needs is made before fork: between fork and exec
    // it may only call what is safe in a child of a threaded process.
    std::vector<std::string> words = {self};
    words.insert(words.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    for (std::string& word : words) {
        argv.push_back(word.data());
    }
    argv.push_back(nullptr);
    const pid_t pid = fork();
    if (pid == 0) {
        const int nothing = open("/dev/null", O_RDONLY);
        dup2(nothing, STDIN_FILENO);
        dup2(out[1], STDOUT_FILENO);
        dup2(err[1], STDERR_FILENO);
        execv(self.c_str(), argv.data());
        _exit(127);
    }
    close(out[1]);
    close(err[1]);
    if (pid < 0) {
        close(out[0]);
        close(err[0]);
        run.result = {127, "", "cannot start plughost again: " + std::string(std::strerror(errno)) + "\n"};
        return false;
    }
    run.pid = pid;
    run.out = out[0];
    run.err = err[0];
    return true;
}

// Reads what is there; closes the end at its end of file.
void drain(int& fd, std::string& into) {
    char buffer[65536];
    const ssize_t got = read(fd, buffer, sizeof buffer);
    if (got > 0) {
        into.append(buffer, static_cast<std::size_t>(got));
    } else if (got == 0 || (errno != EINTR && errno != EAGAIN)) {
        close(fd);
        fd = -1;
    }
}

int exitCodeOf(int status) {
    if (WIFSIGNALED(status)) {
        return 128 + WTERMSIG(status);
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : 127;
}

}  // namespace

void runSelfInParallel(const std::vector<std::vector<std::string>>& argumentLists, int atOnce,
                       const std::function<void(std::size_t, FinishedRun&&)>& finished) {
    const std::string self = ownExecutable();
    const std::size_t slots = static_cast<std::size_t>(std::max(atOnce, 1));
    std::vector<Running> running;
    std::size_t next = 0;
    while (next < argumentLists.size() || !running.empty()) {
        while (next < argumentLists.size() && running.size() < slots) {
            Running run{next, -1, -1, -1, {}};
            if (start(self, argumentLists[next], run)) {
                running.push_back(std::move(run));
            } else {
                finished(next, std::move(run.result));
            }
            ++next;
        }
        std::vector<pollfd> waiting;
        for (const Running& run : running) {
            for (int fd : {run.out, run.err}) {
                if (fd >= 0) {
                    waiting.push_back({fd, POLLIN, 0});
                }
            }
        }
        if (!waiting.empty() && poll(waiting.data(), waiting.size(), -1) < 0 && errno != EINTR) {
            break;
        }
        for (auto run = running.begin(); run != running.end();) {
            for (const pollfd& entry : waiting) {
                if (entry.revents == 0) {
                    continue;
                }
                if (entry.fd == run->out) {
                    drain(run->out, run->result.out);
                } else if (entry.fd == run->err) {
                    drain(run->err, run->result.err);
                }
            }
            if (run->out >= 0 || run->err >= 0) {
                ++run;
                continue;
            }
            int status = 0;
            while (waitpid(run->pid, &status, 0) < 0 && errno == EINTR) {
            }
            run->result.exitCode = exitCodeOf(status);
            const std::size_t index = run->index;
            FinishedRun result = std::move(run->result);
            run = running.erase(run);
            finished(index, std::move(result));
        }
    }
}
