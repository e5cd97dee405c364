// The main window under random operations with faults injected, on virtual time: the link
// soak's checks after every operation, and the window's own (no register box shows a value
// from a failed read; boxes, lists and the LED box show what the board holds; Cancel and Yes
// end the program with every board closed). Fixed seeds; scripts/soak runs random ones.
#include <gtest/gtest.h>

#include <QLineEdit>

#include "support/window_soak.h"
#include "ui/main/frm_main.h"
#include "ui/main/hex_text.h"

namespace vrq::test {
namespace {

// One stray report taken for a burst read's answer shows in thirteen boxes, so the link
// soak's bound on what slipped strays do per operation is not this soak's: what they explain
// is counted apart, and nothing else may go wrong.
void ExpectClean(const SoakOptions& options, const SoakReport& report) {
    ExpectRunClean(options, report, options.operations / 20);
    EXPECT_GT(report.programEnds, 0) << report.Summary();
}

class WindowFaultSoak : public ::testing::TestWithParam<std::uint32_t> {};

TEST_P(WindowFaultSoak, TheWindowShowsAndKeepsWhatTheBoardsHold) {
    const SoakOptions options = WindowSoakOptions(GetParam());
    ExpectClean(options, RunWindowSoak(options));
}

INSTANTIATE_TEST_SUITE_P(Seeds, WindowFaultSoak, ::testing::Values(1U, 2U, 3U));

// Without stray reports, whose slips are the protocol's own limit, nothing goes wrong at all.
TEST(WindowFaultSoakWithoutStrays, NothingGoesWrongAtAll) {
    SoakOptions options = WindowSoakOptions(4);
    options.faults = SoakFaults::WithoutStrays();
    const SoakReport report = RunWindowSoak(options);
    ExpectClean(options, report);
    EXPECT_EQ(report.AllErrors(), 0) << report.Summary();
}

// The soak's own checks: a box that shows what nobody read, and a program whose end does not
// come the way it should, are caught and name their seed.
TEST(WindowFaultSoakChecks, CatchABoxShowingWhatNoReadGaveAndAWrongEnd) {
    SoakOptions options = WindowSoakOptions(78);
    options.operations = 300;
    const SoakReport shown = RunWindowSoak(options, [](WindowSoak& soak, auto& extra) {
        extra.push_back(soak.Operation("show a value", 20, [](WindowSoak& w) {
            QLineEdit* box = w.RegBox(4);
            const auto value = ui::ParseBoxByte(box->text().toStdString()).value_or(0);
            box->setText(ui::HexText(static_cast<std::uint8_t>(value + 1)));
        }));
    });
    EXPECT_GT(shown.windowWrong, 0);
    EXPECT_NE(shown.Summary().find("(show a value): boxes show values no read or write of "
                                   "their register gave: box 4"),
              std::string::npos)
        << shown.Summary();
    EXPECT_EQ(shown.Summary().rfind("seed 78: ", 0), 0U);

    // An end that returns instead of ending: the program ends, but not with its boards closed
    // by the window's own end.
    const SoakReport ended = RunWindowSoak(options, [](WindowSoak& soak, auto& extra) {
        extra.push_back(soak.Operation("end quietly", 5,
                                       [](WindowSoak& w) { w.Window().SetEndAction([] {}); }));
    });
    EXPECT_GT(ended.endingsWrong, 0) << ended.Summary();
    EXPECT_LE(ended.endingsWrong, ended.programEnds) << ended.Summary();
}

}  // namespace
}  // namespace vrq::test
