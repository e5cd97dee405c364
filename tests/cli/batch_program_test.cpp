// The real tool running batches in one process: a session recorded by the bus trace and saved
// as a script replays to the same chip state, standard input serves as the file, and lost
// output stops the batch.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <fstream>
#include <string>
#include <vector>

#include "board/hex.h"
#include "cli/numbers.h"
#include "in_process.h"
#include "sim/cable_model.h"
#include "support/run_program.h"
#include "support/sim_rig.h"
#include "ui/trace/trace_log.h"
#include "ui/trace/trace_text.h"

namespace {

using namespace std::chrono_literals;
using vrq::test::ProgramRun;

ProgramRun Cli(const std::string& args) {
    // In a group, so that a pipe or a redirection among the arguments reaches the tool.
    return vrq::test::RunProgram("{ " + std::string(VRQ_CLI_PATH) + " " + args + "; }");
}

std::string TempPath(const std::string& name) {
    return testing::TempDir() + "batch_program_" + name;
}

// A session in the trace window's recorder, against a simulated board answering at once: the
// window's own calls, pauses between them, and changes that never reached the chip.
TEST(BatchRoundTrip, TheToolEndsWhereTheRecordedSessionEnded) {
    vrq::test::SimRig rig;
    auto& [clock, sim, host, hub, link] = rig;
    vrq::sim::SimBoard& board = sim.AddBoard();
    board.Chip().SetCables(vrq::sim::DefaultCables());  // as the tool's simulated board has
    link.FindBoards();
    vrq::ui::TraceRecorder recorder(hub, clock);

    constexpr std::uint8_t kChip = vrq::test::kChip;
    constexpr std::uint8_t kOther = kChip + 2;  // no chip there
    const auto write = [&](std::uint8_t address, std::uint8_t first,
                           std::vector<std::uint8_t> values) {
        return link.WriteRegisters(address, first, values.size(), values, true);
    };
    std::uint8_t read[13] = {};
    write(kChip, 0x03, {0x92});
    clock.SleepFor(120ms);
    link.SetLed(1);
    write(kChip, 0x06, {0x35, 0x5A, 0xA5});
    link.ReadRegisters(kChip, 0x00, 13, read, true);  // reads are not replayed
    write(kOther, 0x04, {0x01});                      // not acknowledged
    clock.SleepFor(60ms);
    link.SetBusClockDivider(60);
    link.SetLed(0);
    board.failWrites = 1;
    const std::uint8_t lost = 0x55;
    link.WriteRegistersOnce(kChip, 0x07, 1, {&lost, 1});  // the report is not written
    write(kChip, 0x04, {0x81, 0x03});
    clock.SleepFor(200ms);
    link.SetBusClockDivider(30);
    link.SetLed(1);

    const std::string script = vrq::ui::TraceScript(recorder);
    EXPECT_NE(script.find("\nsleep "), std::string::npos) << script;
    EXPECT_NE(script.find("\n# not replayed: "), std::string::npos) << script;
    const std::string path = TempPath("session.txt");
    std::ofstream(path, std::ios::binary) << script << "read 0x00 22\nled\nclock\n";

    const ProgramRun run = Cli("--simulate batch " + path);
    ASSERT_EQ(run.exitCode, 0) << run.out;
    std::string registers;
    for (std::uint8_t reg = 0; reg < 22; ++reg) {
        registers += (reg == 0 ? "" : " ") + vrq::board::ByteToHex(board.Chip().Peek(reg));
    }
    const std::string clockLine =
        "base 12 MHz, divider " + std::to_string(board.Divider()) + ", " +
        vrq::cli::KhzText(vrq::cli::BusKhz(board.BaseClockMHz(), board.Divider())) + " kHz\n";
    EXPECT_EQ(run.out, registers + "\n" + (board.Led() ? "on\n" : "off\n") + clockLine) << script;
}

TEST(BatchProgram, ReadsStandardInputForADash) {
    const ProgramRun run =
        vrq::test::RunProgram("{ printf '# from a pipe\\r\\nled on\\r\\nled\\r\\n' | " +
                              std::string(VRQ_CLI_PATH) + " --simulate batch -; }");
    EXPECT_EQ(run.exitCode, 0) << run.out;
    EXPECT_EQ(run.out, "on\n");
}

TEST(BatchProgram, OutputThatCannotBeWrittenStopsTheBatch) {
    const std::string path = TempPath("full.txt");
    std::ofstream(path) << "read 0\nled on\n";
    const ProgramRun run = Cli("--simulate --trace batch " + path + " >/dev/full");
    EXPECT_EQ(run.exitCode, 5) << run.out;
    EXPECT_NE(run.out.find("batch: stopped at line 1 of " + path + ", exit status 5: read 0\n"),
              std::string::npos)
        << run.out;
    EXPECT_NE(run.out.find("standard output could not be written: No space left on device"),
              std::string::npos)
        << run.out;
    EXPECT_EQ(run.out.find("> 00 01 00 01"), std::string::npos) << "led on was not run";
}

}  // namespace
