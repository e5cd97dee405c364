// The equalization sweep against the simulated cables: it finds the window the cable model
// has, writes only the swept channel's nibble (and the hysteresis bits), and leaves the
// registers as it found them however it ends.
#include <gtest/gtest.h>

#include <string>

#include "margin/margin_text.h"
#include "margin/sweep.h"
#include "margin_fixture.h"

namespace vrq::test {
namespace {

using margin::SweepRun;
using std::chrono::seconds;

class Sweep : public MarginTest {
  protected:
    void SetUp() override {
        MarginTest::SetUp();
        Write(0x09, 0x04);
    }
    // A sweep of channel, started on the registers as they are now.
    std::unique_ptr<SweepRun> Begin(int channel, bool hysteresis = false,
                                    margin::RegisterAccess* through = nullptr) {
        margin::SweepSettings settings;
        settings.channel = channel;
        settings.dwell = seconds(1);
        settings.crossHysteresis = hysteresis;
        auto run = std::make_unique<SweepRun>(through ? *through : registers, clock, settings);
        const auto state = margin::ReadLinkState(registers);
        EXPECT_TRUE(state);
        EXPECT_EQ(margin::CheckSweep(*state, channel), margin::SweepObstacle::None);
        Chip().ClearWriteLog();
        run->Start(*state);
        tap.AddListener(run.get());
        return run;
    }
    // Steps until the point at gain is being measured (its counters just cleared).
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
    std::uint8_t centre;
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

