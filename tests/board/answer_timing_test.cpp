#include <gtest/gtest.h>

#include "board/answer_timing.h"
#include "board/device_lock.h"

#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

namespace vrq::board {
namespace {

using namespace std::chrono_literals;

Report Request(std::uint8_t command, std::uint8_t sub, std::uint8_t address = 0) {
    Report r{};
    r[off::kCommand] = command;
    r[off::kSubCommand] = sub;
    r[off::kAddress] = address;
    return r;
}

TEST(AnswerTiming, KindsDifferByCommandCountDirectionAndClock) {
    const BusClockState clock{12, 120};
    const Report read13 = Request(CommandI2C, 13, 0x89);
    const auto kind = AnswerTiming::KindOf(read13, clock);
    EXPECT_NE(kind, AnswerTiming::KindOf(Request(CommandI2C, 13, 0x88), clock));
    EXPECT_NE(kind, AnswerTiming::KindOf(Request(CommandI2C, 1, 0x89), clock));
    EXPECT_NE(AnswerTiming::KindOf(Request(CommandGpio, kSubQuery), clock),
              AnswerTiming::KindOf(Request(CommandBusClock, kSubQuery), clock));
    // The value byte of a set command is no part of its kind.
    EXPECT_EQ(AnswerTiming::KindOf(Request(CommandGpio, kSubSet, 0), clock),
              AnswerTiming::KindOf(Request(CommandGpio, kSubSet, 1), clock));
    EXPECT_NE(kind, AnswerTiming::KindOf(read13, {12, 60})) << "the bus takes half as long";
    // Bus time: 16 bytes of nine bits and three framing bits, 10 us each at 12 MHz / 120.
    EXPECT_EQ(AnswerTiming::BusTime(read13, clock), 1470us);
    EXPECT_EQ(AnswerTiming::BusTime(read13, {12, 0}), 0us) << "clock not known";
    EXPECT_EQ(AnswerTiming::BusTime(Request(CommandGpio, kSubQuery), clock), 0us);
}

TEST(AnswerTiming, AKnownKindIsEarlyBeforeItsUsualRoundTripLessTheBoardsOwnSpread) {
    AnswerTiming timing;
    const BusClockState clock{12, 120};
    const Report query = Request(CommandGpio, kSubQuery);
    const auto kind = AnswerTiming::KindOf(query, clock);
    EXPECT_FALSE(timing.IsEarly(query, clock, 0ms)) << "nothing is early before it is known";
    timing.Record(query, clock, 3ms);
    EXPECT_FALSE(timing.Usual(kind).has_value());
    timing.Record(query, clock, 4ms);
    timing.Record(query, clock, 200us);  // one stray that slipped through cannot pull it down
    EXPECT_EQ(timing.Usual(kind), 3ms);
    EXPECT_TRUE(timing.IsEarly(query, clock, 2600us)) << "a tenth until the spread is known";
    EXPECT_FALSE(timing.IsEarly(query, clock, 2800us));

    // A steady board: the least margin, a twentieth.
    for (int i = 0; i < 8; ++i) {
        timing.Record(query, clock, 10ms + std::chrono::microseconds(10 * i));
    }
    EXPECT_EQ(timing.Usual(kind), 10010us) << "old samples age out";
    EXPECT_TRUE(timing.IsEarly(query, clock, 9500us));
    EXPECT_FALSE(timing.IsEarly(query, clock, 9600us));
    // A board whose answers wander by a USB frame is not suspected for it.
    for (int i = 0; i < 8; ++i) {
        timing.Record(query, clock, i % 2 == 0 ? 2ms : 3ms);
    }
    EXPECT_FALSE(timing.IsEarly(query, clock, 1ms));
    EXPECT_TRUE(timing.IsEarly(query, clock, 900us));
    // Nor is a board that answers at once suspected for how late a program wakes.
    for (int i = 0; i < 8; ++i) {
        timing.Record(query, clock, 30us);
    }
    EXPECT_FALSE(timing.IsEarly(query, clock, 0us));
}

// An owed answer, whose kind may never have been timed, is held to the fastest answer any
// command without a transfer has had, not to the usual one.
TEST(AnswerTiming, AnOwedAnswerIsEarlyOnlyBeforeTheFastestAnswerSeen) {
    AnswerTiming timing;
    const Report set = Request(CommandGpio, kSubSet);
    const Report query = Request(CommandBusClock, kSubQuery);
    timing.Record(query, {}, 1200us);
    EXPECT_FALSE(timing.SoonerThanAnyAnswer(set, {}, 0us)) << "one answer tells too little";
    for (const auto roundTrip : {2ms, 3ms, 2ms}) {
        timing.Record(query, {}, roundTrip);
    }
    EXPECT_TRUE(timing.IsEarly(set, {}, 1500us)) << "sooner than the usual 2 ms";
    EXPECT_FALSE(timing.SoonerThanAnyAnswer(set, {}, 1500us));
    EXPECT_FALSE(timing.SoonerThanAnyAnswer(set, {}, 1100us)) << "1.2 ms less 0.1";
    EXPECT_TRUE(timing.SoonerThanAnyAnswer(set, {}, 1090us));
}

TEST(AnswerTiming, AKindNotYetKnownNeedsTheUsbRoundTripAndItsBusTime) {
    AnswerTiming timing;
    const Report query = Request(CommandBusClock, kSubQuery);
    timing.Record(query, {}, 2ms);
    timing.Record(query, {}, 2ms);
    const Report read13 = Request(CommandI2C, 13, 0x89);
    EXPECT_TRUE(timing.IsEarly(read13, {}, 1850us)) << "clock unknown: the USB part alone";
    EXPECT_FALSE(timing.IsEarly(read13, {}, 1950us));
    const BusClockState clock{12, 120};
    EXPECT_FALSE(timing.IsEarly(read13, clock, 1950us)) << "no transfer seen taking bus time";
    const Report write1 = Request(CommandI2C, 1, 0x88);
    timing.Record(write1, clock, 2300us);  // 3 bytes and 2 bits: 290 us of bus
    timing.Record(write1, clock, 2300us);
    EXPECT_TRUE(timing.IsEarly(read13, clock, 3200us)) << "2 ms and 1.47 of bus, less 5%";
    EXPECT_FALSE(timing.IsEarly(read13, clock, 3350us));
    EXPECT_GE(timing.AwaitRealAnswer(read13, clock), 3470us);
}

// The real advisory lock, between processes.
class DeviceLockTest : public ::testing::Test {
  protected:
    void SetUp() override {
        dir = ::testing::TempDir() + "locks" + std::to_string(::getpid());
        ::mkdir(dir.c_str(), 0700);
        ::setenv("VRQ66208A_LOCK_DIR", dir.c_str(), 1);
    }
    void TearDown() override { ::unsetenv("VRQ66208A_LOCK_DIR"); }
    std::string dir;
};

TEST_F(DeviceLockTest, SecondHolderIsRefusedAndToldWhoHasIt) {
    EXPECT_EQ(DeviceLock::FileFor("/dev/hidraw3"), dir + "/vrq66208a-_dev_hidraw3.lock");
    std::unique_ptr<DeviceLock> first;
    std::unique_ptr<DeviceLock> second;
    std::string holder;
    ASSERT_EQ(DeviceLock::Acquire("/dev/hidraw3", first, holder), DeviceLock::Result::Locked);
    EXPECT_EQ(DeviceLock::Acquire("/dev/hidraw3", second, holder), DeviceLock::Result::InUse);
    EXPECT_EQ(second, nullptr);
    EXPECT_EQ(holder, std::string(program_invocation_short_name) + " (process " +
                          std::to_string(::getpid()) + ")");
    EXPECT_EQ(DeviceLock::Acquire("/dev/hidraw4", second, holder), DeviceLock::Result::Locked);
    first.reset();
    EXPECT_EQ(DeviceLock::Acquire("/dev/hidraw3", first, holder), DeviceLock::Result::Locked);
}

TEST_F(DeviceLockTest, AProgramThatDiesLeavesNoLockBehind) {
    int ready[2];
    ASSERT_EQ(::pipe(ready), 0);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        std::unique_ptr<DeviceLock> lock;
        std::string holder;
        DeviceLock::Acquire("/dev/hidraw9", lock, holder);
        [[maybe_unused]] const auto n = ::write(ready[1], "x", 1);
        ::pause();  // killed below, lock still held: the kernel must release it
        std::_Exit(0);
    }
    char c = 0;
    ASSERT_EQ(::read(ready[0], &c, 1), 1);
    std::unique_ptr<DeviceLock> lock;
    std::string holder;
    EXPECT_EQ(DeviceLock::Acquire("/dev/hidraw9", lock, holder), DeviceLock::Result::InUse);
    EXPECT_NE(holder.find("(process " + std::to_string(child) + ")"), std::string::npos) << holder;
    ::kill(child, SIGKILL);
    ::waitpid(child, nullptr, 0);
    EXPECT_EQ(DeviceLock::Acquire("/dev/hidraw9", lock, holder), DeviceLock::Result::Locked);
    ::close(ready[0]);
    ::close(ready[1]);
}

}  // namespace
}  // namespace vrq::board
