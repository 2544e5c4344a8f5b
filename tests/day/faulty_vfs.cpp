#include "faulty_vfs.h"

#include <sqlite3.h>

#include <cerrno>
#include <stdexcept>
#include <utility>

namespace testing_support {

namespace {

struct State {
    sqlite3_vfs* real = nullptr;
    sqlite3_vfs vfs{};
    sqlite3_io_methods methods{};
    FaultyVfs::Fault fault = FaultyVfs::Fault::None;
    int code = 0;
    int error = 0;
    int failures = 0;
    int passes = 0;  // calls of the fault's kind still let through
    FaultyVfs::Watcher watcher;
};
State state;

// Our file, followed in the same allocation by the real VFS's file.
struct File {
    sqlite3_file base;
    sqlite3_file* real;
};

sqlite3_file* Real(sqlite3_file* file) { return reinterpret_cast<File*>(file)->real; }

void Tell(FaultyVfs::Call call, const void* file, const char* name = nullptr) {
    if (state.watcher) state.watcher(call, file, name);
}

bool Fails(FaultyVfs::Fault fault) {
    if (state.fault != fault) return false;
    if (state.passes > 0) {
        --state.passes;
        return false;
    }
    ++state.failures;
    errno = state.error;
    return true;
}

int Close(sqlite3_file* f) { return Real(f)->pMethods->xClose(Real(f)); }
int Read(sqlite3_file* f, void* data, int amount, sqlite3_int64 offset) {
    if (Fails(FaultyVfs::Fault::Read)) return state.code;
    return Real(f)->pMethods->xRead(Real(f), data, amount, offset);
}
int Write(sqlite3_file* f, const void* data, int amount, sqlite3_int64 offset) {
    Tell(FaultyVfs::Call::Write, f);
    if (Fails(FaultyVfs::Fault::Write)) return state.code;
    return Real(f)->pMethods->xWrite(Real(f), data, amount, offset);
}
int Truncate(sqlite3_file* f, sqlite3_int64 size) {
    Tell(FaultyVfs::Call::Write, f);
    if (Fails(FaultyVfs::Fault::Write)) return state.code;
    return Real(f)->pMethods->xTruncate(Real(f), size);
}
int Sync(sqlite3_file* f, int flags) {
    Tell(FaultyVfs::Call::Sync, f);
    if (Fails(FaultyVfs::Fault::Sync)) return state.code;
    return Real(f)->pMethods->xSync(Real(f), flags);
}
int FileSize(sqlite3_file* f, sqlite3_int64* size) {
    return Real(f)->pMethods->xFileSize(Real(f), size);
}
int Lock(sqlite3_file* f, int level) { return Real(f)->pMethods->xLock(Real(f), level); }
int Unlock(sqlite3_file* f, int level) { return Real(f)->pMethods->xUnlock(Real(f), level); }
int CheckReservedLock(sqlite3_file* f, int* out) {
    return Real(f)->pMethods->xCheckReservedLock(Real(f), out);
}
int FileControl(sqlite3_file* f, int op, void* arg) {
    return Real(f)->pMethods->xFileControl(Real(f), op, arg);
}
int SectorSize(sqlite3_file* f) { return Real(f)->pMethods->xSectorSize(Real(f)); }
int DeviceCharacteristics(sqlite3_file* f) {
    return Real(f)->pMethods->xDeviceCharacteristics(Real(f));
}
int ShmMap(sqlite3_file* f, int region, int size, int extend, void volatile** out) {
    return Real(f)->pMethods->xShmMap(Real(f), region, size, extend, out);
}
int ShmLock(sqlite3_file* f, int offset, int n, int flags) {
    return Real(f)->pMethods->xShmLock(Real(f), offset, n, flags);
}
void ShmBarrier(sqlite3_file* f) { Real(f)->pMethods->xShmBarrier(Real(f)); }
int ShmUnmap(sqlite3_file* f, int deleteFlag) {
    return Real(f)->pMethods->xShmUnmap(Real(f), deleteFlag);
}
int Fetch(sqlite3_file* f, sqlite3_int64 offset, int amount, void** out) {
    return Real(f)->pMethods->xFetch(Real(f), offset, amount, out);
}
int Unfetch(sqlite3_file* f, sqlite3_int64 offset, void* page) {
    return Real(f)->pMethods->xUnfetch(Real(f), offset, page);
}

int Open(sqlite3_vfs*, const char* name, sqlite3_file* file, int flags, int* outFlags) {
    auto* ours = reinterpret_cast<File*>(file);
    ours->real = reinterpret_cast<sqlite3_file*>(ours + 1);
    ours->base.pMethods = nullptr;
    if (name != nullptr) Tell(FaultyVfs::Call::Open, file, name);
    const int rc = state.real->xOpen(state.real, name, ours->real, flags, outFlags);
    // The real file has no methods when it failed to open: then neither has ours.
    if (ours->real->pMethods) ours->base.pMethods = &state.methods;
    return rc;
}

}  // namespace

FaultyVfs::FaultyVfs() {
    state = State{};
    state.real = sqlite3_vfs_find(nullptr);
    if (!state.real) throw std::runtime_error("no default SQLite VFS");
    state.vfs = *state.real;  // everything but opening goes straight through
    state.vfs.zName = "faulty";
    state.vfs.szOsFile = static_cast<int>(sizeof(File)) + state.real->szOsFile;
    state.vfs.xOpen = Open;
    state.methods = sqlite3_io_methods{3,
                                       Close,
                                       Read,
                                       Write,
                                       Truncate,
                                       Sync,
                                       FileSize,
                                       Lock,
                                       Unlock,
                                       CheckReservedLock,
                                       FileControl,
                                       SectorSize,
                                       DeviceCharacteristics,
                                       ShmMap,
                                       ShmLock,
                                       ShmBarrier,
                                       ShmUnmap,
                                       Fetch,
                                       Unfetch};
    if (sqlite3_vfs_register(&state.vfs, 1) != SQLITE_OK)
        throw std::runtime_error("cannot register the faulty VFS");
}

FaultyVfs::~FaultyVfs() {
    sqlite3_vfs_unregister(&state.vfs);
    sqlite3_vfs_register(state.real, 1);  // the system's VFS is the default again
}

void FaultyVfs::Inject(Fault fault, int code, int error, int passes) {
    state.fault = fault;
    state.passes = passes;
    state.code = code;
    state.error = error;
    state.failures = 0;
}

int FaultyVfs::Failures() const { return state.failures; }

void FaultyVfs::Watch(Watcher watcher) { state.watcher = std::move(watcher); }

}  // namespace testing_support
