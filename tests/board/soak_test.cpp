// The board link under random operations and faults at zero latency: nothing lost, nothing
// misdirected, no answer taken for another request's, no handle left open.
#include <gtest/gtest.h>

#include "support/soak.h"

namespace vrq::test {
namespace {

class FaultSoak : public ::testing::TestWithParam<std::uint32_t> {};

TEST_P(FaultSoak, EveryAcknowledgedWriteAndSettingIsInForce) {
    SoakOptions options;
    options.seed = GetParam();
    const SoakReport report = RunSoak(options);
    std::printf("seed %u: %s\n", options.seed, report.Summary().c_str());
    EXPECT_EQ(report.Errors(), 0) << "seed " << options.seed << ": " << report.Summary();
    EXPECT_GT(report.faultsInjected, options.operations / 50);
}

INSTANTIATE_TEST_SUITE_P(Seeds, FaultSoak, ::testing::Values(1U, 2U, 3U));

}  // namespace
}  // namespace vrq::test
