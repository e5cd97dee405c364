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
    NothingPassed = 6,  // a sweep: no setting showed the target ratio (nothing to recommend)
    TargetMissed = 7,   // verify failed, or a monitor ended before its --until-ber bound
    ErrorsSeen = 8,     // a monitor stopped at its --stop-on-errors count
    Interrupted = 130,  // Ctrl+C or SIGTERM, as a shell reports a command it interrupted
};

// The worse of two results: the one a script most needs to hear about.
inline ExitCode Worse(ExitCode a, ExitCode b) {
    const auto rank = [](ExitCode code) {
        switch (code) {
            case ExitCode::Ok:
                return 0;
            case ExitCode::ErrorsSeen:
            case ExitCode::TargetMissed:
            case ExitCode::NothingPassed:
                return 1;
            case ExitCode::Differs:
                return 2;
            case ExitCode::NoAcknowledge:
                return 3;
            case ExitCode::Output:
                return 4;
            case ExitCode::Board:
                return 5;
            case ExitCode::Interrupted:
                return 6;
            case ExitCode::Usage:
                return 7;
        }
        return 0;
    };
    return rank(b) > rank(a) ? b : a;
}

}  // namespace vrq::cli