    ASSERT_EQ(run->CurrentState(), SweepRun::State::Finished) << run->FailureText();
    const margin::SweepResult& result = run->Result();
    EXPECT_EQ(result.points.size(), 16u);
    ASSERT_TRUE(result.recommendation);
    EXPECT_EQ(result.recommendation->point.gain, c.centre);
    EXPECT_EQ(result.recommendation->windowFirst, c.first);
    EXPECT_EQ(result.recommendation->windowLast, c.last);
    EXPECT_EQ(Chip().Peek(reg), before);
    const std::uint8_t other = c.channel % 2 == 0 ? 0xF0 : 0x0F;
    for (const auto& write : Chip().WriteLog()) {
        EXPECT_EQ(write.reg, reg);
        EXPECT_EQ(write.value & other, before & other) << "the other channel's nibble";
    }
    EXPECT_NEAR(result.points[3].seconds, 1.0, 0.01);
}

INSTANTIATE_TEST_SUITE_P(Cables, SweepWindow,
                         ::testing::Values(WindowCase{"A=6,C=0xA", 0, 0x6, 0x4, 0x8},
                                           WindowCase{"B=1", 1, 0x1, 0x0, 0x3},
                                           WindowCase{"C=0xA", 2, 0xA, 0x8, 0xC},
                                           WindowCase{"D=14", 3, 0xD, 0xC, 0xF}));

TEST_F(Sweep, CrossedWithHysteresisWritesOnlyItsTwoBits) {
    Cables("A=6");
    auto run = Begin(0, true);
    margin::RunToEnd(*run, clock);
    const margin::SweepResult& result = run->Result();
    ASSERT_EQ(result.points.size(), 48u);
    // Off clean 4..8, 10 mV 5..8, 20 mV 5..9: of the two widest, hysteresis off comes first.
    EXPECT_EQ(margin::RecommendationText(result),
              "Recommended: gain 0x6, hysteresis off (error-free from 0x4 to 0x8)");
    EXPECT_TRUE(result.points[16 * 2 + 9].ErrorFree());
    EXPECT_FALSE(result.points[16 * 1 + 9].ErrorFree());
    int hysteresisWrites = 0;
    for (const auto& write : Chip().WriteLog()) {
        if (write.reg == 0x03) {
            EXPECT_EQ(write.value & 0x9F, 0x12) << "only bits 6:5 change";
            ++hysteresisWrites;
        }
    }
    EXPECT_EQ(hysteresisWrites, 3);  // 10 mV, 20 mV, and back
    EXPECT_EQ(Chip().Peek(0x03), 0x12);
    EXPECT_EQ(Chip().Peek(0x07), 0xCC);
}

TEST_F(Sweep, CancelWritesBackAtOnceAndApplyWritesTheChosenSetting) {
    Cables("A=6");
    auto run = Begin(0, true);
    AdvanceTo(*run, 0x5);
    EXPECT_EQ(Chip().Peek(0x07), 0xC5);
    // The time left: the rest of this dwell and 42 points of a second each.
    EXPECT_GE(run->TimeLeft(), seconds(1 + 42));
    EXPECT_LE(run->TimeLeft(), seconds(2 + 42));
    run->Cancel();
    EXPECT_EQ(run->CurrentState(), SweepRun::State::Cancelled);
    EXPECT_FALSE(run->Advance());
    EXPECT_EQ(Chip().Peek(0x07), 0xCC);
    EXPECT_EQ(Chip().Peek(0x03), 0x12);
    EXPECT_EQ(run->Result().points.size(), 5u);
    EXPECT_FALSE(run->Result().recommendation);

    EXPECT_TRUE(run->Apply({0x7, device::Hysteresis::Mv20}));
    EXPECT_EQ(Chip().Peek(0x07), 0xC7);
    EXPECT_EQ(Chip().Peek(0x03), 0x72);
}

// Records every reading the tap hands on.
struct Readings : margin::CounterListener {
    void OnReading(const margin::CounterReading& reading) override { seen.push_back(reading); }
    std::vector<margin::CounterReading> seen;
};

TEST_F(Sweep, AReadingBySomeoneElseDuringADwellAddsToThePoint) {
    Cables("A=6");
    auto run = Begin(0);
    AdvanceTo(*run, 0x9);  // one step outside: a few errors a second
    Readings readings;
    tap.AddListener(&readings);
    Advance(0.5);
    const auto taken = ReadCounters(0x00, 13);  // a Read All in the main window
    clock.SleepUntil(*run->Advance());
    run->Advance();  // the point's own final read, then the next point's clearing one
    ASSERT_EQ(readings.seen.size(), 3u);
    const margin::PointResult& point = run->Result().points.at(9);
    int total = 0;
    for (std::size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(point.errors[i], taken[i] + readings.seen[1].counts[i]);
        total += taken[i];
    }
    EXPECT_GT(total, 0);
    run->Cancel();
    tap.RemoveListener(&readings);
}

TEST_F(Sweep, AFailedTransferStopsItAndSaysWhich) {
    Cables("A=6");
    margin::SessionRegisters direct(*link.CurrentSession(), kChipAddress);
    auto run = Begin(0, false, &direct);
    AdvanceTo(*run, 0x2);
    Chip().SetAcknowledge(false);
    clock.SleepUntil(*run->Advance());
    EXPECT_FALSE(run->Advance());
    EXPECT_EQ(run->CurrentState(), SweepRun::State::Failed);
    EXPECT_EQ(run->FailureText(), "the error counters could not be read");
}

TEST_F(Sweep, RefusesAChannelTheCountersDoNotCount) {
    Cables("A=6,C=0xA");
    auto state = margin::ReadLinkState(registers);
    ASSERT_TRUE(state);
    EXPECT_EQ(margin::CheckSweep(*state, 2), margin::SweepObstacle::NotSelected);
    Write(0x02, 0x2C);
    state = margin::ReadLinkState(registers);
    EXPECT_EQ(margin::CheckSweep(*state, 0), margin::SweepObstacle::PoweredDown);
}

// Each row a hysteresis setting, each character a gain: '.' error-free, 'x' errors.
struct PatternCase {
    std::vector<std::string> rows;
    std::optional<std::uint8_t> centre;
    device::Hysteresis hysteresis = device::Hysteresis::Off;
};

class Recommendation : public ::testing::TestWithParam<PatternCase> {};

TEST_P(Recommendation, IsTheCentreOfTheWidestErrorFreeWindow) {
    std::vector<margin::PointResult> results;
    for (std::size_t row = 0; row < GetParam().rows.size(); ++row) {
        for (std::uint8_t gain = 0; gain < 16; ++gain) {
            margin::PointResult point;
            point.point = {gain, static_cast<device::Hysteresis>(row)};
            point.errors[1] = GetParam().rows[row][gain] == 'x' ? 3 : 0;
            results.push_back(point);
        }
    }
    const auto found = margin::Recommend(results);
    ASSERT_EQ(found.has_value(), GetParam().centre.has_value());
    if (found) {
        EXPECT_EQ(found->point.gain, *GetParam().centre);
        EXPECT_EQ(found->point.hysteresis, GetParam().hysteresis);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Patterns, Recommendation,
    ::testing::Values(PatternCase{{"xxxx.....xxxxxxx"}, 0x6},
                      PatternCase{{"xx..xx....xxxxxx"}, 0x7},  // 6..9: the lower middle
                      PatternCase{{"..xxxxxxxxxxxx.."}, 0x0},  // equal: the first
                      PatternCase{{"xxxxxxxxxxxxxxxx"}, std::nullopt},
                      PatternCase{{"xxxx...xxxxxxxxx", "xxxxx....xxxxxxx", "xxxxx.....xxxxxx"},
                                  0x7,
                                  device::Hysteresis::Mv20}));

TEST(SweepText, CsvMapAndJsonCarryEveryPointAndTheRecommendation) {
    margin::SweepResult result;
    result.settings.channel = 2;
    result.plan = margin::SweepPoints(false, device::Hysteresis::Mv10);
    margin::PointResult full;
    full.point = result.plan[0];
    full.errors = {255, 40, 0};
    full.atLeast = {true, false, false};
    full.seconds = 1.0;
    margin::PointResult clean;
    clean.point = result.plan[1];
    clean.seconds = 1.0;
    result.points = {full, clean};
    result.recommendation = margin::Recommendation{clean.point, 1, 1};
    result.complete = true;

    EXPECT_EQ(margin::SweepCsv(result),
              "channel,gain,hysteresis,seconds,link0_errors,link1_errors,link2_errors,link0_full,"
              "link1_full,link2_full,ber,ber_kind,recommended\r\n"
              "C,0x0,10 mV,1.000,255,40,0,1,0,0,1.717e-07,at least,0\r\n"
              "C,0x1,10 mV,1.000,0,0,0,0,0,0,2.020e-09,upper bound 95%,1\r\n");
    const std::string map = margin::SweepMapText(result);
    EXPECT_NE(map.find("10 mV     295+     0     .     ."), std::string::npos) << map;
    EXPECT_NE(map.find("Recommended: gain 0x1, hysteresis 10 mV"), std::string::npos) << map;
    const std::string json = margin::SweepJson(result);
    EXPECT_NE(json.find("\"errors\":[255,40,0],\"atLeast\":[true,false,false]"), std::string::npos);
    EXPECT_NE(json.find("\"recommendation\":{\"gain\":1,\"hysteresis\":\"10 mV\""),
              std::string::npos);
}

}  // namespace
}  // namespace vrq::test
