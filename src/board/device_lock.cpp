#include "board/device_lock.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>

namespace vrq::board {
namespace {

struct NodeId {
    dev_t device = 0;
    ino_t inode = 0;
};

bool SameNode(const char* path, const NodeId& node) {
    struct stat st {};
    return ::stat(path, &st) == 0 && st.st_dev == node.device && st.st_ino == node.inode;
}

// Whether process pid has a descriptor on the node.
bool HasOpen(long pid, const NodeId& node) {
    const std::string folder = "/proc/" + std::to_string(pid) + "/fd";
    DIR* dir = ::opendir(folder.c_str());
    if (dir == nullptr) {
        return false;
    }
    bool found = false;
    while (const dirent* entry = ::readdir(dir)) {
        if (entry->d_name[0] != '.' && SameNode((folder + "/" + entry->d_name).c_str(), node)) {
            found = true;
            break;
        }
    }
    ::closedir(dir);
    return found;
}

std::string Named(long pid) {
    std::ifstream comm("/proc/" + std::to_string(pid) + "/comm");
    std::string name;
    if (!std::getline(comm, name) || name.empty()) {
        name = "a program";
    }
    return name + " (process " + std::to_string(pid) + ")";
}

// The process /proc/locks names for a flock on the node: "1: FLOCK ADVISORY WRITE 1234
// 00:05:567 0 EOF", device numbers in hexadecimal.
long FlockHolder(const NodeId& node) {
    std::ifstream locks("/proc/locks");
    char wanted[64];
    std::snprintf(wanted, sizeof wanted, "%02x:%02x:%lu", major(node.device), minor(node.device),
                  static_cast<unsigned long>(node.inode));
    std::string line;
    while (std::getline(locks, line)) {
        std::istringstream in(line);
        std::string id, type, mode, access, where;
        long pid = 0;
        if (in >> id >> type) {
            if (type == "->") {
                continue;  // a waiter, not a holder
            }
            if (type == "FLOCK" && in >> mode >> access >> pid >> where && where == wanted) {
                return pid;
            }
        }
    }
    return 0;
}

}  // namespace

std::string DeviceLock::HolderOf(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) {
        return {};
    }
    const NodeId node{st.st_dev, st.st_ino};
    // The lock's own process, when it still has the node open (a holder's child may have
    // inherited the descriptor; outside our process namespace the kernel lists none).
    if (const long pid = FlockHolder(node); pid > 0 && HasOpen(pid, node)) {
        return Named(pid);
    }
    DIR* proc = ::opendir("/proc");
    if (proc == nullptr) {
        return {};
    }
    std::string holder;
    const long self = ::getpid();
    while (const dirent* entry = ::readdir(proc)) {
        char* end = nullptr;
        const long pid = std::strtol(entry->d_name, &end, 10);
        if (pid > 0 && *end == '\0' && pid != self && HasOpen(pid, node)) {
            holder = Named(pid);
            break;
        }
    }
    ::closedir(proc);
    return holder;
}

DeviceLock::Result DeviceLock::Acquire(const std::string& path, bool create,
                                       std::unique_ptr<DeviceLock>& lock, std::string& holder,
                                       std::string& why) {
    lock.reset();
    holder.clear();
    why.clear();
    // Without blocking: a node that would block its opener (a FIFO in its place) must not
    // hang the program. Not followed: the node itself, never what a link points at.
    const int flags =
        O_RDWR | O_CLOEXEC | O_NONBLOCK | O_NOCTTY | O_NOFOLLOW | (create ? O_CREAT : 0);
    const int fd = ::open(path.c_str(), flags, 0600);
    if (fd < 0) {
        switch (errno) {
            case EACCES:
            case EPERM:
                return Result::NoPermission;
            case ENOENT:
            case ENODEV:
            case ENXIO:
                return Result::Gone;
            default:
                why = std::strerror(errno);
                return Result::Failed;
        }
    }
    auto owned = std::make_unique<DeviceLock>(fd);
    struct stat st {};
    if (::fstat(fd, &st) != 0 || (!S_ISCHR(st.st_mode) && !S_ISREG(st.st_mode))) {
        why = "it is not a device node";
        return Result::Failed;
    }
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        if (errno == EWOULDBLOCK) {
            holder = HolderOf(path);
            return Result::InUse;
        }
        why = std::string("no lock could be taken on it (") + std::strerror(errno) + ")";
        return Result::Failed;
    }
    lock = std::move(owned);
    return Result::Locked;
}

OpenFailure OpenFailureOf(DeviceLock::Result result) {
    switch (result) {
        case DeviceLock::Result::Locked:
            return OpenFailure::None;
        case DeviceLock::Result::InUse:
            return OpenFailure::InUse;
        case DeviceLock::Result::NoPermission:
            return OpenFailure::NoPermission;
        case DeviceLock::Result::Gone:
            return OpenFailure::Gone;
        case DeviceLock::Result::Failed:
            break;
    }
    return OpenFailure::NoLock;
}

DeviceLock::~DeviceLock() {
    ::close(fd_);  // releases the flock
}

}  // namespace vrq::board
