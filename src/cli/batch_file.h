// A batch file in words: its command lines, split as the tool reads them, and the seconds of
// a `sleep` line. Plain functions, so that the reading is tested without a board.
#pragma once

#include <chrono>
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vrq::cli {

// A line that holds a command.
struct BatchLine {
    int number = 0;                  // 1 for the file's first line
    std::string text;                // as written, without its line end and outer blanks
    std::vector<std::string> words;  // split at blanks and tabs; no quoting
};

// The command lines of a batch file, in order. Lines end in LF or CR LF; blank lines are
// skipped, and so is everything from a word that begins with '#' to the end of its line.
// A byte-order mark in front of the first line is skipped too.
std::vector<BatchLine> SplitBatchFile(std::string_view content);

// A batch file is read whole before its first line runs; one larger than this is refused.
inline constexpr std::size_t kLargestBatchFile = 64U << 20;

// The whole of a file, or of standard input for "-". Nothing, with error set, when it cannot
// be read or is larger than kLargestBatchFile.
std::optional<std::string> ReadBatchFile(const std::string& path, std::string& error);

// "standard input" for "-", the path otherwise.
std::string BatchFileName(const std::string& path);

// The longest pause a `sleep` line may ask for: a day.
inline constexpr std::chrono::seconds kLongestSleep{86400};

// "0.25", "6", "1.5", ".5": decimal seconds, at most six decimals, up to kLongestSleep.
// Nothing for anything else (signs, exponents, blanks, "inf").
std::optional<std::chrono::microseconds> ParseSeconds(std::string_view text);

}  // namespace vrq::cli
