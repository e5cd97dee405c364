// The reference for the Python module's register read: the same read straight on the board
// session, on a simulated board that answers at once, as the module opens it. Prints the best
// of five runs' host time per read in microseconds.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>

#include "cli/boards.h"
#include "device/register_map.h"
#include "sim/program_boards.h"

int main(int argc, char** argv) {
    const int reads = argc > 1 ? std::atoi(argv[1]) : 20000;
    vrq::sim::BoardChoice choice;
    choice.simulated = 1;
    choice.zeroLatency = true;
    vrq::sim::ProgramBoards program(choice);
    vrq::cli::BoardSet boards(program.Transport(), vrq::board::Clock::Real());
    vrq::board::UnopenedBoard failure;
    const auto session = boards.Open(0, failure);
    if (!session) {
        std::fprintf(stderr, "session_read: the simulated board did not open\n");
        return 1;
    }
    std::uint8_t value = 0;
    double best = 1e9;
    for (int run = 0; run < 6; ++run) {  // the first warms up
        const auto start = std::chrono::steady_clock::now();
        for (int i = 0; i < reads; ++i) {
            if (session->ReadRegisters(vrq::device::kDefaultChipAddressByte, 0x00, {&value, 1}) !=
                vrq::board::Outcome::Ok) {
                std::fprintf(stderr, "session_read: a read failed\n");
                return 1;
            }
        }
        const std::chrono::duration<double, std::micro> spent =
            std::chrono::steady_clock::now() - start;
        if (run > 0) {
            best = std::min(best, spent.count() / reads);
        }
    }
    std::printf("%.3f\n", best);
    return 0;
}
