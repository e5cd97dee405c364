// The link-margin results as text: the window's cells and labels, the CSV export, and the
// lines and JSON objects the command-line tool prints. One wording for all of them.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "margin/error_monitor.h"
#include "margin/sweep.h"

namespace vrq::margin {

// "12", or "at least 255" for a count that ran full.
std::string CountText(std::uint64_t errors, bool atLeast);
// "2.1e-09", "at least 2.1e-09", "below 3.0e-12 (95% upper bound, no errors)"; "no data"
// when no time was covered.
std::string ErrorRatioText(const std::optional<ErrorRatio>& ratio);
// "0.4 s", "59.9 s", "3 min 20 s", "2 h 05 min".
std::string DurationText(double seconds);
// "gain 0x6, hysteresis off".
std::string PointText(const SweepPoint& point);
// "Recommended: gain 0x6, hysteresis off (error-free from 0x4 to 0x8)", or that no setting
// was free of errors.
std::string RecommendationText(const SweepResult& result);

// One line per poll: the time, then per link the errors per second of the latest reading,
// the total, the error-free time and the bit error ratio.
std::string MonitorLine(const ErrorMonitor& monitor, double pixelClockMHz);
// The same as one JSON object on one line.
std::string MonitorJson(const ErrorMonitor& monitor, double pixelClockMHz);

// A header and one row per point measured: channel, gain, hysteresis, seconds, the three
// links' errors, whether each ran full, the worst link's bit error ratio and whether the row
// is the recommendation. CR LF line ends.
std::string SweepCsv(const SweepResult& result);
// The map as text: a row per hysteresis, a column per gain, each cell the three links'
// errors together ("255+" when a counter ran full, "." not measured), then the
// recommendation.
std::string SweepMapText(const SweepResult& result);
// The settings, every point and the recommendation as one JSON object.
std::string SweepJson(const SweepResult& result);

}  // namespace vrq::margin
