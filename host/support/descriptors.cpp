#include "support/descriptors.h"

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <cstdio>
#else
#include <fcntl.h>
#include <unistd.h>
#endif

#ifdef _WIN32

void useBinaryStandardStreams() {
    for (FILE* stream : {stdin, stdout, stderr}) {
        _setmode(_fileno(stream), _O_BINARY);
    }
}

int openToRead(const std::string& path) {
    return _open(path.c_str(), _O_RDONLY | _O_BINARY | _O_NOINHERIT);
}

int privateCopy(int fd) {
    const int copy = _dup(fd);
    if (copy >= 0) {
        SetHandleInformation(reinterpret_cast<HANDLE>(_get_osfhandle(copy)), HANDLE_FLAG_INHERIT, 0);
    }
    return copy;
}

long long readAt(int fd, void* into, std::size_t size, std::int64_t offset) {
    const long long before = _telli64(fd);
    if (before < 0 || _lseeki64(fd, offset, SEEK_SET) < 0) {
        return -1;
    }
    const int got = _read(fd, into, static_cast<unsigned>(size));
    _lseeki64(fd, before, SEEK_SET);
    return got;
}

bool canSeek(int fd) {
    return GetFileType(reinterpret_cast<HANDLE>(_get_osfhandle(fd))) == FILE_TYPE_DISK;
}

#else

void useBinaryStandardStreams() {}

int openToRead(const std::string& path) {
    return open(path.c_str(), O_RDONLY | O_CLOEXEC);
}

int privateCopy(int fd) {
    return fcntl(fd, F_DUPFD_CLOEXEC, 3);
}

long long readAt(int fd, void* into, std::size_t size, std::int64_t offset) {
    return pread(fd, into, size, static_cast<off_t>(offset));
}

bool canSeek(int fd) {
    return lseek(fd, 0, SEEK_CUR) >= 0;
}

#endif
