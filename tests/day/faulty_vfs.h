#pragma once

// An SQLite VFS laid over the system's own that makes writes, syncs or
// reads fail on demand, the way a failing disk would: with an error code and
// the errno behind it. While an instance lives it is the default VFS, so
// every connection opened meanwhile goes through it.
#include <functional>

namespace testing_support {

class FaultyVfs {
public:
    enum class Fault { None, Write, Sync, Read };

    FaultyVfs();
    ~FaultyVfs();
    FaultyVfs(const FaultyVfs&) = delete;
    FaultyVfs& operator=(const FaultyVfs&) = delete;

    // From now on every call of that kind fails with code (an SQLite result
    // code such as SQLITE_IOERR_WRITE or SQLITE_FULL) and errno set to error,
    // after the first `passes` calls of that kind have gone through.
    void Inject(Fault fault, int code, int error, int passes = 0);
    void Clear() { Inject(Fault::None, 0, 0); }
    // Calls failed since the fault was injected.
    int Failures() const;

    // Told before each open (with the file's name), write or truncate, and
    // sync goes through; `file` tells SQLite's open files apart.
    enum class Call { Open, Write, Sync };
    using Watcher = std::function<void(Call call, const void* file, const char* name)>;
    void Watch(Watcher watcher);
};

}  // namespace testing_support
