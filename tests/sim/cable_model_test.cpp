// The simulated cables: the option text, and what the chip's error counters make of a cable
// at each equalization and hysteresis setting, over virtual time: a bathtub wall that a
// longer dwell shows, sources that stop or send no PRBS7, the select pins.
#include "sim/cable_model.h"

#include <gtest/gtest.h>

#include <chrono>
#include <vector>

#include "sim/chip_model.h"
#include "sim/virtual_clock.h"

namespace vrq::sim {
namespace {

using Bytes = std::vector<std::uint8_t>;
using std::chrono::milliseconds;

struct ParseCase {
    const char* text;
    const char* parsed;  // CablesText of the result; nullptr when refused
    friend void PrintTo(const ParseCase& c, std::ostream* os) { *os << '"' << c.text << '"'; }
};

class CableOption : public ::testing::TestWithParam<ParseCase> {};

TEST_P(CableOption, ParsesOrSaysWhy) {
    std::string error;
    const auto cables = ParseCables(GetParam().text, error);
    if (GetParam().parsed == nullptr) {
        EXPECT_FALSE(cables.has_value());
        EXPECT_FALSE(error.empty());
    } else {
        ASSERT_TRUE(cables.has_value()) << error;
        EXPECT_EQ(CablesText(*cables), GetParam().parsed);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Texts, CableOption,
    ::testing::Values(
        ParseCase{"A=6,C=0xA", "A=0x6,C=0xA"}, ParseCase{"c=10 , a = 0X6", "A=0x6,C=0xA"},
        ParseCase{"D=15", "D=0xF"}, ParseCase{"B=0", "B=0x0"}, ParseCase{"none", "none"},
        ParseCase{"", nullptr}, ParseCase{"E=1", nullptr}, ParseCase{"A=32", nullptr},
        ParseCase{"A=0x20", nullptr}, ParseCase{"A", nullptr}, ParseCase{"A=0x14", "A=0x14"},
        ParseCase{"A=6:width=3.5:drop=20, b=2:video,pins=b",
                  "A=0x6:width=3.5:drop=20,B=0x2:video,pins=B"},
        ParseCase{"pins=auto", "none"}, ParseCase{"pins=D", "pins=D"},
        ParseCase{"A=6:width=9", nullptr}, ParseCase{"A=6:drop=-1", nullptr},
        ParseCase{"A=6:", nullptr}, ParseCase{"A=6:loud", nullptr}, ParseCase{"pins=E", nullptr},
        ParseCase{"A=6,a=7", nullptr}, ParseCase{"A=6,", nullptr}, ParseCase{"A=-1", nullptr}));

TEST(CableOption, DefaultHasTwoSourcesNeedingDifferentGains) {
    const CableSet cables = DefaultCables();
    EXPECT_EQ(ActiveClockMask(cables), 0x05);
    EXPECT_NE(cables[0].gain, cables[2].gain);
}

// A chip with cables on a virtual clock, its checker on.
class ChannelModel : public ::testing::Test {
  protected:
    static constexpr std::uint8_t kWrite = device::kDefaultChipAddressByte;
    static constexpr std::uint8_t kRead = 0x89;

    void SetUp() override {
        chip.SetCables(DefaultCables());  // A needs 0x6, C needs 0xA
        Write(0x09, 0x04);
    }
    void Write(std::uint8_t reg, std::uint8_t value) {
        const Bytes data{value};
        ASSERT_EQ(chip.Write(kWrite, reg, data), 0);
    }
    Bytes Read(std::uint8_t first, std::size_t count) {
        Bytes values(count);
        EXPECT_EQ(chip.Read(kRead, first, values), 0);
        return values;
    }
    // The three counters after span: cleared first, read at the end.
    Bytes Count(board::Clock::Duration span) {
        Read(0x0A, 3);
        clock.Advance(span);
        return Read(0x0A, 3);
    }
    static int Sum(const Bytes& counts) { return counts[0] + counts[1] + counts[2]; }

    sim::VirtualClock clock;
    ChipModel chip{kDefaultChipAddress7, 7, clock};
};

struct WindowCase {
    std::uint8_t gain;
    std::uint8_t inputControl;  // 0x03: hysteresis bits 6:5
    bool clean;
};

class ChannelWindow : public ChannelModel, public ::testing::WithParamInterface<WindowCase> {};

// Channel A needs 0x6: clean within two steps in a second, errors a step outside; 10 mV moves
// the need up by half a step (3 and 0xA outside), 20 mV by a step (5..9).
TEST_P(ChannelWindow, CleanWithinAboutTwoStepsOfTheNeededGain) {
    Write(0x03, GetParam().inputControl);
    Write(0x07, static_cast<std::uint8_t>(0xC0 | GetParam().gain));
    const Bytes counts = Count(std::chrono::seconds(1));
    EXPECT_EQ(Sum(counts) == 0, GetParam().clean) << "gain " << int{GetParam().gain};
}

INSTANTIATE_TEST_SUITE_P(
    Gains, ChannelWindow,
    ::testing::Values(WindowCase{0x3, 0x12, false}, WindowCase{0x4, 0x12, true},
                      WindowCase{0x6, 0x12, true}, WindowCase{0x8, 0x12, true},
                      WindowCase{0x9, 0x12, false}, WindowCase{0x3, 0x32, false},
                      WindowCase{0x8, 0x32, true}, WindowCase{0xA, 0x32, false},
                      WindowCase{0x4, 0x72, false}, WindowCase{0x9, 0x72, true},
                      WindowCase{0xA, 0x72, false}, WindowCase{0x9, 0x52, false}));

TEST_F(ChannelModel, ErrorsRiseSteeplyOutsideTheWindowAndSaturate) {
    Write(0x07, 0xC9);  // one step outside
    const int edge = Sum(Count(std::chrono::seconds(1)));
    Write(0x07, 0xCA);  // two steps outside
    const int further = Sum(Count(std::chrono::seconds(1)));
    EXPECT_GT(edge, 0);
    EXPECT_GT(further, 5 * edge);
    Write(0x07, 0xC0);
    EXPECT_EQ(Count(std::chrono::seconds(1)), (Bytes{0xFF, 0xFF, 0xFF}));
    EXPECT_EQ(Read(0x0A, 3), (Bytes{0, 0, 0})) << "cleared by the read";
}

TEST_F(ChannelModel, CountsPerSecondOfTimeNotPerTransfer) {
    Write(0x07, 0xC9);
    const int tenth = Sum(Count(milliseconds(100)));
    const int whole = Sum(Count(std::chrono::seconds(1)));
    EXPECT_GT(whole, 5 * std::max(tenth, 1));
    EXPECT_LT(tenth, whole / 4);
}

TEST_F(ChannelModel, OnlyTheSelectedChannelCounts) {
    Write(0x07, 0xCC);  // A far off its 0x6
    Write(0x08, 0xCA);  // C right on its 0xA
    EXPECT_GT(Sum(Count(milliseconds(500))), 0) << "automatic selection picks A";
    Write(0x02, 0x02);  // C by the register
    EXPECT_EQ(Sum(Count(std::chrono::seconds(5))), 0);
    Write(0x07, 0xC0);  // A's setting no longer matters
    EXPECT_EQ(Sum(Count(std::chrono::seconds(5))), 0);
    Write(0x08, 0xC2);
    EXPECT_GT(Sum(Count(milliseconds(500))), 0);
}

TEST_F(ChannelModel, NothingCountsWithTheCheckerOffOrPoweredDown) {
    Write(0x07, 0xC0);
    Write(0x09, 0x01);  // the generator alone
    EXPECT_EQ(Sum(Count(std::chrono::seconds(2))), 0);
    Write(0x09, 0x04);
    Write(0x02, 0x2C);  // powered down
    EXPECT_EQ(Sum(Count(std::chrono::seconds(2))), 0);
    Write(0x02, 0x0C);
    EXPECT_GT(Sum(Count(std::chrono::seconds(2))), 0);
}

TEST_F(ChannelModel, ASelectedChannelWithoutClockCountsNothing) {
    chip.SetCables({});
    Write(0x02, 0x01);  // B, by the register
    EXPECT_EQ(Read(0x01, 1), Bytes{0x00});
    EXPECT_EQ(Count(std::chrono::seconds(10)), (Bytes{0, 0, 0}));
}

// The wall is smooth: half a step past the edge a second mostly shows nothing, a minute does;
// 10 mV of hysteresis shows at 0x9 only as fewer errors than with it off.
TEST_F(ChannelModel, ALongerDwellFindsTheEdgeOfTheWindow) {
    EXPECT_LT(CableBitErrorRatio(chip.Cables()[0], 0x8, device::Hysteresis::Off), 1e-11);
    EXPECT_GT(CableBitErrorRatio(chip.Cables()[0], 0x9, device::Hysteresis::Off), 1e-8);
    Write(0x03, 0x32);
    Write(0x07, 0xC9);
    const int tenMv = Sum(Count(std::chrono::seconds(60)));
    Write(0x03, 0x12);
    const int off = Sum(Count(std::chrono::seconds(1)));
    EXPECT_GT(tenMv, 0);
    EXPECT_GT(off * 60, 5 * tenMv);
}

TEST_F(ChannelModel, ACableThatNeedsMoreThanTheTopGainIsCleanNowhere) {
    CableSet cables;
    cables[0] = {true, 0x14};
    chip.SetCables(cables);
    Write(0x07, 0xCF);
    EXPECT_GT(Sum(Count(std::chrono::seconds(1))), 0);
}

TEST_F(ChannelModel, AVideoSourceRunsTheCountersFullAtTheRightGain) {
    std::string error;
    chip.SetCables(*ParseCables("A=6:video", error));
    Write(0x07, 0xC6);
    EXPECT_EQ(Count(milliseconds(10)), (Bytes{0xFF, 0xFF, 0xFF}));
}

// A source that stops: its clock goes from 0x01, automatic selection moves on, and the time
// up to the drop still counts at the old channel.
TEST_F(ChannelModel, ASourceDropsOutAndTheSelectionFollows) {
    std::string error;
    chip.SetCables(*ParseCables("A=6:drop=2,C=0xA", error));
    Write(0x07, 0xC0);  // A far off: full at once
    Write(0x08, 0xCA);  // C clean
    EXPECT_EQ(Read(0x01, 2), (Bytes{0x05, 0x0C}));
    clock.Advance(std::chrono::seconds(3));
    EXPECT_EQ(Read(0x01, 2), (Bytes{0x04, 0x0E}));
    EXPECT_EQ(Read(0x0A, 3), (Bytes{0xFF, 0xFF, 0xFF})) << "counted up to the drop";
    EXPECT_EQ(Count(std::chrono::seconds(5)), (Bytes{0, 0, 0}));
}

// 0x02 bit 3 hands the selection to the pins: their channel, or their automatic choice; bit 3
// clear with bit 2 clear selects by bits 1:0.
TEST_F(ChannelModel, PinsSelectWhileBit3IsSet) {
    std::string error;
    chip.SetCables(*ParseCables("A=6,C=0xA,pins=C", error));
    EXPECT_EQ(Read(0x02, 1), Bytes{0x0E});
    Write(0x02, 0x0D);  // bits 1:0 are the pins' while bit 3 is set
    EXPECT_EQ(Read(0x02, 1), Bytes{0x0E});
    Write(0x02, 0x01);  // by hand: B
    EXPECT_EQ(Read(0x02, 1), Bytes{0x01});
    Write(0x02, 0x04);  // automatic: A has the priority
    EXPECT_EQ(Read(0x02, 1), Bytes{0x04});
    chip.SetCables(*ParseCables("A=6,C=0xA", error));
    Write(0x02, 0x08);  // the pins, automatic
    EXPECT_EQ(Read(0x02, 1), Bytes{0x08});
}

TEST_F(ChannelModel, CountsRepeatWithTheSeedAndDifferWithAnother) {
    VirtualClock otherClock;
    ChipModel same{kDefaultChipAddress7, 7, otherClock};
    ChipModel other{kDefaultChipAddress7, 8, otherClock};
    std::vector<Bytes> a;
    std::vector<Bytes> b;
    std::vector<Bytes> c;
    for (ChipModel* m : {&same, &other}) {
        m->SetCables(DefaultCables());
        const Bytes on{0x04};
        const Bytes gain{0xC9};
        m->Write(kWrite, 0x09, on);
        m->Write(kWrite, 0x07, gain);
    }
    Write(0x07, 0xC9);
    for (int i = 0; i < 5; ++i) {
        Read(0x0A, 3);
        Bytes s(3);
        Bytes o(3);
        same.Read(kRead, 0x0A, s);
        other.Read(kRead, 0x0A, o);
        clock.Advance(std::chrono::seconds(1));
        otherClock.Advance(std::chrono::seconds(1));
        a.push_back(Read(0x0A, 3));
        same.Read(kRead, 0x0A, s);
        other.Read(kRead, 0x0A, o);
        b.push_back(s);
        c.push_back(o);
    }
    EXPECT_EQ(a, b);
    EXPECT_NE(a, c);
}

}  // namespace
}  // namespace vrq::sim
