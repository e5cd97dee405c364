#include "margin/margin_text.h"

#include <algorithm>
#include <charconv>
#include <chrono>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <ctime>
#include <limits>

#include "margin/json_reader.h"

namespace vrq::margin {

namespace {

constexpr const char* kSweepFormat = "vrq66208a-sweep";
constexpr const char* kPointFormat = "vrq66208a-sweep-point";

std::string Format(const char* format, ...) __attribute__((format(printf, 1, 2)));

std::string Format(const char* format, ...) {
    char text[256];
    va_list args;
    va_start(args, format);
    std::vsnprintf(text, sizeof text, format, args);
    va_end(args);
    return text;
}

// A number as the C locale writes it, whatever locale the program runs in (a window sets the
// user's, where a decimal comma would break the CSV and the JSON).
std::string Number(double value, std::chars_format form, int digits) {
    char text[64];
    const auto end = std::to_chars(text, text + sizeof text, value, form, digits).ptr;
    return std::string(text, end);
}
std::string Fixed(double value, int digits) {
    return Number(value, std::chars_format::fixed, digits);
}
std::string Scientific(double value, int digits) {
    return Number(value, std::chars_format::scientific, digits);
}
// A ratio in JSON: null for an unbounded one.
std::string JsonRatio(double value) {
    return std::isfinite(value) ? Scientific(value, 6) : std::string("null");
}

const char* KindName(ErrorRatio::Kind kind) {
    switch (kind) {
        case ErrorRatio::Kind::AtLeast:
            return "at least";
        case ErrorRatio::Kind::UpperBound:
            return "upper bound 95%";
        case ErrorRatio::Kind::Measured:
            break;
    }
    return "measured";
}

const char* FigureKindName(BerFigure::Kind kind) {
    switch (kind) {
        case BerFigure::Kind::AtLeast:
            return "at least";
        case BerFigure::Kind::UpperBound:
            return "upper bound";
        case BerFigure::Kind::Measured:
            break;
    }
    return "measured";
}

const char* VerdictKey(Verdict verdict) {
    switch (verdict) {
        case Verdict::Pass:
            return "pass";
        case Verdict::Fail:
            return "fail";
        case Verdict::Short:
            return "short";
        case Verdict::NotMeasured:
            break;
    }
    return "not-measured";
}

const char* Bool(bool b) {
    return b ? "true" : "false";
}

std::string HysteresisName(device::Hysteresis h) {
    return std::string(device::HysteresisText(h));
}

std::string PercentText(double confidence) {
    return Number(confidence * 100.0, std::chars_format::general, 4) + "%";
}

std::string FigureJson(const std::optional<BerFigure>& figure) {
    if (!figure) {
        return "null";
    }
    return Format("{\"kind\":\"%s\",\"value\":", FigureKindName(figure->kind)) +
           JsonRatio(figure->value) + ",\"lower\":" + JsonRatio(figure->lower) +
           ",\"upper\":" + JsonRatio(figure->upper) + "}";
}

std::string UncountedJson(const Tally& tally) {
    std::string json = "{";
    for (int i = 0; i < kUncountedKinds; ++i) {
        const double seconds = tally.uncounted[static_cast<std::size_t>(i)];
        if (seconds > 0.0) {
            json += (json.size() > 1 ? "," : "") +
                    ("\"" + UncountedKey(static_cast<Uncounted>(i)) + "\":" + Fixed(seconds, 6));
        }
    }
    return json + "}";
}

std::string PointFields(const PointResult& point) {
    const Tally& t = point.tally;
    return Format("\"gain\":%u,\"hysteresis\":\"%s\",\"seconds\":", point.point.gain,
                  HysteresisName(point.point.hysteresis).c_str()) +
           Fixed(t.seconds, 6) + ",\"wallSeconds\":" + Fixed(point.wallSeconds, 6) +
           Format(",\"errors\":[%llu,%llu,%llu],\"atLeast\":[%s,%s,%s],\"uncounted\":",
                  static_cast<unsigned long long>(t.links[0].errors),
                  static_cast<unsigned long long>(t.links[1].errors),
                  static_cast<unsigned long long>(t.links[2].errors), Bool(t.links[0].atLeast),
                  Bool(t.links[1].atLeast), Bool(t.links[2].atLeast)) +
           UncountedJson(t) +
           Format(",\"measurements\":%d,\"stoppedEarly\":%s,\"verdict\":\"%s\",\"ber\":",
                  point.measurements, Bool(point.stoppedEarly), VerdictKey(point.verdict)) +
           FigureJson(point.figure);
}

std::string SettingPoint(const SweepPoint& point) {
    return Format("{\"gain\":%u,\"hysteresis\":\"%s\"}", point.gain,
                  HysteresisName(point.hysteresis).c_str());
}

}  // namespace

std::string RecommendationJson(const std::optional<Recommendation>& r) {
    if (!r) {
        return "null";
    }
    auto margin = [](const std::optional<int>& m) {
        return m ? std::to_string(*m) : std::string("null");
    };
    std::string json =
        Format("{\"gain\":%u,\"hysteresis\":\"%s\",\"windowFirst\":%u,\"windowLast\":%u,",
               r->point.gain, HysteresisName(r->point.hysteresis).c_str(), r->windowFirst,
               r->windowLast) +
        "\"marginBelow\":" + margin(r->marginBelow) + ",\"marginAbove\":" + margin(r->marginAbove) +
        Format(",\"reachesBottom\":%s,\"reachesTop\":%s,\"bound\":", Bool(!r->marginBelow),
               Bool(!r->marginAbove)) +
        FigureJson(r->bound) + ",\"equallyGood\":[";
    for (std::size_t i = 0; i < r->equallyGood.size(); ++i) {
        json += (i > 0 ? "," : "") + SettingPoint(r->equallyGood[i]);
    }
    return json + "]}";
}

namespace {

std::string SettingsJson(const SweepSettings& s) {
    return Format("{\"channel\":\"%c\",\"characterRateMHz\":", device::ChannelLetter(s.channel)) +
           Number(s.characterRateMHz, std::chars_format::general, 10) +
           ",\"targetBer\":" + Scientific(s.Target(), 6) +
           Format(",\"targetGiven\":%s,\"confidence\":", Bool(s.targetBer.has_value())) +
           Number(s.confidence, std::chars_format::general, 10) +
           ",\"dwellSeconds\":" + Fixed(s.DwellSeconds(), 6) +
           Format(
               ",\"dwellFixed\":%s,\"crossHysteresis\":%s,\"stopAfterErrors\":%d,"
               "\"measureAgain\":%s}",
               Bool(s.dwell.has_value()), Bool(s.crossHysteresis), s.stopAfterErrors,
               Bool(s.measureAgain));
}

}  // namespace

std::string MapCellText(const PointResult* point) {
    if (point == nullptr) {
        return ".";
    }
    switch (point->verdict) {
        case Verdict::Pass:
            return point->measurements > 1 ? "ok*" : "ok";
        case Verdict::NotMeasured:
            return "n/c";
        case Verdict::Short:
            return "<" + Scientific(point->figure->upper, 0);
        case Verdict::Fail:
            break;
    }
    const std::string value = Scientific(point->figure->value, 0);
    return point->figure->kind == BerFigure::Kind::AtLeast ? ">" + value : value;
}

std::string JsonQuoted(std::string_view text) {
    std::string quoted = "\"";
    for (const char c : text) {
        switch (c) {
            case '"':
                quoted += "\\\"";
                break;
            case '\\':
                quoted += "\\\\";
                break;
            case '\n':
                quoted += "\\n";
                break;
            case '\r':
                quoted += "\\r";
                break;
            case '\t':
                quoted += "\\t";
                break;
            default:
                if (static_cast<unsigned char>(c) < 0x20) {
                    quoted += Format("\\u%04x", static_cast<unsigned>(c));
                } else {
                    quoted += c;
                }
        }
    }
    return quoted + "\"";
}

std::string ScientificText(double value, int digits) {
    return Scientific(value, digits);
}
std::string FixedText(double value, int digits) {
    return Fixed(value, digits);
}
std::string GeneralText(double value, int digits) {
    return Number(value, std::chars_format::general, digits);
}

std::string RecommendationLine(const SweepResult& result) {
    if (!result.complete) {
        return result.failure.empty() ? "Not finished: nothing recommended."
                                      : "Stopped (" + result.failure + "): nothing recommended.";
    }
    if (!result.recommendation) {
        return "No setting showed a ratio below " + Scientific(result.settings.Target(), 1) +
               ": nothing recommended.";
    }
    const Recommendation& r = *result.recommendation;
    auto side = [](const std::optional<int>& m) {
        return m ? std::to_string(*m) : std::string("unmeasured");
    };
    return "Recommended: " + PointText(r.point) + "; margin " + side(r.marginBelow) + " below, " +
           side(r.marginAbove) +
           Format(" above (window 0x%X to 0x%X)", r.windowFirst, r.windowLast) +
           (r.equallyGood.empty() ? "" : "; ties: see the map") + ".";
}

std::string CountText(std::uint64_t errors, bool atLeast) {
    const std::string number = std::to_string(errors);
    return atLeast ? "at least " + number : number;
}

std::string ErrorRatioText(const std::optional<ErrorRatio>& ratio) {
    if (!ratio) {
        return "no data";
    }
    const std::string value = Scientific(ratio->value, 1);
    switch (ratio->kind) {
        case ErrorRatio::Kind::AtLeast:
            return "at least " + value;
        case ErrorRatio::Kind::UpperBound:
            return "below " + value + " (95% upper bound, no errors)";
        case ErrorRatio::Kind::Measured:
            break;
    }
    return value;
}

std::string BerText(const std::optional<BerFigure>& figure) {
    if (!figure) {
        return "not measured";
    }
    switch (figure->kind) {
        case BerFigure::Kind::UpperBound:
            return "below " + Scientific(figure->upper, 1);
        case BerFigure::Kind::AtLeast:
            return "at least " + Scientific(figure->lower, 1);
        case BerFigure::Kind::Measured:
            break;
    }
    return Scientific(figure->value, 1) + " (" + Scientific(figure->lower, 1) + " to " +
           Scientific(figure->upper, 1) + ")";
}

std::string DurationText(double seconds) {
    seconds = std::max(0.0, seconds);
    if (seconds > 0.0 && seconds < 0.1) {
        // A short dwell (a loose target at a high rate) would otherwise read "0.0 s".
        const double ms = std::floor(seconds * 1e4) / 10.0;
        return ms > 0.0 ? Fixed(ms, 1) + " ms" : "under 0.1 ms";
    }
    if (seconds < 60.0) {
        return Fixed(std::floor(seconds * 10.0) / 10.0, 1) + " s";
    }
    const auto whole = static_cast<long>(seconds);
    if (whole < 3600) {
        return Format("%ld min %ld s", whole / 60, whole % 60);
    }
    return Format("%ld h %02ld min", whole / 3600, whole % 3600 / 60);
}

std::string PointText(const SweepPoint& point) {
    return Format("gain 0x%X, hysteresis %s", point.gain, HysteresisName(point.hysteresis).c_str());
}

std::string VerdictText(Verdict verdict) {
    switch (verdict) {
        case Verdict::Pass:
            return "pass";
        case Verdict::Fail:
            return "fail";
        case Verdict::Short:
            return "too short";
        case Verdict::NotMeasured:
            break;
    }
    return "not measured";
}

std::string UncountedText(const Tally& tally) {
    std::string text;
    for (int i = 0; i < kUncountedKinds; ++i) {
        const double seconds = tally.uncounted[static_cast<std::size_t>(i)];
        if (seconds > 0.0) {
            text += (text.empty() ? "; not counted: " : ", ") + DurationText(seconds) + " (" +
                    UncountedText(static_cast<Uncounted>(i)) + ")";
        }
    }
    return text;
}

std::string PrbsHint() {
    return "is the source sending PRBS7 on all three data links? The checker counts errors "
           "against PRBS7 only: ordinary video runs the counters full at every setting";
}

std::string ObstacleText(SweepObstacle obstacle, const LinkState& state, int channel) {
    const char letter = device::ChannelLetter(channel);
    switch (obstacle) {
        case SweepObstacle::PoweredDown:
            return "the chip is powered down (register 0x02 bit 5): its inputs are open, so "
                   "nothing would be measured";
        case SweepObstacle::NotSelected:
            return Format(
                "channel %c is not the selected channel: register 0x02 selects channel %c, and "
                "the error counters count the selected channel only",
                letter, device::ChannelLetter(state.Selected()));
        case SweepObstacle::NoClock:
            return Format(
                       "channel %c shows no TMDS clock (register 0x01): the checker counts "
                       "nothing without one; ",
                       letter) +
                   PrbsHint();
        case SweepObstacle::None:
            break;
    }
    return {};
}

std::string SweepPlanText(const SweepSettings& settings, std::size_t points) {
    const double dwell = settings.DwellSeconds();
    std::string text =
        Format("Channel %c: %zu points of up to %s", device::ChannelLetter(settings.channel),
               points, DurationText(dwell).c_str());
    text += settings.dwell && !settings.targetBer ? " (a fixed dwell: it shows" : " (shows";
    text += " a bit error ratio below " + Scientific(settings.Target(), 1) + " with " +
            PercentText(settings.confidence) + " confidence at " +
            Number(settings.characterRateMHz, std::chars_format::general, 6) +
            " MHz TMDS characters), at most " + DurationText(dwell * static_cast<double>(points)) +
            ".";
    if (settings.dwell && settings.targetBer &&
        SecondsToShow(*settings.targetBer, settings.confidence, settings.characterRateMHz) >
            dwell) {
        text += " The dwell is too short to show the target: no point can pass.";
    }
    return text;
}

std::string RecommendationText(const SweepResult& result) {
    if (!result.complete) {
        return "No recommendation: the sweep did not finish.";
    }
    const std::string target = Scientific(result.settings.Target(), 1);
    if (!result.recommendation) {
        std::string text = "No recommendation: no setting at hysteresis " +
                           HysteresisName(result.current.hysteresis) + " showed a ratio below " +
                           target + ".";
        if (result.otherHysteresis) {
            text += " At hysteresis " + HysteresisName(result.otherHysteresis->point.hysteresis) +
                    ", " + PointText(result.otherHysteresis->point) +
                    " passed; hysteresis is shared by all four inputs: --apply-hysteresis sets it.";
        }
        return text;
    }
    const Recommendation& r = *result.recommendation;
    auto side = [](const std::optional<int>& m, const char* where) {
        return m ? std::to_string(*m) + (*m == 1 ? " step " : " steps ") + where
                 : std::string("unmeasured ") + where;
    };
    std::string text = "Recommended: " + PointText(r.point) +
                       Format(" (passing from 0x%X to 0x%X; margin ", r.windowFirst, r.windowLast) +
                       side(r.marginBelow, "below") + ", " + side(r.marginAbove, "above") + "; " +
                       BerText(r.bound) + ", target " + target + ").";
    if (!r.marginBelow) {
        text += " The window reaches 0x0: the margin below is unmeasured.";
    }
    if (!r.marginAbove) {
        text += " The window reaches 0xF: the margin above is unmeasured.";
    }
    if (!r.equallyGood.empty()) {
        text += " As good by margin:";
        for (std::size_t i = 0; i < r.equallyGood.size(); ++i) {
            text += (i > 0 ? "; " : " ") + PointText(r.equallyGood[i]);
        }
        text += ".";
    }
    if (result.otherHysteresis) {
        text += " Hysteresis " + HysteresisName(result.otherHysteresis->point.hysteresis) +
                " gives a wider margin (" + PointText(result.otherHysteresis->point) +
                "), but hysteresis is shared by all four inputs: --apply-hysteresis sets it.";
    }
    return text;
}

std::string WallClockNow() {
    const auto now = std::chrono::system_clock::now();
    const std::time_t seconds = std::chrono::system_clock::to_time_t(now);
    const auto millis =
        std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count() %
        1000;
    std::tm utc{};
    gmtime_r(&seconds, &utc);
    char text[40];
    std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S", &utc);
    return Format("%s.%03lldZ", text, static_cast<long long>(millis));
}

namespace {

std::string StateText(const SegmentState& s) {
    std::string text =
        Format("channel %c, gain 0x%X, hysteresis %s", device::ChannelLetter(s.channel), s.gain,
               HysteresisName(s.hysteresis).c_str());
    if (s.poweredDown) {
        text += ", powered down";
    }
    if (!s.clockActive) {
        text += ", no TMDS clock";
    }
    if (!s.checkerOn) {
        text += ", checker off";
    }
    return text;
}

}  // namespace

std::string MonitorLine(const ErrorMonitor& monitor, double characterRateMHz) {
    const auto& rates = monitor.Rates();
    const auto& segment = monitor.Current();
    std::string line =
        !segment ? std::string("no reading yet") : Fixed(monitor.LatestT(), 1) + " s";
    if (segment) {
        line += Format(" | segment %d: ", segment->number) + StateText(segment->state);
        if (segment->why) {
            line += " | not counted: " + vrq::margin::UncountedText(*segment->why);
        }
    }
    for (std::size_t link = 0; link < monitor.Links().size(); ++link) {
        const LinkTotals& totals = monitor.Links()[link];
        line += Format(" | link %zu: ", link);
        if (!rates.empty() && rates.back().covered[link]) {
            const double perSecond = rates.back().perSecond[link];
            line += (rates.back().atLeast[link] ? "at least " : "") + Fixed(perSecond, 1) +
                    " errors/s, ";
        }
        line += "total " + CountText(totals.errors, totals.atLeast) + ", error-free " +
                DurationText(totals.errorFreeSeconds) + ", BER " +
                ErrorRatioText(BitErrorRatio(totals, characterRateMHz));
    }
    if (segment) {
        line += UncountedText(segment->tally);
    }
    return line;
}

std::string MonitorJson(const ErrorMonitor& monitor, double characterRateMHz,
                        std::string_view wallClock) {
    const auto& rates = monitor.Rates();
    const auto& segment = monitor.Current();
    std::string json = "{\"t\":" + (!segment ? std::string("null") : Fixed(monitor.LatestT(), 3));
    if (!wallClock.empty()) {
        json += ",\"time\":\"" + std::string(wallClock) + "\"";
    }
    json += Format(",\"checkerOff\":%s", Bool(monitor.CheckerOff()));
    if (segment) {
        const SegmentState& s = segment->state;
        json += Format(
                    ",\"segment\":%d,\"state\":{\"channel\":\"%c\",\"gain\":%u,\"hysteresis\":"
                    "\"%s\",\"poweredDown\":%s,\"clockActive\":%s,\"checkerOn\":%s}",
                    segment->number, device::ChannelLetter(s.channel), s.gain,
                    HysteresisName(s.hysteresis).c_str(), Bool(s.poweredDown), Bool(s.clockActive),
                    Bool(s.checkerOn)) +
                ",\"segmentFrom\":" + Fixed(segment->from, 3) +
                ",\"counted\":" + Fixed(segment->tally.seconds, 3) +
                ",\"uncounted\":" + UncountedJson(segment->tally) + ",\"notCountedWhy\":" +
                (segment->why ? "\"" + UncountedKey(*segment->why) + "\"" : std::string("null"));
    }
    json += ",\"links\":[";
    for (std::size_t link = 0; link < monitor.Links().size(); ++link) {
        const LinkTotals& totals = monitor.Links()[link];
        const bool fresh = !rates.empty() && rates.back().covered[link];
        json += link > 0 ? "," : "";
        json += Format("{\"link\":%zu,\"perSecond\":", link);
        json += fresh ? Fixed(rates.back().perSecond[link], 3) : "null";
        json += Format(",\"atLeast\":%s", Bool(fresh && rates.back().atLeast[link]));
        json += Format(",\"total\":%llu,\"totalAtLeast\":%s,\"seconds\":",
                       static_cast<unsigned long long>(totals.errors), Bool(totals.atLeast));
        json += Fixed(totals.seconds, 3) +
                ",\"errorFreeSeconds\":" + Fixed(totals.errorFreeSeconds, 3) + ",\"ber\":";
        const auto ratio = BitErrorRatio(totals, characterRateMHz);
        json += ratio ? Scientific(ratio->value, 3) +
                            Format(",\"berKind\":\"%s\"}", KindName(ratio->kind))
                      : std::string("null,\"berKind\":null}");
    }
    return json + "]}";
}

std::string SweepCsvHeader() {
    return "channel,gain,hysteresis,seconds,link0_errors,link1_errors,link2_errors,link0_full,"
           "link1_full,link2_full,ber,ber_low,ber_high,ber_kind,verdict,uncounted_seconds,"
           "measurements\r\n";
}

std::string SweepCsvRow(const SweepResult& result, const PointResult& point) {
    std::string csv = Format("%c,0x%X,%s,", device::ChannelLetter(result.settings.channel),
                             point.point.gain, HysteresisName(point.point.hysteresis).c_str()) +
                      Fixed(point.tally.seconds, 3);
    for (const LinkCount& link : point.tally.links) {
        csv += Format(",%llu", static_cast<unsigned long long>(link.errors));
    }
    for (const LinkCount& link : point.tally.links) {
        csv += link.atLeast ? ",1" : ",0";
    }
    if (point.figure) {
        const BerFigure& f = *point.figure;
        auto ratio = [](double v) { return std::isfinite(v) ? Scientific(v, 3) : std::string(); };
        csv += "," + ratio(f.value) + "," + ratio(f.lower) + "," + ratio(f.upper) + "," +
               FigureKindName(f.kind);
    } else {
        csv += ",,,,";
    }
    return csv + Format(",%s,", VerdictKey(point.verdict)) +
           Fixed(point.tally.UncountedSeconds(), 3) + Format(",%d\r\n", point.measurements);
}

std::string SweepCsv(const SweepResult& result) {
    std::string csv = SweepCsvHeader();
    for (const PointResult& point : result.points) {
        csv += SweepCsvRow(result, point);
    }
    return csv;
}

std::string SweepMapText(const SweepResult& result) {
    const SweepSettings& s = result.settings;
    std::string text = Format("Channel %c, target ", device::ChannelLetter(s.channel)) +
                       Scientific(s.Target(), 1) + " at " + PercentText(s.confidence) + ", up to " +
                       DurationText(s.DwellSeconds()) +
                       " a point: the worst link's bit error ratio (ok: passed, *: measured "
                       "twice, <: no error but too short, >: at least, n/c: not counted)\n";
    text += "gain    ";
    for (int gain = 0; gain <= device::kMaxGain; ++gain) {
        text += Format("%7X", gain);
    }
    text += "\n";
    std::vector<device::Hysteresis> rows;
    for (const SweepPoint& point : result.plan) {
        if (std::find(rows.begin(), rows.end(), point.hysteresis) == rows.end()) {
            rows.push_back(point.hysteresis);
        }
    }
    for (const device::Hysteresis row : rows) {
        text += Format("%-8s", HysteresisName(row).c_str());
        for (int gain = 0; gain <= device::kMaxGain; ++gain) {
            const SweepPoint at{static_cast<std::uint8_t>(gain), row};
            const auto found = std::find_if(result.points.begin(), result.points.end(),
                                            [&](const PointResult& p) { return p.point == at; });
            text += Format("%7s",
                           MapCellText(found == result.points.end() ? nullptr : &*found).c_str());
        }
        text += "\n";
    }
    Tally all;
    for (const PointResult& point : result.points) {
        all.Add(point.tally);
    }
    const std::string uncounted = UncountedText(all);
    if (!uncounted.empty()) {
        text += "Time" + uncounted.substr(1) + "\n";
    }
    return text + RecommendationText(result) + "\n";
}

std::string SweepJson(const SweepResult& result) {
    std::string json =
        Format("{\"format\":\"%s\",\"version\":%d,\"settings\":", kSweepFormat, kSweepJsonVersion) +
        SettingsJson(result.settings) + ",\"current\":" + SettingPoint(result.current) +
        Format(",\"complete\":%s,\"failure\":", Bool(result.complete));
    json += result.failure.empty() ? "null" : JsonQuoted(result.failure);
    json += ",\"points\":[";
    for (std::size_t i = 0; i < result.points.size(); ++i) {
        json += (i > 0 ? ",{" : "{") + PointFields(result.points[i]) + "}";
    }
    json += "],\"recommendation\":" + RecommendationJson(result.recommendation) +
            ",\"otherHysteresis\":" + RecommendationJson(result.otherHysteresis);
    return json + "}";
}

std::string SweepPointJson(const SweepResult& result, const PointResult& point) {
    return Format("{\"format\":\"%s\",\"version\":%d,\"channel\":\"%c\",", kPointFormat,
                  kSweepJsonVersion, device::ChannelLetter(result.settings.channel)) +
           PointFields(point) + "}";
}

namespace {

// Reads what SweepJson writes; each helper says false when a member is missing or wrong.
class SweepReader {
  public:
    explicit SweepReader(std::string& error) : error_(error) {}

