#include "day/file_lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <utility>

namespace day {

FileLock::~FileLock() { Release(); }

FileLock::FileLock(FileLock&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}

FileLock& FileLock::operator=(FileLock&& other) noexcept {
    if (this != &other) {
        Release();
        fd_ = std::exchange(other.fd_, -1);
    }
    return *this;
}

FileLock::Outcome FileLock::Take(const std::string& path) {
    Release();
    // Close-on-exec: a program started from here must not keep the lock
    // alive. Read access is enough for flock, and works on a lock file
    // another user left read-only.
    return Lock(::open(path.c_str(), O_RDONLY | O_CREAT | O_CLOEXEC, 0644));
}

FileLock::Outcome FileLock::TakeExisting(const std::string& path) {
    Release();
    // Non-blocking, so that a named pipe put in the file's place cannot hang.
    return Lock(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK));
}

FileLock::Outcome FileLock::Lock(int fd) {
    if (fd < 0) return Outcome::Failed;
    int rc = 0;
    do {
        rc = ::flock(fd, LOCK_EX | LOCK_NB);
    } while (rc != 0 && errno == EINTR);
    if (rc != 0) {
        const int error = errno;
        ::close(fd);
        errno = error;
        return error == EWOULDBLOCK ? Outcome::Busy : Outcome::Failed;
    }
    fd_ = fd;
    return Outcome::Taken;
}

void FileLock::Release() {
    if (fd_ >= 0) ::close(std::exchange(fd_, -1));  // closing drops the lock
}

}  // namespace day
