// monitor, sweep and verify run in-process on virtual time: a sweep's 16 dwells cost nothing,
// and the chip's registers show what the commands left behind.
#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "device/link_registers.h"
#include "in_process.h"
#include "margin/margin_text.h"
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
    void Cables(const char* text) {
        std::string error;
        const auto cables = vrq::sim::ParseCables(text, error);
        ASSERT_TRUE(cables) << error;
        tool.Chip().SetCables(*cables);
    }

    vrq::test::InProcess tool;
    std::array<std::uint8_t, device::kRegisterCount> before{};
};

TEST_F(MarginVerbs, SweepMapsEveryGainRecommendsTheCableAndPutsTheChannelBack) {
    const auto start = tool.clock.Now();
    const auto ran = tool.Run("sweep --channel a --dwell 0.5 --checker-on --rate 148.5");
    ASSERT_EQ(ran.code, ExitCode::Ok) << ran.err;
    EXPECT_NE(ran.out.find("Recommended: gain 0x6, hysteresis off"), std::string::npos) << ran.out;
    // Five clean points count their dwell; the failing ones stop at 20 errors.
    EXPECT_GE(tool.clock.Now() - start, 5 * std::chrono::milliseconds(500));
    EXPECT_LT(tool.clock.Now() - start, 16 * std::chrono::milliseconds(500));
    ExpectRegistersAsBefore();
    EXPECT_NE(tool.Chip().Peek(device::kRegTest) & device::kPrbsCheckerBit, 0);
}

TEST_F(MarginVerbs, SweepAcrossHysteresisWritesCsvAndApplyLeavesTheRecommendation) {
    const auto ran = tool.Run(
        "sweep --channel A --dwell 0.1 --hysteresis --csv --apply "
        "--checker-on --rate 148.5");
    ASSERT_EQ(ran.code, ExitCode::Ok) << ran.err;
    // A header and 48 points as they were measured (and any measured again), CR LF ended.
    EXPECT_GE(std::count(ran.out.begin(), ran.out.end(), '\n'), 49) << ran.out;
    EXPECT_NE(ran.out.find("\r\n"), std::string::npos);
    EXPECT_NE(ran.err.find("applied: gain 0x6"), std::string::npos) << ran.err;
    EXPECT_EQ(GainA(), 0x6);
}

// Each point a line as it is measured, then the whole sweep as one document that reads back.
TEST_F(MarginVerbs, SweepJsonStreamsThePointsThenTheDocument) {
    const auto ran = tool.Run("sweep --channel A --dwell 0.1 --json --checker-on --rate 148.5");
    ASSERT_EQ(ran.code, ExitCode::Ok) << ran.err;
    std::istringstream lines(ran.out);
    std::vector<std::string> all;
    for (std::string line; std::getline(lines, line);) {
        all.push_back(line);
    }
    ASSERT_GE(all.size(), 17u);
    for (std::size_t i = 0; i + 1 < all.size(); ++i) {
        EXPECT_EQ(all[i].rfind("{\"format\":\"vrq66208a-sweep-point\",", 0), 0u) << all[i];
    }
    std::string error;
    const auto result = vrq::margin::ReadSweepJson(all.back(), error);
    ASSERT_TRUE(result) << error;
    EXPECT_EQ(result->recommendation->point.gain, 0x6);
    EXPECT_EQ(result->points.size(), 16u);
}

