// The equalization sweep against the simulated cables: it finds the window the cable model
// has at the target asked, recommends by margin, writes only the swept channel's nibble (and
// the hysteresis bits), and leaves the registers as it found them however it ends.
#include <gtest/gtest.h>

#include <string>

#include "margin/margin_text.h"
#include "margin/sweep.h"
#include "margin_fixture.h"

namespace vrq::test {
namespace {

using margin::SweepRun;
using margin::Verdict;
using std::chrono::milliseconds;
using std::chrono::seconds;

class Sweep : public MarginTest {
  protected:
    void SetUp() override {
        MarginTest::SetUp();
        Write(0x09, 0x04);
    }
    // A sweep of channel at a fixed dwell, started on the registers as they are now.
    std::unique_ptr<SweepRun> Begin(int channel, bool hysteresis = false,
                                    margin::RegisterAccess* through = nullptr) {
        margin::SweepSettings settings;
        settings.channel = channel;
        settings.dwell = seconds(1);
        settings.crossHysteresis = hysteresis;
        return BeginWith(settings, through);
    }
    std::unique_ptr<SweepRun> BeginWith(const margin::SweepSettings& settings,
                                        margin::RegisterAccess* through = nullptr) {
        auto run = std::make_unique<SweepRun>(through ? *through : registers, clock, settings);
        const auto state = margin::ReadLinkState(registers);
        EXPECT_TRUE(state);
        EXPECT_EQ(margin::CheckSweep(*state, settings.channel), margin::SweepObstacle::None);
        Chip().ClearWriteLog();
        run->Start(*state);
        tap.AddListener(run.get());
        return run;
    }
    // Steps until the point at gain is being measured.
    void AdvanceTo(SweepRun& run, std::uint8_t gain) {
        auto next = run.Advance();
        while (next && run.CurrentPoint()->gain != gain) {
            clock.SleepUntil(*next);
            next = run.Advance();
        }
        ASSERT_TRUE(next);
    }
};

struct WindowCase {
    const char* cables;
    int channel;
    std::uint8_t chosen;
    std::uint8_t first;
    std::uint8_t last;
    friend void PrintTo(const WindowCase& c, std::ostream* os) { *os << c.cables; }
};

class SweepWindow : public Sweep, public ::testing::WithParamInterface<WindowCase> {};

TEST_P(SweepWindow, FindsTheCablesWindowAndLeavesTheRegistersAsTheyWere) {
    const WindowCase& c = GetParam();
    Cables(c.cables);
    Write(0x08, 0xC3);  // D and C apart, to see the other nibble kept
    const std::uint8_t reg = c.channel < 2 ? 0x07 : 0x08;
    const std::uint8_t before = Chip().Peek(reg);
    auto run = Begin(c.channel);
    margin::RunToEnd(*run, clock);
    tap.RemoveListener(run.get());

    ASSERT_EQ(run->CurrentState(), SweepRun::State::Finished) << run->FailureText();
    const margin::SweepResult& result = run->Result();
    EXPECT_EQ(result.points.size(), 16u);
    ASSERT_TRUE(result.recommendation) << margin::SweepMapText(result);
    EXPECT_EQ(result.recommendation->point.gain, c.chosen) << margin::SweepMapText(result);
    EXPECT_EQ(result.recommendation->windowFirst, c.first);
    EXPECT_EQ(result.recommendation->windowLast, c.last);
    EXPECT_EQ(Chip().Peek(reg), before);
    const std::uint8_t other = c.channel % 2 == 0 ? 0xF0 : 0x0F;
    for (const auto& write : Chip().WriteLog()) {
        EXPECT_EQ(write.reg, reg);
        EXPECT_EQ(write.value & other, before & other) << "the other channel's nibble";
    }
    // A clean point counts its whole dwell; one far off stops at its 20 errors at once.
    EXPECT_NEAR(result.points[c.first].tally.seconds, 1.0, 1e-6);
    const std::size_t far = c.chosen < 8 ? 15 : 0;
    EXPECT_TRUE(result.points[far].stoppedEarly);
    EXPECT_LT(result.points[far].wallSeconds, 0.2);
}

// By margin: the end of the range is no failure, so B=1 (clean 0x0..0x3) is best at 0x0.
INSTANTIATE_TEST_SUITE_P(Cables, SweepWindow,
                         ::testing::Values(WindowCase{"A=6,C=0xA", 0, 0x6, 0x4, 0x8},
                                           WindowCase{"B=1", 1, 0x0, 0x0, 0x3},
                                           WindowCase{"C=0xA", 2, 0xA, 0x8, 0xC},
                                           WindowCase{"D=14", 3, 0xF, 0xC, 0xF}));

TEST_F(Sweep, AtTheEndOfTheRangeTheUnmeasuredSideIsFlagged) {
    Cables("A=0");
    auto run = Begin(0);
    margin::RunToEnd(*run, clock);
    tap.RemoveListener(run.get());
    const auto& r = run->Result().recommendation;
    ASSERT_TRUE(r);
    EXPECT_EQ(r->point.gain, 0x0) << "farther from the first failure than the centre 0x1";
    EXPECT_FALSE(r->marginBelow);
    EXPECT_EQ(r->marginAbove, 3);
    EXPECT_NE(margin::RecommendationText(run->Result())
                  .find("The window reaches 0x0: the margin below is unmeasured."),
              std::string::npos);
}

TEST_F(Sweep, ACableThatNeedsMoreThanTheTopGainRecommendsNothing) {
    Cables("A=0x14");
    auto run = Begin(0);
    margin::RunToEnd(*run, clock);
    tap.RemoveListener(run.get());
    EXPECT_FALSE(run->Result().recommendation);
    // Every point failed fast: far less than sixteen dwells.
    double wall = 0;
    for (const auto& p : run->Result().points) {
        EXPECT_EQ(p.verdict, Verdict::Fail);
        wall += p.wallSeconds;
    }
    EXPECT_LT(wall, 4.0);
}

// A short dwell shows a wider window than a long one at a lower target: the wall is smooth.
TEST_F(Sweep, ALowerTargetNarrowsTheWindow) {
    Cables("A=6");
    margin::SweepSettings settings;
    settings.channel = 0;
    settings.targetBer = 1e-13;  // 20 s a point
    auto run = BeginWith(settings);
    margin::RunToEnd(*run, clock);
    tap.RemoveListener(run.get());
    const auto& r = run->Result().recommendation;
    ASSERT_TRUE(r) << margin::SweepMapText(run->Result());
    EXPECT_EQ(r->point.gain, 0x6);
    EXPECT_GT(r->windowFirst, 0x4) << margin::SweepMapText(run->Result());
    EXPECT_LT(r->windowLast, 0x8);
}

TEST_F(Sweep, ADwellTooShortForTheTargetPassesNothing) {
    Cables("A=6");
    margin::SweepSettings settings;
    settings.channel = 0;
    settings.dwell = seconds(1);
    settings.targetBer = 1e-9;  // needs 2.0 s at 148.5 MHz
    auto run = BeginWith(settings);
    margin::RunToEnd(*run, clock);
    tap.RemoveListener(run.get());
    EXPECT_FALSE(run->Result().recommendation);
    EXPECT_EQ(run->Result().points[6].verdict, Verdict::Short);
    EXPECT_NE(margin::SweepPlanText(settings, 16).find("too short to show the target"),
              std::string::npos);
}

// The counters never saturate unseen: polls come faster while readings near full.
TEST_F(Sweep, PollsOftenEnoughThatAFailingPointIsCountedNotFloored) {
    Cables("A=6:width=2.4");
    margin::SweepSettings settings;
    settings.channel = 0;
    settings.dwell = seconds(3);
    settings.stopAfterErrors = 0;  // count the whole dwell
    auto run = BeginWith(settings);
    AdvanceTo(*run, 0xA);  // thousands a second: full within a tenth
    while (run->CurrentPoint() && run->CurrentPoint()->gain == 0xA) {
        clock.SleepUntil(*run->Advance());
    }
    const margin::PointResult& point = run->Result().points.at(0xA);
    EXPECT_FALSE(point.AnyAtLeast());
    EXPECT_GT(point.tally.MostErrors(), 3u * 255u);
    EXPECT_EQ(point.figure->kind, margin::BerFigure::Kind::Measured);
    run->Cancel();
    tap.RemoveListener(run.get());
}

TEST_F(Sweep, CrossedWithHysteresisWritesOnlyItsTwoBitsAndKeepsTheSharedOne) {
    Cables("A=6");
    Write(0x03, 0x72);  // 20 mV, as good for A as off
    auto run = Begin(0, true);
    Chip().ClearWriteLog();
    margin::RunToEnd(*run, clock);
    tap.RemoveListener(run.get());
    const margin::SweepResult& result = run->Result();
    ASSERT_EQ(result.points.size(), 48u);
    ASSERT_TRUE(result.recommendation);
    EXPECT_EQ(result.recommendation->point.hysteresis, device::Hysteresis::Mv20);
    EXPECT_EQ(result.recommendation->point.gain, 0x7);
    EXPECT_FALSE(result.otherHysteresis) << "off is no wider than 20 mV";
    for (const auto& write : Chip().WriteLog()) {
        if (write.reg == 0x03) {
            EXPECT_EQ(write.value & 0x9F, 0x12) << "only bits 6:5 change";
        }
    }
    EXPECT_EQ(Chip().Peek(0x03), 0x72);
    EXPECT_EQ(Chip().Peek(0x07), 0xCC);
    // Apply leaves the hysteresis alone unless asked.
    EXPECT_TRUE(run->Apply({0x6, device::Hysteresis::Off}));
    EXPECT_EQ(Chip().Peek(0x03), 0x72);
    EXPECT_TRUE(run->Apply({0x6, device::Hysteresis::Off}, true));
    EXPECT_EQ(Chip().Peek(0x03), 0x12);
}

TEST_F(Sweep, CancelWritesBackAtOnce) {
    Cables("A=6");
    auto run = Begin(0, true);
    AdvanceTo(*run, 0x5);
    EXPECT_EQ(Chip().Peek(0x07), 0xC5);
    EXPECT_LE(run->TimeLeft(), seconds(1 + 43));
    run->Cancel();
    tap.RemoveListener(run.get());
    EXPECT_EQ(run->CurrentState(), SweepRun::State::Cancelled);
    EXPECT_FALSE(run->Advance());
    EXPECT_EQ(Chip().Peek(0x07), 0xCC);
    EXPECT_EQ(Chip().Peek(0x03), 0x12);
    EXPECT_EQ(run->Result().points.size(), 5u);
    EXPECT_FALSE(run->Result().recommendation);
}

// Records every reading the tap hands on.
struct Readings : margin::CounterListener {
    void OnReading(const margin::CounterReading& reading) override { seen.push_back(reading); }
    std::vector<margin::CounterReading> seen;
};

TEST_F(Sweep, AReadingBySomeoneElseDuringAPointAddsToIt) {
    Cables("A=6");
    margin::SweepSettings settings;
    settings.channel = 0;
    settings.dwell = seconds(1);
    settings.stopAfterErrors = 0;
    auto run = BeginWith(settings);
    AdvanceTo(*run, 0x9);  // one step outside: tens a second
    Readings readings;
    tap.AddListener(&readings);
    Advance(0.05);
    const auto taken = ReadCounters(0x00, 13);  // a Read All in the main window
    while (run->CurrentPoint() && run->CurrentPoint()->gain == 0x9) {
        clock.SleepUntil(*run->Advance());
    }
    tap.RemoveListener(&readings);
    // The Read All and the point's own polls after it; the last reading is the next point's
    // first, whose counts belong to neither.
    ASSERT_GE(readings.seen.size(), 3u);
    std::uint64_t expected = 0;
    for (std::size_t i = 0; i + 1 < readings.seen.size(); ++i) {
        expected += readings.seen[i].counts[0];
    }
    EXPECT_EQ(readings.seen[0].counts[0], taken[0]);
    const margin::PointResult& point = run->Result().points.at(9);
    EXPECT_EQ(point.tally.links[0].errors, expected);
    EXPECT_GT(taken[0] + taken[1] + taken[2], 0);
    run->Cancel();
    tap.RemoveListener(run.get());
}

TEST_F(Sweep, SomeoneElseWritingTheGainIsUndoneAndNotCounted) {
    Cables("A=6");
    auto run = Begin(0);
    AdvanceTo(*run, 0x6);
    Advance(0.05);
    Write(0x07, 0xC0);  // far off: would fill the counters
    Advance(0.2);
    while (run->CurrentPoint() && run->CurrentPoint()->gain == 0x6) {
        clock.SleepUntil(*run->Advance());
    }
    const margin::PointResult& point = run->Result().points.at(6);
    EXPECT_EQ(point.verdict, Verdict::Pass) << margin::UncountedText(point.tally);
    EXPECT_GT(point.tally.uncounted[static_cast<int>(margin::Uncounted::Disturbed)] +
                  point.tally.uncounted[static_cast<int>(margin::Uncounted::SettingsChanged)],
              0.0);
    EXPECT_NEAR(point.tally.seconds, 1.0, 1e-6);
    run->Cancel();
    tap.RemoveListener(run.get());
}

TEST_F(Sweep, ASourceThatDropsOutStopsTheSweepAndSaysWhy) {
    Cables("A=6:drop=4.5");
    auto run = Begin(0);
    margin::RunToEnd(*run, clock);
    tap.RemoveListener(run.get());
    EXPECT_EQ(run->CurrentState(), SweepRun::State::Failed);
    EXPECT_EQ(run->FailureText(),
              "the measurement stopped: the channel showed no TMDS clock (register 0x01)");
    EXPECT_EQ(Chip().Peek(0x07), 0xCC);
    EXPECT_FALSE(run->Result().points.empty());
    EXPECT_GT(
        run->Result().points.back().tally.uncounted[static_cast<int>(margin::Uncounted::NoClock)],
        0.0);
}

TEST_F(Sweep, AFailedTransferStopsItAndSaysWhich) {
    Cables("A=6");
    margin::SessionRegisters direct(*link.CurrentSession(), kChipAddress);
    auto run = Begin(0, false, &direct);
    AdvanceTo(*run, 0x2);
    Chip().SetAcknowledge(false);
    clock.SleepUntil(*run->Advance());
    EXPECT_FALSE(run->Advance());
    tap.RemoveListener(run.get());
    EXPECT_EQ(run->CurrentState(), SweepRun::State::Failed);
    EXPECT_EQ(run->FailureText(), "the error counters could not be read");
}

TEST_F(Sweep, RefusesAChannelTheCountersDoNotCount) {
    Cables("A=6,C=0xA");
    auto state = margin::ReadLinkState(registers);
    ASSERT_TRUE(state);
    EXPECT_EQ(margin::CheckSweep(*state, 2), margin::SweepObstacle::NotSelected);
    Write(0x02, 0x02);  // C by hand
    Cables("A=6");      // and no source on it
    state = margin::ReadLinkState(registers);
    EXPECT_EQ(margin::CheckSweep(*state, 2), margin::SweepObstacle::NoClock);
    Write(0x02, 0x2C);
    state = margin::ReadLinkState(registers);
    EXPECT_EQ(margin::CheckSweep(*state, 0), margin::SweepObstacle::PoweredDown);
}

}  // namespace
}  // namespace vrq::test
