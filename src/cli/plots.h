// The report's plots for the command-line tool: the plot library (the window's own drawing,
// which needs Qt) is loaded only when a report is written, so that every other command starts
// as quickly as before. Looked for beside the program (the build tree), then where the
// package installs it.
#pragma once

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "margin/report.h"

namespace vrq::cli {

inline constexpr const char* kPlotLibrary = "libvrq66208a-plots.so";

// A painter from the library (loaded on first use, kept loaded); null, with why, when it is
// missing or cannot be loaded (the report is then written without plots).
std::unique_ptr<margin::PlotPainter> LoadPlotPainter(std::string& why);
// The same from the first of places (paths of the library) that exists; the places of the
// process's first call are the ones looked in (the library stays loaded).
std::unique_ptr<margin::PlotPainter> LoadPlotPainterFrom(
    const std::vector<std::filesystem::path>& places, std::string& why);

}  // namespace vrq::cli
