// One seed of the main window's fault soak, from the command line; scripts/soak runs it with
// random seeds. Prints the report and what followed each fault kind (as soak_runner does);
// exits 1 when it is not clean (an error no stray report
// explains, or more wrong values after strays than the budget).
// Usage: window_soak_runner SEED [OPERATIONS] [--no-strays]
#include <QApplication>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "support/window_soak.h"

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    vrq::test::SoakOptions options = vrq::test::WindowSoakOptions(0);
    int position = 0;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--no-strays") == 0) {
            options.faults = vrq::test::SoakFaults::WithoutStrays();
            continue;
        }
        char* end = nullptr;
        const unsigned long value = std::strtoul(argv[i], &end, 10);
        if (*argv[i] == '\0' || *end != '\0' || position > 1) {
            std::fprintf(stderr, "usage: window_soak_runner SEED [OPERATIONS] [--no-strays]\n");
            return 2;
        }
        if (position++ == 0) {
            options.seed = static_cast<std::uint32_t>(value);
        } else {
            options.operations = static_cast<int>(value);
        }
    }
    Q_INIT_RESOURCE(resources);
    QApplication app(argc, argv);
    const vrq::test::SoakReport report = vrq::test::RunWindowSoak(options);
    // The run's kind at the end of the summary's first line, before the errors listed.
    std::string summary = report.Summary();
    summary.insert(
        std::min(summary.find('\n'), summary.size()),
        options.faults[vrq::test::SoakFault::Stray] ? " (window)" : " (window, no strays)");
    std::printf("%s\n%s", summary.c_str(), report.FiguresByKind().c_str());
    return report.Clean() ? 0 : 1;
}
