#include "margin/report.h"

#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>

#include "margin/margin_text.h"

namespace vrq::margin {

namespace {

std::string HexByte(std::uint8_t value) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    return {kDigits[value >> 4], kDigits[value & 0xF]};
}

std::string RegistersJson(const std::vector<std::uint8_t>& values) {
    if (values.empty()) {
        return "null";
    }
    std::string json = "{";
    for (std::size_t reg = 0; reg < values.size(); ++reg) {
        json += (reg > 0 ? "," : "") + ("\"0x" + HexByte(static_cast<std::uint8_t>(reg))) +
                "\":\"0x" + HexByte(values[reg]) + "\"";
    }
    return json + "}";
}

const char* EndKey(RunEnd end) {
    switch (end) {
        case RunEnd::Cancelled:
            return "cancelled";
        case RunEnd::Failed:
            return "failed";
        case RunEnd::Finished:
            break;
    }
    return "finished";
}

// What a caption says of the measurement: the dwell or the target, the rate, when, and whose.
std::string MeasuredWith(const SweepResult& result, const RunInfo& info) {
    const SweepSettings& s = result.settings;
    std::string text = s.dwell && !s.targetBer
                           ? "fixed dwell " + DurationText(s.DwellSeconds()) + " a point (shows " +
                                 ScientificText(s.Target(), 1) + ")"
                           : "target " + ScientificText(s.Target(), 1) + " at " +
                                 GeneralText(s.confidence * 100.0, 4) + "% (up to " +
                                 DurationText(s.DwellSeconds()) + " a point)";
    text += ", " + GeneralText(s.characterRateMHz, 6) + " MHz TMDS characters";
    if (!info.started.empty()) {
        text += ", " + info.started.substr(0, 16) + " UTC";
    }
    if (!info.label.empty()) {
        text += ", " + info.label;
    }
    return text;
}

std::string PointsTable(const SweepResult& result) {
    std::string html =
        "<table><tr><th>Gain</th><th>Hysteresis</th><th>Counted</th><th>Link 0</th><th>Link "
        "1</th><th>Link 2</th><th>Bit error ratio (worst link)</th><th>Verdict</th><th>Not "
        "counted</th></tr>\n";
    for (const PointResult& p : result.points) {
        html += "<tr class=\"" + VerdictText(p.verdict).substr(0, 4) + "\"><td>0x" +
                HexByte(p.point.gain).substr(1) + "</td><td>" +
                HtmlEscape(std::string(device::HysteresisText(p.point.hysteresis))) + "</td><td>" +
                FixedText(p.tally.seconds, 3) + " s</td>";
        for (const LinkCount& link : p.tally.links) {
            html += "<td>" + CountText(link.errors, link.atLeast) + "</td>";
        }
        html += "<td>" + HtmlEscape(BerText(p.figure)) + "</td><td>" + VerdictText(p.verdict) +
                (p.measurements > 1 ? " (measured twice)" : "") + "</td><td>" +
                (p.tally.UncountedSeconds() > 0 ? FixedText(p.tally.UncountedSeconds(), 3) + " s"
                                                : std::string()) +
                "</td></tr>\n";
    }
    return html + "</table>\n";
}

std::string RegistersTable(const RunInfo& info) {
    if (info.registersBefore.empty() && info.registersAfter.empty()) {
        return "<p>The registers were not read.</p>\n";
    }
    std::string html =
        "<table class=\"regs\"><tr><th>Register</th><th>Before</th><th>After</th></tr>\n";
    const std::size_t n = std::max(info.registersBefore.size(), info.registersAfter.size());
    for (std::size_t reg = 0; reg < n; ++reg) {
        auto cell = [&](const std::vector<std::uint8_t>& v) {
            return reg < v.size() ? "0x" + HexByte(v[reg]) : std::string("not read");
        };
        const std::string before = cell(info.registersBefore);
        const std::string after = cell(info.registersAfter);
        html += std::string("<tr") + (before != after ? " class=\"changed\"" : "") + "><td>0x" +
                HexByte(static_cast<std::uint8_t>(reg)) + "</td><td>" + before + "</td><td>" +
                after + "</td></tr>\n";
    }
    return html + "</table>\n";
}

std::string ChoiceText(const MarginReport& report) {
    if (!report.choice) {
        return {};
    }
    const ChannelChoice& c = *report.choice;
    std::string text = "Hysteresis " + std::string(device::HysteresisText(c.hysteresis)) +
                       " for all inputs (it is shared; the one whose smallest margin across the "
                       "channels is greatest).";
    for (const auto& [channel, r] : c.channels) {
        text += std::string(" Channel ") + device::ChannelLetter(channel) + ": " +
                (r ? PointText(r->point) + ", margin " + std::to_string(r->Margin())
                   : std::string("no passing setting")) +
                ".";
    }
    if (!c.Complete()) {
        text +=
            " Not every channel has a passing setting at one hysteresis: nothing is "
            "recommended.";
    }
    return text;
}

constexpr const char* kStyle =
    "body{font-family:sans-serif;margin:1.5em;color:#111}"
    "h1{font-size:1.5em}h2{font-size:1.2em;margin-top:1.5em}"
    ".outcome{font-size:1.2em;font-weight:bold;padding:.5em;border:2px solid}"
    ".ok{border-color:#2a7a2a;background:#e8f5e8}.bad{border-color:#a01010;background:#fbe9e9}"
    ".rec{font-size:1.1em;font-weight:bold}"
    "table{border-collapse:collapse;margin:.5em 0}td,th{border:1px solid #999;padding:2px 6px;"
    "font-size:.9em;text-align:left}th{background:#eee}tr.fail td,tr.not  td{color:#800}"
    "tr.changed td{background:#fff4c0}img{max-width:100%;border:1px solid #ccc;margin:.3em 0}"
    ".meta td:first-child{font-weight:bold}";

}  // namespace

