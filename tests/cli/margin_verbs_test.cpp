// monitor and sweep run in-process on virtual time: a sweep's 16 dwells cost nothing, and the
// chip's registers show what the commands left behind.
#include <gtest/gtest.h>

#include <csignal>
#include <string>

#include "device/link_registers.h"
#include "in_process.h"
#include "sim/cable_model.h"

namespace {

using vrq::cli::ExitCode;
namespace device = vrq::device;

class MarginVerbs : public testing::Test {
  protected:
    MarginVerbs() {
        // The tool's default simulated inputs: A needs gain 0x6, C needs 0xA; A is selected.
        tool.Chip().SetCables(vrq::sim::DefaultCables());
        before = Registers();
    }
    std::array<std::uint8_t, device::kRegisterCount> Registers() {
        std::array<std::uint8_t, device::kRegisterCount> values{};
        for (std::size_t reg = 0; reg < values.size(); ++reg) {
            values[reg] = tool.Chip().Peek(static_cast<std::uint8_t>(reg));
        }
        return values;
    }
    // What a run may change: 0x09's checker bit aside, the registers as they were.
    void ExpectRegistersAsBefore() {
        auto now = Registers();
        now[device::kRegTest] &= static_cast<std::uint8_t>(~device::kPrbsCheckerBit);
        before[device::kRegTest] &= static_cast<std::uint8_t>(~device::kPrbsCheckerBit);
        for (std::uint8_t reg : {0x02, 0x03, 0x07, 0x08, 0x09}) {
            EXPECT_EQ(now[reg], before[reg]) << "register " << int(reg);
        }
    }
    std::uint8_t GainA() { return device::GainOf(tool.Chip().Peek(device::kRegEqualizerBA), 0); }

