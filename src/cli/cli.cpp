#include "cli/cli.h"

#include <iostream>

namespace vrq::cli {

Runner::Runner(board::HidTransport& transport, std::string board, Output& out, Output& err,
               board::Clock& clock)
    : boards_(transport, clock), board_(std::move(board)), out_(out), err_(err), clock_(clock) {}

ExitCode Runner::Run(Invocation& invocation) {
    Context context{out_, err_, clock_, invocation.exchange};
    boards_.SetTimeoutMs(invocation.exchange.timeoutMs);
    context.boards = &boards_;
    context.runner = this;
    if (invocation.verb->Requires() == Needs::Board) {
        if (!chosen_) {
            if (const std::string why = boards_.Choose(board_); !why.empty()) {
                return context.Fail(ExitCode::Board, why);
            }
            chosen_ = true;
        }
        context.session = boards_.Current();
    }
    return invocation.verb->Run(context);
}

namespace {

ExitCode RunInvocation(Invocation& invocation, Output& out, Output& err) {
    sim::BoardChoice choice;
    choice.simulated = invocation.boards.simulate;
    choice.trace = invocation.boards.trace ? &std::cerr : nullptr;
    choice.faults = invocation.boards.faults;
    choice.cables = invocation.boards.cables;
    sim::ProgramBoards program(choice);
    Runner runner(program.Transport(), invocation.boards.board, out, err);
    return runner.Run(invocation);
}

}  // namespace

int RunCli(int argc, char** argv) {
    IgnoreBrokenPipe();
    Output out(stdout);
    Output err(stderr);
    ParsedCommandLine parsed = ParseCommandLine({argv + 1, argv + argc});
    ExitCode code = parsed.exit;
    if (parsed.invocation) {
        code = RunInvocation(*parsed.invocation, out, err);
    } else {
        out.Write(parsed.out);
        err.Write(parsed.err);
    }
    // A command that did its work but whose results were lost has not succeeded.
    if (!out.Close()) {
        err.Write(OutputFailureText("standard output", out.Error()) + "\n");
        if (code == ExitCode::Ok) {
            code = ExitCode::Output;
        }
    }
    err.Flush();
    return static_cast<int>(code);
}

}  // namespace vrq::cli