std::string HtmlEscape(const std::string& text) {
    std::string out;
    for (const char c : text) {
        switch (c) {
            case '&':
                out += "&amp;";
                break;
            case '<':
                out += "&lt;";
                break;
            case '>':
                out += "&gt;";
                break;
            case '"':
                out += "&quot;";
                break;
            default:
                out += c;
        }
    }
    return out;
}

std::string HostName() {
    char name[256] = {};
    if (gethostname(name, sizeof name - 1) != 0) {
        return {};
    }
    return name;
}

std::string ChannelsText(const MarginReport& report) {
    std::string letters;
    for (const SweepResult& s : report.sweeps) {
        letters += (letters.empty() ? "" : ", ") +
                   std::string(1, device::ChannelLetter(s.settings.channel));
    }
    if (letters.empty() && report.verify) {
        letters = std::string(1, device::ChannelLetter(report.verifySettings.channel));
    }
    return report.sweeps.size() > 1 ? "channels " + letters : "channel " + letters;
}

PlotCaption BathtubCaption(const SweepResult& result, const RunInfo& info) {
    return {std::string("Channel ") + device::ChannelLetter(result.settings.channel) +
                ": bit error ratio against receive equalization gain",
            MeasuredWith(result, info), RecommendationLine(result)};
}

PlotCaption HeatMapCaption(const SweepResult& result, const RunInfo& info) {
    return {std::string("Channel ") + device::ChannelLetter(result.settings.channel) +
                ": worst link's bit error ratio at each setting",
            MeasuredWith(result, info), RecommendationLine(result)};
}

std::string OutcomeText(const MarginReport& report) {
    std::size_t done = 0;
    std::size_t planned = 0;
    for (const SweepResult& s : report.sweeps) {
        done += s.points.size();
        planned += s.plan.size();
    }
    switch (report.end) {
        case RunEnd::Cancelled:
            return "CANCELLED after " + std::to_string(done) + " of " + std::to_string(planned) +
                   " points: nothing is recommended, and the registers were put back as they "
                   "were.";
        case RunEnd::Failed:
            return "FAILED: " + report.failure +
                   ". Nothing is recommended; the registers were put back as they were.";
        case RunEnd::Finished:
            break;
    }
    if (report.sweeps.empty()) {
        return "Finished.";
    }
    const bool any = report.choice ? report.choice->Complete()
                                   : report.sweeps.front().recommendation.has_value();
    if (!any) {
        return "NO SETTING PASSED: no setting showed the target ratio; nothing is recommended.";
    }
    return std::string("Finished: a setting passed") + (report.applied ? " and was applied." : ".");
}

