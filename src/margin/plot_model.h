// What the link-margin plots show, worked out in plain C++ so that every front end draws the
// same picture from the same numbers: the bathtub (log10 of the bit error ratio against the
// gain code, a curve per link, a panel per hysteresis), the heat map (a row per hysteresis, a
// cell per gain, coloured by the worst link's ratio), and the monitor's history (errors per
// second on a log scale, with markers). The painter (ui/plot) only draws these; it computes
// nothing of its own, so these structures are all it needs to know of the engine.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace vrq::margin {

struct SweepResult;
struct SweepPoint;

enum class PlotMark : std::uint8_t {
    Measured,    // a ratio with its interval
    UpperBound,  // no error: below this (drawn open, with a down arrow)
    AtLeast,     // a counter ran full: at least this (drawn with an up arrow)
};

struct PlotPoint {
    double x = 0;  // the gain, or seconds
    double y = 0;  // log10 of the figure (the bound for an upper bound, the floor at least)
    double low = 0;
    double high = 0;  // log10 of the interval (Measured only)
    PlotMark mark = PlotMark::Measured;
};

struct PlotCurve {
    std::string label;
    int colour = 0;  // an index into the painter's palette: the same index, the same colour
    std::vector<PlotPoint> points;
};

struct BathtubPanel {
    std::string title;  // "hysteresis off"
    std::vector<PlotCurve> curves;
    // The passing gains around the recommended one (or the best of this panel).
    std::optional<int> windowFirst;
    std::optional<int> windowLast;
    std::optional<int> recommended;
    std::string recommendedText;  // "0x6: margin 2 below, 2 above"
    std::vector<int> ties;        // gains of this panel as good by margin
};

// Title lines, then the second line smaller: what the picture is, with what it was measured.
struct PlotCaption {
    std::string title;
    std::string subtitle;
    std::string footer;  // the recommendation, or why there is none
};

struct BathtubModel {
    PlotCaption caption;
    std::string xTitle;  // "receive equalization gain of channel A, register 0x07 bits 3:0"
    double targetLog10 = -9;
    std::string targetText;  // "target 1.0e-09"
    double yLow = -13;       // the axis, whole decades
    double yHigh = -3;
    std::vector<BathtubPanel> panels;
};

struct HeatCell {
    enum class Kind : std::uint8_t { NotMeasured, Pass, Short, Fail, AtLeast, Uncounted };
    Kind kind = Kind::NotMeasured;
    double log10 = 0;  // the worst link's figure (bound, value or floor)
    std::string text;  // what the cell reads ("1e-7", "<1e-9", ">3e-5", ...)
};

struct HeatRow {
    std::string label;            // "off", "10 mV", "20 mV"
    std::vector<HeatCell> cells;  // gain 0x0..0xF
    std::optional<int> windowFirst;
    std::optional<int> windowLast;
};

struct HeatMapModel {
    PlotCaption caption;
    std::string xTitle;  // "receive equalization gain, 0x07 bits 3:0"
    std::string yTitle;  // "input hysteresis, 0x03 bits 6:5"
    std::vector<HeatRow> rows;
    std::optional<std::pair<int, int>> recommended;  // row, gain
    std::vector<std::pair<int, int>> ties;           // row, gain
    std::optional<std::pair<int, int>> measuring;    // row, gain: the point under way
    std::string tieText;                             // "tie: 0x5 and 0x6 ... chosen because"
    double targetLog10 = -9;
    double scaleHigh = -3;  // the colour scale's top (log10)
};

struct HistoryMarker {
    enum class Kind : std::uint8_t { SettingChanged, CounterFull, NotCounted };
    Kind kind = Kind::SettingChanged;
    double t = 0;
    std::string text;
};

struct HistoryModel {
    PlotCaption caption;
    std::vector<PlotCurve> links;  // x seconds, y log10 errors per second
    // Readings with no error, per link: drawn on the axis's zero line below the decades.
    std::vector<std::vector<double>> zeros;
    std::vector<HistoryMarker> markers;
    std::vector<std::pair<double, double>> uncounted;  // spans of time not counted
    double tFirst = 0;
    double tLast = 60;
    double yHigh = 3;  // log10 errors per second, whole decades; the axis starts at 10^0
};

// The axis's decades for log10 figures: whole numbers around them, at least two decades.
std::pair<double, double> DecadeRange(std::span<const double> log10s, double low, double high);

// The sweep of one channel as a bathtub and as a heat map. caption's title says what it is.
BathtubModel BathtubOf(const SweepResult& result, const PlotCaption& caption);
// measuring: the point under way, framed.
HeatMapModel HeatMapOf(const SweepResult& result, const PlotCaption& caption,
                       const SweepPoint* measuring = nullptr);
// Several runs of a channel over each other: a curve per run (its worst link), one panel.
BathtubModel OverlayOf(std::span<const SweepResult* const> runs,
                       std::span<const std::string> labels, const PlotCaption& caption);

// The x-axis title of a channel's gain: "receive equalization gain, 0x07 bits 3:0".
std::string GainAxisTitle(int channel);

}  // namespace vrq::margin
