// The board link under 20,000 random operations per seed with faults injected, at the real
// board's pace on virtual time: no write reported done that the chip does not hold, no value
// taken from a failed exchange, no handle left open, nothing hangs, and no wrong value but
// after a stray report (the protocol has no request numbers), those within the budget.
#include <gtest/gtest.h>

#include <cstdio>

#include "support/soak.h"

namespace vrq::test {
namespace {

void ExpectClean(const SoakOptions& options, const SoakReport& report) {
    ExpectRunClean(options, report, options.operations / 50);
    std::printf("%s", report.FiguresByKind().c_str());
}

class FaultSoak : public ::testing::TestWithParam<std::uint32_t> {};

TEST_P(FaultSoak, EveryAcknowledgedWriteAndSettingIsInForce) {
    SoakOptions options;
    options.seed = GetParam();
    ExpectClean(options, RunSoak(options));
}

INSTANTIATE_TEST_SUITE_P(Seeds, FaultSoak, ::testing::Values(1U, 2U, 3U));

TEST(FaultSoakAtZeroLatency, EveryAcknowledgedWriteAndSettingIsInForce) {
    SoakOptions options;
    options.seed = 4;
    options.realBoardPace = false;
    ExpectClean(options, RunSoak(options));
}

// Without stray reports, whose slips are the protocol's own limit, nothing goes wrong at all
// (late answers during later exchanges and after reconnections included), and no late or lost
// answer is ever set aside as too soon to be an owed one.
TEST(FaultSoakWithoutStrays, NothingGoesWrongAtAll) {
    SoakOptions options;
    options.seed = 5;
    options.faults = SoakFaults::WithoutStrays();
    const SoakReport report = RunSoak(options);
    EXPECT_EQ(report.AllErrors(), 0) << report.Summary();
    EXPECT_EQ(report.straysSlipped + report.straysSlippedOwed, 0) << report.Summary();
    EXPECT_EQ(report.earlyForOwed, 0) << report.Summary();
}

// Stray reports of every kind alone, one operation in twenty: at least half are noticed (set
// aside, the exchange repeated or its result ambiguous, or set aside by a drain awaiting an
// owed answer), under 1 in 100 stands in for an owed answer, and the wrong values that follow
// them stay within the budget.
TEST(FaultSoakStraysOnly, MostAreDetectedAndFewDoHarm) {
    SoakOptions options;
    options.seed = 6;
    options.faults = SoakFaults::StraysOnly();
    const SoakReport report = RunSoak(options);
    std::printf("%s\n%s", report.Summary().c_str(), report.FiguresByKind().c_str());
    EXPECT_TRUE(report.Clean()) << report.Summary();
    EXPECT_GT(
        (report.outOfStepDetected + report.setAside + report.ambiguous + report.earlyForOwed) * 2,
        report.straysSent)
        << report.Summary();
    EXPECT_LT(report.straysSlippedOwed * 100, report.straysSent) << report.Summary();
}

// The soak's own checks: an operation that says a write was acknowledged when none was sent
// is caught, and one that never ends is stopped by the watchdog; both name their seed.
TEST(FaultSoakChecks, CatchALostWriteAndAHang) {
    SoakOptions options;
    options.seed = 77;
    options.operations = 300;
    auto lying = BoardLinkOperations();
    lying.push_back({"claim a write", 20, [](SoakRun& run) {
                         const std::uint8_t value = 0x5C;
                         run.WriteDone(run.CurrentSimBoard(), kSoakChip, 0x04, {&value, 1},
                                       link::StatusOk, false);
                     }});
    const SoakReport lied = RunSoak(options, lying);
    EXPECT_GT(lied.writesOkNotHeld, 0);
    EXPECT_FALSE(lied.Clean());
    EXPECT_EQ(lied.Summary().rfind("seed 77: ", 0), 0U);

    auto stuck = BoardLinkOperations();
    stuck.push_back({"wait for ever", 20, [](SoakRun& run) {
                         for (;;) {
                             run.Clock().SleepFor(std::chrono::seconds(1));
                         }
                     }});
    const SoakReport hung = RunSoak(options, stuck);
    EXPECT_EQ(hung.hung, 1);
    EXPECT_LT(hung.operations, options.operations);
    EXPECT_NE(hung.Summary().find("(wait for ever): wait for ever still running"),
              std::string::npos)
        << hung.Summary();
}

// A write to an absent chip whose refusal is lost while a stray comes when it was due is
// reported done: the report is all zero, as "done" is, and carries no request number. The
// soak shows each such write apart, as the protocol's limit within its budget, and still
// counts it; a write reported done without that evidence stays an error no stray explains.
TEST(FaultSoakChecks, ShowAWriteDoneFromAStrayInPlaceOfALostRefusalApart) {
    SoakOptions options;
    options.seed = 5;
    options.operations = 200;
    options.faultPercent = 0;
    auto operations = BoardLinkOperations();
    operations.push_back(
        {"write to an absent chip, its refusal lost to a stray", 20, [](SoakRun& run) {
             const auto board = run.CurrentSimBoard();
             if (!board) {
                 return;
             }
             run.StrayInPlaceOfNextAnswer(*board);
             constexpr std::uint8_t kAbsent = 0x20;
             const std::uint8_t value = 0x5C;
             const link::Status status =
                 run.Link().WriteRegistersOnce(kAbsent, 0x04, 1, {&value, 1});
             run.WriteDone(board, kAbsent, 0x04, {&value, 1}, status, true);
         }});
    const SoakReport report = RunSoak(options, operations);
    EXPECT_GT(report.writesOkFromStrays, 0) << report.Summary();
    EXPECT_EQ(report.writesOkNotHeld, 0) << report.Summary();
    EXPECT_LE(report.writesOkFromStrays, report.lostAnswersMetByStrays);
    EXPECT_EQ(report.Errors(), report.WrongValues() + report.writesOkFromStrays);
    EXPECT_TRUE(report.Clean()) << report.Summary();
    EXPECT_NE(report.Summary().find(" writes reported done from a stray in place of a lost "),
              std::string::npos);
}

}  // namespace
}  // namespace vrq::test
