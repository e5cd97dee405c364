// The link-margin results as text: the window's cells and labels, the CSV, the lines and
// JSON the command-line tool prints and saves, and the reader of a saved sweep. One wording
// for all of them.
//
// A sweep's JSON document is stable: "format" names it ("vrq66208a-sweep"), "version" its
// layout (kSweepJsonVersion), and it carries the settings, the rate, the target and
// confidence, every point with its counts, counted time, time not counted by reason, bound
// and verdict, the recommendation with its margins and flags, and the failure if any.
// ReadSweepJson parses it back. While a sweep runs, each point can be written as one line of
// its own ("format": "vrq66208a-sweep-point"), so that a run killed at any moment keeps what
// it measured.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "margin/error_monitor.h"
#include "margin/sweep.h"

namespace vrq::margin {

inline constexpr int kSweepJsonVersion = 1;

// Numbers as the C locale writes them, whatever locale the program runs in: "1.5e-09",
// "0.250", "148.5".
std::string ScientificText(double value, int digits);
std::string FixedText(double value, int digits);
std::string GeneralText(double value, int digits);

// A string as a JSON string, quoted, with what JSON escapes escaped.
std::string JsonQuoted(std::string_view text);

// "12", or "at least 255" for a count that ran full.
std::string CountText(std::uint64_t errors, bool atLeast);
// "2.1e-09", "at least 2.1e-09", "below 3.0e-12 (95% upper bound, no errors)"; "no data"
// when no time was covered.
std::string ErrorRatioText(const std::optional<ErrorRatio>& ratio);
// "2.1e-09 (1.2e-09 to 3.4e-09)", "at least 2.1e-07", "below 1.0e-09"; "not measured".
std::string BerText(const std::optional<BerFigure>& figure);
// "7.4 ms", "0.4 s", "59.9 s", "3 min 20 s", "2 h 05 min": floored, what was done so far.
std::string DurationText(double seconds);
// "gain 0x6, hysteresis off".
std::string PointText(const SweepPoint& point);
// "pass", "fail", "too short", "not measured".
std::string VerdictText(Verdict verdict);
// "; not counted: 0.3 s (the chip was powered down ...)", or "" when all time counted.
std::string UncountedText(const Tally& tally);

// The question to ask when the counters count nothing useful: "is the source sending PRBS7 on
// all three data links? ...".
std::string PrbsHint();
// Why a channel cannot be swept, as a sentence without its full stop.
std::string ObstacleText(SweepObstacle obstacle, const LinkState& state, int channel);

// What the sweep will do before it starts: "Channel A: 16 points of up to 2.0 s (shows a
// bit error ratio below 1.0e-09 with 95% confidence at 148.5 MHz), at most 32.3 s."
std::string SweepPlanText(const SweepSettings& settings, std::size_t points);
// The recommendation with its margins and flags, the other hysteresis when better, or why
// there is none.
std::string RecommendationText(const SweepResult& result);

// One line per poll: the time, the segment's state, then per link the errors per second of
// the latest reading, the total, the error-free time and the bit error ratio; and the time
// not counted, with why.
std::string MonitorLine(const ErrorMonitor& monitor, double characterRateMHz);
// The same as one JSON object on one line; wallClock (ISO 8601) when given.
std::string MonitorJson(const ErrorMonitor& monitor, double characterRateMHz,
                        std::string_view wallClock = {});
// "2026-03-15T10:04:05.123Z": the system clock now.
std::string WallClockNow();

// A header and one row per point measured: channel, gain, hysteresis, counted seconds, the
// three links' errors and whether each ran full, the worst link's ratio with its interval,
// kind and verdict, time not counted, measurements. CR LF line ends.
std::string SweepCsvHeader();
std::string SweepCsvRow(const SweepResult& result, const PointResult& point);
std::string SweepCsv(const SweepResult& result);
// The map as text: a row per hysteresis, a column per gain, each cell the worst link's ratio
// ("ok" passed, "<2e-9" no error but too short, ">3e-7" a floor, "." not measured), then the
// recommendation.
std::string SweepMapText(const SweepResult& result);
// A map cell: "ok", "ok*" measured twice, "<2e-09" no error but too short, ">3e-07" a floor,
// "n/c" not counted, "." not measured (null).
std::string MapCellText(const PointResult* point);
// One line for a plot's foot: "Recommended: gain 0x6, hysteresis off; margin 2 below, 2 above
// (window 0x4 to 0x8)", or why nothing is.
std::string RecommendationLine(const SweepResult& result);
// A recommendation as the sweep's document has it ("null" for none).
std::string RecommendationJson(const std::optional<Recommendation>& r);
// Everything as one JSON document on one line.
std::string SweepJson(const SweepResult& result);
// One point as a line of its own while the sweep runs.
std::string SweepPointJson(const SweepResult& result, const PointResult& point);
// A document SweepJson wrote, back; nullopt, with the reason in error, for anything else.
std::optional<SweepResult> ReadSweepJson(std::string_view text, std::string& error);
struct JsonValue;
std::optional<SweepResult> ReadSweepJson(const JsonValue& doc, std::string& error);

}  // namespace vrq::margin
