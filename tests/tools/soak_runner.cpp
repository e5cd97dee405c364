// One seed of the board link's fault soak, from the command line; scripts/soak runs it with
// random seeds. Prints the report; exits 1 when the soak found an error, or when stray
// reports that slipped through did wrong in more than 1 in 1,000 operations.
// --strays-only: stray reports are the only fault injected.
// Usage: soak_runner SEED [OPERATIONS] [--zero-latency] [--strays-only]
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "support/soak.h"

int main(int argc, char** argv) {
    vrq::test::SoakOptions options;
    int position = 0;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--zero-latency") == 0) {
            options.realBoardPace = false;
            continue;
        }
        if (std::strcmp(argv[i], "--strays-only") == 0) {
            options.faults = vrq::test::SoakFaults{false, false, false, false, false, false, true};
            continue;
        }
        char* end = nullptr;
        const unsigned long value = std::strtoul(argv[i], &end, 10);
        if (*argv[i] == '\0' || *end != '\0' || position > 1) {
            std::fprintf(stderr,
                         "usage: soak_runner SEED [OPERATIONS] [--zero-latency] [--strays-only]\n");
            return 2;
        }
        if (position++ == 0) {
            options.seed = static_cast<std::uint32_t>(value);
        } else {
            options.operations = static_cast<int>(value);
        }
    }
    const vrq::test::SoakReport report = vrq::test::RunSoak(options);
    std::printf("%s%s\n", report.Summary().c_str(), options.realBoardPace ? "" : " (zero latency)");
    const bool clean = report.Errors() == 0 && report.AllErrors() * 1000 < report.operations;
    return clean ? 0 : 1;
}
