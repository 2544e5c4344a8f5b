#include "day/output_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "day/descriptor.h"

namespace day {

namespace {

[[noreturn]] void Throw(int error, const std::string& what) {
    throw std::system_error(error, std::generic_category(), what);
}

mode_t NewFileMode() {
    const mode_t mask = ::umask(0);
    ::umask(mask);
    return 0666 & ~mask;
}

}  // namespace

void WriteFileAtomically(const std::string& path, std::string_view bytes) {
    const std::filesystem::path target(path);
    const std::string folder = target.has_parent_path() ? target.parent_path().string() : ".";
    std::string temporary = (std::filesystem::path(folder) / ".leverans-XXXXXX").string();
    Descriptor fd(::mkostemp(temporary.data(), O_CLOEXEC));
    if (fd.get() < 0) Throw(errno, "create beside " + path);
    bool renamed = false;
    try {
        struct stat existing {};
        const mode_t mode =
            ::stat(path.c_str(), &existing) == 0 ? (existing.st_mode & 07777) : NewFileMode();
        if (::fchmod(fd.get(), mode) != 0) Throw(errno, "chmod " + temporary);
        for (std::size_t done = 0; done < bytes.size();) {
            const ssize_t written = ::write(fd.get(), bytes.data() + done, bytes.size() - done);
            if (written < 0) {
                if (errno == EINTR) continue;
                Throw(errno, "write " + temporary);
            }
            done += static_cast<std::size_t>(written);
        }
        if (::fsync(fd.get()) != 0) Throw(errno, "fsync " + temporary);
        if (fd.Close() != 0) Throw(errno, "close " + temporary);
        if (std::rename(temporary.c_str(), path.c_str()) != 0) Throw(errno, "rename to " + path);
        renamed = true;
    } catch (...) {
        if (!renamed) ::unlink(temporary.c_str());
        throw;
    }
    // The new name on disk too; the file is complete whatever happens here.
    const int dir = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir >= 0) {
        ::fsync(dir);
        ::close(dir);
    }
}

std::string WriteCause(int error) {
    switch (error) {
        case ENOENT:
        case ENOTDIR:
            return "mappen finns inte";
        case EACCES:
        case EPERM:
            return "behörighet saknas";
        case EROFS:
            return "lagringsenheten är skrivskyddad";
        case ENOSPC:
        case EDQUOT:
        case EFBIG:
            return "disken är full";
        case EISDIR:
            return "det finns en mapp med det namnet";
        case EIO:
            return "skrivfel på disken";
        case ENAMETOOLONG:
            return "sökvägen är för lång";
        default:
            return std::string("systemfel: ") + std::strerror(error);
    }
}

}  // namespace day
