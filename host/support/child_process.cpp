#include "support/child_process.h"

#include <utility>

ChildProcess::ChildProcess(ChildProcess&& other) noexcept
    : exit_(std::move(other.exit_)),
      process_(std::exchange(other.process_, 0)),
      channel_(std::exchange(other.channel_, -1)),
      output_(std::exchange(other.output_, -1)),
      waited_(std::exchange(other.waited_, true)),
      id_(std::exchange(other.id_, 0)) {}

long ChildProcess::id() const {
    return id_;
}
