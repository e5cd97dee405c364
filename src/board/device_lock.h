// One program of ours per board. Each open handle of a hidraw device receives every input
// report, so two programs on one board would each take the other's answers. The lock is an
// advisory flock on a small file named after the device path: the kernel releases it when
// the holder closes it or dies, so a crash never leaves a board locked.
//
// The lock files live in $VRQ66208A_LOCK_DIR when set, else /run/lock, else /tmp. The holder
// writes "name pid" into its file so that a refused program can say who has the board.
#pragma once

#include <memory>
#include <string>

namespace vrq::board {

class DeviceLock {
  public:
    enum class Result { Locked, InUse, Unavailable };

    // Takes the lock for key (a device path or any other name). On InUse, holder says who
    // has it ("vrq66208a-eval (process 1234)", or "" when it cannot be read). Unavailable:
    // no lock file could be made; the caller goes on without one.
    static Result Acquire(const std::string& key, std::unique_ptr<DeviceLock>& lock,
                          std::string& holder);

    // Owns an open lock file descriptor (closed with the object).
    explicit DeviceLock(int fd) : fd_(fd) {}
    ~DeviceLock();
    DeviceLock(const DeviceLock&) = delete;
    DeviceLock& operator=(const DeviceLock&) = delete;

    // The folder the lock files go to.
    static std::string Directory();
    // The lock file for a key: the folder and the key with every character but letters,
    // digits, '.' and '-' replaced by '_'.
    static std::string FileFor(const std::string& key);

  private:
    int fd_;
};

}  // namespace vrq::board
