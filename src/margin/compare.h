// Saved runs side by side: two cables, two board revisions, two temperatures. A run is read
// from a report's folder or its run.json, or from what `sweep --json` printed (its sweep
// documents). The comparison is a table of each run's window, margin and verify result per
// channel, the differences that make runs not comparable (rate, target, confidence, dwell),
// and the bathtubs of each channel over each other.
#pragma once

#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "margin/report.h"

namespace vrq::margin {

struct SavedRun {
    std::string source;  // the path it was read from
    std::string name;    // the label, or the file or folder name
    RunInfo info;        // empty for a plain sweep document
    std::vector<SweepResult> sweeps;
    std::string end;     // "finished", "cancelled", "failed"
    std::string verify;  // "pass", "fail", ..., "" when not verified
};

// A run as the report has it (the window compares its latest run with saved ones).
SavedRun SavedRunOf(const MarginReport& report, std::string name);
// The run in text (a report document, or sweep documents one a line); name names it.
std::optional<SavedRun> ReadRun(std::string_view text, std::string name, std::string& error);
// The run at path: a report's folder, its run.json, or a file of sweep documents.
std::optional<SavedRun> LoadRun(const std::string& path, std::string& error);

// Where the runs differ so that their figures do not compare like with like: "the runs
// differ in rate: 148.5 MHz (cable-a), 297 MHz (cable-b)". Empty when they agree.
std::vector<std::string> CompareDifferences(std::span<const SavedRun> runs);
// A row per run and channel: run, channel, window, recommended, margin, verify.
std::string CompareTable(std::span<const SavedRun> runs);
std::string CompareJson(std::span<const SavedRun> runs);
std::string CompareCsv(std::span<const SavedRun> runs);
// Every channel the runs have, in order.
std::vector<int> ChannelsOf(std::span<const SavedRun> runs);
// The overlay of one channel's bathtubs, a curve per run that swept it.
BathtubModel CompareOverlay(std::span<const SavedRun> runs, int channel);

// index.html, compare.csv, compare.json and an overlay per channel (with a painter) in dir.
bool WriteComparison(const std::string& dir, std::span<const SavedRun> runs, PlotPainter* painter,
                     const std::string& missing, std::string& error);

}  // namespace vrq::margin
