// Register files: save and load, the same file format and checks as the window's.
#include <CLI/CLI.hpp>

#include <array>
#include <map>

#include "board/hex.h"
#include "cli/numbers.h"
#include "cli/register_text.h"
#include "cli/verb.h"
#include "device/register_file.h"
#include "device/register_map.h"

namespace vrq::cli {
namespace {

using board::Outcome;

// Messages are shared with the window, whose lines end in CR LF; a terminal wants LF.
std::string PlainLines(std::string text) {
    for (std::size_t at = text.find("\r\n"); at != std::string::npos; at = text.find("\r\n", at)) {
        text.replace(at, 2, "\n");
    }
    return text;
}

class SaveVerb : public Verb {
  public:
    explicit SaveVerb(CLI::App& command) {
        command.add_option("FILE", path_, "The register file to write")->type_name("")->required();
    }

    // Before the board is touched: a target that can never be saved to is a usage error.
    std::string Prepare(const ExchangeOptions& /*options*/) override {
        std::string why;
        return device::CheckSaveTarget(path_, why) ? std::string() : why;
    }

    ExitCode Run(Context& context) override {
        std::array<std::uint8_t, 256> read{};
        for (const device::RegisterRun& run : device::kWorkingSetRuns) {
            const auto values = std::span(read).subspan(run.first, run.last - run.first + 1U);
            if (const Outcome outcome = context.Read(run.first, values); outcome != Outcome::Ok) {
                return context.Failed(outcome,
                                      "reading " + RegistersText(run.first, values.size()));
            }
        }
        const auto saved = device::WorkingSetFile(
            [&read](std::uint8_t reg) { return board::ByteToHex(read[reg]); });
        std::string message;
        if (!device::SaveRegisterFile(path_, saved, message)) {
            return context.Fail(ExitCode::Output, PlainLines(message));
        }
        return ExitCode::Ok;
    }

  private:
    std::string path_;
};

// The whole file is read and checked before any board is touched; a failed write stops the
// load there.
class LoadVerb : public Verb {
  public:
    explicit LoadVerb(CLI::App& command) {
        command.add_option("FILE", path_, "The register file to write to the chip")
            ->type_name("")
            ->required();
        command.add_flag("--verify", verify_,
                         "Read back every register written but the read-only ones; a "
                         "difference exits with 4 and names it");
    }

    std::string Prepare(const ExchangeOptions& /*options*/) override {
        device::LoadedRegisterFile loaded = device::LoadRegisterFile(path_);
        switch (loaded.status) {
            case device::LoadedRegisterFile::Status::Ok:
                writes_ = std::move(loaded.parsed.writes);
                return {};
            case device::LoadedRegisterFile::Status::Empty:
                return path_ + " is empty: there is no register to write";
            case device::LoadedRegisterFile::Status::CannotRead:
            case device::LoadedRegisterFile::Status::Invalid:
                break;
        }
        return PlainLines(loaded.message);
    }

    ExitCode Run(Context& context) override {
        std::map<std::uint8_t, std::uint8_t> last;  // each register's last value, to verify
        for (const device::RegisterWrite& write : writes_) {
            if (const Outcome outcome = context.Write(write.address, {&write.value, 1});
                outcome != Outcome::Ok) {
                return context.Failed(outcome, "writing " + RegisterLabel(write.address) +
                                                   " (line " + std::to_string(write.line) + " of " +
                                                   path_ + ")");
            }
            last[write.address] = write.value;
        }
        if (!verify_) {
            return ExitCode::Ok;
        }
        ExitCode code = ExitCode::Ok;
        for (const auto& [address, value] : last) {
            if (device::IsReadOnly(address)) {
                continue;  // the chip keeps its own value there
            }
            std::uint8_t back = 0;
            if (const Outcome outcome = context.Read(address, {&back, 1}); outcome != Outcome::Ok) {
                return context.Failed(outcome, "reading back " + RegisterLabel(address));
            }
            if (back != value) {
                code = context.Fail(ExitCode::Differs, DifferenceText(address, value, back));
            }
        }
        return code;
    }

  private:
    std::string path_;
    bool verify_ = false;
    std::vector<device::RegisterWrite> writes_;
};

constexpr std::array<VerbEntry, 2> kVerbs{{
    {"save", "Save the working set (registers 0x00 to 0x0C and 0x10) to a register file",
     "An existing FILE is replaced only once the new one is completely written.\n"
     "Examples:\n"
     "  vrq66208a-cli save bench.txt\n",
     Make<SaveVerb>},
    {"load", "Check a register file whole, then write its registers to the chip in its order",
     "Nothing is written when any line fails the check; the message names the first bad line.\n"
     "Examples:\n"
     "  vrq66208a-cli load bench.txt\n"
     "  vrq66208a-cli --board 1 load --verify bench.txt\n",
     Make<LoadVerb>},
}};

}  // namespace

std::span<const VerbEntry> FileVerbs() {
    return kVerbs;
}

}  // namespace vrq::cli
