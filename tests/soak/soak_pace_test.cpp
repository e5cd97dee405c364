// Soaks at the real board's pace, where late and stray reports overtake answers in time.
#include <gtest/gtest.h>

#include "support/soak.h"

namespace vrq::test {
namespace {

TEST(FaultSoakAtBoardPace, EveryAcknowledgedWriteAndSettingIsInForce) {
    SoakOptions options;
    options.seed = 11;
    options.realBoardPace = true;
    const SoakReport report = RunSoak(options);
    std::printf("%s\n", report.Summary().c_str());
    EXPECT_EQ(report.Errors(), 0) << report.Summary();
}

// No protocol without request numbers can always tell a stray report from an answer: the
// figure that slipped through is reported, and held to the aim of under 1 in 1,000.
TEST(FaultSoakAtBoardPace, StrayReportsAreMostlyDetectedAndRepeated) {
    SoakOptions options;
    options.seed = 12;
    options.realBoardPace = true;
    options.faults = SoakFaults{};
    options.faults.unsolicited = true;
    const SoakReport report = RunSoak(options);
    std::printf("%s\n", report.Summary().c_str());
    EXPECT_GT(report.outOfStepDetected, 0);
    EXPECT_LT(report.Errors() * 1000, report.operations) << report.Summary();
}

}  // namespace
}  // namespace vrq::test
