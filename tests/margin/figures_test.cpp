// What the figures mean: the Poisson bounds against published values, the time a target
// needs, the recommendation by margin and its tie-breaks, a point measured once more, the
// hysteresis shared by several channels, and a saved sweep read back as it was.
#include <gtest/gtest.h>

#include <string>

#include "margin/margin_text.h"
#include "margin/plot_model.h"
#include "margin/statistics.h"
#include "margin/sweep.h"
#include "margin_fixture.h"

namespace vrq::test {
namespace {

using margin::Verdict;

struct PoissonCase {
    std::uint64_t k;
    double lower;     // two-sided 95%
    double upper;     // two-sided 95%
    double oneSided;  // 95% upper bound
};

class Poisson : public ::testing::TestWithParam<PoissonCase> {};

// Garwood's exact intervals as the tables give them.
TEST_P(Poisson, BoundsMatchTheTables) {
    const PoissonCase& c = GetParam();
    const auto range = margin::PoissonInterval(c.k, 0.95);
    EXPECT_NEAR(range.lower, c.lower, 5e-4);
    EXPECT_NEAR(range.upper, c.upper, 5e-4);
    EXPECT_NEAR(margin::PoissonUpper(c.k, 0.95), c.oneSided, 5e-4);
}

INSTANTIATE_TEST_SUITE_P(Tables, Poisson,
                         ::testing::Values(PoissonCase{0, 0.0, 3.6889, 2.9957},
                                           PoissonCase{1, 0.0253, 5.5716, 4.7439},
                                           PoissonCase{10, 4.7954, 18.3904, 16.9622},
                                           PoissonCase{5, 1.6235, 11.6683, 10.5130}));

TEST(Rates, TheTargetSetsTheTimeAndDeepColourTheRate) {
    // HDMI's 1e-9 at 1080p60: about 2 s of no errors, not the 1 s a default dwell gave.
    EXPECT_NEAR(margin::SecondsToShow(1e-9, 0.95, 148.5), 2.0173, 1e-4);
    EXPECT_NEAR(margin::TargetShownBy(1.0, 0.95, 148.5), 2.0173e-9, 1e-13);
    EXPECT_DOUBLE_EQ(margin::CharacterRateMHz(148.5, 10), 185.625);
    EXPECT_DOUBLE_EQ(margin::CharacterRateMHz(148.5, 12), 222.75);
    EXPECT_EQ(margin::CharacterRateMHz(148.5, 9), 0.0);
}

// Each row a hysteresis, each character a gain: '.' passed, 'x' failed (a ratio of 1e-6),
// 'y' failed at 1e-7, 'c' passed and is the setting in force.
struct PatternCase {
    const char* name;
    std::vector<std::string> rows;
    std::optional<std::uint8_t> gain;
    device::Hysteresis hysteresis = device::Hysteresis::Off;
    std::optional<int> below;
    std::optional<int> above;
    std::size_t equallyGood = 0;
};

std::vector<margin::PointResult> Points(const std::vector<std::string>& rows,
                                        std::optional<margin::SweepPoint>& current) {
    std::vector<margin::PointResult> results;
    for (std::size_t row = 0; row < rows.size(); ++row) {
        for (std::uint8_t gain = 0; gain < 16; ++gain) {
            const char c = rows[row][gain];
            margin::PointResult point;
            point.point = {gain, static_cast<device::Hysteresis>(row)};
            point.verdict = c == 'x' || c == 'y' ? Verdict::Fail : Verdict::Pass;
            point.figure = margin::BerFigure{};
            point.figure->value = c == 'x' ? 1e-6 : c == 'y' ? 1e-7 : 0.0;
            if (c == 'c') {
                current = point.point;
            }
            results.push_back(point);
        }
    }
    return results;
}

class Recommendation : public ::testing::TestWithParam<PatternCase> {};

TEST_P(Recommendation, IsTheSettingFarthestFromAFailure) {
    const PatternCase& c = GetParam();
    std::optional<margin::SweepPoint> current;
    const auto results = Points(c.rows, current);
    constexpr std::array<device::Hysteresis, 3> kRows{
        device::Hysteresis::Off, device::Hysteresis::Mv10, device::Hysteresis::Mv20};
    const auto found = margin::Recommend(results, current, std::span(kRows).first(c.rows.size()));
    ASSERT_EQ(found.has_value(), c.gain.has_value());
    if (found) {
        EXPECT_EQ(found->point.gain, *c.gain);
        EXPECT_EQ(found->point.hysteresis, c.hysteresis);
        EXPECT_EQ(found->marginBelow, c.below);
        EXPECT_EQ(found->marginAbove, c.above);
        EXPECT_EQ(found->equallyGood.size(), c.equallyGood);
    }

    // What the plots show of it: the recommended cell, every tie framed and stated in words,
    // and no window where nothing passed.
    margin::SweepResult result;
    result.points = results;
    for (const margin::PointResult& point : results) {
        result.plan.push_back(point.point);
    }
    result.complete = true;
    result.recommendation = found;
    const margin::HeatMapModel map = margin::HeatMapOf(result, {});
    const margin::BathtubModel bathtub = margin::BathtubOf(result, {});
    ASSERT_EQ(map.rows.size(), c.rows.size());
    ASSERT_EQ(bathtub.panels.size(), c.rows.size());
    EXPECT_EQ(map.ties.size(), c.equallyGood);
    EXPECT_EQ(map.tieText.empty(), c.equallyGood == 0) << map.tieText;
    if (!found) {
        EXPECT_FALSE(map.recommended);
        for (std::size_t row = 0; row < c.rows.size(); ++row) {
            EXPECT_FALSE(map.rows[row].windowFirst) << "row " << row;
            EXPECT_FALSE(bathtub.panels[row].windowFirst) << "panel " << row;
            EXPECT_FALSE(bathtub.panels[row].recommended) << "panel " << row;
        }
    } else {
        EXPECT_EQ(map.recommended,
                  (std::pair<int, int>{static_cast<int>(c.hysteresis), found->point.gain}));
        const margin::HeatRow& row = map.rows[static_cast<std::size_t>(c.hysteresis)];
        ASSERT_TRUE(row.windowFirst && row.windowLast);
        EXPECT_LE(*row.windowFirst, found->point.gain);
        EXPECT_GE(*row.windowLast, found->point.gain);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Patterns, Recommendation,
    ::testing::Values(
        PatternCase{"Centre", {"xxxx.....xxxxxxx"}, 0x6, device::Hysteresis::Off, 3, 3},
        // The end of the range is no failure: 0x0 is farthest from 0x3.
        PatternCase{
            "AtTheBottom", {"...xxxxxxxxxxxxx"}, 0x0, device::Hysteresis::Off, std::nullopt, 3},
        PatternCase{
            "AtTheTop", {"xxxxxxxxxxxx...."}, 0xF, device::Hysteresis::Off, 4, std::nullopt},
        // Two equally good: the one whose failing neighbours show lower ratios, the other named.
        PatternCase{
            "TieToTheCleanerSide", {"xxxy......xxxxxx"}, 0x6, device::Hysteresis::Off, 3, 4, 1},
        PatternCase{"TieToTheCurrent", {"xxxx..c.xxxxxxxx"}, 0x6, device::Hysteresis::Off, 3, 2, 1},
        // The last window runs to the end: 0xF is 3 from 0xC and best, flagged.
        PatternCase{"EndBeatsANarrowCentre",
                    {"x...x...x...x..."},
                    0xF,
                    device::Hysteresis::Off,
                    3,
                    std::nullopt,
                    0},
        PatternCase{"TieBetweenWindows",
                    {"x...x...x...x..x", "xxxxxxxxxxxxxxxx"},
                    0x2,
                    device::Hysteresis::Off,
                    2,
                    2,
                    2},
        PatternCase{"NothingPassed",
                    {"xxxxxxxxxxxxxxxx"},
                    std::nullopt,
                    device::Hysteresis::Off,
                    std::nullopt,
                    std::nullopt,
                    0},
        PatternCase{"AcrossHysteresis",
                    {"xxxx...xxxxxxxxx", "xxxxx....xxxxxxx", "xxxxx.....xxxxxx"},
                    0x7,
                    device::Hysteresis::Mv20,
                    3,
                    3,
                    0}),
    [](const auto& param) { return std::string(param.param.name); });

TEST(SharedHysteresis, MaximisesTheSmallestMarginAcrossChannels) {
    std::optional<margin::SweepPoint> unused;
    margin::SweepResult a;
    margin::SweepResult b;
    a.points = Points({"xx......xxxxxxxx", "xxx.....xxxxxxxx", "xxxx.....xxxxxxx"}, unused);
    b.points = Points({"xxxxxxxx...xxxxx", "xxxxxxx.....xxxx", "xxxxxxxx.....xxx"}, unused);
    // Off: 3 and 2; 10 mV: 3 and 3; 20 mV: 3 and 3 -> 10 mV, the lower of the two.
    const std::vector<margin::SweepResult> both{a, b};
    EXPECT_EQ(margin::SharedHysteresis(both, device::Hysteresis::Off), device::Hysteresis::Mv10);
    EXPECT_EQ(margin::SharedHysteresis(both, device::Hysteresis::Mv20), device::Hysteresis::Mv20);
    b.points = Points({"xxxxxxxxxxxxxxxx", "xxxxxxxxxxxxxxxx", "xxxxxxxxxxxxxxxx"}, unused);
    EXPECT_FALSE(margin::SharedHysteresis(std::vector{a, b}, device::Hysteresis::Off));
}

class MeasuredAgain : public MarginTest {};

// A stray error inside a wide window fails its point; measured once more, the two tallies
// together show the target and the choice stays where the margin is.
TEST_F(MeasuredAgain, AnIsolatedFailureInsideAWindowIsMeasuredOnceMore) {
    Cables("A=6");
    Write(0x09, 0x04);
    margin::SweepSettings settings;
    settings.channel = 0;
    settings.dwell = std::chrono::seconds(1);
    margin::SweepRun run(registers, clock, settings);
    run.Start(*margin::ReadLinkState(registers));
    tap.AddListener(&run);
    auto next = run.Advance();
    while (next && run.CurrentPoint()->gain != 0x5) {
        clock.SleepUntil(*next);
        next = run.Advance();
    }
    Chip().Poke(0x0B, 1);  // one stray error on link 1
    margin::RunToEnd(run, clock);
    tap.RemoveListener(&run);
    const margin::PointResult& point = run.Result().points.at(5);
    EXPECT_EQ(point.measurements, 2);
    EXPECT_EQ(point.tally.links[1].errors, 1u);
    EXPECT_EQ(point.verdict, Verdict::Pass);
    ASSERT_TRUE(run.Result().recommendation);
    EXPECT_EQ(run.Result().recommendation->point.gain, 0x6);
    EXPECT_NE(margin::SweepMapText(run.Result()).find("ok*"), std::string::npos);
}

TEST_F(MeasuredAgain, ASavedSweepReadsBackAsItWas) {
    Cables("A=6:width=1");
    Write(0x09, 0x04);
    margin::SweepSettings settings;
    settings.channel = 0;
    settings.targetBer = 1e-10;
    settings.crossHysteresis = true;
    margin::SweepRun run(registers, clock, settings);
    run.Start(*margin::ReadLinkState(registers));
    tap.AddListener(&run);
    margin::RunToEnd(run, clock);
    tap.RemoveListener(&run);
    const std::string json = margin::SweepJson(run.Result());
    std::string error;
    const auto back = margin::ReadSweepJson(json, error);
    ASSERT_TRUE(back) << error;
    EXPECT_EQ(margin::SweepJson(*back), json);
    EXPECT_EQ(margin::SweepCsv(*back), margin::SweepCsv(run.Result()));
    EXPECT_EQ(margin::RecommendationText(*back), margin::RecommendationText(run.Result()));

    for (const char* bad : {"", "{}", "{\"format\":\"vrq66208a-sweep\",\"version\":2}", "[1,2",
                            "{\"format\":\"vrq66208a-sweep-point\",\"version\":1}"}) {
        EXPECT_FALSE(margin::ReadSweepJson(bad, error)) << bad;
        EXPECT_FALSE(error.empty());
    }
}

}  // namespace
}  // namespace vrq::test
