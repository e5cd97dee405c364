// Several channels in one run: what the composer leaves in the chip however the run ends, and
// the one hysteresis it chooses for all of them.
#include <gtest/gtest.h>

#include "margin/channel_sweeps.h"
#include "margin_fixture.h"

namespace vrq::test {
namespace {

using margin::ChannelSweeps;
using std::chrono::milliseconds;

class Channels : public MarginTest {
  protected:
    void SetUp() override {
        MarginTest::SetUp();
        Cables("A=6,C=0xA");
        Write(0x09, 0x04);
        Write(0x08, 0xC3);  // D and C apart, to see both nibbles come back
    }
    std::unique_ptr<ChannelSweeps> Begin(std::vector<int> channels, bool hysteresis = false,
                                         margin::RegisterAccess* through = nullptr) {
        margin::ChannelSweepSettings settings;
        settings.sweep.dwell = milliseconds(200);
        settings.sweep.crossHysteresis = hysteresis;
        settings.channels = std::move(channels);
        auto run = std::make_unique<ChannelSweeps>(through ? *through : registers, clock, settings);
        const auto state = margin::ReadLinkState(registers);
        EXPECT_TRUE(state);
        before = {Chip().Peek(0x02), Chip().Peek(0x03), Chip().Peek(0x07), Chip().Peek(0x08)};
        tap.AddListener(run.get());
        run->Start(*state);
        return run;
    }
    void RunToEnd(ChannelSweeps& run, int maxSteps = 1000000) {
        for (int step = 0; step < maxSteps; ++step) {
            const auto next = run.Advance();
            if (!next) {
                break;
            }
            clock.SleepUntil(*next);
        }
    }
    void ExpectPutBack() {
        EXPECT_EQ(Chip().Peek(0x02), before[0]);
        EXPECT_EQ(Chip().Peek(0x03), before[1]);
        EXPECT_EQ(Chip().Peek(0x07), before[2]);
        EXPECT_EQ(Chip().Peek(0x08), before[3]);
    }
    std::array<std::uint8_t, 4> before{};
};

TEST_F(Channels, EachChannelIsSelectedByHandAndTheGainsGoInOneWrite) {
    auto run = Begin({0, 2});
    std::vector<int> started;
    run->onChannel = [&](const margin::SweepRun& r) {
        started.push_back(r.Result().settings.channel);
        EXPECT_EQ(Chip().Peek(0x02) & 0x03, r.Result().settings.channel);
    };
    RunToEnd(*run);
    tap.RemoveListener(run.get());
    ASSERT_EQ(run->CurrentState(), ChannelSweeps::State::Finished) << run->FailureText();
    EXPECT_EQ(started, (std::vector<int>{0, 2}));
    ExpectPutBack();
    EXPECT_EQ(run->PointsDone(), run->PointsTotal());

    const margin::ChannelChoice choice = run->Choose(true);
    ASSERT_TRUE(choice.Complete());
    Chip().ClearWriteLog();
    ASSERT_TRUE(run->Apply(choice, true));
    EXPECT_EQ(Chip().Peek(0x07), 0xC6);
    EXPECT_EQ(Chip().Peek(0x08), 0xCA);
    EXPECT_EQ(Chip().WriteLog().size(), 2u) << "0x07 and 0x08 in one transfer";
}

// However it ends before its time, the four registers hold what they held.
TEST_F(Channels, CancelOrAFailureInTheSecondChannelPutsEverythingBack) {
    for (const bool fail : {false, true}) {
        SCOPED_TRACE(fail ? "failure" : "cancel");
        if (fail) {
            Cables("A=6,C=0xA:drop=3");  // C's source stops while C is swept
        }
        auto run = Begin({0, 2});
        int points = 0;
        run->onPoint = [&](const margin::SweepRun& r, const margin::PointResult&) {
            points += r.Result().settings.channel == 2 ? 1 : 0;
        };
        auto next = run->Advance();
        while (next && (fail || points < 3)) {
            clock.SleepUntil(*next);
            next = run->Advance();
        }
        if (fail) {
            ASSERT_EQ(run->CurrentState(), ChannelSweeps::State::Failed);
            EXPECT_EQ(run->FailedChannel(), 2);
            EXPECT_GT(points, 0) << "failed in the middle of C's sweep";
        } else {
            run->Cancel();
            EXPECT_EQ(run->CurrentState(), ChannelSweeps::State::Cancelled);
        }
        tap.RemoveListener(run.get());
        ExpectPutBack();
        EXPECT_EQ(run->Results().size(), 2u) << "the cut-short channel is kept";
        EXPECT_FALSE(run->Choose(true).Complete());
    }
}

TEST_F(Channels, AChannelWithoutAClockStopsTheRunAndSaysWhy) {
    Cables("A=6");
    auto run = Begin({0, 2});
    RunToEnd(*run);
    tap.RemoveListener(run.get());
    EXPECT_EQ(run->CurrentState(), ChannelSweeps::State::Failed);
    EXPECT_EQ(run->Obstacle(), margin::SweepObstacle::NoClock);
    EXPECT_EQ(run->FailureText().rfind("channel C shows no TMDS clock", 0), 0u)
        << run->FailureText();
    ExpectPutBack();
}

// 20 mV costs channel A a step and C nothing: at off both keep their widest margins.
TEST_F(Channels, TheSharedHysteresisIsTheOneWhoseSmallestMarginIsGreatest) {
    Write(0x03, 0x72);  // 20 mV in force
    auto run = Begin({0, 2}, true);
    RunToEnd(*run);
    tap.RemoveListener(run.get());
    ASSERT_EQ(run->CurrentState(), ChannelSweeps::State::Finished) << run->FailureText();
    const margin::ChannelChoice choice = run->Choose(true);
    ASSERT_TRUE(choice.Complete());
    int smallest = margin::kUnboundedMargin;
    for (const auto& [channel, r] : choice.channels) {
        smallest = std::min(smallest, r->Margin());
    }
    for (int h = 0; h < device::kHysteresisCount; ++h) {
        const auto row = static_cast<device::Hysteresis>(h);
        int atRow = margin::kUnboundedMargin;
        for (const auto& result : run->Results()) {
            const auto r = margin::Recommend(result.points, result.current, {&row, 1});
            atRow = std::min(atRow, r ? r->Margin() : -1);
        }
        EXPECT_LE(atRow, smallest) << device::HysteresisText(row);
    }
    EXPECT_EQ(choice.hysteresisChanged, choice.hysteresis != device::Hysteresis::Mv20);
    ExpectPutBack();
}

}  // namespace
}  // namespace vrq::test
