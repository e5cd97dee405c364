// The hidapi backend on a stand-in for hidapi: how reports are framed for hid_write and
// taken from hid_read_timeout, what each read result means, that discovery opens a board
// listed under several usage pages once, that every handle and list is released, that the
// advisory lock on the device node keeps a second open off a board, and why an open failed.
// The stand-in's device nodes are plain files in a folder of the test's.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <numeric>
#include <string>
#include <thread>
#include <vector>

#include "board/board_session.h"
#include "board/device_lock.h"
#include "board/discovery.h"
#include "board/hidapi_transport.h"
#include "device/register_map.h"
#include "support/fake_hidapi.h"

namespace vrq::test {
namespace {

namespace fs = std::filesystem;
using board::OpenFailure;
using board::ReadOutcome;
using fake_hid::Fake;

constexpr std::size_t kPayload = board::kReportSize - 1;  // what hidraw moves: no report ID

class HidapiBackend : public ::testing::Test {
  protected:
    void SetUp() override {
        fake_hid::Reset();
        std::string pattern = (fs::temp_directory_path() / "vrq-hidapi-XXXXXX").string();
        ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
        dir = pattern;
        // Searchable by anyone: the open failures are also asked as an unprivileged user.
        fs::permissions(dir, fs::perms::owner_all | fs::perms::group_exec | fs::perms::others_exec);
    }
    void TearDown() override {
        fs::remove_all(dir);
        fake_hid::Reset();
    }

    std::string Node(const std::string& name) const { return (dir / name).string(); }
    // A board listed by the stand-in; withNode: its device node exists (read and write for
    // everyone, as the udev rule makes it).
    std::string AddBoard(const std::string& name, std::uint16_t usagePage = 0xFF00,
                         bool withNode = true) {
        Fake().devices.push_back(
            {Node(name), board::kBoardVendorId, board::kBoardProductId, usagePage});
        if (withNode && !fs::exists(Node(name))) {
            std::ofstream(Node(name)).put('x');
            ::chmod(Node(name).c_str(), 0666);
        }
        return Node(name);
    }