TEST_F(MarginVerbs, MonitorPrintsALinePerIntervalAfterTheClearingRead) {
    const auto start = tool.clock.Now();
    const auto ran = tool.Run("monitor --count 3 --interval 0.5 --json --checker-on --rate 148.5");
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
        Refusal{"CheckerOff", "sweep --channel A --rate 148.5", "add --checker-on"},
        Refusal{"MonitorCheckerOff", "monitor --count 1 --rate 148.5", "the PRBS checker is off"},
        Refusal{"NotSelected", "--force sweep --channel C --checker-on --rate 148.5",
                "register 0x02 selects channel A"},
        Refusal{"NoChannel", "sweep --dwell 1 --rate 148.5", "give --channel"},
        Refusal{"BadChannel", "sweep --channel E --rate 148.5", "--channel must be A, B, C or D"},
        Refusal{"BadChannels", "sweep --channels A,A --rate 148.5", "--channels must be"},
        Refusal{"ShortDwell", "sweep --channel A --dwell 0.05 --rate 148.5", "--dwell must be"},
        Refusal{"LongDwell", "sweep --channel A --dwell 3601 --rate 148.5", "--dwell must be"},
        Refusal{"NoRate", "sweep --channel A", "needs the TMDS character rate"},
        Refusal{"MonitorNoRate", "monitor --count 1", "needs the TMDS character rate"},
        Refusal{"ZeroPixelClock", "monitor --pixel-clock 0", "--pixel-clock must be"},
        Refusal{"CommaPixelClock", "monitor --pixel-clock 148,5", "--pixel-clock must be"},
        Refusal{"BadDepth", "monitor --pixel-clock 148.5 --colour-depth 9", "--colour-depth must"},
        Refusal{"RateAndClock", "monitor --rate 1 --pixel-clock 1", "not both"},
        Refusal{"BadTarget", "sweep --channel A --rate 148.5 --target-ber 2", "--target-ber must"},
        Refusal{"BadConfidence", "verify --rate 148.5 --confidence 1", "--confidence must"},
        Refusal{"ApplyHysteresisAlone", "sweep --channel A --rate 148.5 --apply-hysteresis",
                "goes with --apply"},
        Refusal{"ShortInterval", "monitor --interval 0.01 --rate 148.5", "--interval must be"},
        Refusal{"TwoFormats", "sweep --channel A --csv --json --rate 148.5",
                "--csv excludes --json"}),
    [](const auto& param) { return std::string(param.param.name); });

// Without a clock the checker counts nothing: no measurement is made, --force or not.
TEST_F(MarginVerbs, SweepOfAChannelWithoutClockIsRefused) {
    tool.Chip().SetActiveClocks(0x04);  // C only
    // A selected all the same (as a manual selection would leave it).
    tool.Chip().Poke(0x02, tool.Chip().Peek(0x02) & ~device::kChannelSelectBits);
    for (const char* force : {"", "--force "}) {
        const auto ran = tool.Run(std::string(force) +
                                  "sweep --channel A --dwell 0.1 --checker-on --rate 148.5");
        EXPECT_EQ(ran.code, ExitCode::Usage);
        EXPECT_NE(ran.err.find("is the source sending PRBS7 on all three data links?"),
                  std::string::npos)
            << ran.err;
    }
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
    const auto ran = tool.Run("sweep --channel A --dwell 0.5 --rate 148.5");
    tool.clock.onSleep = nullptr;
    EXPECT_EQ(ran.code, ExitCode::Interrupted);
    EXPECT_NE(ran.err.find("interrupted"), std::string::npos) << ran.err;
    // The error counters count on by themselves; every other register is as it was.
    auto now = Registers();
    for (std::uint8_t reg = device::kRegErrorCount0; reg < device::kRegErrorCount0 + 3; ++reg) {
        now[reg] = before[reg];
    }
    EXPECT_EQ(now, before);
    // Ctrl+C after the command is the shell's again.
    EXPECT_NE(std::signal(SIGINT, SIG_DFL), SIG_IGN);
}

TEST_F(MarginVerbs, ChipThatStopsAnsweringEndsTheSweepWithItsExitCode) {
    AfterSleeps(tool.clock, 30, [this] { tool.Chip().SetAcknowledge(false); });
    const auto ran = tool.Run("sweep --channel A --dwell 0.5 --checker-on --rate 148.5");
    tool.clock.onSleep = nullptr;
    EXPECT_EQ(ran.code, ExitCode::NoAcknowledge);
    EXPECT_NE(ran.err.find("sweeping channel A"), std::string::npos) << ran.err;
}

// The reproductions: a powered-down chip, a dead link, a shared hysteresis, Ctrl+C.
TEST_F(MarginVerbs, MonitorOnAPoweredDownChipRefusesAndMidRunSaysTimeWasNotCounted) {
    ASSERT_EQ(tool.Run("write 0x02 0x2C").code, ExitCode::Ok);
    auto ran = tool.Run("monitor --count 3 --checker-on --rate 148.5");
    EXPECT_EQ(ran.code, ExitCode::Usage);
    EXPECT_NE(ran.err.find("powered down"), std::string::npos) << ran.err;
    EXPECT_EQ(ran.out.find("error-free"), std::string::npos) << ran.out;

    ASSERT_EQ(tool.Run("write 0x02 0x0C").code, ExitCode::Ok);
    // Powered down half-way through the second line's interval.
    const auto when = tool.clock.Now() + std::chrono::milliseconds(1600);
    tool.clock.onSleep = [this, when, done = false](auto, auto until) mutable {
        if (!done && until >= when) {
            done = true;
            tool.Chip().Poke(0x02, 0x2C);
        }
    };
    ran = tool.Run("monitor --count 4 --checker-on --rate 148.5");
    tool.clock.onSleep = nullptr;
    EXPECT_EQ(ran.code, ExitCode::Ok) << ran.err;
    EXPECT_NE(ran.out.find("segment 2: channel A, gain 0xC, hysteresis off, powered down | not "
                           "counted: the chip was powered down"),
              std::string::npos)
        << ran.out;
}

