#include "margin/margin_text.h"

#include <algorithm>
#include <charconv>
#include <chrono>
#include <cmath>
#include <cstdarg>
#include <cstdio>

namespace vrq::margin {

namespace {

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

const char* Bool(bool b) {
    return b ? "true" : "false";
}

std::string HysteresisName(device::Hysteresis h) {
    return std::string(device::HysteresisText(h));
}

// The link with the most errors decides a point's ratio.
std::optional<ErrorRatio> WorstRatio(const PointResult& point, double pixelClockMHz) {
    std::size_t worst = 0;
    for (std::size_t link = 1; link < point.errors.size(); ++link) {
        if (point.errors[link] > point.errors[worst]) {
            worst = link;
        }
    }
    return BitErrorRatio(point.errors[worst], point.atLeast[worst], point.seconds, pixelClockMHz);
}

std::string DwellText(const SweepSettings& settings) {
    return Fixed(std::chrono::duration<double>(settings.dwell).count(), 1) + " s";
}

}  // namespace

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

std::string DurationText(double seconds) {
    seconds = std::max(0.0, seconds);
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

std::string RecommendationText(const SweepResult& result) {
    if (!result.complete) {
        return "No recommendation: the sweep did not finish.";
    }
    if (!result.recommendation) {
        return "No recommendation: no setting was free of errors.";
    }
    const Recommendation& r = *result.recommendation;
    return "Recommended: " + PointText(r.point) +
           Format(" (error-free from 0x%X to 0x%X)", r.windowFirst, r.windowLast);
}

std::string MonitorLine(const ErrorMonitor& monitor, double pixelClockMHz) {
    const auto& rates = monitor.Rates();
    std::string line =
        rates.empty() ? std::string("no reading yet") : Fixed(rates.back().t, 1) + " s";
    if (monitor.CheckerOff()) {
        line += " | the checker is off";
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
                ErrorRatioText(BitErrorRatio(totals, pixelClockMHz));
    }
    return line;
}

std::string MonitorJson(const ErrorMonitor& monitor, double pixelClockMHz) {
    const auto& rates = monitor.Rates();
    std::string json = "{\"t\":" + (rates.empty() ? std::string("null") : Fixed(rates.back().t, 3));
    json += Format(",\"checkerOff\":%s,\"links\":[", Bool(monitor.CheckerOff()));
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
        const auto ratio = BitErrorRatio(totals, pixelClockMHz);
        json += ratio ? Scientific(ratio->value, 3) +
                            Format(",\"berKind\":\"%s\"}", KindName(ratio->kind))
                      : std::string("null,\"berKind\":null}");
    }
    return json + "]}";
}

std::string SweepCsv(const SweepResult& result) {
    std::string csv =
        "channel,gain,hysteresis,seconds,link0_errors,link1_errors,link2_errors,link0_full,"
        "link1_full,link2_full,ber,ber_kind,recommended\r\n";
    const char channel = device::ChannelLetter(result.settings.channel);
    for (const PointResult& point : result.points) {
        csv += Format("%c,0x%X,%s,", channel, point.point.gain,
                      HysteresisName(point.point.hysteresis).c_str()) +
               Fixed(point.seconds, 3);
        for (const auto errors : point.errors) {
            csv += Format(",%u", errors);
        }
        for (const bool full : point.atLeast) {
            csv += full ? ",1" : ",0";
        }
        const auto ratio = WorstRatio(point, result.settings.pixelClockMHz);
        csv += ratio ? "," + Scientific(ratio->value, 3) + "," + KindName(ratio->kind) : ",,";
        const bool recommended =
            result.recommendation && result.recommendation->point == point.point;
        csv += recommended ? ",1\r\n" : ",0\r\n";
    }
    return csv;
}

std::string SweepMapText(const SweepResult& result) {
    std::string text = Format(
        "Channel %c, dwell %s: errors per point, links 0+1+2 (+: a counter "
        "ran full)\n",
        device::ChannelLetter(result.settings.channel), DwellText(result.settings).c_str());
    text += "gain    ";
    for (int gain = 0; gain <= device::kMaxGain; ++gain) {
        text += Format("%6X", gain);
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
            std::string cell = ".";
            if (found != result.points.end()) {
                cell = std::to_string(found->Total()) + (found->AnyAtLeast() ? "+" : "");
            }
            text += Format("%6s", cell.c_str());
        }
        text += "\n";
    }
    return text + RecommendationText(result) + "\n";
}

std::string SweepJson(const SweepResult& result) {
    std::string json = Format("{\"channel\":\"%c\",\"dwellSeconds\":",
                              device::ChannelLetter(result.settings.channel)) +
                       Fixed(std::chrono::duration<double>(result.settings.dwell).count(), 3) +
                       ",\"pixelClockMHz\":" + Fixed(result.settings.pixelClockMHz, 3) +
                       Format(",\"complete\":%s,\"points\":[", Bool(result.complete));
    for (std::size_t i = 0; i < result.points.size(); ++i) {
        const PointResult& point = result.points[i];
        json += Format("%s{\"gain\":%u,\"hysteresis\":\"%s\",\"seconds\":", i > 0 ? "," : "",
                       point.point.gain, HysteresisName(point.point.hysteresis).c_str()) +
                Fixed(point.seconds, 3) +
                Format(",\"errors\":[%u,%u,%u],\"atLeast\":[%s,%s,%s]}", point.errors[0],
                       point.errors[1], point.errors[2], Bool(point.atLeast[0]),
                       Bool(point.atLeast[1]), Bool(point.atLeast[2]));
    }
    json += "],\"recommendation\":";
    if (result.recommendation) {
        const Recommendation& r = *result.recommendation;
        json += Format("{\"gain\":%u,\"hysteresis\":\"%s\",\"windowFirst\":%u,\"windowLast\":%u}",
                       r.point.gain, HysteresisName(r.point.hysteresis).c_str(), r.windowFirst,
                       r.windowLast);
    } else {
        json += "null";
    }
    return json + "}";
}

}  // namespace vrq::margin