    fs::path dir;
};

TEST_F(HidapiBackend, AReportGoesToHidWriteWholeWithReportNumberZeroFirst) {
    // hidapi takes the report number in front of the data; the board uses none, so byte 0
    // of our report is that 0, and hidraw sends the 63 bytes behind it.
    const std::string path = AddBoard("hidraw0");
    std::vector<std::uint8_t> written;
    Fake().onWrite = [&](const std::string&, std::span<const std::uint8_t> data) {
        written.assign(data.begin(), data.end());
        return static_cast<int>(data.size());
    };
    board::HidapiTransport hid;
    auto device = hid.Open(path).device;
    ASSERT_TRUE(device);
    board::Report report{};
    std::iota(report.begin() + 1, report.end(), 1);
    EXPECT_TRUE(device->Write(report));
    ASSERT_EQ(written.size(), board::kReportSize);
    EXPECT_TRUE(std::equal(written.begin(), written.end(), report.begin()));
    EXPECT_EQ(written[0], 0);

    Fake().onWrite = [](const std::string&, std::span<const std::uint8_t>) { return -1; };
    EXPECT_FALSE(device->Write(report));
}

TEST_F(HidapiBackend, AReadAsksForThePayloadAndPutsReportNumberZeroInFront) {
    const std::string path = AddBoard("hidraw0");
    std::size_t asked = 0;
    int waited = 0;
    Fake().onRead = [&](const std::string&, std::span<std::uint8_t> buffer, int timeoutMs) {
        asked = buffer.size();
        waited = timeoutMs;
        std::iota(buffer.begin(), buffer.end(), 1);
        return static_cast<int>(buffer.size());
    };
    board::HidapiTransport hid;
    auto device = hid.Open(path).device;
    ASSERT_TRUE(device);
    board::Report report;
    report.fill(0x77);
    EXPECT_EQ(device->Read(report, 250), ReadOutcome::Answer);
    EXPECT_EQ(asked, kPayload);
    EXPECT_EQ(waited, 250);
    for (std::size_t i = 0; i < board::kReportSize; ++i) {
        EXPECT_EQ(report[i], i) << "byte " << i;
    }
}

// What hid_read_timeout returned, and what the backend makes of it. Only a whole report is
// data: a time-out, an error (an unplugged board) or a short report leave the report alone.
struct ReadCase {
    int returned;
    ReadOutcome outcome;
};

void PrintTo(const ReadCase& c, std::ostream* out) {
    *out << "hid_read_timeout returns " << c.returned;
}

class HidapiRead : public HidapiBackend, public ::testing::WithParamInterface<ReadCase> {};

TEST_P(HidapiRead, OnlyAWholeReportIsData) {
    const std::string path = AddBoard("hidraw0");
    Fake().onRead = [](const std::string&, std::span<std::uint8_t> buffer, int) {
        std::fill(buffer.begin(), buffer.end(), 0x55);  // whatever the count, bytes change
        return GetParam().returned;
    };
    board::HidapiTransport hid;
    auto device = hid.Open(path).device;
    ASSERT_TRUE(device);
    board::Report report;
    report.fill(0xEE);
    EXPECT_EQ(device->Read(report, 10), GetParam().outcome);
    if (GetParam().outcome != ReadOutcome::Answer) {
        EXPECT_TRUE(std::all_of(report.begin(), report.end(), [](auto b) { return b == 0xEE; }));
    }
}

INSTANTIATE_TEST_SUITE_P(
    Results, HidapiRead,
    ::testing::Values(ReadCase{0, ReadOutcome::Timeout}, ReadCase{-1, ReadOutcome::Failure},
                      ReadCase{1, ReadOutcome::Failure},
                      ReadCase{static_cast<int>(kPayload) - 1, ReadOutcome::Failure},
                      ReadCase{static_cast<int>(kPayload), ReadOutcome::Answer}));

TEST_F(HidapiBackend, ABoardListedUnderSeveralUsagePagesIsOpenedOnceAndAllIsReleased) {
    const std::string first = AddBoard("hidraw0", 0xFF00);
    Fake().devices.push_back({Node("hidraw1"), 0x046D, 0xC31C, 0x0001});  // a keyboard
    AddBoard("hidraw0", 0x0001);
    const std::string second = AddBoard("hidraw2", 0xFF00);
    AddBoard("hidraw2", 0x000C);
    {
        board::HidapiTransport hid;
        const board::Discovery found = board::DiscoverBoards(hid);
        ASSERT_EQ(found.boards.size(), 2U);
        EXPECT_EQ(found.boards[0].path, first);
        EXPECT_EQ(found.boards[1].path, second);
        EXPECT_TRUE(found.unopened.empty());
        EXPECT_EQ(Fake().opened, (std::vector<std::string>{first, second}));
        EXPECT_EQ(Fake().openAttempts, 2) << "nothing else is opened";
        EXPECT_EQ(Fake().enumerations, Fake().listsFreed);
        EXPECT_EQ(Fake().OpenNow(), 2);
    }
    EXPECT_EQ(Fake().OpenNow(), 0);
    EXPECT_EQ(Fake().badCloses, 0);
    EXPECT_EQ(Fake().inits, 1);
    EXPECT_EQ(Fake().exits, 1);
}

// The whole stack over the backend: a register read goes out framed for hidapi, and the
// answer's payload lands where the protocol puts the register's value.
TEST_F(HidapiBackend, ASessionReadsARegisterThroughIt) {
    AddBoard("hidraw0");
    std::vector<std::uint8_t> sent;
    bool asked = false;
    Fake().onWrite = [&](const std::string&, std::span<const std::uint8_t> data) {
        sent.assign(data.begin(), data.end());
        asked = true;
        return static_cast<int>(data.size());
    };
    Fake().onRead = [&](const std::string&, std::span<std::uint8_t> buffer, int) {
        if (!asked) {
            return 0;  // nothing asked, nothing comes
        }
        asked = false;
        // A board's USB frames: no answer comes sooner than the backend says a board can.
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
        std::fill(buffer.begin(), buffer.end(), 0);
        buffer[board::off::kReadData - 1] = 0xCC;  // status 0, then the value
        return static_cast<int>(buffer.size());
    };
    board::HidapiTransport hid;
    board::Discovery found = board::DiscoverBoards(hid);
    ASSERT_EQ(found.boards.size(), 1U);
    std::uint8_t value = 0;
    EXPECT_EQ(
        found.boards[0].session->ReadRegisters(device::kDefaultChipAddressByte, 0x07, {&value, 1}),
        board::Outcome::Ok);
    EXPECT_EQ(value, 0xCC);
    ASSERT_EQ(sent.size(), board::kReportSize);
    EXPECT_EQ(std::vector<std::uint8_t>(sent.begin(), sent.begin() + 5),
              (std::vector<std::uint8_t>{0x00, 0x02, 0x01, 0x89, 0x07}));
}

TEST_F(HidapiBackend, ASecondOpenOfABoardIsInUseUntilTheFirstHandleCloses) {
    const std::string path = AddBoard("hidraw0");
    board::HidapiTransport hid;
    board::OpenResult first = hid.Open(path);
    ASSERT_TRUE(first.device);

    board::HidapiTransport another;  // as a second program would
    const board::OpenResult second = another.Open(path);
    EXPECT_FALSE(second.device);
    EXPECT_EQ(second.failure, OpenFailure::InUse);
    EXPECT_EQ(second.holder, std::string(program_invocation_short_name) + " (process " +
                                 std::to_string(::getpid()) + ")");
    EXPECT_EQ(Fake().openAttempts, 1) << "the lock refuses before hidapi is asked";

    first.device.reset();
    EXPECT_EQ(Fake().OpenNow(), 0);
    EXPECT_TRUE(another.Open(path).device) << "the lock went with the handle";
}

// Why hidapi could not open a listed board, told from the device node.
struct FailureCase {
    const char* label;
    int mode;  // of the node the test makes; -1: no node (the board was unplugged)
    OpenFailure failure;
};

class HidapiOpenFailure : public HidapiBackend, public ::testing::WithParamInterface<FailureCase> {
  protected:
    // The failure as an unprivileged user sees it: root may open any node.
    static OpenFailure FailureAsUser(const std::string& path) {
        if (::geteuid() != 0) {
            board::HidapiTransport hid;
            return hid.Open(path).failure;
        }
        const pid_t child = ::fork();
        if (child == 0) {
            if (::setgid(65534) != 0 || ::setuid(65534) != 0) {
                ::_exit(100);
            }
            board::HidapiTransport hid;
            ::_exit(static_cast<int>(hid.Open(path).failure));
        }
        int status = 0;
        ::waitpid(child, &status, 0);
        return static_cast<OpenFailure>(WIFEXITED(status) ? WEXITSTATUS(status) : 101);
    }
};

TEST_P(HidapiOpenFailure, IsToldFromTheDeviceNodeAndLeavesNothingOpenOrLocked) {
    const std::string path = AddBoard("hidraw0", 0xFF00, false);
    if (GetParam().mode >= 0) {
        std::ofstream(path).put('x');
        ::chmod(path.c_str(), static_cast<mode_t>(GetParam().mode));
    }
    Fake().refuse.insert(path);
    EXPECT_EQ(FailureAsUser(path), GetParam().failure);

    board::HidapiTransport hid;
    EXPECT_FALSE(hid.Open(path).device);
    EXPECT_EQ(Fake().OpenNow(), 0);
    Fake().refuse.clear();
    if (GetParam().mode >= 0) {
        ::chmod(path.c_str(), 0666);
        EXPECT_TRUE(hid.Open(path).device) << "a failed open keeps no lock";
    }
}

INSTANTIATE_TEST_SUITE_P(Reasons, HidapiOpenFailure,
                         ::testing::Values(FailureCase{"Gone", -1, OpenFailure::Gone},
                                           FailureCase{"NoPermission", 0,
                                                       OpenFailure::NoPermission},
                                           FailureCase{"Other", 0666, OpenFailure::Other}),
                         [](const auto& c) { return std::string(c.param.label); });

// The lock is on the node: a file held open under the name a lock file in a shared folder
// would have (with a holder name of the planter's choosing) does not block the board, and a
// folder where no lock file can be made no longer lets two programs share a board unknowingly.
TEST_F(HidapiBackend, TheLockIsTheNodesOwnAndNothingPlantedBesideItCounts) {
    const std::string path = AddBoard("hidraw0");
    const fs::path shared = dir / "shared";
    fs::create_directory(shared);
    std::string name = "vrq66208a-";
    for (const char c : path) {
        name += std::isalnum(static_cast<unsigned char>(c)) || c == '.' || c == '-' ? c : '_';
    }
    const std::string planted = (shared / (name + ".lock")).string();
    std::ofstream(planted) << "impostor 1\n";
    const int held = ::open(planted.c_str(), O_RDONLY);
    ASSERT_EQ(::flock(held, LOCK_EX), 0);
    for (const std::string& folder : {shared.string(), std::string("/nonexistent")}) {
        ::setenv("VRQ66208A_LOCK_DIR", folder.c_str(), 1);
        board::HidapiTransport hid;
        board::OpenResult first = hid.Open(path);
        EXPECT_TRUE(first.device) << folder;
        board::HidapiTransport another;
        const board::OpenResult second = another.Open(path);
        EXPECT_FALSE(second.device) << folder;
        EXPECT_EQ(second.failure, OpenFailure::InUse) << folder;
        EXPECT_EQ(second.holder.find("impostor"), std::string::npos) << second.holder;
    }
    ::unsetenv("VRQ66208A_LOCK_DIR");
    ::close(held);
}

// No lock possible on what stands at the path: a refusal that says why, never an open
// without a lock.
TEST_F(HidapiBackend, ABoardThatCannotBeLockedIsRefusedWithTheReason) {
    const std::string path = Node("hidraw0");
    Fake().devices.push_back({path, board::kBoardVendorId, board::kBoardProductId, 0xFF00});
    std::ofstream(Node("real")).put('x');
    fs::create_symlink(Node("real"), path);
    board::HidapiTransport hid;
    const board::Discovery found = board::DiscoverBoards(hid);
    EXPECT_TRUE(found.boards.empty());
    ASSERT_EQ(found.unopened.size(), 1U);
    EXPECT_EQ(found.unopened[0].failure, OpenFailure::NoLock);
    const std::string text = board::UnopenedSummary(found.unopened);
    EXPECT_NE(text.find("refused: "), std::string::npos) << text;
    EXPECT_EQ(Fake().openAttempts, 0) << "hidapi is not asked";
}

TEST_F(HidapiBackend, WithoutHidapiNothingIsListedOrOpened) {
    const std::string path = AddBoard("hidraw0");
    Fake().initFails = true;
    {
        board::HidapiTransport hid;
        EXPECT_TRUE(hid.Enumerate().empty());
        EXPECT_EQ(hid.Open(path).failure, OpenFailure::Other);
    }
    EXPECT_EQ(Fake().enumerations, 0);
    EXPECT_EQ(Fake().openAttempts, 0);
    EXPECT_EQ(Fake().exits, 0) << "hid_exit only after a hid_init that worked";
}

}  // namespace
}  // namespace vrq::test
