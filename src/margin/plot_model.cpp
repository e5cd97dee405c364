#include "margin/plot_model.h"

#include <algorithm>
#include <cmath>

#include "margin/margin_text.h"
#include "margin/sweep.h"

namespace vrq::margin {

namespace {

constexpr int kGains = device::kMaxGain + 1;
// The lowest ratio an axis shows: far below any target a bench can reach.
constexpr double kFloorLog10 = -18;

double Log10(double value) {
    return value > 0 && std::isfinite(value) ? std::log10(value) : kFloorLog10;
}

std::vector<device::Hysteresis> RowsOf(const SweepResult& result) {
    std::vector<device::Hysteresis> rows;
    for (const SweepPoint& point : result.plan) {
        if (std::find(rows.begin(), rows.end(), point.hysteresis) == rows.end()) {
            rows.push_back(point.hysteresis);
        }
    }
    if (rows.empty()) {
        rows.push_back(result.current.hysteresis);
    }
    return rows;
}

const PointResult* Find(const SweepResult& result, const SweepPoint& at) {
    for (const PointResult& point : result.points) {
        if (point.point == at) {
            return &point;
        }
    }
    return nullptr;
}

std::optional<PlotPoint> PointOf(double x, const std::optional<BerFigure>& figure) {
    if (!figure) {
        return std::nullopt;
    }
    PlotPoint p;
    p.x = x;
    switch (figure->kind) {
        case BerFigure::Kind::UpperBound:
            p.mark = PlotMark::UpperBound;
            p.y = p.low = p.high = Log10(figure->upper);
            break;
        case BerFigure::Kind::AtLeast:
            p.mark = PlotMark::AtLeast;
            p.y = p.low = p.high = Log10(figure->value);
            break;
        case BerFigure::Kind::Measured:
            p.y = Log10(figure->value);
            p.low = Log10(figure->lower);
            p.high = Log10(figure->upper);
            break;
    }
    return p;
}

// The recommendation shown in a row: the run's own where it stands in the row, the better
// one at another hysteresis, or the best the row has.
std::optional<Recommendation> RowBest(const SweepResult& result, device::Hysteresis row) {
    if (result.recommendation && result.recommendation->point.hysteresis == row) {
        return result.recommendation;
    }
    if (result.otherHysteresis && result.otherHysteresis->point.hysteresis == row) {
        return result.otherHysteresis;
    }
    return Recommend(result.points, result.current, {&row, 1});
}

std::string MarginsText(const Recommendation& r) {
    auto side = [](const std::optional<int>& m) {
        return m ? std::to_string(*m) : std::string("unmeasured");
    };
    return "margin " + side(r.marginBelow) + " below, " + side(r.marginAbove) + " above";
}

std::string GainText(int gain) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    return std::string("0x") + kDigits[gain & 0xF];
}

}  // namespace

std::pair<double, double> DecadeRange(std::span<const double> log10s, double low, double high) {
    for (const double v : log10s) {
        if (v > kFloorLog10) {
            low = std::min(low, std::floor(v));
            high = std::max(high, std::ceil(v));
        }
    }
    if (high - low < 2) {
        low = high - 2;
    }
    return {low, high};
}

std::string GainAxisTitle(int channel) {
    const bool high = device::EqualizerShift(channel) != 0;
    return std::string("receive equalization gain of channel ") + device::ChannelLetter(channel) +
           ", register " + (device::EqualizerRegister(channel) == 0x07 ? "0x07" : "0x08") +
           (high ? " bits 7:4" : " bits 3:0");
}

BathtubModel BathtubOf(const SweepResult& result, const PlotCaption& caption) {
    BathtubModel model;
    model.caption = caption;
    model.xTitle = GainAxisTitle(result.settings.channel);
    const double target = result.settings.Target();
    model.targetLog10 = Log10(target);
    model.targetText = "target " + ScientificText(target, 1);
    std::vector<double> all{model.targetLog10};
    const int chosenRow =
        result.recommendation ? static_cast<int>(result.recommendation->point.hysteresis) : -1;
    for (const device::Hysteresis row : RowsOf(result)) {
        BathtubPanel panel;
        panel.title = "hysteresis " + std::string(device::HysteresisText(row));
        for (int link = 0; link < device::kLinkCount; ++link) {
            PlotCurve curve;
            curve.label = "link " + std::to_string(link);
            curve.colour = link;
            for (int gain = 0; gain < kGains; ++gain) {
                const PointResult* p = Find(result, {static_cast<std::uint8_t>(gain), row});
                if (p == nullptr) {
                    continue;
                }
                const auto figure =
                    LinkFigure(p->tally.links[static_cast<std::size_t>(link)], p->tally.seconds,
                               result.settings.characterRateMHz, result.settings.confidence);
                if (const auto point = PointOf(gain, figure)) {
                    curve.points.push_back(*point);
                    all.push_back(point->y);
                    all.push_back(point->low);
                    all.push_back(point->high);
                }
            }
            panel.curves.push_back(std::move(curve));
        }
        if (result.complete) {
            if (const auto best = RowBest(result, row)) {
                panel.windowFirst = best->windowFirst;
                panel.windowLast = best->windowLast;
                const bool chosen = static_cast<int>(row) == chosenRow;
                const bool other =
                    result.otherHysteresis && result.otherHysteresis->point == best->point;
                if (chosen || other) {
                    panel.recommended = best->point.gain;
                    panel.recommendedText = (chosen ? "recommended " : "wider margin: ") +
                                            GainText(best->point.gain) + ", " + MarginsText(*best);
                    for (const SweepPoint& tie : best->equallyGood) {
                        if (tie.hysteresis == row) {
                            panel.ties.push_back(tie.gain);
                        }
                    }
                }
            }
        }
        model.panels.push_back(std::move(panel));
    }
    std::tie(model.yLow, model.yHigh) = DecadeRange(all, model.targetLog10 - 2, -3);
    return model;
}