std::string InfoJson(const RunInfo& info) {
    return "{\"started\":" + JsonQuoted(info.started) + ",\"ended\":" + JsonQuoted(info.ended) +
           ",\"host\":" + JsonQuoted(info.host) + ",\"program\":" + JsonQuoted(info.program) +
           ",\"boardPath\":" + JsonQuoted(info.boardPath) + ",\"firmware\":" +
           (info.firmware.empty() ? std::string("null") : JsonQuoted(info.firmware)) +
           ",\"address\":" +
           (info.address7 < 0 ? std::string("null")
                              : "\"0x" + HexByte(static_cast<std::uint8_t>(info.address7)) + "\"") +
           ",\"registersBefore\":" + RegistersJson(info.registersBefore) +
           ",\"registersAfter\":" + RegistersJson(info.registersAfter) +
           ",\"label\":" + JsonQuoted(info.label) + ",\"note\":" + JsonQuoted(info.note) + "}";
}

std::string ReportJson(const MarginReport& report) {
    std::string json =
        "{\"format\":\"vrq66208a-report\",\"version\":" + std::to_string(kReportJsonVersion) +
        ",\"metadata\":" + InfoJson(report.info) + ",\"end\":\"" + EndKey(report.end) +
        "\",\"failure\":" +
        (report.failure.empty() ? std::string("null") : JsonQuoted(report.failure)) +
        ",\"outcome\":" + JsonQuoted(OutcomeText(report)) +
        ",\"applied\":" + (report.applied ? "true" : "false") + ",\"sweeps\":[";
    for (std::size_t i = 0; i < report.sweeps.size(); ++i) {
        json += (i > 0 ? "," : "") + SweepJson(report.sweeps[i]);
    }
    json += "],\"choice\":";
    if (report.choice) {
        json += "{\"hysteresis\":" + JsonQuoted(device::HysteresisText(report.choice->hysteresis)) +
                ",\"complete\":" + (report.choice->Complete() ? "true" : "false") +
                ",\"channels\":[";
        for (std::size_t i = 0; i < report.choice->channels.size(); ++i) {
            const auto& [channel, r] = report.choice->channels[i];
            json += std::string(i > 0 ? "," : "") + "{\"channel\":\"" +
                    device::ChannelLetter(channel) +
                    "\",\"gain\":" + (r ? std::to_string(r->point.gain) : "null") +
                    ",\"margin\":" + (r ? std::to_string(r->Margin()) : "null") + "}";
        }
        json += "]}";
    } else {
        json += "null";
    }
    json += ",\"verify\":" +
            (report.verify ? VerifyJson(*report.verify, report.verifySettings) : "null");
    return json + "}";
}