    bool Read(const JsonValue& doc, SweepResult& result) {
        const JsonValue* format = doc.Member("format");
        if (format == nullptr || format->String() == nullptr || *format->String() != kSweepFormat) {
            return Fail("not a sweep document (\"format\" is not \"vrq66208a-sweep\")");
        }
        double version = 0;
        if (!Num(doc, "version", version) || version != kSweepJsonVersion) {
            return Fail("a sweep document of another version");
        }
        const JsonValue* settings = doc.Member("settings");
        if (settings == nullptr || !Settings(*settings, result.settings)) {
            return Fail(error_.empty() ? "bad settings" : error_);
        }
        const JsonValue* current = doc.Member("current");
        if (current == nullptr || !Point(*current, result.current)) {
            return Fail("bad current setting");
        }
        if (!Flag(doc, "complete", result.complete)) {
            return false;
        }
        if (const JsonValue* failure = doc.Member("failure"); failure && failure->String()) {
            result.failure = *failure->String();
        }
        result.plan = SweepPoints(result.settings.crossHysteresis, result.current.hysteresis);
        const JsonValue* points = doc.Member("points");
        if (points == nullptr || points->Items() == nullptr) {
            return Fail("no points");
        }
        for (const JsonValue& item : *points->Items()) {
            PointResult point;
            if (!PointResultOf(item, point)) {
                return false;
            }
            result.points.push_back(point);
        }
        return RecommendationOf(doc.Member("recommendation"), result.recommendation) &&
               RecommendationOf(doc.Member("otherHysteresis"), result.otherHysteresis);
    }

