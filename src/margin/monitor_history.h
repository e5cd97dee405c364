// The monitor's whole run: every reading it turned into errors per second, with the wall
// clock and the chip's state (the segment it fell in), kept from the start to the end however
// long it runs (the monitor itself keeps only the latest hour of readings). Thinned for a plot,
// whole for export: CSV, and JSON Lines that carry the same fields.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "margin/error_monitor.h"
#include "margin/plot_model.h"

namespace vrq::margin {

struct HistoryRecord {
    std::string wallClock;  // ISO 8601, UTC
    RatePoint rate;
    int segment = 0;
    SegmentState state;
    std::optional<Uncounted> why;  // the segment's time does not count, and why
};

class MonitorHistory {
  public:
    // Takes the readings the monitor added since the last call (call after every poll), with
    // the wall clock now and the segment they belong to.
    void Follow(const ErrorMonitor& monitor, const std::string& wallClock);
    void Clear();
    const std::vector<HistoryRecord>& Records() const { return records_; }

    // The plot: at most columns points per link (each the highest reading of its stretch,
    // with a counter that ran full kept as such), markers where the setting changed, a
    // counter ran full or time stopped counting.
    HistoryModel Model(const PlotCaption& caption, std::size_t columns) const;

    // A header and a row per reading; CR LF line ends.
    std::string Csv() const;
    // One JSON object per reading, one a line.
    std::string JsonLines() const;

  private:
    std::vector<HistoryRecord> records_;
    std::uint64_t seen_ = 0;
};

}  // namespace vrq::margin
