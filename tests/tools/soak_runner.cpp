// One seed of the board link's fault soak, from the command line; scripts/soak runs it with
// random seeds. Prints the report and, one line each, what followed each fault kind
// ("kind: NAME | INJECTED | ERRORS AFTER"); exits 1 when the report is not clean: an error
// no stray report explains, or more wrong values after strays than the budget.
// --strays-only: the stray kinds are the only faults injected.
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
            options.faults = vrq::test::SoakFaults::StraysOnly();
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
    std::string summary = report.Summary();
    summary.insert(std::min(summary.find('\n'), summary.size()),
                   options.realBoardPace ? "" : " (zero latency)");
    std::printf("%s\n%s", summary.c_str(), report.FiguresByKind().c_str());
    return report.Clean() ? 0 : 1;
}
