// Where the tool's results and messages go. Every write is checked, and so are the flush and
// the close at the end: a full disk or a reader that went away is a failure the tool reports
// (ExitCode::Output), never a silent success.
#pragma once

#include <cstdio>
#include <string>
#include <string_view>

namespace vrq::cli {

class Output {
  public:
    // The stream is not owned until Close(), which closes it.
    explicit Output(std::FILE* stream) : stream_(stream) {}
    Output(const Output&) = delete;
    Output& operator=(const Output&) = delete;

    // Nothing more is written once a write has failed.
    void Write(std::string_view text);
    // Hands what is buffered to the system; false when that or an earlier write failed.
    bool Flush();
    // Flushes and closes the stream; false when anything written was lost.
    bool Close();

    bool Failed() const { return error_ != 0; }
    // The stream is a terminal (progress goes there only then, unless asked).
    bool IsTerminal() const;
    // The system's error number of the first failure (0: none).
    int Error() const { return error_; }

  private:
    void Note(bool ok);

    std::FILE* stream_;
    int error_ = 0;
};

// A write to a pipe whose reader has gone then fails with EPIPE, which the tool reports,
// instead of ending the process silently with SIGPIPE.
void IgnoreBrokenPipe();

// "standard output could not be written: No space left on device".
std::string OutputFailureText(std::string_view what, int error);

}  // namespace vrq::cli
