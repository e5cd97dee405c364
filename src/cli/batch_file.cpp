#include "cli/batch_file.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>

namespace vrq::cli {
namespace {

bool IsBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f';
}

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};

}  // namespace

std::vector<BatchLine> SplitBatchFile(std::string_view content) {
    constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";
    if (content.substr(0, kByteOrderMark.size()) == kByteOrderMark) {
        content.remove_prefix(kByteOrderMark.size());
    }
    std::vector<BatchLine> lines;
    int number = 0;
    while (!content.empty()) {
        const std::size_t end = content.find('\n');
        std::string_view line = content.substr(0, end);
        content.remove_prefix(end == std::string_view::npos ? content.size() : end + 1);
        ++number;

        BatchLine command{number, {}, {}};
        std::size_t textEnd = 0;
        for (std::size_t at = 0; at < line.size();) {
            if (IsBlank(line[at])) {
                ++at;
                continue;
            }
            if (line[at] == '#') {
                break;  // a comment to the end of the line
            }
            std::size_t wordEnd = at;
            while (wordEnd < line.size() && !IsBlank(line[wordEnd])) {
                ++wordEnd;
            }
            command.words.emplace_back(line.substr(at, wordEnd - at));
            textEnd = wordEnd;
            at = wordEnd;
        }
        if (!command.words.empty()) {
            const std::size_t textStart = line.find_first_not_of(" \t\r\v\f");
            command.text = line.substr(textStart, textEnd - textStart);
            lines.push_back(std::move(command));
        }
    }
    return lines;
}

std::string BatchFileName(const std::string& path) {
    return path == "-" ? "standard input" : path;
}

std::optional<std::string> ReadBatchFile(const std::string& path, std::string& error) {
    std::unique_ptr<std::FILE, FileCloser> opened;
    std::FILE* file = stdin;
    if (path != "-") {
        opened.reset(std::fopen(path.c_str(), "rb"));
        if (!opened) {
            error = path + " cannot be opened: " + std::strerror(errno);
            return std::nullopt;
        }
        file = opened.get();
    }
    std::string content;
    char chunk[65536];
    std::size_t n = 0;
    while ((n = std::fread(chunk, 1, sizeof chunk, file)) > 0) {
        content.append(chunk, n);
        if (content.size() > kLargestBatchFile) {
            error = BatchFileName(path) + " is larger than " +
                    std::to_string(kLargestBatchFile >> 20) + " MiB: too large for a batch file";
            return std::nullopt;
        }
    }
    if (std::ferror(file)) {
        error = BatchFileName(path) + " cannot be read: " + std::strerror(errno);
        return std::nullopt;
    }
    return content;
}

std::optional<std::chrono::microseconds> ParseSeconds(std::string_view text) {
    constexpr int kMostDecimals = 6;
    const std::size_t point = text.find('.');
    const std::string_view whole = text.substr(0, point);
    const std::string_view fraction =
        point == std::string_view::npos ? std::string_view() : text.substr(point + 1);
    const auto digits = [](std::string_view part) {
        return part.find_first_not_of("0123456789") == std::string_view::npos;
    };
    if ((whole.empty() && fraction.empty()) || !digits(whole) || !digits(fraction) ||
        fraction.size() > kMostDecimals) {
        return std::nullopt;
    }
    long long micros = 0;
    for (const char c : whole) {
        micros = micros * 10 + (c - '0');
        if (micros > kLongestSleep.count()) {
            return std::nullopt;
        }
    }
    long long scale = 1000000;
    micros *= scale;
    for (const char c : fraction) {
        scale /= 10;
        micros += (c - '0') * scale;
    }
    if (micros > std::chrono::microseconds(kLongestSleep).count()) {
        return std::nullopt;
    }
    return std::chrono::microseconds(micros);
}

}  // namespace vrq::cli
