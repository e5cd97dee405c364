#include "margin/monitor_history.h"

#include <algorithm>
#include <cmath>

#include "margin/margin_text.h"

namespace vrq::margin {

namespace {

std::string StateJson(const SegmentState& s) {
    const auto flag = [](bool b) { return b ? "true" : "false"; };
    return std::string("{\"channel\":\"") + device::ChannelLetter(s.channel) +
           "\",\"gain\":" + std::to_string(s.gain) + ",\"hysteresis\":\"" +
           std::string(device::HysteresisText(s.hysteresis)) +
           "\",\"poweredDown\":" + flag(s.poweredDown) + ",\"clockActive\":" + flag(s.clockActive) +
           ",\"checkerOn\":" + flag(s.checkerOn) + "}";
}

std::string StateLine(const SegmentState& s) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    return std::string("channel ") + device::ChannelLetter(s.channel) + ", gain 0x" +
           kDigits[s.gain & 0xF] + ", hysteresis " +
           std::string(device::HysteresisText(s.hysteresis));
}

}  // namespace

void MonitorHistory::Follow(const ErrorMonitor& monitor, const std::string& wallClock) {
    const auto& rates = monitor.Rates();
    const std::uint64_t fresh = monitor.RatesAdded() - seen_;
    seen_ = monitor.RatesAdded();
    const std::size_t take = static_cast<std::size_t>(std::min<std::uint64_t>(fresh, rates.size()));
    const auto& segment = monitor.Current();
    for (std::size_t i = rates.size() - take; i < rates.size(); ++i) {
        HistoryRecord record;
        record.wallClock = wallClock;
        record.rate = rates[i];
        if (segment) {
            record.segment = segment->number;
            record.state = segment->state;
            record.why = segment->why;
        }
        records_.push_back(std::move(record));
    }
}

void MonitorHistory::Clear() {
    records_.clear();
    seen_ = 0;
}

HistoryModel MonitorHistory::Model(const PlotCaption& caption, std::size_t columns) const {
    HistoryModel model;
    model.caption = caption;
    model.links.resize(device::kLinkCount);
    model.zeros.resize(device::kLinkCount);
    for (int link = 0; link < device::kLinkCount; ++link) {
        model.links[static_cast<std::size_t>(link)].label = "link " + std::to_string(link);
        model.links[static_cast<std::size_t>(link)].colour = link;
    }
    if (records_.empty()) {
        return model;
    }
    model.tFirst = records_.front().rate.t;
    model.tLast = std::max(records_.back().rate.t, model.tFirst + 10.0);
    const std::size_t bucket = std::max<std::size_t>(
        1, (records_.size() + columns - 1) / std::max<std::size_t>(1, columns));
    double top = 0;
    for (std::size_t from = 0; from < records_.size(); from += bucket) {
        const std::size_t to = std::min(records_.size(), from + bucket);
        for (std::size_t link = 0; link < model.links.size(); ++link) {
            const HistoryRecord* highest = nullptr;
            bool full = false;
            for (std::size_t r = from; r < to; ++r) {
                const RatePoint& p = records_[r].rate;
                if (!p.covered[link]) {
                    continue;
                }
                full = full || p.atLeast[link];
                if (highest == nullptr || p.perSecond[link] > highest->rate.perSecond[link]) {
                    highest = &records_[r];
                }
            }
            if (highest == nullptr) {
                continue;
            }
            const double perSecond = highest->rate.perSecond[link];
            if (perSecond <= 0) {
                model.zeros[link].push_back(highest->rate.t);
                continue;
            }
            PlotPoint point;
            point.x = highest->rate.t;
            point.y = point.low = point.high = std::log10(perSecond);
            point.mark = full ? PlotMark::AtLeast : PlotMark::Measured;
            top = std::max(top, point.y);
            model.links[link].points.push_back(point);
        }
    }
    model.yHigh = std::max(2.0, std::ceil(top));
    // Markers from the whole record, however thinned the curves are.
    const HistoryRecord* previous = nullptr;
    double uncountedFrom = 0;
    bool uncounting = false;
    for (const HistoryRecord& record : records_) {
        const double t = record.rate.t;
        if (previous != nullptr && record.segment != previous->segment) {
            model.markers.push_back(
                {HistoryMarker::Kind::SettingChanged, t, StateLine(record.state)});
        }
        const bool full = std::any_of(record.rate.atLeast.begin(), record.rate.atLeast.end(),
                                      [](bool b) { return b; });
        if (full && (previous == nullptr ||
                     std::none_of(previous->rate.atLeast.begin(), previous->rate.atLeast.end(),
                                  [](bool b) { return b; }))) {
            model.markers.push_back({HistoryMarker::Kind::CounterFull, t, "counter full"});
        }
        if (record.why && !uncounting) {
            uncounting = true;
            uncountedFrom = previous != nullptr ? previous->rate.t : t;
            model.markers.push_back(
                {HistoryMarker::Kind::NotCounted, t, "not counted: " + UncountedText(*record.why)});
        } else if (!record.why && uncounting) {
            model.uncounted.emplace_back(uncountedFrom, t);
            uncounting = false;
        }
        previous = &record;
    }
    if (uncounting) {
        model.uncounted.emplace_back(uncountedFrom, records_.back().rate.t);
    }
    return model;
}

