#include "cli/output.h"

#include <cerrno>
#include <csignal>
#include <cstring>

#include <unistd.h>

namespace vrq::cli {

void Output::Note(bool ok) {
    if (!ok && error_ == 0) {
        // Some C libraries leave errno alone on a short write; EIO is then the honest guess.
        error_ = errno != 0 ? errno : EIO;
    }
}

void Output::Write(std::string_view text) {
    if (error_ != 0 || stream_ == nullptr || text.empty()) {
        return;
    }
    errno = 0;
    Note(std::fwrite(text.data(), 1, text.size(), stream_) == text.size());
}

bool Output::Flush() {
    if (error_ == 0 && stream_ != nullptr) {
        errno = 0;
        Note(std::fflush(stream_) == 0 && std::ferror(stream_) == 0);
    }
    return error_ == 0;
}

bool Output::Close() {
    if (stream_ == nullptr) {
        return error_ == 0;
    }
    Flush();
    errno = 0;
    const bool closed = std::fclose(stream_) == 0;
    stream_ = nullptr;
    Note(closed);
    return error_ == 0;
}

void IgnoreBrokenPipe() {
    std::signal(SIGPIPE, SIG_IGN);
}

std::string OutputFailureText(std::string_view what, int error) {
    std::string text = std::string(what) + " could not be written: " + std::strerror(error);
    if (error == EPIPE) {
        text += " (the program reading it ended first)";
    } else if (error == ENOSPC) {
        text += ": free some space and run the command again";
    }
    return text;
}

}  // namespace vrq::cli

namespace vrq::cli {

bool Output::IsTerminal() const {
    return isatty(fileno(stream_)) == 1;
}

}  // namespace vrq::cli
