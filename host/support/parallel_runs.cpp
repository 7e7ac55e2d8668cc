#include "support/parallel_runs.h"

#include <algorithm>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>
#include <utility>

#include "support/child_process.h"
#include "support/process_endings.h"

namespace {

// The exit code a run ended with, as the table of endings names it: a run
// that a signal ended shows 128 and the signal's number, as a shell does, and
// one that a Windows exception ended shows the code of the signal that means
// the same.
int exitCodeOf(const ChildExit& exit) {
    if (!exit.started) {
        return 127;
    }
#ifdef _WIN32
    if (const EndingCause* cause = exceptionCause(static_cast<std::uint32_t>(exit.code))) {
        return cause->exitCode;
    }
    return static_cast<int>(exit.code);
#else
    return static_cast<int>(exit.signalled ? 128 + exit.code : exit.code);
#endif
}

// One run from start to end, on the thread that started it: on Linux a
// child that dies with its parent dies with the thread that forked it, so
// that thread stays until the child is waited for.
FinishedRun runOnce(const std::vector<std::string>& arguments) {
    FinishedRun run;
    ChildProcess child = ChildProcess::runSelfPlainly(arguments);
    const ChildExit exit = child.finish(
        -1.0, [&run](const char* data, std::size_t size) { run.out.append(data, size); },
        [&run](const char* data, std::size_t size) { run.err.append(data, size); });
    if (!exit.started) {
        run.err = "cannot start plughost again: " + exit.problem + "\n";
    }
    run.exitCode = exitCodeOf(exit);
    return run;
}

}  // namespace

// Each run is watched by a thread of its own, which waits for its end; the
// calling thread hands the results on as they come.
void runSelfInParallel(const std::vector<std::vector<std::string>>& argumentLists, int atOnce,
                       const std::function<void(std::size_t, FinishedRun&&)>& finished) {
    std::mutex lock;
    std::condition_variable ended;
    std::deque<std::pair<std::size_t, FinishedRun>> results;
    std::size_t next = 0;
    auto worker = [&] {
        for (;;) {
            std::size_t index = 0;
            {
                const std::lock_guard<std::mutex> hold(lock);
                if (next == argumentLists.size()) {
                    return;
                }
                index = next++;
            }
            FinishedRun run = runOnce(argumentLists[index]);
            const std::lock_guard<std::mutex> hold(lock);
            results.emplace_back(index, std::move(run));
            ended.notify_one();
        }
    };
    const std::size_t slots = std::min(static_cast<std::size_t>(std::max(atOnce, 1)), argumentLists.size());
    std::vector<std::thread> workers;
    for (std::size_t i = 0; i < slots; ++i) {
        workers.emplace_back(worker);
    }
    for (std::size_t handed = 0; handed < argumentLists.size(); ++handed) {
        std::unique_lock<std::mutex> hold(lock);
        ended.wait(hold, [&results] { return !results.empty(); });
        std::pair<std::size_t, FinishedRun> result = std::move(results.front());
        results.pop_front();
        hold.unlock();
        finished(result.first, std::move(result.second));
    }
    for (std::thread& thread : workers) {
        thread.join();
    }
}
