// The command-line twin of the evaluation program: the same board session, no windows, and an
// exit status a script can branch on (exit_code.h).
#pragma once

#include <string>

#include "board/clock.h"
#include "board/hid_transport.h"
#include "cli/boards.h"
#include "cli/command_line.h"
#include "cli/output.h"

namespace vrq::cli {

// The whole tool: parses, opens what the verb needs, runs it, and checks that its output was
// written. Returns the exit status.
int RunCli(int argc, char** argv);

// Runs parsed command lines, one after the other, against the boards of one transport: the
// board a verb works on is opened by the first verb that needs it and kept for the next ones.
class Runner {
  public:
    // board: the instance number or path the verbs work on (--board).
    Runner(board::HidTransport& transport, std::string board, Output& out, Output& err,
           board::Clock& clock = board::Clock::Real());

    ExitCode Run(Invocation& invocation);

  private:
    BoardSet boards_;
    std::string board_;
    bool chosen_ = false;
    Output& out_;
    Output& err_;
    board::Clock& clock_;
};

}  // namespace vrq::cli