std::string ReportHtml(const MarginReport& report, const std::vector<ReportPlot>& plots,
                       const std::string& plotsMissing) {
    const RunInfo& info = report.info;
    const std::string title =
        "Link margin of " + ChannelsText(report) + (info.label.empty() ? "" : ": " + info.label);
    std::string html = "<!DOCTYPE html>\n<html lang=\"en\"><head><meta charset=\"utf-8\"><title>" +
                       HtmlEscape(title) + "</title><style>" + kStyle +
                       "</style></head><body>\n<h1>" + HtmlEscape(title) + "</h1>\n";
    const bool good = report.end == RunEnd::Finished &&
                      OutcomeText(report).rfind("NO SETTING", 0) != 0 &&
                      (!report.verify || report.verify->outcome == VerifyResult::Outcome::Pass);
    html += std::string("<p class=\"outcome ") + (good ? "ok" : "bad") + "\">" +
            HtmlEscape(OutcomeText(report)) + "</p>\n";
    if (!report.choice || report.sweeps.size() == 1) {
        for (const SweepResult& s : report.sweeps) {
            html += "<p class=\"rec\">" + HtmlEscape(RecommendationText(s)) + "</p>\n";
        }
    } else {
        html += "<p class=\"rec\">" + HtmlEscape(ChoiceText(report)) + "</p>\n";
    }
    if (report.verify) {
        html += "<p class=\"outcome " +
                std::string(report.verify->outcome == VerifyResult::Outcome::Pass ? "ok" : "bad") +
                "\">Verify: " + HtmlEscape(VerifyText(*report.verify, report.verifySettings)) +
                "</p>\n";
    }
    if (!plotsMissing.empty()) {
        html += "<p>No plots: " + HtmlEscape(plotsMissing) + "</p>\n";
    }
    for (const SweepResult& s : report.sweeps) {
        const std::string letter(1, device::ChannelLetter(s.settings.channel));
        html += "<h2>Channel " + letter + "</h2>\n<p>" +
                HtmlEscape(SweepPlanText(s.settings, s.plan.size())) + "</p>\n";
        for (const ReportPlot& plot : plots) {
            if (plot.file.find("-" + letter + ".png") != std::string::npos) {
                html += "<p><img src=\"" + HtmlEscape(plot.file) + "\" alt=\"" +
                        HtmlEscape(plot.alt) + "\"></p>\n";
            }
        }
        html += PointsTable(s);
    }
    html += "<h2>Run</h2>\n<table class=\"meta\">";
    const std::pair<const char*, std::string> rows[] = {
        {"Started", info.started},
        {"Ended", info.ended},
        {"Host", info.host},
        {"Program", info.program},
        {"Board", info.boardPath},
        {"Firmware", info.firmware.empty() ? "not read" : info.firmware},
        {"Chip address",
         info.address7 < 0 ? "unknown"
                           : "0x" + HexByte(static_cast<std::uint8_t>(info.address7)) + " (7-bit)"},
        {"Label", info.label},
        {"Note", info.note},
    };
    for (const auto& [name, value] : rows) {
        html += std::string("<tr><td>") + name + "</td><td>" + HtmlEscape(value) + "</td></tr>";
    }
    html += "</table>\n<h2>Registers</h2>\n" + RegistersTable(info);
    html +=
        "<p>Files: <a href=\"points.csv\">points.csv</a>, <a href=\"run.json\">run.json</a>.</p>\n";
    return html + "</body></html>\n";
}

bool MakeFolder(const std::string& dir, std::string& error) {
    std::error_code code;
    std::filesystem::create_directories(dir, code);
    if (code || !std::filesystem::is_directory(dir)) {
        error = "cannot make the folder " + dir + (code ? ": " + code.message() : "");
        return false;
    }
    return true;
}

bool WriteTextFile(const std::string& path, const std::string& text, std::string& error) {
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    if (file) {
        file.write(text.data(), static_cast<std::streamsize>(text.size()));
        file.close();
    }
    if (!file) {
        error = "cannot write " + path + ": " + std::strerror(errno);
        return false;
    }
    return true;
}

bool WriteReport(const std::string& dir, const MarginReport& report, PlotPainter* painter,
                 const std::string& missing, std::string& error) {
    if (!MakeFolder(dir, error)) {
        return false;
    }
    const std::filesystem::path folder(dir);
    std::vector<ReportPlot> plots;
    for (const SweepResult& s : report.sweeps) {
        if (painter == nullptr) {
            break;
        }
        const std::string letter(1, device::ChannelLetter(s.settings.channel));
        const ReportPlot bathtub{"bathtub-" + letter + ".png",
                                 "bit error ratio against gain, channel " + letter};
        const ReportPlot map{"heatmap-" + letter + ".png", "map of the sweep, channel " + letter};
        if (!painter->SaveBathtub(BathtubOf(s, BathtubCaption(s, report.info)),
                                  (folder / bathtub.file).string()) ||
            !painter->SaveHeatMap(HeatMapOf(s, HeatMapCaption(s, report.info)),
                                  (folder / map.file).string())) {
            error = "cannot write the plots in " + dir;
            return false;
        }
        plots.push_back(bathtub);
        plots.push_back(map);
    }
    std::string csv = SweepCsvHeader();
    for (const SweepResult& s : report.sweeps) {
        csv += SweepCsv(s).substr(SweepCsvHeader().size());
    }
    return WriteTextFile((folder / "points.csv").string(), csv, error) &&
           WriteTextFile((folder / "run.json").string(), ReportJson(report) + "\n", error) &&
           WriteTextFile((folder / "index.html").string(), ReportHtml(report, plots, missing),
                         error);
}

}  // namespace vrq::margin