  private:
    bool Fail(const std::string& why) {
        error_ = why;
        return false;
    }
    bool Num(const JsonValue& object, const char* name, double& out) {
        const JsonValue* v = object.Member(name);
        if (v == nullptr || v->Number() == nullptr) {
            return Fail(std::string("\"") + name + "\" is missing or not a number");
        }
        out = *v->Number();
        return true;
    }
    bool Int(const JsonValue& object, const char* name, int& out) {
        double value = 0;
        if (!Num(object, name, value)) {
            return false;
        }
        out = static_cast<int>(value);
        return true;
    }
    bool Flag(const JsonValue& object, const char* name, bool& out) {
        const JsonValue* v = object.Member(name);
        if (v == nullptr || v->Bool() == nullptr) {
            return Fail(std::string("\"") + name + "\" is missing or not true or false");
        }
        out = *v->Bool();
        return true;
    }
    bool Hysteresis(const JsonValue& object, device::Hysteresis& out) {
        const JsonValue* v = object.Member("hysteresis");
        for (int h = 0; v && v->String() && h < device::kHysteresisCount; ++h) {
            if (*v->String() == HysteresisName(static_cast<device::Hysteresis>(h))) {
                out = static_cast<device::Hysteresis>(h);
                return true;
            }
        }
        return Fail("\"hysteresis\" is not off, 10 mV or 20 mV");
    }
    bool Point(const JsonValue& object, SweepPoint& out) {
        int gain = 0;
        if (!Int(object, "gain", gain) || gain < 0 || gain > device::kMaxGain) {
            return Fail("\"gain\" is not 0 to 15");
        }
        out.gain = static_cast<std::uint8_t>(gain);
        return Hysteresis(object, out.hysteresis);
    }
    bool Settings(const JsonValue& s, SweepSettings& out) {
        const JsonValue* channel = s.Member("channel");
        if (channel == nullptr || channel->String() == nullptr || channel->String()->size() != 1 ||
            (*channel->String())[0] < 'A' || (*channel->String())[0] > 'D') {
            return Fail("\"channel\" is not A to D");
        }
        out.channel = (*channel->String())[0] - 'A';
        double target = 0;
        double dwell = 0;
        bool targetGiven = false;
        bool dwellFixed = false;
        if (!Num(s, "characterRateMHz", out.characterRateMHz) || !Num(s, "targetBer", target) ||
            !Flag(s, "targetGiven", targetGiven) || !Num(s, "confidence", out.confidence) ||
            !Num(s, "dwellSeconds", dwell) || !Flag(s, "dwellFixed", dwellFixed) ||
            !Flag(s, "crossHysteresis", out.crossHysteresis) ||
            !Int(s, "stopAfterErrors", out.stopAfterErrors) ||
            !Flag(s, "measureAgain", out.measureAgain)) {
            return false;
        }
        if (targetGiven || !dwellFixed) {
            out.targetBer = target;
        }
        if (dwellFixed) {
            out.dwell = std::chrono::duration_cast<board::Clock::Duration>(
                std::chrono::duration<double>(dwell));
        }
        return true;
    }
    bool PointResultOf(const JsonValue& item, PointResult& out) {
        if (!Point(item, out.point) || !Num(item, "seconds", out.tally.seconds) ||
            !Num(item, "wallSeconds", out.wallSeconds) ||
            !Int(item, "measurements", out.measurements) ||
            !Flag(item, "stoppedEarly", out.stoppedEarly)) {
            return false;
        }
        const JsonValue* errors = item.Member("errors");
        const JsonValue* atLeast = item.Member("atLeast");
        if (errors == nullptr || atLeast == nullptr || errors->Items() == nullptr ||
            atLeast->Items() == nullptr || errors->Items()->size() != device::kLinkCount ||
            atLeast->Items()->size() != device::kLinkCount) {
            return Fail("a point's \"errors\" or \"atLeast\" is not three values");
        }
        for (std::size_t link = 0; link < device::kLinkCount; ++link) {
            const double* count = (*errors->Items())[link].Number();
            const bool* full = (*atLeast->Items())[link].Bool();
            if (count == nullptr || full == nullptr || *count < 0) {
                return Fail("a point's counts are not numbers and flags");
            }
            out.tally.links[link] = {static_cast<std::uint64_t>(*count), *full};
        }
        const JsonValue* verdict = item.Member("verdict");
        bool known = false;
        for (const Verdict v :
             {Verdict::Pass, Verdict::Fail, Verdict::Short, Verdict::NotMeasured}) {
            if (verdict && verdict->String() && *verdict->String() == VerdictKey(v)) {
                out.verdict = v;
                known = true;
            }
        }
        if (!known) {
            return Fail("a point's \"verdict\" is not pass, fail, short or not-measured");
        }
        out.figure = FigureOf(item.Member("ber"));
        if (const JsonValue* uncounted = item.Member("uncounted"); uncounted != nullptr) {
            const auto* object = std::get_if<JsonValue::Object>(&uncounted->value);
            for (const auto& [key, value] : object ? *object : JsonValue::Object{}) {
                const auto why = UncountedFromKey(key);
                if (!why || value.Number() == nullptr) {
                    return Fail("unknown reason \"" + key + "\" in \"uncounted\"");
                }
                out.tally.uncounted[static_cast<std::size_t>(*why)] = *value.Number();
            }
        }
        return true;
    }
    static std::optional<BerFigure> FigureOf(const JsonValue* v) {
        if (v == nullptr || v->IsNull()) {
            return std::nullopt;
        }
        BerFigure f;
        const JsonValue* kind = v->Member("kind");
        for (auto k :
             {BerFigure::Kind::Measured, BerFigure::Kind::AtLeast, BerFigure::Kind::UpperBound}) {
            if (kind && kind->String() && *kind->String() == FigureKindName(k)) {
                f.kind = k;
            }
        }
        auto ratio = [&](const char* name) {
            const JsonValue* x = v->Member(name);
            return x && x->Number() ? *x->Number() : std::numeric_limits<double>::infinity();
        };
        f.value = ratio("value");
        f.lower = ratio("lower");
        f.upper = ratio("upper");
        return f;
    }
    bool RecommendationOf(const JsonValue* v, std::optional<Recommendation>& out) {
        if (v == nullptr || v->IsNull()) {
            return true;
        }
        Recommendation r;
        int first = 0;
        int last = 0;
        if (!Point(*v, r.point) || !Int(*v, "windowFirst", first) || !Int(*v, "windowLast", last)) {
            return false;
        }
        r.windowFirst = static_cast<std::uint8_t>(first);
        r.windowLast = static_cast<std::uint8_t>(last);
        for (const auto& [name, margin] :
             {std::pair{"marginBelow", &r.marginBelow}, std::pair{"marginAbove", &r.marginAbove}}) {
            const JsonValue* m = v->Member(name);
            if (m != nullptr && m->Number() != nullptr) {
                *margin = static_cast<int>(*m->Number());
            }
        }
        r.bound = FigureOf(v->Member("bound"));
        if (const JsonValue* equal = v->Member("equallyGood"); equal && equal->Items()) {
            for (const JsonValue& item : *equal->Items()) {
                SweepPoint p;
                if (!Point(item, p)) {
                    return false;
                }
                r.equallyGood.push_back(p);
            }
        }
        out = r;
        return true;
    }

    std::string& error_;
};

}  // namespace

std::optional<SweepResult> ReadSweepJson(std::string_view text, std::string& error) {
    const auto doc = ParseJson(text, error);
    if (!doc) {
        return std::nullopt;
    }
    return ReadSweepJson(*doc, error);
}

std::optional<SweepResult> ReadSweepJson(const JsonValue& doc, std::string& error) {
    SweepResult result;
    if (!SweepReader(error).Read(doc, result)) {
        return std::nullopt;
    }
    return result;
}

}  // namespace vrq::margin