std::string MonitorHistory::Csv() const {
    std::string csv =
        "time,t,segment,channel,gain,hysteresis,powered_down,clock_active,checker_on,counted,"
        "link0_per_second,link1_per_second,link2_per_second,link0_full,link1_full,link2_full,"
        "not_counted_why\r\n";
    for (const HistoryRecord& r : records_) {
        const SegmentState& s = r.state;
        csv += r.wallClock + "," + FixedText(r.rate.t, 3) + "," + std::to_string(r.segment) + "," +
               device::ChannelLetter(s.channel) + ",0x" + "0123456789ABCDEF"[s.gain & 0xF] + "," +
               std::string(device::HysteresisText(s.hysteresis)) + "," +
               (s.poweredDown ? "1" : "0") + "," + (s.clockActive ? "1" : "0") + "," +
               (s.checkerOn ? "1" : "0") + "," + (r.why ? "0" : "1");
        for (std::size_t link = 0; link < r.rate.covered.size(); ++link) {
            csv += "," + (r.rate.covered[link] ? FixedText(r.rate.perSecond[link], 3) : "");
        }
        for (std::size_t link = 0; link < r.rate.covered.size(); ++link) {
            csv += r.rate.atLeast[link] ? ",1" : ",0";
        }
        csv += "," + (r.why ? UncountedKey(*r.why) : std::string()) + "\r\n";
    }
    return csv;
}

std::string MonitorHistory::JsonLines() const {
    std::string lines;
    for (const HistoryRecord& r : records_) {
        lines += "{\"time\":\"" + r.wallClock + "\",\"t\":" + FixedText(r.rate.t, 3) +
                 ",\"segment\":" + std::to_string(r.segment) + ",\"state\":" + StateJson(r.state) +
                 ",\"counted\":" + (r.why ? "false" : "true") + ",\"notCountedWhy\":" +
                 (r.why ? "\"" + UncountedKey(*r.why) + "\"" : std::string("null")) +
                 ",\"links\":[";
        for (std::size_t link = 0; link < r.rate.covered.size(); ++link) {
            lines += std::string(link > 0 ? "," : "") + "{\"perSecond\":" +
                     (r.rate.covered[link] ? FixedText(r.rate.perSecond[link], 3) : "null") +
                     ",\"atLeast\":" + (r.rate.atLeast[link] ? "true" : "false") + "}";
        }
        lines += "]}\n";
    }
    return lines;
}

}  // namespace vrq::margin
