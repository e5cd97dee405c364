// The monitor's accounting: every reading of the counters on the link adds to the totals,
// whoever makes it; time is counted only where the readings cover it with the checker on.
#include <gtest/gtest.h>

#include <chrono>

#include "margin/error_monitor.h"
#include "margin/margin_text.h"
#include "margin_fixture.h"

namespace vrq::test {
namespace {

using margin::ErrorRatio;

class Monitor : public MarginTest {
  protected:
    void SetUp() override {
        MarginTest::SetUp();
        tap.AddListener(&monitor);
        Cables("A=6,C=0xA");
        Write(0x09, 0x04);  // checker on
    }
    void Start() {
        monitor.Start(clock.Now());
        ASSERT_TRUE(margin::ReadLinkState(registers, true));  // where counting starts
    }
    const margin::LinkTotals& Link(std::size_t i) const { return monitor.Links()[i]; }

    margin::ErrorMonitor monitor;
};

TEST_F(Monitor, AReadAllInBetweenAddsToTheTotalsInsteadOfTakingErrorsAway) {
    Write(0x07, 0xC9);  // channel A one step outside its window: a few errors a second
    Start();
    Advance(0.5);
    // The main window's Read All: 0x00..0x0C in one burst, clearing the counters.
    std::array<std::uint8_t, 13> all{};
    ASSERT_EQ(link.ReadRegisters(kChipAddress, 0x00, all.size(), all, false), link::StatusOk);
    Advance(0.5);
    const auto polled = ReadCounters();
    int errors = 0;
    for (std::size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(Link(i).errors, all[0x0A + i] + polled[i]) << "link " << i;
        EXPECT_DOUBLE_EQ(Link(i).seconds, 1.0);
        EXPECT_FALSE(Link(i).atLeast);
        errors += polled[i];
    }
    EXPECT_GT(errors, 0);
    ASSERT_EQ(monitor.Rates().size(), 2u);
    EXPECT_DOUBLE_EQ(monitor.Rates()[0].t, 0.5);
    EXPECT_DOUBLE_EQ(monitor.Rates()[0].perSecond[1], all[0x0B] / 0.5);
    EXPECT_DOUBLE_EQ(monitor.Rates()[1].perSecond[2], polled[2] / 0.5);
}

TEST_F(Monitor, AFullCounterIsAFloorAndNoErrorsGiveTheUpperBound) {
    Write(0x07, 0xC6);  // on the need: clean
    Start();
    Advance(2.0);
    ReadCounters();
    EXPECT_EQ(Link(0).errors, 0u);
    EXPECT_DOUBLE_EQ(Link(0).errorFreeSeconds, 2.0);
    const auto clean = margin::BitErrorRatio(Link(0), 148.5);
    ASSERT_TRUE(clean);
    EXPECT_EQ(clean->kind, ErrorRatio::Kind::UpperBound);
    EXPECT_DOUBLE_EQ(clean->value, 3.0 / (2.0 * 148.5e6 * 10.0));

    Write(0x07, 0xC0);  // far off: full in no time
    Advance(1.0);
    const auto full = ReadCounters();
    EXPECT_EQ(full[0], 0xFF);
    EXPECT_EQ(Link(0).errors, 0xFFu);
    EXPECT_TRUE(Link(0).atLeast);
    EXPECT_DOUBLE_EQ(Link(0).errorFreeSeconds, 0.0);
    EXPECT_TRUE(monitor.Rates().back().atLeast[0]);
    EXPECT_EQ(margin::BitErrorRatio(Link(0), 148.5)->kind, ErrorRatio::Kind::AtLeast);
}

TEST_F(Monitor, ReadingsThatLostTheirValuesOrFoundTheCheckerOffCoverNoTime) {
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
    ReadCounters();
    // From the lost read (its 20 ms time-out included) to this one.
    EXPECT_NEAR(Link(0).seconds, 0.52, 1e-9);

    Write(0x09, 0x00);  // checker off, as the tap sees written
    Advance(1.0);
    ReadCounters();
    EXPECT_NEAR(Link(0).seconds, 0.52, 1e-9);
    EXPECT_TRUE(monitor.CheckerOff());
}

TEST_F(Monitor, OnlyTheWatchedChipCounts) {
    Write(0x07, 0xC0);
    Start();
    Advance(1.0);
    tap.Watch(0, 0x8A);  // another address: this chip's readings are not its
    ReadCounters();
    EXPECT_EQ(Link(0).errors, 0u);
    tap.Watch(1, kChipAddress);  // another board
    Advance(1.0);
    ReadCounters();
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

// bits = seconds x pixel clock x 10; at 100 MHz one second is 1e9 bits.
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
    EXPECT_EQ(margin::DurationText(59.99), "59.9 s");
    EXPECT_EQ(margin::DurationText(200), "3 min 20 s");
    EXPECT_EQ(margin::DurationText(7500), "2 h 05 min");
}

}  // namespace
}  // namespace vrq::test
