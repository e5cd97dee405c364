#include "board/device_lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <sstream>

namespace vrq::board {
namespace {

bool IsWritableFolder(const char* path) {
    struct stat st {};
    return path != nullptr && *path != '\0' && ::stat(path, &st) == 0 && S_ISDIR(st.st_mode) &&
           ::access(path, W_OK | X_OK) == 0;
}

// "name pid" as the holder left it, turned into "name (process pid)".
std::string ReadHolder(int fd) {
    char text[256] = {};
    const ssize_t n = ::pread(fd, text, sizeof text - 1, 0);
    if (n <= 0) {
        return {};
    }
    std::istringstream in(std::string(text, static_cast<std::size_t>(n)));
    std::string name;
    long pid = 0;
    if (!(in >> name >> pid) || pid <= 0) {
        return {};
    }
    return name + " (process " + std::to_string(pid) + ")";
}

}  // namespace

std::string DeviceLock::Directory() {
    if (const char* dir = std::getenv("VRQ66208A_LOCK_DIR"); dir != nullptr && *dir != '\0') {
        return dir;
    }
    return IsWritableFolder("/run/lock") ? "/run/lock" : "/tmp";
}

std::string DeviceLock::FileFor(const std::string& key) {
    std::string name = "vrq66208a-";
    for (const char c : key) {
        const bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
                           (c >= '0' && c <= '9') || c == '.' || c == '-';
        name += plain ? c : '_';
    }
    return Directory() + "/" + name + ".lock";
}

DeviceLock::Result DeviceLock::Acquire(const std::string& key, std::unique_ptr<DeviceLock>& lock,
                                       std::string& holder) {
    lock.reset();
    holder.clear();
    const std::string file = FileFor(key);
    // Shared folder: never follow a link someone put there. Another user's lock file may
    // be open to us for reading only, which is all flock needs.
    bool canWrite = true;
    int fd = ::open(file.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0666);
    if (fd < 0 && errno == EACCES) {
        canWrite = false;
        fd = ::open(file.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
    }
    if (fd < 0) {
        return Result::Unavailable;
    }
    auto owned = std::make_unique<DeviceLock>(fd);
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        if (errno != EWOULDBLOCK) {
            return Result::Unavailable;
        }
        holder = ReadHolder(fd);
        return Result::InUse;
    }
    if (canWrite) {
        // Other users' programs must be able to take the lock after us (the umask would
        // otherwise leave the file ours alone).
        ::fchmod(fd, 0666);
        std::string me = std::string(program_invocation_short_name) + " " +
                         std::to_string(static_cast<long>(::getpid())) + "\n";
        if (::ftruncate(fd, 0) == 0) {
            [[maybe_unused]] const ssize_t written = ::pwrite(fd, me.data(), me.size(), 0);
        }
    }
    lock = std::move(owned);
    return Result::Locked;
}

DeviceLock::~DeviceLock() {
    ::close(fd_);  // releases the flock
}

}  // namespace vrq::board
