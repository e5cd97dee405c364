// What a report and a comparison must never get wrong: a run that did not finish, or found no
// passing setting, says so and draws no window; runs measured differently are said to differ.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "margin/compare.h"
#include "margin/margin_text.h"
#include "margin/report.h"
#include "margin_fixture.h"

namespace vrq::test {
namespace {

using margin::RunEnd;
using std::chrono::milliseconds;

class Report : public MarginTest {
  protected:
    void SetUp() override {
        MarginTest::SetUp();
        Write(0x09, 0x04);
    }
    // A sweep of channel A, cancelled after points when points > 0.
    margin::MarginReport Sweep(const char* cables, int points = 0, double rate = 148.5) {
        Cables(cables);
        margin::ChannelSweepSettings settings;
        settings.sweep.dwell = milliseconds(200);
        settings.sweep.characterRateMHz = rate;
        settings.channels = {0};
        settings.byHand = false;
        margin::ChannelSweeps run(registers, clock, settings);
        tap.AddListener(&run);
        run.Start(*margin::ReadLinkState(registers));
        auto next = run.Advance();
        while (next && (points == 0 || run.PointsDone() < static_cast<std::size_t>(points))) {
            clock.SleepUntil(*next);
            next = run.Advance();
        }
        run.Cancel();
        tap.RemoveListener(&run);
        margin::MarginReport report;
        report.info.label = "cable <A> & \"B\"";
        report.sweeps = run.Results();
        report.end = run.CurrentState() == margin::ChannelSweeps::State::Cancelled
                         ? RunEnd::Cancelled
                         : RunEnd::Finished;
        return report;
    }
    static std::string Read(const std::filesystem::path& path) {
        std::ifstream in(path);
        std::ostringstream text;
        text << in.rdbuf();
        return text.str();
    }
};

TEST_F(Report, ACancelledSweepSaysSoEverywhereAndRecommendsNothing) {
    const margin::MarginReport report = Sweep("A=6", 5);
    ASSERT_EQ(report.end, RunEnd::Cancelled);
    EXPECT_EQ(margin::OutcomeText(report).rfind("CANCELLED after 5 of 16 points", 0), 0u)
        << margin::OutcomeText(report);
    const std::string json = margin::ReportJson(report);
    EXPECT_NE(json.find("\"end\":\"cancelled\""), std::string::npos);
    const std::string html = margin::ReportHtml(report, {}, "");
    EXPECT_NE(html.find("class=\"outcome bad\">CANCELLED"), std::string::npos);
    EXPECT_EQ(html.find("Recommended: gain"), std::string::npos);
    EXPECT_NE(html.find("cable &lt;A&gt; &amp; &quot;B&quot;"), std::string::npos) << "escaped";
    const auto model = margin::BathtubOf(report.sweeps.front(), {});
    EXPECT_FALSE(model.panels.front().windowFirst) << "no window for an unfinished sweep";
    EXPECT_FALSE(model.panels.front().recommended);

    margin::MarginReport failed = report;
    failed.end = RunEnd::Failed;
    failed.failure = "the error counters could not be read";
    EXPECT_EQ(margin::OutcomeText(failed).rfind("FAILED: the error counters could not be read", 0),
              0u);
    EXPECT_NE(margin::ReportJson(failed).find("\"end\":\"failed\""), std::string::npos);
}

TEST_F(Report, ARunWithNoPassingSettingDrawsNoWindowAndRecommendsNothing) {
    const margin::MarginReport report = Sweep("A=0x14");
    ASSERT_EQ(report.end, RunEnd::Finished);
    ASSERT_TRUE(report.sweeps.front().complete);
    EXPECT_EQ(margin::OutcomeText(report).rfind("NO SETTING PASSED", 0), 0u);
    const auto bathtub = margin::BathtubOf(report.sweeps.front(), {});
    const auto map = margin::HeatMapOf(report.sweeps.front(), {});
    EXPECT_FALSE(bathtub.panels.front().windowFirst);
    EXPECT_FALSE(bathtub.panels.front().recommended);
    EXPECT_FALSE(map.rows.front().windowFirst);
    EXPECT_FALSE(map.recommended);
    EXPECT_NE(margin::RecommendationLine(report.sweeps.front()).find("nothing recommended"),
              std::string::npos);
}

// The window, the recommendation and the ties drawn where the sweep found them; every point's
// figures on the curves as they were measured.
TEST_F(Report, ThePlotsShowTheWindowTheRecommendationAndEachLinksFigures) {
    const margin::MarginReport report = Sweep("A=6");
    const margin::SweepResult& sweep = report.sweeps.front();
    ASSERT_TRUE(sweep.recommendation);
    const auto bathtub = margin::BathtubOf(sweep, {});
    const margin::BathtubPanel& panel = bathtub.panels.front();
    EXPECT_EQ(panel.windowFirst, sweep.recommendation->windowFirst);
    EXPECT_EQ(panel.windowLast, sweep.recommendation->windowLast);
    EXPECT_EQ(panel.recommended, sweep.recommendation->point.gain);
    ASSERT_EQ(panel.curves.size(), 3u);
    for (const margin::PlotCurve& curve : panel.curves) {
        EXPECT_EQ(curve.points.size(), 16u);
        for (const margin::PlotPoint& p : curve.points) {
            const margin::PointResult& point = sweep.points[static_cast<std::size_t>(p.x)];
            const bool clean =
                point.tally.links[static_cast<std::size_t>(curve.colour)].errors == 0;
            EXPECT_EQ(p.mark == margin::PlotMark::UpperBound, clean) << "gain " << p.x;
            EXPECT_LE(p.low, p.y);
            EXPECT_GE(p.high, p.y);
        }
    }
    EXPECT_LE(bathtub.yLow, bathtub.targetLog10);
    EXPECT_GE(bathtub.yHigh, bathtub.targetLog10);
    const auto map = margin::HeatMapOf(sweep, {});
    EXPECT_EQ(map.recommended, (std::pair<int, int>{0, sweep.recommendation->point.gain}));
    EXPECT_EQ(map.rows.front().cells[sweep.recommendation->point.gain].kind,
              margin::HeatCell::Kind::Pass);
}

TEST_F(Report, TheFolderHoldsPageTableAndDocumentAndReadsBackForComparison) {
    const margin::MarginReport report = Sweep("A=6");
    const auto dir = std::filesystem::temp_directory_path() / "vrq-report-test";
    std::filesystem::remove_all(dir);
    std::string error;
    ASSERT_TRUE(margin::WriteReport(dir.string(), report, nullptr, "no painter here", error))
        << error;
    EXPECT_NE(Read(dir / "index.html").find("No plots: no painter here"), std::string::npos);
    const std::string csv = Read(dir / "points.csv");
    EXPECT_EQ(std::count(csv.begin(), csv.end(), '\n'), 17);
    const auto run = margin::LoadRun(dir.string(), error);
    ASSERT_TRUE(run) << error;
    EXPECT_EQ(run->name, "cable <A> & \"B\"");
    EXPECT_EQ(run->end, "finished");
    ASSERT_EQ(run->sweeps.size(), 1u);
    EXPECT_EQ(run->sweeps.front().recommendation->point,
              report.sweeps.front().recommendation->point);
    std::filesystem::remove_all(dir);
}

// Two cables at one rate compare; the same cable at another rate or target does not.
TEST_F(Report, ComparingRunsMeasuredDifferentlySaysTheyDiffer) {
    std::vector<margin::SavedRun> runs{margin::SavedRunOf(Sweep("A=6"), "a"),
                                       margin::SavedRunOf(Sweep("A=8"), "b")};
    EXPECT_TRUE(margin::CompareDifferences(runs).empty());
    EXPECT_EQ(margin::CompareTable(runs).find("note:"), std::string::npos);

    runs.push_back(margin::SavedRunOf(Sweep("A=6", 0, 297.0), "c"));
    runs.back().sweeps.front().settings.targetBer = 1e-12;
    const auto differences = margin::CompareDifferences(runs);
    ASSERT_EQ(differences.size(), 2u);
    EXPECT_EQ(differences[0], "the runs differ in rate: 148.5 MHz (a, b), 297 MHz (c)");
    EXPECT_EQ(differences[1].rfind("the runs differ in target: ", 0), 0u);
    EXPECT_NE(margin::CompareTable(runs).find("note: the runs differ in rate"), std::string::npos);
    EXPECT_NE(margin::CompareOverlay(runs, 0).caption.subtitle.find("NOT ALIKE"),
              std::string::npos);
}

}  // namespace
}  // namespace vrq::test