    vrq::test::InProcess tool;
    std::array<std::uint8_t, device::kRegisterCount> before{};
};

TEST_F(MarginVerbs, SweepMapsEveryGainRecommendsTheCableAndPutsTheChannelBack) {
    const auto start = tool.clock.Now();
    const auto ran = tool.Run("sweep --channel a --dwell 0.5 --checker-on");
    ASSERT_EQ(ran.code, ExitCode::Ok) << ran.err;
    EXPECT_NE(ran.out.find("Recommended: gain 0x6, hysteresis off"), std::string::npos) << ran.out;
    EXPECT_GE(tool.clock.Now() - start, 16 * std::chrono::milliseconds(500));
    EXPECT_LT(tool.clock.Now() - start, 16 * std::chrono::milliseconds(600));
    ExpectRegistersAsBefore();
    EXPECT_NE(tool.Chip().Peek(device::kRegTest) & device::kPrbsCheckerBit, 0);
}

TEST_F(MarginVerbs, SweepAcrossHysteresisWritesCsvAndApplyLeavesTheRecommendation) {
    const auto ran = tool.Run(
        "sweep --channel A --dwell 0.1 --hysteresis --csv --apply "
        "--checker-on");
    ASSERT_EQ(ran.code, ExitCode::Ok) << ran.err;
    // A header and 48 points, CR LF ended.
    EXPECT_EQ(std::count(ran.out.begin(), ran.out.end(), '\n'), 49) << ran.out;
    EXPECT_NE(ran.out.find("\r\n"), std::string::npos);
    EXPECT_NE(ran.err.find("applied: gain 0x6"), std::string::npos) << ran.err;
    EXPECT_EQ(GainA(), 0x6);
}

TEST_F(MarginVerbs, SweepJsonIsOneDocument) {
    const auto ran = tool.Run("sweep --channel A --dwell 0.1 --json --checker-on");
    ASSERT_EQ(ran.code, ExitCode::Ok) << ran.err;
    EXPECT_EQ(ran.out.front(), '{');
    EXPECT_EQ(ran.out.substr(ran.out.size() - 2), "}\n");
    EXPECT_EQ(std::count(ran.out.begin(), ran.out.end(), '\n'), 1);
}

TEST_F(MarginVerbs, MonitorPrintsALinePerIntervalAfterTheClearingRead) {
    const auto start = tool.clock.Now();
    const auto ran = tool.Run("monitor --count 3 --interval 0.5 --json --checker-on");
    ASSERT_EQ(ran.code, ExitCode::Ok) << ran.err;
    EXPECT_EQ(std::count(ran.out.begin(), ran.out.end(), '\n'), 3) << ran.out;
    EXPECT_EQ(ran.out.rfind("{\"t\":0.500,", 0), 0u) << ran.out;
    EXPECT_NE(ran.out.find("\n{\"t\":1.500,"), std::string::npos) << ran.out;
    EXPECT_EQ(tool.clock.Now() - start,
              std::chrono::milliseconds(1500) +
                  (tool.clock.Now() - start) % std::chrono::milliseconds(500));
    ExpectRegistersAsBefore();
}

// Refused before the sweep or monitor touches anything but a read of the link registers.
struct Refusal {
    const char* name;
    const char* command;
    const char* why;
};

class MarginRefusal : public MarginVerbs, public testing::WithParamInterface<Refusal> {};

TEST_P(MarginRefusal, ChangesNothingAndSaysWhy) {
    tool.Chip().ClearWriteLog();
    const auto ran = tool.Run(GetParam().command);
    EXPECT_EQ(ran.code, ExitCode::Usage);
    EXPECT_NE((ran.err + ran.out).find(GetParam().why), std::string::npos) << ran.err;
    EXPECT_TRUE(tool.Chip().WriteLog().empty());
}

INSTANTIATE_TEST_SUITE_P(
    Commands, MarginRefusal,
    testing::Values(
        Refusal{"CheckerOff", "sweep --channel A", "add --checker-on"},
        Refusal{"MonitorCheckerOff", "monitor --count 1", "the PRBS checker is off"},
        Refusal{"NotSelected", "--force sweep --channel C --checker-on",
                "register 0x02 selects channel A"},
        Refusal{"NoChannel", "sweep --dwell 1", "--channel is required"},
        Refusal{"BadChannel", "sweep --channel E", "--channel must be A, B, C or D"},
        Refusal{"ShortDwell", "sweep --channel A --dwell 0.05", "--dwell must be"},
        Refusal{"LongDwell", "sweep --channel A --dwell 61", "--dwell must be"},
        Refusal{"ZeroPixelClock", "monitor --pixel-clock 0", "--pixel-clock must be"},
        Refusal{"CommaPixelClock", "monitor --pixel-clock 148,5", "--pixel-clock must be"},
        Refusal{"ShortInterval", "monitor --interval 0.01", "--interval must be"},
        Refusal{"TwoFormats", "sweep --channel A --csv --json", "--csv excludes --json"}),
    [](const auto& param) { return std::string(param.param.name); });

TEST_F(MarginVerbs, SweepOfAChannelWithoutClockNeedsForce) {
    tool.Chip().SetActiveClocks(0x04);  // C only
    // A selected all the same (as a manual selection would leave it).
    tool.Chip().Poke(0x02, tool.Chip().Peek(0x02) & ~device::kChannelSelectBits);
    auto ran = tool.Run("sweep --channel A --dwell 0.1 --checker-on");
    EXPECT_EQ(ran.code, ExitCode::Usage);
    EXPECT_NE(ran.err.find("add --force"), std::string::npos) << ran.err;
    ran = tool.Run("--force sweep --channel A --dwell 0.1 --checker-on");
    EXPECT_EQ(ran.code, ExitCode::Ok) << ran.err;
    EXPECT_NE(ran.out.find("no setting"), std::string::npos) << ran.out;
}

// Something happens a few pauses into the run.
void AfterSleeps(vrq::sim::VirtualClock& clock, int sleeps, std::function<void()> what) {
    clock.onSleep = [=, count = 0](auto, auto) mutable {
        if (++count == sleeps) {
            what();
        }
    };
}

TEST_F(MarginVerbs, InterruptedSweepPutsTheChannelBackAndExits130) {
    ASSERT_EQ(tool.Run("write 0x09 0x04").code, ExitCode::Ok);
    before = Registers();
    AfterSleeps(tool.clock, 20, [] { std::raise(SIGINT); });
    const auto ran = tool.Run("sweep --channel A --dwell 0.5");
    tool.clock.onSleep = nullptr;
    EXPECT_EQ(ran.code, ExitCode::Interrupted);
    EXPECT_NE(ran.err.find("interrupted"), std::string::npos) << ran.err;
    EXPECT_EQ(Registers(), before);
    // Ctrl+C after the command is the shell's again.
    EXPECT_NE(std::signal(SIGINT, SIG_DFL), SIG_IGN);
}

TEST_F(MarginVerbs, ChipThatStopsAnsweringEndsTheSweepWithItsExitCode) {
    AfterSleeps(tool.clock, 10, [this] { tool.Chip().SetAcknowledge(false); });
    const auto ran = tool.Run("sweep --channel A --dwell 0.5 --checker-on");
    tool.clock.onSleep = nullptr;
    EXPECT_EQ(ran.code, ExitCode::NoAcknowledge);
    EXPECT_NE(ran.err.find("sweeping channel A"), std::string::npos) << ran.err;
}

}  // namespace
