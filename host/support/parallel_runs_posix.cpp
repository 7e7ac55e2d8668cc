#include "support/parallel_runs.h"

#include <algorithm>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>
#include <utility>

#include "support/child_process.h"

namespace {

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
        run.exitCode = 127;
        run.err = "cannot start plughost again: " + exit.problem + "\n";
    } else {
        run.exitCode = static_cast<int>(exit.signalled ? 128 + exit.code : exit.code);
    }
    return run;
}

}  // namespace

void runSelfInParallel(const std::vector<std::vector<std::string>>& argumentLists, int atOnce,
                       const std::function<void(std::size_t, FinishedRun&&)>& finished) {
    const std::size_t workers = std::min(static_cast<std::size_t>(std::max(atOnce, 1)), argumentLists.size());
    std::mutex lock;
    std::condition_variable changed;
    std::size_t next = 0;
    std::deque<std::pair<std::size_t, FinishedRun>> done;
    std::vector<std::thread> threads;
    for (std::size_t w = 0; w < workers; ++w) {
        threads.emplace_back([&] {
            for (;;) {
                std::size_t index = 0;
                {
                    const std::lock_guard<std::mutex> held(lock);
                    if (next == argumentLists.size()) {
                        return;
                    }
                    index = next++;
                }
                FinishedRun run = runOnce(argumentLists[index]);
                const std::lock_guard<std::mutex> held(lock);
                done.emplace_back(index, std::move(run));
                changed.notify_one();
            }
        });
    }
    for (std::size_t reported = 0; reported < argumentLists.size(); ++reported) {
        std::unique_lock<std::mutex> held(lock);
        changed.wait(held, [&] { return !done.empty(); });
        std::pair<std::size_t, FinishedRun> run = std::move(done.front());
        done.pop_front();
        held.unlock();
        finished(run.first, std::move(run.second));
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
}
