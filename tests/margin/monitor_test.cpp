// The monitor's accounting: every reading of the counters on the link adds to the totals,
// whoever makes it; time counts only between readings that found the chip able to count the
// selected channel, and a change of state closes a segment.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cmath>

#include "margin/error_monitor.h"
#include "margin/margin_text.h"
#include "margin/monitor_history.h"
#include "margin_fixture.h"

namespace vrq::test {
namespace {

using margin::ErrorRatio;
using margin::Uncounted;

class Monitor : public MarginTest {
  protected:
    void SetUp() override {
        MarginTest::SetUp();
        tap.AddListener(&monitor);
        Cables("A=6,C=0xA");
        Write(0x09, 0x04);  // checker on
    }
    void TearDown() override {
        tap.RemoveListener(&monitor);
        MarginTest::TearDown();
    }
    void Start() {
        monitor.Start(clock.Now());
        Poll();  // where counting starts
    }
    const margin::LinkTotals& Link(std::size_t i) const { return monitor.Links()[i]; }
    double Uncounted(margin::Uncounted why) const {
        return monitor.Current()->tally.uncounted[static_cast<std::size_t>(why)];
    }

    margin::ErrorMonitor monitor;
};

TEST_F(Monitor, AReadAllInBetweenAddsToTheTotalsInsteadOfTakingErrorsAway) {
    Write(0x07, 0xC9);  // channel A one step outside its window: tens of errors a second
    Start();
    Advance(0.5);
    // The main window's Read All: 0x00..0x0C in one burst, clearing the counters.
    std::array<std::uint8_t, 13> all{};
    ASSERT_EQ(link.ReadRegisters(kChipAddress, 0x00, all.size(), all, false), link::StatusOk);
    Advance(0.5);
    const auto polled = ReadCounters(0x01, 12);
    Poll();  // a poll at the same moment closes the span
    int errors = 0;
    for (std::size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(Link(i).errors, all[0x0A + i] + polled[i]) << "link " << i;
        EXPECT_DOUBLE_EQ(Link(i).seconds, 1.0);
        EXPECT_FALSE(Link(i).atLeast);
        errors += polled[i];
    }
    EXPECT_GT(errors, 0);
    EXPECT_DOUBLE_EQ(monitor.Rates()[0].t, 0.5);
    EXPECT_DOUBLE_EQ(monitor.Rates()[0].perSecond[1], all[0x0B] / 0.5);
}

TEST_F(Monitor, AFullCounterIsAFloorAndNoErrorsGiveTheUpperBound) {
    Write(0x07, 0xC6);  // on the need: clean
    Start();
    Advance(2.0);
    Poll();
    EXPECT_EQ(Link(0).errors, 0u);
    EXPECT_DOUBLE_EQ(Link(0).errorFreeSeconds, 2.0);
    const auto clean = margin::BitErrorRatio(Link(0), 148.5);
    ASSERT_TRUE(clean);
    EXPECT_EQ(clean->kind, ErrorRatio::Kind::UpperBound);
    EXPECT_DOUBLE_EQ(clean->value, 3.0 / (2.0 * 148.5e6 * 10.0));

    Write(0x07, 0xC0);  // far off: full in no time, and a new segment
    Poll();
    Advance(1.0);
    Poll();
    EXPECT_EQ(monitor.Current()->number, 2);
    EXPECT_EQ(Link(0).errors, 0xFFu);
    EXPECT_TRUE(Link(0).atLeast);
    EXPECT_DOUBLE_EQ(Link(0).errorFreeSeconds, 0.0);
    EXPECT_TRUE(monitor.Rates().back().atLeast[0]);
    EXPECT_EQ(margin::BitErrorRatio(Link(0), 148.5)->kind, ErrorRatio::Kind::AtLeast);
}

// The reproductions: a powered-down chip and a channel without a clock count nothing as
// error-free time; each says why.
struct StateCase {
    const char* name;
    std::uint8_t reg;
    std::uint8_t value;
    const char* cables;
    margin::Uncounted why;
};

class MonitorState : public Monitor, public ::testing::WithParamInterface<StateCase> {};

TEST_P(MonitorState, TimeInAStateThatCannotCountIsNotCountedAndSaysWhy) {
    Cables(GetParam().cables);
    Write(GetParam().reg, GetParam().value);
    Start();
    for (int i = 0; i < 3; ++i) {
        Advance(1.0);
        Poll();
    }
    EXPECT_EQ(Link(0).seconds, 0.0);
    EXPECT_FALSE(margin::BitErrorRatio(Link(0), 148.5)) << "no figure at all";
    EXPECT_DOUBLE_EQ(Uncounted(GetParam().why), 3.0);
    EXPECT_EQ(monitor.Current()->why, GetParam().why);
    EXPECT_NE(margin::MonitorLine(monitor, 148.5).find("not counted"), std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(
    States, MonitorState,
    ::testing::Values(StateCase{"PoweredDown", 0x02, 0x2C, "A=6", Uncounted::PoweredDown},
                      StateCase{"NoClock", 0x02, 0x01, "A=6", Uncounted::NoClock},
                      StateCase{"CheckerOff", 0x09, 0x00, "A=6", Uncounted::CheckerOff}),
    [](const auto& param) { return std::string(param.param.name); });

TEST_F(Monitor, ASourceThatDropsOutEndsTheCountedTime) {
    Cables("A=6:drop=2.5,C=0xA");
    Write(0x02, 0x00);  // A by hand, so that the selection stays on it
    Write(0x07, 0xC6);
    Start();
    for (int i = 0; i < 4; ++i) {
        Advance(1.0);
        Poll();
    }
    // Two seconds counted; the drop opens a segment without a clock.
    ASSERT_EQ(monitor.Closed().size(), 1u);
    EXPECT_DOUBLE_EQ(monitor.Closed()[0].tally.seconds, 2.0);
    EXPECT_EQ(monitor.Current()->why, Uncounted::NoClock);
    EXPECT_EQ(Link(0).seconds, 0.0);
}

TEST_F(Monitor, AChangeOfGainClosesTheSegmentSoNoTotalMixesSettings) {
    Write(0x07, 0xC9);
    Start();
    Advance(1.0);
    Poll();
    Write(0x07, 0xCA);
    Advance(1.0);
    Poll();
    Advance(1.0);
    Poll();
    ASSERT_EQ(monitor.Closed().size(), 1u);
    EXPECT_EQ(monitor.Closed()[0].state.gain, 0x9);
    EXPECT_DOUBLE_EQ(monitor.Closed()[0].tally.seconds, 1.0);
    EXPECT_EQ(monitor.Current()->state.gain, 0xA);
    EXPECT_DOUBLE_EQ(Link(0).seconds, 1.0) << "only the time at 0xA";
    const std::string json = margin::MonitorJson(monitor, 148.5, "2026-01-02T03:04:05.000Z");
    EXPECT_NE(json.find("\"time\":\"2026-01-02T03:04:05.000Z\""), std::string::npos) << json;
    EXPECT_NE(json.find("\"segment\":2,\"state\":{\"channel\":\"A\",\"gain\":10"),
              std::string::npos)
        << json;
}

TEST_F(Monitor, ReadingsThatLostTheirValuesCoverNoTime) {
    Write(0x07, 0xC9);
    Start();
    Advance(1.0);
    // The chip is read but the answer never comes: what the counters held is gone.
    board::BoardSession& session = *link.CurrentSession();
    session.SetTimeoutMs(20);
    sim.Board(0).dropAnswers = 1;
    std::array<std::uint8_t, 3> lost{};
    EXPECT_EQ(session.ReadRegisters(kChipAddress, 0x0A, lost), board::Outcome::NoAnswer);
    Advance(0.5);
    Poll();
    EXPECT_EQ(Link(0).seconds, 0.0);
    EXPECT_NEAR(Uncounted(margin::Uncounted::Lost), 1.52, 1e-9);
    Advance(1.0);
    Poll();
    EXPECT_DOUBLE_EQ(Link(0).seconds, 1.0);
}

TEST_F(Monitor, OnlyTheWatchedChipCounts) {
    Write(0x07, 0xC0);
    Start();
    Advance(1.0);
    tap.Watch(0, 0x8A);  // another address: this chip's readings are not its
    Poll();
    EXPECT_EQ(Link(0).errors, 0u);
    tap.Watch(1, kChipAddress);  // another board
    Advance(1.0);
    Poll();
    EXPECT_EQ(Link(0).errors, 0u);
    EXPECT_TRUE(monitor.Rates().empty());
}

struct RatioCase {
    std::uint64_t errors;
    bool atLeast;
    double seconds;
    const char* text;
};

class RatioText : public ::testing::TestWithParam<RatioCase> {};

// bits = seconds x character rate x 10; at 100 MHz one second is 1e9 bits.
TEST_P(RatioText, SaysWhatKindOfFigureItIs) {
    const RatioCase& c = GetParam();
    EXPECT_EQ(margin::ErrorRatioText(margin::BitErrorRatio(c.errors, c.atLeast, c.seconds, 100.0)),
              c.text);
}

INSTANTIATE_TEST_SUITE_P(Ratios, RatioText,
                         ::testing::Values(RatioCase{0, false, 1.0,
                                                     "below 3.0e-09 (95% upper bound, no errors)"},
                                           RatioCase{25, false, 10.0, "2.5e-09"},
                                           RatioCase{255, true, 1.0, "at least 2.5e-07"},
                                           RatioCase{0, false, 0.0, "no data"}));

TEST(MarginText, DurationsReadAsAPersonWouldSayThem) {
    EXPECT_EQ(margin::DurationText(0.46), "0.4 s");
    EXPECT_EQ(margin::DurationText(0.0074), "7.4 ms") << "not 0.0 s";
    EXPECT_EQ(margin::DurationText(0.00004), "under 0.1 ms");
    EXPECT_EQ(margin::DurationText(0), "0.0 s");
    EXPECT_EQ(margin::DurationText(59.99), "59.9 s");
    EXPECT_EQ(margin::DurationText(200), "3 min 20 s");
    EXPECT_EQ(margin::DurationText(7500), "2 h 05 min");
}

// The window's history: every reading kept for export, the plot thinned to its columns with
// the highest reading of each stretch, and markers where the setting changed and a counter ran
// full, wherever they fall among the thinned points.
TEST_F(Monitor, HistoryKeepsEveryReadingThinsThePlotAndMarksWhatHappened) {
    margin::MonitorHistory history;
    Write(0x07, 0xC9);  // one step off: tens of errors a second
    Start();
    history.Follow(monitor, "2026-01-01T00:00:00Z");
    double highest = 0;
    for (int poll = 0; poll < 30; ++poll) {
        if (poll == 20) {
            Write(0x07, 0xCA);  // two steps off: the counters run full
        }
        Advance(1.0);
        Poll();
        history.Follow(monitor, "2026-01-01T00:00:01Z");
    }
    ASSERT_EQ(history.Records().size(), 30u);
    for (const margin::HistoryRecord& r : history.Records()) {
        highest = std::max(highest, r.rate.perSecond[0]);
    }
    const margin::HistoryModel model = history.Model({}, 7);
    double drawnHighest = 0;
    for (std::size_t i = 0; i < 3; ++i) {
        EXPECT_LE(model.links[i].points.size() + model.zeros[i].size(), 7u) << "link " << i;
    }
    for (const margin::PlotPoint& p : model.links[0].points) {
        drawnHighest = std::max(drawnHighest, p.y);
    }
    EXPECT_DOUBLE_EQ(drawnHighest, std::log10(highest)) << "thinning keeps the highest";
    EXPECT_EQ(model.links[0].points.back().mark, margin::PlotMark::AtLeast);
    auto count = [&](margin::HistoryMarker::Kind kind) {
        return std::count_if(model.markers.begin(), model.markers.end(),
                             [kind](const margin::HistoryMarker& m) { return m.kind == kind; });
    };
    EXPECT_EQ(count(margin::HistoryMarker::Kind::SettingChanged), 1);
    EXPECT_EQ(count(margin::HistoryMarker::Kind::CounterFull), 1);

    const std::string csv = history.Csv();
    EXPECT_EQ(std::count(csv.begin(), csv.end(), '\n'), 31);
    EXPECT_NE(csv.find(",A,0xA,off,"), std::string::npos) << "the chip's state on each row";
    const std::string lines = history.JsonLines();
    EXPECT_EQ(std::count(lines.begin(), lines.end(), '\n'), 30);
}

}  // namespace
}  // namespace vrq::test
