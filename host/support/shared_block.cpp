#include "support/shared_block.h"

#include <cstdlib>
#include <utility>

#ifdef _WIN32
#include <windows.h>
#else
#include <sys/mman.h>
#include <unistd.h>
#endif

namespace {

std::intptr_t parsedHandle(const std::string& text) {
    char* end = nullptr;
    const long long value = std::strtoll(text.c_str(), &end, 10);
    return text.empty() || *end != '\0' || value < 0 ? -1 : static_cast<std::intptr_t>(value);
}

}  // namespace

#ifdef _WIN32

SharedBlock::SharedBlock(std::size_t bytes) : bytes_(bytes) {
    HANDLE mapping =
        CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, static_cast<DWORD>(bytes), nullptr);
    if (mapping == nullptr) {
        return;
    }
    data_ = MapViewOfFile(mapping, FILE_MAP_ALL_ACCESS, 0, 0, bytes);
    if (data_ == nullptr) {
        CloseHandle(mapping);
        return;
    }
    handle_ = reinterpret_cast<std::intptr_t>(mapping);
}

SharedBlock SharedBlock::inherited(const std::string& handle, std::size_t bytes) {
    SharedBlock block;
    const std::intptr_t value = parsedHandle(handle);
    if (value <= 0) {
        return block;
    }
    block.data_ = MapViewOfFile(reinterpret_cast<HANDLE>(value), FILE_MAP_ALL_ACCESS, 0, 0, bytes);
    if (block.data_ != nullptr) {
        block.handle_ = value;
        block.bytes_ = bytes;
    }
    return block;
}

void SharedBlock::release() {
    if (data_ != nullptr) {
        UnmapViewOfFile(data_);
        CloseHandle(reinterpret_cast<HANDLE>(handle_));
    }
    data_ = nullptr;
    handle_ = -1;
}

#else

SharedBlock::SharedBlock(std::size_t bytes) : bytes_(bytes) {
    // A memory file rather than an anonymous mapping: a child run anew
    // (not only a forked one) maps it through its descriptor.
    const int fd = memfd_create("plughost-shared", MFD_CLOEXEC);
    if (fd < 0) {
        return;
    }
    void* start = ftruncate(fd, static_cast<off_t>(bytes)) == 0
                      ? mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0)
                      : MAP_FAILED;
    if (start == MAP_FAILED) {
        close(fd);
        return;
    }
    data_ = start;
    handle_ = fd;
}

SharedBlock SharedBlock::inherited(const std::string& handle, std::size_t bytes) {
    SharedBlock block;
    const std::intptr_t fd = parsedHandle(handle);
    if (fd < 0) {
        return block;
    }
    void* start = mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_SHARED, static_cast<int>(fd), 0);
    if (start != MAP_FAILED) {
        block.data_ = start;
        block.handle_ = fd;
        block.bytes_ = bytes;
    }
    return block;
}

void SharedBlock::release() {
    if (data_ != nullptr) {
        munmap(data_, bytes_);
        close(static_cast<int>(handle_));
    }
    data_ = nullptr;
    handle_ = -1;
}

#endif

SharedBlock::~SharedBlock() {
    release();
}

SharedBlock::SharedBlock(SharedBlock&& other) noexcept
    : data_(std::exchange(other.data_, nullptr)), bytes_(other.bytes_), handle_(std::exchange(other.handle_, -1)) {}

SharedBlock& SharedBlock::operator=(SharedBlock&& other) noexcept {
    if (this != &other) {
        release();
        data_ = std::exchange(other.data_, nullptr);
        bytes_ = other.bytes_;
        handle_ = std::exchange(other.handle_, -1);
    }
    return *this;
}

std::string SharedBlock::childHandle() const {
    return std::to_string(static_cast<long long>(handle_));
}
