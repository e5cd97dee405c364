// The real advisory lock on a node, between descriptors and between processes.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "board/device_lock.h"
#include "support/temp_folder.h"

namespace vrq::board {
namespace {

class DeviceLockTest : public ::testing::Test {
  protected:
    std::string Node(const std::string& name) const { return folder / name; }
    DeviceLock::Result Take(const std::string& path, std::unique_ptr<DeviceLock>& lock) {
        return DeviceLock::Acquire(path, true, lock, holder, why);
    }

    test::TempFolder folder{"vrq-lock"};
    std::string holder;
    std::string why;
};

TEST_F(DeviceLockTest, SecondHolderIsRefusedAndToldWhoHasIt) {
    std::unique_ptr<DeviceLock> first;
    std::unique_ptr<DeviceLock> second;
    ASSERT_EQ(Take(Node("hidraw3"), first), DeviceLock::Result::Locked);
    // Another descriptor of the same process is refused too: a second open of one board.
    EXPECT_EQ(Take(Node("hidraw3"), second), DeviceLock::Result::InUse);
    EXPECT_EQ(second, nullptr);
    EXPECT_EQ(holder, std::string(program_invocation_short_name) + " (process " +
                          std::to_string(::getpid()) + ")");
    EXPECT_EQ(Take(Node("hidraw4"), second), DeviceLock::Result::Locked);
    first.reset();
    EXPECT_EQ(Take(Node("hidraw3"), first), DeviceLock::Result::Locked);
}

TEST_F(DeviceLockTest, AProgramThatDiesLeavesNoLockBehind) {
    int ready[2];
    ASSERT_EQ(::pipe(ready), 0);
    const std::string node = Node("hidraw9");
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        std::unique_ptr<DeviceLock> lock;
        std::string h;
        std::string w;
        DeviceLock::Acquire(node, true, lock, h, w);
        [[maybe_unused]] const auto n = ::write(ready[1], "x", 1);
        ::pause();  // killed below, lock still held: the kernel must release it
        std::_Exit(0);
    }
    char c = 0;
    ASSERT_EQ(::read(ready[0], &c, 1), 1);
    std::unique_ptr<DeviceLock> lock;
    EXPECT_EQ(Take(node, lock), DeviceLock::Result::InUse);
    EXPECT_NE(holder.find("(process " + std::to_string(child) + ")"), std::string::npos) << holder;
    ::kill(child, SIGKILL);
    ::waitpid(child, nullptr, 0);
    EXPECT_EQ(Take(node, lock), DeviceLock::Result::Locked);
    ::close(ready[0]);
    ::close(ready[1]);
}

// Only the node itself is locked: whatever stands under its name instead is refused at once,
// with a reason, and nothing blocks (a FIFO would hang a blocking open).
struct Impostor {
    const char* label;
    void (*make)(const std::string& path);
    DeviceLock::Result result;
};

class DeviceLockImpostor : public DeviceLockTest, public ::testing::WithParamInterface<Impostor> {};

TEST_P(DeviceLockImpostor, IsRefusedAtOnce) {
    const std::string path = Node("hidraw0");
    GetParam().make(path);
    std::unique_ptr<DeviceLock> lock;
    EXPECT_EQ(DeviceLock::Acquire(path, false, lock, holder, why), GetParam().result);
    EXPECT_EQ(lock, nullptr);
    if (GetParam().result == DeviceLock::Result::Failed) {
        EXPECT_FALSE(why.empty());
    }
}

INSTANTIATE_TEST_SUITE_P(
    Kinds, DeviceLockImpostor,
    ::testing::Values(Impostor{"Fifo", [](const std::string& p) { ::mkfifo(p.c_str(), 0666); },
                               DeviceLock::Result::Failed},
                      Impostor{"Folder",
                               [](const std::string& p) { std::filesystem::create_directory(p); },
                               DeviceLock::Result::Failed},
                      Impostor{"Symlink",
                               [](const std::string& p) {
                                   std::ofstream(p + ".real").put('x');
                                   std::filesystem::create_symlink(p + ".real", p);
                               },
                               DeviceLock::Result::Failed},
                      Impostor{"Nothing", [](const std::string&) {}, DeviceLock::Result::Gone}),
    [](const auto& c) { return std::string(c.param.label); });

}  // namespace
}  // namespace vrq::board
