#pragma once

#include <string>

namespace day {

// An exclusive flock on a small file of its own, taken without waiting and
// held for the object's life. The kernel drops it when the process ends in
// any way, kill -9 included, so a crash never leaves a stale lock. The file
// itself stays (removing it would race with the next taker); it is empty.
class FileLock {
public:
    enum class Outcome { Taken, Busy, Failed };

    FileLock() = default;
    ~FileLock();
    FileLock(FileLock&& other) noexcept;
    FileLock& operator=(FileLock&& other) noexcept;
    FileLock(const FileLock&) = delete;
    FileLock& operator=(const FileLock&) = delete;

    // Creates the file if needed and tries to lock it. On Failed, errno
    // tells why the file could not be opened.
    Outcome Take(const std::string& path);
    // Locks a file that exists, creating nothing: the lock is on the file
    // itself, so every path that names it (links included) meets it.
    Outcome TakeExisting(const std::string& path);
    bool Held() const { return fd_ >= 0; }
    void Release();

private:
    Outcome Lock(int fd);

    int fd_ = -1;
};

}  // namespace day