TEST_F(MarginVerbs, ApplyOnADeadLinkExitsWithItsOwnCodeAndChangesNothing) {
    Cables("A=0x14");
    before = Registers();
    const auto ran = tool.Run("sweep --channel A --dwell 0.2 --apply --checker-on --rate 148.5");
    EXPECT_EQ(ran.code, ExitCode::NothingPassed);
    EXPECT_NE(ran.err.find("nothing applied"), std::string::npos) << ran.err;
    ExpectRegistersAsBefore();
}

TEST_F(MarginVerbs, ASingleChannelSweepLeavesTheSharedHysteresisAlone) {
    ASSERT_EQ(tool.Run("write 0x03 0x72").code, ExitCode::Ok);
    auto ran =
        tool.Run("sweep --channel A --dwell 0.2 --hysteresis --apply --checker-on --rate 148.5");
    ASSERT_EQ(ran.code, ExitCode::Ok) << ran.err;
    EXPECT_EQ(tool.Chip().Peek(0x03), 0x72);
    EXPECT_NE(ran.err.find("shared by all four inputs"), std::string::npos) << ran.err;
    EXPECT_EQ(GainA(), 0x7) << "20 mV needs a step more";
}

TEST_F(MarginVerbs, SweepThenVerifyPassesAndVerifyOfABadSettingFails) {
    auto ran = tool.Run("sweep --channel A --target-ber 1e-9 --verify --checker-on --rate 148.5");
    ASSERT_EQ(ran.code, ExitCode::Ok) << ran.err;
    EXPECT_NE(ran.out.find("PASS: below"), std::string::npos) << ran.out;
    EXPECT_EQ(GainA(), 0xC) << "verified, then the setting from before again";

    ASSERT_EQ(tool.Run("write 0x07 0xC9").code, ExitCode::Ok);
    ran = tool.Run("verify --rate 148.5 --json");
    EXPECT_EQ(ran.code, ExitCode::TargetMissed) << ran.err;
    EXPECT_NE(ran.out.find("\"outcome\":\"fail\""), std::string::npos) << ran.out;
    ASSERT_EQ(tool.Run("write 0x07 0xC6").code, ExitCode::Ok);
    ran = tool.Run("verify --rate 148.5");
    EXPECT_EQ(ran.code, ExitCode::Ok) << ran.out << ran.err;
}

struct MonitorEnd {
    const char* name;
    const char* options;
    std::uint8_t equalizer;
    ExitCode code;
};

class MonitorEnds : public MarginVerbs, public testing::WithParamInterface<MonitorEnd> {};

TEST_P(MonitorEnds, TheExitStatusSaysWhatEndedTheRun) {
    ASSERT_EQ(tool.Run("write 0x07 " + std::to_string(GetParam().equalizer)).code, ExitCode::Ok);
    const auto ran = tool.Run(std::string("monitor --checker-on --rate 148.5 --interval 0.5 ") +
                              GetParam().options);
    EXPECT_EQ(ran.code, GetParam().code) << ran.err;
}

INSTANTIATE_TEST_SUITE_P(
    Ends, MonitorEnds,
    testing::Values(MonitorEnd{"Duration", "--duration 2", 0xC6, ExitCode::Ok},
                    MonitorEnd{"UntilBer", "--until-ber 1e-9 --duration 60", 0xC6, ExitCode::Ok},
                    MonitorEnd{"UntilBerMissed", "--until-ber 1e-12 --duration 10", 0xC6,
                               ExitCode::TargetMissed},
                    MonitorEnd{"StopOnErrors", "--stop-on-errors 5 --duration 60", 0xC9,
                               ExitCode::ErrorsSeen}),
    [](const auto& param) { return std::string(param.param.name); });

