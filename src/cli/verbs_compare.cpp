// compare: saved link-margin runs side by side (report folders, their run.json, or what
// `sweep --json` printed): a table of each run's window, margin and verify result per channel,
// what makes them not alike, and on request a comparison report with the bathtubs overlaid.
#include <CLI/CLI.hpp>

#include <filesystem>
#include <string>
#include <vector>

#include "cli/plots.h"
#include "cli/verb.h"
#include "margin/compare.h"

namespace vrq::cli {
namespace {

class CompareVerb : public Verb {
  public:
    explicit CompareVerb(CLI::App& command) {
        command.add_option("runs", paths_, "Report folders, run.json files or sweep --json output")
            ->option_text("RUN...")
            ->required();
        command
            .add_option("--report", dir_,
                        "Also write a comparison into DIR: index.html with the bathtubs of each "
                        "channel overlaid, compare.csv and compare.json")
            ->option_text("DIR");
        AddJsonFlag(command, json_);
    }

    Needs Requires() const override { return Needs::Nothing; }

    std::string Prepare(const ExchangeOptions& /*options*/) override {
        for (const std::string& path : paths_) {
            std::string error;
            auto run = margin::LoadRun(path, error);
            if (!run) {
                return error;
            }
            runs_.push_back(std::move(*run));
        }
        return {};
    }

    ExitCode Run(Context& context) override {
        context.out.Write(json_ ? margin::CompareJson(runs_) + "\n" : margin::CompareTable(runs_));
        if (!context.out.Flush()) {
            return ExitCode::Output;
        }
        if (dir_.empty()) {
            return ExitCode::Ok;
        }
        std::string missing;
        const auto painter = LoadPlotPainter(missing);
        std::string error;
        if (!margin::WriteComparison(dir_, runs_, painter.get(), missing, error)) {
            return context.Fail(ExitCode::Output, error);
        }
        context.err.Write("comparison: " + (std::filesystem::path(dir_) / "index.html").string() +
                          (painter == nullptr ? " (no plots: " + missing + ")" : "") + "\n");
        return ExitCode::Ok;
    }

  private:
    std::vector<std::string> paths_;
    std::string dir_;
    bool json_ = false;
    std::vector<margin::SavedRun> runs_;
};

}  // namespace

std::unique_ptr<Verb> MakeCompareVerb(CLI::App& command) {
    return std::make_unique<CompareVerb>(command);
}

}  // namespace vrq::cli
