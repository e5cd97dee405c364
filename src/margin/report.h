// A link-margin run as a report for a design review: one folder with
//   index.html  a page that opens offline in any browser and needs nothing beside it but the
//               folder's own files: the outcome, the recommendation with its margin, the plots,
//               the table of points, the verification, the metadata;
//   *.png       the plots, each titled with the channel, the dwell or target, the rate, the
//               date and the recommendation (drawn by a PlotPainter);
//   points.csv  every point of every channel;
//   run.json    everything above as one document ("format": "vrq66208a-report").
// Every number is written as the C locale writes it. A run that was cancelled or failed, or
// that recommends nothing, says so at the top of the page and in the document.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "margin/channel_sweeps.h"
#include "margin/plot_model.h"
#include "margin/sweep.h"
#include "margin/verify.h"

namespace vrq::margin {

inline constexpr int kReportJsonVersion = 1;

// Where and when a run was made, and by whom for what.
struct RunInfo {
    std::string started;  // ISO 8601, UTC
    std::string ended;
    std::string host;
    std::string program;    // "vrq66208a-cli 2.1.0"
    std::string boardPath;  // the HID path, or "simulated ..."
    std::string firmware;   // "" when not read
    int address7 = -1;      // the chip's 7-bit address
    // Registers 0x00 onwards as read before the run and after it; empty when not read.
    std::vector<std::uint8_t> registersBefore;
    std::vector<std::uint8_t> registersAfter;
    std::string label;  // the operator's: cable, fixture, ...
    std::string note;   // temperature, anything else
};

enum class RunEnd : std::uint8_t { Finished, Cancelled, Failed };

struct MarginReport {
    RunInfo info;
    RunEnd end = RunEnd::Finished;
    std::string failure;              // why, when it failed
    std::vector<SweepResult> sweeps;  // a channel each, in the order swept
    // With several channels: the hysteresis chosen for all and each channel's setting at it.
    std::optional<ChannelChoice> choice;
    bool applied = false;  // the recommendation was left in the chip
    std::optional<VerifyResult> verify;
    VerifySettings verifySettings;
};

// Draws plot models to PNG files. The command-line tool loads one on demand (it costs the
// start-up of a graphics toolkit); the window has its own.
class PlotPainter {
  public:
    virtual ~PlotPainter() = default;
    virtual bool SaveBathtub(const BathtubModel& model, const std::string& path) = 0;
    virtual bool SaveHeatMap(const HeatMapModel& model, const std::string& path) = 0;
    virtual bool SaveHistory(const HistoryModel& model, const std::string& path) = 0;
};

// "A", "several channels: A, C": what the run measured.
std::string ChannelsText(const MarginReport& report);
// The captions of a channel's plots in a report: what, with what, when, and the outcome.
PlotCaption BathtubCaption(const SweepResult& result, const RunInfo& info);
PlotCaption HeatMapCaption(const SweepResult& result, const RunInfo& info);
// One sentence on how the run ended: "Finished.", "CANCELLED after 5 of 16 points: ...".
std::string OutcomeText(const MarginReport& report);

std::string ReportJson(const MarginReport& report);
std::string InfoJson(const RunInfo& info);

// A plot of the report: its file name and what it shows.
struct ReportPlot {
    std::string file;
    std::string alt;
};
// The page, naming the plots drawn; plotsMissing says why there are none, when there are none.
std::string ReportHtml(const MarginReport& report, const std::vector<ReportPlot>& plots,
                       const std::string& plotsMissing);

// Makes dir (and its parents) and writes the report into it; the plots only with a painter
// (missing says why there is none). False with the reason in error.
bool WriteReport(const std::string& dir, const MarginReport& report, PlotPainter* painter,
                 const std::string& missing, std::string& error);

// What the page's text must never carry raw.
std::string HtmlEscape(const std::string& text);
// Makes dir and its parents; false with the reason in error.
bool MakeFolder(const std::string& dir, std::string& error);
// Writes text to path; false with the reason in error.
bool WriteTextFile(const std::string& path, const std::string& text, std::string& error);
// This machine's host name.
std::string HostName();

}  // namespace vrq::margin
