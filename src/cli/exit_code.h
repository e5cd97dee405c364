// What the tool's exit status means, for scripts: one number per kind of failure.
#pragma once

namespace vrq::cli {

enum class ExitCode : int {
    Ok = 0,
    NoAcknowledge = 1,  // the chip did not acknowledge
    Board = 2,          // no board, a board that cannot be opened, no answer, report not written
    Usage = 3,          // a bad command line or a bad register file
    Differs = 4,        // a read-back differs from what was written
    Output = 5,         // standard output, or the file save writes, could not be written
    Interrupted = 130,  // Ctrl+C, as a shell reports a command it interrupted
};

// The worse of two results: the one a script most needs to hear about.
inline ExitCode Worse(ExitCode a, ExitCode b) {
    const auto rank = [](ExitCode code) {
        switch (code) {
            case ExitCode::Ok:
                return 0;
            case ExitCode::Differs:
                return 1;
            case ExitCode::NoAcknowledge:
                return 2;
            case ExitCode::Output:
                return 3;
            case ExitCode::Board:
                return 4;
            case ExitCode::Interrupted:
                return 5;
            case ExitCode::Usage:
                return 6;
        }
        return 0;
    };
    return rank(b) > rank(a) ? b : a;
}

}  // namespace vrq::cli
