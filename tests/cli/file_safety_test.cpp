// What the tool's files may be: save replaces only a regular file (or makes one), load reads
// only a regular file and never blocks, a batch's load lines likewise; and two programs on
// the same simulated board contend for it as for a real one. Each as a user runs it, in a
// folder of the test's own.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "support/run_program.h"
#include "support/temp_folder.h"

namespace {

namespace fs = std::filesystem;

class CliFiles : public ::testing::Test {
  protected:
    // The tool with arguments, under a time limit: a tool that blocks fails with 124.
    vrq::test::ProgramRun Tool(const std::string& args) const {
        return vrq::test::RunProgram("cd '" + dir.string() + "' && timeout 20 " +
                                     std::string(VRQ_CLI_PATH) + " --trace " + args);
    }
    static bool Sent(const vrq::test::ProgramRun& run) {
        return run.out.rfind("> ", 0) == 0 || run.out.find("\n> ") != std::string::npos;
    }
    vrq::test::TempFolder folder{"vrq-cli-files"};
    const fs::path& dir = folder.Path();
};

// Targets that are not a regular file, or a link to one, are refused before the board is
// touched and left as they were.
TEST_F(CliFiles, SaveRefusesWhatIsNoRegularFile) {
    ASSERT_EQ(::mkfifo((dir / "fifo").c_str(), 0644), 0);
    fs::create_symlink("fifo", dir / "to-fifo");
    fs::create_symlink("loop-b", dir / "loop-a");
    fs::create_symlink("loop-a", dir / "loop-b");
    for (const char* target : {"fifo", "to-fifo", "loop-a"}) {
        const auto run = Tool(std::string("--simulate save ") + target);
        EXPECT_EQ(run.exitCode, 3) << target << ": " << run.out;
        EXPECT_FALSE(Sent(run)) << target << ": " << run.out;
    }
    EXPECT_TRUE(fs::is_fifo(dir / "fifo"));
    const auto saved = Tool("--simulate save to-new");
    EXPECT_EQ(saved.exitCode, 0) << saved.out;
    EXPECT_TRUE(fs::is_regular_file(dir / "to-new"));
}

// A FIFO is not read (it would wait for a writer for ever): refused at once, from the
// command line and from a batch's load line, before any line runs.
TEST_F(CliFiles, LoadRefusesAFifoWithoutWaitingForIt) {
    ASSERT_EQ(::mkfifo((dir / "fifo").c_str(), 0644), 0);
    std::ofstream(dir / "session.txt") << "led on\nload fifo\n";
    for (const char* args : {"--simulate load fifo", "--simulate batch session.txt"}) {
        const auto run = Tool(args);
        EXPECT_EQ(run.exitCode, 3) << args << ": " << run.out;
        EXPECT_NE(run.out.find("It is not a regular file."), std::string::npos) << run.out;
        EXPECT_FALSE(Sent(run)) << args << ": " << run.out;
    }
}

// Two programs simulating boards in the same lock folder: the second is refused the board the
// first holds, and told which program has it, from the lock.
TEST_F(CliFiles, TwoSimulatedProgramsContendForTheirBoardAsForARealOne) {
    const std::string cli = VRQ_CLI_PATH;
    std::ofstream(dir / "hold.txt") << "led on\nsleep 5\n";
    const auto run = vrq::test::RunProgram(
        "{ cd '" + dir.string() + "' && export VRQ66208A_SIM_LOCK_DIR='" + dir.string() + "'; " +
        cli + " --simulate batch hold.txt & holder=$!; " +
        "for i in $(seq 100); do [ -e board0 ] && ! flock -n board0 true && break; sleep 0.1; "
        "done; " +
        cli + " --simulate firmware; echo \"status $?\"; kill $holder; wait $holder; }");
    EXPECT_NE(run.out.find("status 2"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("in use by vrq66208a-cli (process "), std::string::npos) << run.out;
}

}  // namespace