TEST_F(MarginVerbs, InterruptedMonitorExits130) {
    AfterSleeps(tool.clock, 8, [] { std::raise(SIGTERM); });
    const auto ran = tool.Run("monitor --checker-on --rate 148.5");
    tool.clock.onSleep = nullptr;
    EXPECT_EQ(ran.code, ExitCode::Interrupted);
}

// Every channel with a clock, each selected by hand; 0x02 back, the gains in one write.
TEST_F(MarginVerbs, SweepOfEveryActiveChannelPutsTheSelectionBackAndAppliesBothGains) {
    tool.Chip().ClearWriteLog();
    const auto ran =
        tool.Run("sweep --channels all-active --dwell 0.2 --apply --checker-on --rate 148.5");
    ASSERT_EQ(ran.code, ExitCode::Ok) << ran.err;
    EXPECT_EQ(tool.Chip().Peek(0x02), 0x0C);
    EXPECT_EQ(tool.Chip().Peek(0x07), 0xC6);
    EXPECT_EQ(tool.Chip().Peek(0x08), 0xCA);
    EXPECT_NE(ran.out.find("Channel C"), std::string::npos) << ran.out;
    const auto& log = tool.Chip().WriteLog();
    EXPECT_TRUE(std::any_of(log.begin(), log.end(), [](const auto& w) {
        return w.reg == 0x02 && w.value == 0x02;
    })) << "C selected by hand";
}

TEST_F(MarginVerbs, ProgressSaysThePlanAndTimeLeft) {
    const auto ran =
        tool.Run("sweep --channel A --target-ber 1e-9 --progress --checker-on --rate 148.5");
    ASSERT_EQ(ran.code, ExitCode::Ok) << ran.err;
    EXPECT_NE(ran.err.find("Channel A: 16 points of up to 2.0 s"), std::string::npos) << ran.err;
    EXPECT_NE(ran.err.find("16 of 16 points"), std::string::npos) << ran.err;
}

}  // namespace

namespace {

std::string ReadFile(const std::filesystem::path& path) {
    std::ifstream in(path);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// A report however the run ends, and runs from reports compared with what differs between them.
TEST_F(MarginVerbs, ReportsOfAFinishedAndAnInterruptedSweepCompare) {
    const auto dir = std::filesystem::temp_directory_path() / "vrq-cli-report-test";
    std::filesystem::remove_all(dir);
    auto ran = tool.Run("sweep --channel A --dwell 0.2 --checker-on --rate 148.5 --report " +
                        (dir / "a").string() + " --label cable-a --note 25C");
    ASSERT_EQ(ran.code, ExitCode::Ok) << ran.err;
    EXPECT_NE(ran.err.find("report: " + (dir / "a" / "index.html").string()), std::string::npos)
        << ran.err;
    const std::string json = ReadFile(dir / "a" / "run.json");
    EXPECT_NE(json.find("\"label\":\"cable-a\",\"note\":\"25C\""), std::string::npos) << json;
    EXPECT_NE(json.find("\"registersBefore\":{\"0x00\":"), std::string::npos);
    EXPECT_NE(json.find("\"address\":\"0x44\""), std::string::npos);

    AfterSleeps(tool.clock, 20, [] { std::raise(SIGINT); });
    ran = tool.Run("sweep --channel A --dwell 0.5 --rate 297 --report " + (dir / "b").string());
    tool.clock.onSleep = nullptr;
    EXPECT_EQ(ran.code, ExitCode::Interrupted);
    EXPECT_NE(ReadFile(dir / "b" / "index.html").find("CANCELLED after"), std::string::npos);

    ran = tool.Run("compare " + (dir / "a").string() + " " + (dir / "b" / "run.json").string());
    ASSERT_EQ(ran.code, ExitCode::Ok) << ran.err;
    EXPECT_NE(ran.out.find("cable-a  A        148.5"), std::string::npos) << ran.out;
    EXPECT_NE(ran.out.find("not finished"), std::string::npos) << ran.out;
    EXPECT_NE(ran.out.find("note: the runs differ in rate: 148.5 MHz (cable-a), 297 MHz (b)"),
              std::string::npos)
        << ran.out;
    EXPECT_EQ(tool.Run("compare " + (dir / "none").string()).code, ExitCode::Usage);
    std::filesystem::remove_all(dir);
}

}  // namespace