HeatMapModel HeatMapOf(const SweepResult& result, const PlotCaption& caption,
                       const SweepPoint* measuring) {
    HeatMapModel model;
    model.caption = caption;
    model.xTitle = GainAxisTitle(result.settings.channel);
    model.yTitle = "input hysteresis, register 0x03 bits 6:5";
    model.targetLog10 = Log10(result.settings.Target());
    const std::vector<device::Hysteresis> rows = RowsOf(result);
    for (std::size_t r = 0; r < rows.size(); ++r) {
        HeatRow row;
        row.label = std::string(device::HysteresisText(rows[r]));
        for (int gain = 0; gain < kGains; ++gain) {
            const SweepPoint at{static_cast<std::uint8_t>(gain), rows[r]};
            const PointResult* p = Find(result, at);
            HeatCell cell;
            cell.text = MapCellText(p);
            if (p != nullptr && p->figure) {
                const BerFigure& f = *p->figure;
                cell.log10 = Log10(f.kind == BerFigure::Kind::UpperBound ? f.upper : f.value);
            }
            if (p == nullptr) {
                cell.kind = HeatCell::Kind::NotMeasured;
                cell.text.clear();
            } else if (p->verdict == Verdict::Pass) {
                cell.kind = HeatCell::Kind::Pass;
            } else if (p->verdict == Verdict::Short) {
                cell.kind = HeatCell::Kind::Short;
            } else if (p->verdict == Verdict::NotMeasured) {
                cell.kind = HeatCell::Kind::Uncounted;
            } else {
                cell.kind = p->AnyAtLeast() ? HeatCell::Kind::AtLeast : HeatCell::Kind::Fail;
            }
            row.cells.push_back(cell);
            if (measuring != nullptr && *measuring == at) {
                model.measuring = {static_cast<int>(r), gain};
            }
        }
        if (result.complete) {
            if (const auto best = RowBest(result, rows[r])) {
                row.windowFirst = best->windowFirst;
                row.windowLast = best->windowLast;
            }
        }
        model.rows.push_back(std::move(row));
    }
    auto rowOf = [&](device::Hysteresis h) {
        return static_cast<int>(std::find(rows.begin(), rows.end(), h) - rows.begin());
    };
    if (result.complete && result.recommendation) {
        const Recommendation& r = *result.recommendation;
        model.recommended = {rowOf(r.point.hysteresis), r.point.gain};
        std::string ties;
        for (const SweepPoint& tie : r.equallyGood) {
            model.ties.emplace_back(rowOf(tie.hysteresis), tie.gain);
            ties += (ties.empty() ? "" : ", ") + GainText(tie.gain) + " (" +
                    std::string(device::HysteresisText(tie.hysteresis)) + ")";
        }
        if (!ties.empty()) {
            model.tieText = "Tie: " + ties + " as good by margin as " + GainText(r.point.gain) +
                            "; chosen by the tie-break (the setting in force, then the lower "
                            "failing neighbours, then the middle of the window).";
        }
    }
    std::vector<double> all;
    for (const PointResult& p : result.points) {
        if (p.figure) {
            all.push_back(Log10(p.figure->value));
        }
    }
    model.scaleHigh = DecadeRange(all, model.targetLog10, -3).second;
    return model;
}

BathtubModel OverlayOf(std::span<const SweepResult* const> runs,
                       std::span<const std::string> labels, const PlotCaption& caption) {
    BathtubModel model;
    model.caption = caption;
    model.xTitle = runs.empty() ? std::string("receive equalization gain")
                                : GainAxisTitle(runs.front()->settings.channel);
    BathtubPanel panel;
    std::vector<double> all;
    double target = 0;
    for (std::size_t i = 0; i < runs.size(); ++i) {
        const SweepResult& run = *runs[i];
        target = std::max(target, run.settings.Target());
        PlotCurve curve;
        curve.label = i < labels.size() ? labels[i] : "run " + std::to_string(i + 1);
        curve.colour = static_cast<int>(i);
        // The hysteresis of its recommendation (or the one in force): one curve per run.
        const device::Hysteresis row =
            run.recommendation ? run.recommendation->point.hysteresis : run.current.hysteresis;
        for (int gain = 0; gain < kGains; ++gain) {
            const PointResult* p = Find(run, {static_cast<std::uint8_t>(gain), row});
            if (p == nullptr) {
                continue;
            }
            if (const auto point = PointOf(gain, p->figure)) {
                curve.points.push_back(*point);
                all.push_back(point->y);
                all.push_back(point->high);
            }
        }
        panel.curves.push_back(std::move(curve));
    }
    if (runs.size() == 1 && runs[0]->recommendation) {
        panel.windowFirst = runs[0]->recommendation->windowFirst;
        panel.windowLast = runs[0]->recommendation->windowLast;
    }
    panel.title = "the worst link of each run";
    model.targetLog10 = Log10(target > 0 ? target : kDefaultTargetBer);
    model.targetText = "target " + ScientificText(target > 0 ? target : kDefaultTargetBer, 1);
    model.panels.push_back(std::move(panel));
    std::tie(model.yLow, model.yHigh) = DecadeRange(all, model.targetLog10 - 2, -3);
    return model;
}

}  // namespace vrq::margin
