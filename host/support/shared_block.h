// Memory that a process shares with the children it starts, forked or run
// anew, and that the parent still reads after a child has died.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

class SharedBlock {
public:
    // `bytes` of zeroes, not yet shared with any child. An empty block
    // (ok() false) when the system gives none.
    explicit SharedBlock(std::size_t bytes);
    // In a child run anew: the block its parent named (childHandle()) on
    // its command line; empty when that names none.
    static SharedBlock inherited(const std::string& handle, std::size_t bytes);
    ~SharedBlock();
    SharedBlock(SharedBlock&& other) noexcept;
    SharedBlock& operator=(SharedBlock&& other) noexcept;
    SharedBlock(const SharedBlock&) = delete;
    SharedBlock& operator=(const SharedBlock&) = delete;

    bool ok() const { return data_ != nullptr; }
    void* data() const { return data_; }

    // How a child run anew finds the block: a number for its command line.
    // The child inherits what it names (see ChildProcess::runSelf).
    std::string childHandle() const;
    // The system's handle, for ChildProcess to pass on.
    std::intptr_t handle() const { return handle_; }

private:
    SharedBlock() = default;
    void release();

    void* data_ = nullptr;
    std::size_t bytes_ = 0;
    std::intptr_t handle_ = -1;  // a descriptor (POSIX) or a HANDLE (Windows)
};
