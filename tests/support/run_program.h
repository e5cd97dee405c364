// Runs a program as a user would, as a separate process, and collects what it printed.
#pragma once

#include <sys/wait.h>

#include <array>
#include <cstdio>
#include <string>

namespace vrq::test {

struct ProgramRun {
    int exitCode = -1;  // -1 when the program did not exit by itself (a signal ended it)
    std::string out;    // standard output and standard error, in order
};

// commandLine is shell words; standard error is folded into the output and standard input is
// empty, so the program never waits for a user.
inline ProgramRun RunProgram(const std::string& commandLine) {
    ProgramRun run;
    const std::string command = commandLine + " 2>&1 </dev/null";
    FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr) {
        return run;
    }
    std::array<char, 4096> chunk{};
    std::size_t n = 0;
    while ((n = fread(chunk.data(), 1, chunk.size(), pipe)) > 0) {
        run.out.append(chunk.data(), n);
    }
    const int status = pclose(pipe);
    run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return run;
}

}  // namespace vrq::test
