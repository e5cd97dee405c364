#include "margin/compare.h"

#include <algorithm>
#include <array>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>

#include "margin/json_reader.h"
#include "margin/margin_text.h"

namespace vrq::margin {

namespace {

std::string Text(const JsonValue* v) {
    return v != nullptr && v->String() != nullptr ? *v->String() : std::string();
}

RunInfo InfoOf(const JsonValue& meta) {
    RunInfo info;
    info.started = Text(meta.Member("started"));
    info.ended = Text(meta.Member("ended"));
    info.host = Text(meta.Member("host"));
    info.program = Text(meta.Member("program"));
    info.boardPath = Text(meta.Member("boardPath"));
    info.firmware = Text(meta.Member("firmware"));
    info.label = Text(meta.Member("label"));
    info.note = Text(meta.Member("note"));
    const std::string address = Text(meta.Member("address"));
    if (address.size() > 2) {
        info.address7 = static_cast<int>(std::strtol(address.c_str() + 2, nullptr, 16));
    }
    return info;
}

const SweepResult* SweepOf(const SavedRun& run, int channel) {
    for (const SweepResult& s : run.sweeps) {
        if (s.settings.channel == channel) {
            return &s;
        }
    }
    return nullptr;
}

std::string WindowText(const SweepResult& s) {
    if (!s.complete) {
        return "not finished";
    }
    if (!s.recommendation) {
        return "none";
    }
    char text[32];
    std::snprintf(text, sizeof text, "0x%X-0x%X", s.recommendation->windowFirst,
                  s.recommendation->windowLast);
    return text;
}

std::string MarginText(const SweepResult& s) {
    if (!s.complete || !s.recommendation) {
        return "-";
    }
    auto side = [](const std::optional<int>& m) {
        return m ? std::to_string(*m) : std::string("?");
    };
    return side(s.recommendation->marginBelow) + "/" + side(s.recommendation->marginAbove);
}

std::string ChosenText(const SweepResult& s) {
    if (!s.complete || !s.recommendation) {
        return "-";
    }
    return PointText(s.recommendation->point);
}

struct Row {
    std::string run, channel, rate, target, window, chosen, margin, verify;
};

std::vector<Row> Rows(std::span<const SavedRun> runs) {
    std::vector<Row> rows;
    for (const SavedRun& run : runs) {
        for (const SweepResult& s : run.sweeps) {
            rows.push_back({run.name, std::string(1, device::ChannelLetter(s.settings.channel)),
                            GeneralText(s.settings.characterRateMHz, 6),
                            ScientificText(s.settings.Target(), 1), WindowText(s), ChosenText(s),
                            MarginText(s), run.verify.empty() ? "-" : run.verify});
        }
        if (run.sweeps.empty()) {
            rows.push_back(
                {run.name, "-", "-", "-", "-", "-", "-", run.verify.empty() ? "-" : run.verify});
        }
    }
    return rows;
}

// Each run's value of what, where the runs disagree: "148.5 MHz (a), 297 MHz (b)".
template <class Get>
std::optional<std::string> Differs(std::span<const SavedRun> runs, Get get) {
    std::vector<std::pair<std::string, std::string>> seen;  // value, run
    for (const SavedRun& run : runs) {
        for (const SweepResult& s : run.sweeps) {
            seen.emplace_back(get(s), run.name);
        }
    }
    const bool same = std::all_of(seen.begin(), seen.end(),
                                  [&](const auto& v) { return v.first == seen.front().first; });
    if (seen.empty() || same) {
        return std::nullopt;
    }
    // Each value once, with the runs that have it.
    std::vector<std::pair<std::string, std::string>> grouped;
    for (const auto& [value, name] : seen) {
        auto at = std::find_if(grouped.begin(), grouped.end(),
                               [&](const auto& g) { return g.first == value; });
        if (at == grouped.end()) {
            grouped.emplace_back(value, name);
        } else if (at->second != name && at->second.find(name) == std::string::npos) {
            at->second += ", " + name;
        }
    }
    std::string text;
    for (const auto& [value, names] : grouped) {
        text += (text.empty() ? "" : ", ") + value + " (" + names + ")";
    }
    return text;
}

}  // namespace

SavedRun SavedRunOf(const MarginReport& report, std::string name) {
    SavedRun run;
    run.name = std::move(name);
    run.info = report.info;
    run.sweeps = report.sweeps;
    run.end = report.end == RunEnd::Finished    ? "finished"
              : report.end == RunEnd::Cancelled ? "cancelled"
                                                : "failed";
    if (report.verify) {
        run.verify = report.verify->outcome == VerifyResult::Outcome::Pass   ? "pass"
                     : report.verify->outcome == VerifyResult::Outcome::Fail ? "fail"
                                                                             : "not verified";
    }
    return run;
}

std::optional<SavedRun> ReadRun(std::string_view text, std::string name, std::string& error) {
    SavedRun run;
    run.name = std::move(name);
    // A report is one document; what `sweep --json` prints is a document a line.
    if (const auto doc = ParseJson(text, error);
        doc && Text(doc->Member("format")) == "vrq66208a-report") {
        if (const JsonValue* meta = doc->Member("metadata"); meta != nullptr) {
            run.info = InfoOf(*meta);
            if (!run.info.label.empty()) {
                run.name = run.info.label;
            }
        }
        run.end = Text(doc->Member("end"));
        if (const JsonValue* verify = doc->Member("verify"); verify && !verify->IsNull()) {
            run.verify = Text(verify->Member("outcome"));
        }
        const JsonValue* sweeps = doc->Member("sweeps");
        for (const JsonValue& item :
             sweeps && sweeps->Items() ? *sweeps->Items() : JsonValue::Array{}) {
            auto sweep = ReadSweepJson(item, error);
            if (!sweep) {
                return std::nullopt;
            }
            run.sweeps.push_back(std::move(*sweep));
        }
        return run;
    }
    std::istringstream lines{std::string(text)};
    for (std::string line; std::getline(lines, line);) {
        std::string why;
        const auto doc = ParseJson(line, why);
        if (doc && Text(doc->Member("format")) == "vrq66208a-sweep") {
            auto sweep = ReadSweepJson(*doc, error);
            if (!sweep) {
                return std::nullopt;
            }
            run.end = sweep->complete ? "finished" : "not finished";
            run.sweeps.push_back(std::move(*sweep));
        }
    }
    if (run.sweeps.empty()) {
        error = "neither a report (run.json) nor a sweep document (sweep --json)";
        return std::nullopt;
    }
    return run;
}

std::optional<SavedRun> LoadRun(const std::string& path, std::string& error) {
    std::filesystem::path file(path);
    std::string name = file.filename().string();
    if (std::filesystem::is_directory(file)) {
        file /= "run.json";
        name = std::filesystem::path(path).lexically_normal().filename().string();
        if (name.empty()) {
            name = std::filesystem::path(path).lexically_normal().parent_path().filename().string();
        }
    } else if (name == "run.json") {
        name = file.parent_path().filename().string();
    }
    std::ifstream in(file, std::ios::binary);
    if (!in || !std::filesystem::is_regular_file(file)) {
        error = "cannot read " + file.string();
        return std::nullopt;
    }
    std::ostringstream text;
    text << in.rdbuf();
    std::string why;
    auto run = ReadRun(text.str(), name.empty() ? path : name, why);
    if (!run) {
        error = file.string() + ": " + why;
        return std::nullopt;
    }
    run->source = path;
    return run;
}

std::vector<std::string> CompareDifferences(std::span<const SavedRun> runs) {
    std::vector<std::string> differences;
    const std::pair<const char*, std::function<std::string(const SweepResult&)>> checks[] = {
        {"rate",
         [](const SweepResult& s) { return GeneralText(s.settings.characterRateMHz, 6) + " MHz"; }},
        {"target", [](const SweepResult& s) { return ScientificText(s.settings.Target(), 1); }},
        {"confidence",
         [](const SweepResult& s) { return GeneralText(s.settings.confidence * 100.0, 4) + "%"; }},
        {"dwell", [](const SweepResult& s) {
             return (s.settings.dwell ? "fixed " : "up to ") +
                    DurationText(s.settings.DwellSeconds());
         }}};
    for (const auto& [what, get] : checks) {
        if (const auto text = Differs(runs, get)) {
            differences.push_back(std::string("the runs differ in ") + what + ": " + *text);
        }
    }
    return differences;
}

std::string CompareTable(std::span<const SavedRun> runs) {
    const std::vector<Row> rows = Rows(runs);
    std::array<std::size_t, 8> widths{3, 7, 8, 6, 6, 11, 6, 6};
    const Row header{"run",    "channel",     "rate MHz", "target",
                     "window", "recommended", "margin",   "verify"};
    auto fields = [](const Row& r) {
        return std::array<const std::string*, 8>{&r.run,    &r.channel, &r.rate,   &r.target,
                                                 &r.window, &r.chosen,  &r.margin, &r.verify};
    };
    for (const Row& r : rows) {
        const auto f = fields(r);
        for (std::size_t i = 0; i < widths.size(); ++i) {
            widths[i] = std::max(widths[i], f[i]->size());
        }
    }
    std::string table;
    auto line = [&](const Row& r) {
        const auto f = fields(r);
        std::string text;
        for (std::size_t i = 0; i < f.size(); ++i) {
            text +=
                *f[i] + (i + 1 < f.size() ? std::string(widths[i] - f[i]->size() + 2, ' ') : "");
        }
        while (!text.empty() && text.back() == ' ') {
            text.pop_back();
        }
        table += text + "\n";
    };
    line(header);
    for (const Row& r : rows) {
        line(r);
    }
    for (const std::string& d : CompareDifferences(runs)) {
        table += "note: " + d + "\n";
    }
    return table;
}

std::string CompareCsv(std::span<const SavedRun> runs) {
    // A field with a comma or a quote goes in quotes, its quotes doubled.
    auto field = [](const std::string& text) {
        if (text.find_first_of(",\"\r\n") == std::string::npos) {
            return text;
        }
        std::string quoted = "\"";
        for (const char c : text) {
            quoted += c == '"' ? std::string("\"\"") : std::string(1, c);
        }
        return quoted + "\"";
    };
    std::string csv = "run,channel,rate_mhz,target,window,recommended,margin,verify\r\n";
    for (const Row& r : Rows(runs)) {
        csv += field(r.run) + "," + r.channel + "," + r.rate + "," + r.target + "," + r.window +
               "," + field(r.chosen) + "," + r.margin + "," + r.verify + "\r\n";
    }
    return csv;
}

std::string CompareJson(std::span<const SavedRun> runs) {
    std::string json = "{\"format\":\"vrq66208a-compare\",\"version\":1,\"runs\":[";
    for (std::size_t i = 0; i < runs.size(); ++i) {
        const SavedRun& run = runs[i];
        json +=
            (i > 0 ? "," : "") + ("{\"name\":" + JsonQuoted(run.name)) +
            ",\"source\":" + JsonQuoted(run.source) + ",\"end\":" + JsonQuoted(run.end) +
            ",\"verify\":" + (run.verify.empty() ? std::string("null") : JsonQuoted(run.verify)) +
            ",\"channels\":[";
        for (std::size_t k = 0; k < run.sweeps.size(); ++k) {
            const SweepResult& s = run.sweeps[k];
            const auto& r = s.recommendation;
            json += std::string(k > 0 ? "," : "") + "{\"channel\":\"" +
                    device::ChannelLetter(s.settings.channel) +
                    "\",\"characterRateMHz\":" + GeneralText(s.settings.characterRateMHz, 10) +
                    ",\"targetBer\":" + ScientificText(s.settings.Target(), 6) +
                    ",\"confidence\":" + GeneralText(s.settings.confidence, 10) +
                    ",\"complete\":" + (s.complete ? "true" : "false") +
                    ",\"windowFirst\":" + (r ? std::to_string(r->windowFirst) : "null") +
                    ",\"windowLast\":" + (r ? std::to_string(r->windowLast) : "null") +
                    ",\"gain\":" + (r ? std::to_string(r->point.gain) : "null") +
                    ",\"marginBelow\":" +
                    (r && r->marginBelow ? std::to_string(*r->marginBelow) : "null") +
                    ",\"marginAbove\":" +
                    (r && r->marginAbove ? std::to_string(*r->marginAbove) : "null") + "}";
        }
        json += "]}";
    }
    json += "],\"differences\":[";
    const auto differences = CompareDifferences(runs);
    for (std::size_t i = 0; i < differences.size(); ++i) {
        json += (i > 0 ? "," : "") + JsonQuoted(differences[i]);
    }
    return json + "]}";
}

std::vector<int> ChannelsOf(std::span<const SavedRun> runs) {
    std::vector<int> channels;
    for (const SavedRun& run : runs) {
        for (const SweepResult& s : run.sweeps) {
            if (std::find(channels.begin(), channels.end(), s.settings.channel) == channels.end()) {
                channels.push_back(s.settings.channel);
            }
        }
    }
    std::sort(channels.begin(), channels.end());
    return channels;
}

BathtubModel CompareOverlay(std::span<const SavedRun> runs, int channel) {
    std::vector<const SweepResult*> sweeps;
    std::vector<std::string> labels;
    for (const SavedRun& run : runs) {
        if (const SweepResult* s = SweepOf(run, channel)) {
            sweeps.push_back(s);
            labels.push_back(run.name);
        }
    }
    PlotCaption caption;
    caption.title = std::string("Channel ") + device::ChannelLetter(channel) + ": " +
                    std::to_string(sweeps.size()) + " runs compared";
    const auto differences = CompareDifferences(runs);
    caption.subtitle = differences.empty() ? "measured alike (rate, target, confidence, dwell)"
                                           : "NOT ALIKE: " + differences.front();
    std::string footer;
    for (std::size_t i = 0; i < sweeps.size(); ++i) {
        footer += (i > 0 ? "; " : "") + labels[i] + ": " +
                  (sweeps[i]->recommendation
                       ? ChosenText(*sweeps[i]) + " margin " + MarginText(*sweeps[i])
                       : std::string("nothing recommended"));
    }
    caption.footer = footer;
    return OverlayOf(sweeps, labels, caption);
}

bool WriteComparison(const std::string& dir, std::span<const SavedRun> runs, PlotPainter* painter,
                     const std::string& missing, std::string& error) {
    if (!MakeFolder(dir, error)) {
        return false;
    }
    const std::filesystem::path folder(dir);
    std::string html =
        "<!DOCTYPE html>\n<html lang=\"en\"><head><meta charset=\"utf-8\"><title>Link margin "
        "compared</title><style>body{font-family:sans-serif;margin:1.5em}pre{font-size:.95em}"
        ".bad{font-weight:bold;color:#a01010}img{max-width:100%;border:1px solid #ccc}</style>"
        "</head><body>\n<h1>Link margin: " +
        std::to_string(runs.size()) + " runs compared</h1>\n";
    for (const std::string& d : CompareDifferences(runs)) {
        html += "<p class=\"bad\">Not alike: " + HtmlEscape(d) + ".</p>\n";
    }
    html += "<pre>" + HtmlEscape(CompareTable(runs)) + "</pre>\n";
    if (painter == nullptr && !missing.empty()) {
        html += "<p>No plots: " + HtmlEscape(missing) + "</p>\n";
    }
    for (const int channel : ChannelsOf(runs)) {
        const std::string file = std::string("compare-") + device::ChannelLetter(channel) + ".png";
        if (painter != nullptr) {
            if (!painter->SaveBathtub(CompareOverlay(runs, channel), (folder / file).string())) {
                error = "cannot write " + (folder / file).string();
                return false;
            }
            html += "<p><img src=\"" + file + "\" alt=\"bathtubs of channel " +
                    device::ChannelLetter(channel) + "\"></p>\n";
        }
    }
    html += "<h2>Runs</h2>\n<ul>";
    for (const SavedRun& run : runs) {
        html += "<li>" + HtmlEscape(run.name) + ": " + HtmlEscape(run.source) +
                (run.info.started.empty() ? "" : ", " + HtmlEscape(run.info.started)) +
                (run.info.note.empty() ? "" : ", " + HtmlEscape(run.info.note)) + "</li>";
    }
    html +=
        "</ul>\n<p>Files: <a href=\"compare.csv\">compare.csv</a>, <a "
        "href=\"compare.json\">compare.json</a>.</p>\n</body></html>\n";
    return WriteTextFile((folder / "compare.csv").string(), CompareCsv(runs), error) &&
           WriteTextFile((folder / "compare.json").string(), CompareJson(runs) + "\n", error) &&
           WriteTextFile((folder / "index.html").string(), html, error);
}

}  // namespace vrq::margin
