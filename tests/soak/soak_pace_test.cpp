// Soaks at the real board's pace on the machine's own clock, where scheduling jitter, not a
// model, decides how late each answer is: a check that virtual time hides nothing.
#include <gtest/gtest.h>

#include <cstdio>

#include "support/soak.h"

namespace vrq::test {
namespace {

SoakOptions OnTheRealClock(std::uint32_t seed) {
    SoakOptions options;
    options.seed = seed;
    options.operations = 5000;
    options.virtualTime = false;
    options.longestPauseMs = 10;
    return options;
}

TEST(FaultSoakAtBoardPace, EveryAcknowledgedWriteAndSettingIsInForce) {
    const SoakReport report = RunSoak(OnTheRealClock(11));
    std::printf("%s\n", report.Summary().c_str());
    EXPECT_TRUE(report.Clean()) << report.Summary();
}

// Stray reports alone, one operation in twenty: most are noticed and the exchange repeated,
// and whatever goes wrong follows one that slipped through. How many slip depends on how
// evenly this machine answers; the soak on virtual time holds that figure to its bound.
TEST(FaultSoakAtBoardPace, StrayReportsAreMostlyDetectedAndRepeated) {
    SoakOptions options = OnTheRealClock(12);
    options.faults = SoakFaults::StraysOnly();
    const SoakReport report = RunSoak(options);
    std::printf("%s\n", report.Summary().c_str());
    EXPECT_GT(report.outOfStepDetected + report.setAside, 0) << report.Summary();
    EXPECT_TRUE(report.Clean()) << report.Summary();
}

}  // namespace
}  // namespace vrq::test
