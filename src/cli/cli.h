// The command-line twin of the evaluation program: the same board link, no windows.
#pragma once

#include <optional>
#include <string>

namespace vrq::cli {

int RunCli(int argc, char** argv);

// "0x44", "0X44" or decimal "68"; nothing for anything else or a value above max.
std::optional<unsigned> ParseNumber(const std::string& text, unsigned max);

}  // namespace vrq::cli
