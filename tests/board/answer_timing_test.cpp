#include <gtest/gtest.h>

#include "board/answer_timing.h"

namespace vrq::board {
namespace {

using namespace std::chrono_literals;

Report Request(std::uint8_t command, std::uint8_t sub, std::uint8_t address = 0) {
    Report r{};
    r[off::kCommand] = command;
    r[off::kSubCommand] = sub;
    r[off::kAddress] = address;
    return r;
}

TEST(AnswerTiming, KindsDifferByCommandCountDirectionAndClock) {
    const BusClockState clock{12, 120};
    const Report read13 = Request(CommandI2C, 13, 0x89);
    const auto kind = AnswerTiming::KindOf(read13, clock);
    EXPECT_NE(kind, AnswerTiming::KindOf(Request(CommandI2C, 13, 0x88), clock));
    EXPECT_NE(kind, AnswerTiming::KindOf(Request(CommandI2C, 1, 0x89), clock));
    EXPECT_NE(AnswerTiming::KindOf(Request(CommandGpio, kSubQuery), clock),
              AnswerTiming::KindOf(Request(CommandBusClock, kSubQuery), clock));
    // The value byte of a set command is no part of its kind.
    EXPECT_EQ(AnswerTiming::KindOf(Request(CommandGpio, kSubSet, 0), clock),
              AnswerTiming::KindOf(Request(CommandGpio, kSubSet, 1), clock));
    EXPECT_NE(kind, AnswerTiming::KindOf(read13, {12, 60})) << "the bus takes half as long";
    // Bus time: 16 bytes of nine bits and three framing bits, 10 us each at 12 MHz / 120.
    EXPECT_EQ(AnswerTiming::BusTime(read13, clock), 1470us);
    EXPECT_EQ(AnswerTiming::BusTime(read13, {12, 0}), 0us) << "clock not known";
    EXPECT_EQ(AnswerTiming::BusTime(Request(CommandGpio, kSubQuery), clock), 0us);
}

// Least times, never usual ones: answers that came late do not move what is early, so a board
// that is slow now and then never makes its answers on time look too soon.
TEST(AnswerTiming, AKnownKindIsEarlyOnlyBeforeItsFastestAnswerLessTheMargin) {
    AnswerTiming timing;
    const BusClockState clock{12, 120};
    const Report query = Request(CommandGpio, kSubQuery);
    const auto kind = AnswerTiming::KindOf(query, clock);
    EXPECT_EQ(timing.Judge(query, clock, 0ms), Arrival::OnTime) << "nothing known, nothing early";
    for (const auto roundTrip : {2100us, 2000us, 2200us}) {
        timing.Record(query, clock, roundTrip);
    }
    EXPECT_FALSE(timing.Fastest(kind).has_value()) << "three answers tell too little";
    timing.Record(query, clock, 2000us);
    EXPECT_EQ(timing.Fastest(kind), 2ms);
    for (int i = 0; i < 20; ++i) {
        timing.Record(query, clock, 40ms);  // a board that answered late for a while
    }
    EXPECT_EQ(timing.Floor(query, clock), 2ms);
    EXPECT_EQ(timing.Judge(query, clock, 2ms), Arrival::OnTime);
    EXPECT_EQ(timing.Judge(query, clock, 1600us), Arrival::Close) << "within 500 us below";
    EXPECT_EQ(timing.Judge(query, clock, 1400us), Arrival::Early);
    EXPECT_EQ(timing.AwaitRealAnswer(query, clock), 3300us) << "the latest on time, half again";
    timing.Record(query, clock, 1ms);  // a stray taken for an answer whose real one was lost
    EXPECT_EQ(timing.Fastest(kind), 2ms) << "one sample cannot pull the floor down";

    // On a slow kind the margin is a twentieth of the floor; on a wandering one twice the gap
    // between the floor and the next answer up; below what the device can do at all, nothing is an
    // answer.
    const Report read13 = Request(CommandI2C, 13, 0x89);
    for (int i = 0; i < 4; ++i) {
        timing.Record(read13, clock, 20ms);
    }
    EXPECT_EQ(timing.Judge(read13, clock, 19100us), Arrival::Close);
    EXPECT_EQ(timing.Judge(read13, clock, 18900us), Arrival::Early);
    timing.Record(read13, clock, 19ms);
    timing.Record(read13, clock, 19ms);
    EXPECT_EQ(timing.Judge(read13, clock, 17100us), Arrival::Close);
    EXPECT_EQ(timing.Judge(read13, clock, 16900us), Arrival::Early);
    timing.NoteLeastRoundTrip(500us);
    EXPECT_EQ(timing.Judge(read13, clock, 499us), Arrival::Impossible);
}

// A kind never timed (a set command's acknowledgement, a transfer at a new clock) is held to
// the fastest answer of any command without a transfer, plus the bus time where the boards'
// transfers take it: a physical board's always, an instant one's once seen.
TEST(AnswerTiming, AKindNotYetKnownNeedsTheUsbRoundTripAndItsBusTime) {
    AnswerTiming timing;
    const Report set = Request(CommandGpio, kSubSet);
    const Report query = Request(CommandBusClock, kSubQuery);
    const Report read13 = Request(CommandI2C, 13, 0x89);
    const BusClockState clock{12, 120};
    EXPECT_EQ(timing.Floor(set, {}), 0ms);
    timing.Record(query, {}, 2100us);
    timing.Record(query, {}, 2ms);
    EXPECT_EQ(timing.Floor(set, {}), 2ms) << "two answers of a command without a transfer";
    EXPECT_EQ(timing.Judge(set, {}, 1750us), Arrival::Close) << "a borrowed floor: not early";
    EXPECT_EQ(timing.Floor(read13, clock), 2ms) << "no transfer seen taking bus time";

    const Report write1 = Request(CommandI2C, 1, 0x88);
    for (int i = 0; i < 4; ++i) {
        timing.Record(write1, clock, 2300us);  // 3 bytes and 2 bits: 290 us of bus
    }
    EXPECT_EQ(timing.Floor(read13, clock), 3470us) << "2 ms and 1.47 of bus";
    EXPECT_EQ(timing.Judge(read13, clock, 3200us), Arrival::Close);
    EXPECT_EQ(timing.Floor(read13, {12, 60}), 2ms + AnswerTiming::BusTime(read13, {12, 60}))
        << "the bus time at the clock in force";

    AnswerTiming physical;
    physical.NoteLeastRoundTrip(1ms);
    EXPECT_EQ(physical.Floor(set, {}), 1ms) << "nothing timed: the device's least round trip";
    EXPECT_EQ(physical.Judge(set, {}, 900us), Arrival::Impossible);
    EXPECT_EQ(physical.Judge(set, {}, 1900us), Arrival::Close) << "looked after up to twice it";
    EXPECT_EQ(physical.Judge(set, {}, 2ms), Arrival::OnTime);
    physical.Record(query, {}, 2ms);
    physical.Record(query, {}, 2ms);
    EXPECT_EQ(physical.Floor(read13, clock), 3470us) << "a physical board takes its bus time";
}

// A floor learnt from a slow start would make every answer on time early for ever: two early
// reports in a row that nothing followed, and what it was learnt from is forgotten.
TEST(AnswerTiming, TwoEarlyReportsAloneInARowForgetWhatTheFloorWasLearntFrom) {
    AnswerTiming timing;
    const Report query = Request(CommandGpio, kSubQuery);
    const Report led = Request(CommandGpio, kSubSet);
    for (int i = 0; i < 4; ++i) {
        timing.Record(query, {}, 9ms);
    }
    EXPECT_FALSE(timing.NoteEarlyAlone(query, {}));
    timing.NoteAnswerTaken(query, {});
    EXPECT_FALSE(timing.NoteEarlyAlone(query, {})) << "an answer taken between ends the run";
    EXPECT_TRUE(timing.NoteEarlyAlone(query, {}));
    EXPECT_EQ(timing.Judge(query, {}, 2ms), Arrival::OnTime);

    // A kind held to the others' times forgets them all.
    for (int i = 0; i < 4; ++i) {
        timing.Record(query, {}, 9ms);
    }
    EXPECT_EQ(timing.Floor(led, {}), 9ms);
    EXPECT_FALSE(timing.NoteEarlyAlone(led, {}));
    EXPECT_TRUE(timing.NoteEarlyAlone(led, {}));
    EXPECT_EQ(timing.Floor(query, {}), 0ms);
}

TEST(AnswerTiming, AnOwedAnswerIsKeptTwiceAsLongAsTheLatestSeenWithinBounds) {
    AnswerTiming timing;
    EXPECT_EQ(timing.OwedLifetime(), 500ms);
    timing.NoteOwedAnswerAfter(200ms);
    EXPECT_EQ(timing.OwedLifetime(), 500ms);
    timing.NoteOwedAnswerAfter(2s);
    timing.NoteOwedAnswerAfter(700ms);
    EXPECT_EQ(timing.OwedLifetime(), 4s);
    timing.NoteOwedAnswerAfter(10min);
    EXPECT_EQ(timing.OwedLifetime(), 5s);
}

}  // namespace
}  // namespace vrq::board
