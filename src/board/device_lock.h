// One program of ours per board. Each open handle of a hidraw device receives every input
// report, so two programs on one board would each take the other's answers. The lock is an
// advisory flock on a descriptor of the board's device node itself: no file in a shared
// folder that another user could plant in advance, and the kernel releases it when the
// holder closes it or dies, so a crash never leaves a board locked. flock belongs to the
// descriptor, not to the process: closing another descriptor of the node (hidapi's own, a
// discovery pass) leaves it held, as a classic POSIX record lock would not.
//
// A refused program is told who holds the board from the lock itself: the process the kernel
// lists for it in /proc/locks, when that process still has the node open, else the first
// other process that has it open (as fuser finds them).
#pragma once

#include <memory>
#include <string>

#include "board/hid_transport.h"

namespace vrq::board {

class DeviceLock {
  public:
    enum class Result {
        Locked,
        InUse,         // another holder; holder says who ("" when it cannot be told)
        NoPermission,  // the node cannot be opened by this user
        Gone,          // there is no such node
        Failed,        // no lock could be taken; why says why. Never go on without one.
    };

    // Takes the lock on the node at path. create: make the file when it is missing (a
    // simulated board's own file, in a folder of the user's).
    static Result Acquire(const std::string& path, bool create, std::unique_ptr<DeviceLock>& lock,
                          std::string& holder, std::string& why);

    // Owns an open, locked descriptor (closed with the object).
    explicit DeviceLock(int fd) : fd_(fd) {}
    ~DeviceLock();
    DeviceLock(const DeviceLock&) = delete;
    DeviceLock& operator=(const DeviceLock&) = delete;

    // "name (process 1234)" of the process holding the lock on path's node, or "".
    static std::string HolderOf(const std::string& path);

  private:
    int fd_;
};

// What a lock's result means for the open of a board (None when it is Locked).
OpenFailure OpenFailureOf(DeviceLock::Result result);

}  // namespace vrq::board
