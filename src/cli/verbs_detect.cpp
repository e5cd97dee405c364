// detect: which 7-bit addresses answer on the bus, as the grid the Linux I2C tools print.
#include <CLI/CLI.hpp>

#include <array>
#include <cstdio>

#include "cli/json.h"
#include "cli/numbers.h"
#include "cli/verb.h"
#include "device/register_map.h"

namespace vrq::cli {
namespace {

using board::Outcome;

struct Probe {
    enum class State { NotProbed, Silent, Answered };
    State state = State::NotProbed;
    std::uint8_t id = 0;  // register 0x00, when it answered
    bool Ours() const { return state == State::Answered && id == device::kDeviceId; }
};

// Rows of 16 addresses: "--" where nothing acknowledged, the address where a chip did (a '*'
// after it when register 0x00 reads the VRQ66208A's identification), blank where not probed.
std::string Grid(const std::array<Probe, 128>& probes) {
    std::string text = "     0  1  2  3  4  5  6  7  8  9  a  b  c  d  e  f\n";
    char cell[8];
    for (unsigned row = 0; row < 128; row += 16) {
        std::snprintf(cell, sizeof cell, "%02x: ", row);
        text += cell;
        for (unsigned address = row; address < row + 16; ++address) {
            const Probe& probe = probes[address];
            switch (probe.state) {
                case Probe::State::NotProbed:
                    text += "   ";
                    break;
                case Probe::State::Silent:
                    text += "-- ";
                    break;
                case Probe::State::Answered:
                    std::snprintf(cell, sizeof cell, "%02x%c", address, probe.Ours() ? '*' : ' ');
                    text += cell;
                    break;
            }
        }
        text += "\n";
    }
    return text;
}

class DetectVerb : public Verb {
  public:
    explicit DetectVerb(CLI::App& command) {
        command.add_flag("--all", all_, "Probe every address, 0x00 to 0x7F (reserved ones too)");
        command.add_flag("--first", first_,
                         "Stop at the first chip whose register 0x00 reads 0x31");
        AddJsonFlag(command, json_);
    }

    ExitCode Run(Context& context) override {
        const unsigned from = all_ ? 0x00 : kFirstUsualAddress;
        const unsigned to = all_ ? 0x7F : kLastUsualAddress;
        std::array<Probe, 128> probes{};
        int probed = 0;
        bool found = false;
        // One register read per address, one after the other: the board's answer is all the
        // waiting there is.
        for (unsigned address = from; address <= to && !(first_ && found); ++address) {
            Probe& probe = probes[address];
            const auto addressByte = static_cast<std::uint8_t>(address << 1);
            const Outcome outcome = context.Retrying([&] {
                return context.session->ReadRegisters(addressByte, 0x00, {&probe.id, 1});
            });
            ++probed;
            if (outcome == Outcome::NoAcknowledge) {
                probe.state = Probe::State::Silent;
            } else if (outcome == Outcome::Ok) {
                probe.state = Probe::State::Answered;
                found = found || probe.Ours();
            } else {
                return context.Failed(outcome, "probing address " + Hex(address));
            }
        }

        if (json_) {
            Json json;
            json.BeginObject().Key("from").Int(from).Key("to").Int(to).Key("probed").Int(probed);
            json.Key("chips").BeginArray();
            for (unsigned address = 0; address < probes.size(); ++address) {
                if (probes[address].state == Probe::State::Answered) {
                    json.BeginObject().Key("address").Int(address);
                    json.Key("register_00").Int(probes[address].id);
                    json.Key("vrq66208a").Bool(probes[address].Ours()).EndObject();
                }
            }
            context.out.Write(json.EndArray().EndObject().Document());
        } else {
            std::string text = Grid(probes);
            if (found) {
                text += "* register 0x00 reads 0x31: a VRQ66208A\n";
            }
            context.out.Write(text);
        }
        if (first_ && !found) {
            return context.Fail(ExitCode::NoAcknowledge,
                                "no chip at " + Hex(from) + " to " + Hex(to) +
                                    " reads 0x31 in register 0x00: check the chip's power and "
                                    "the bus wiring");
        }
        return ExitCode::Ok;
    }

  private:
    bool all_ = false;
    bool first_ = false;
    bool json_ = false;
};

constexpr std::array<VerbEntry, 1> kVerbs{{
    {"detect", "Probe the addresses 0x08 to 0x77 with a read of register 0x00 and show who answers",
     "In the grid, -- is no acknowledge; a chip that answered shows its address, with a * when\n"
     "its register 0x00 reads 0x31, the VRQ66208A's identification.\n"
     "Examples:\n"
     "  vrq66208a-cli detect\n"
     "  vrq66208a-cli detect --first --json     the first VRQ66208A, for a script\n",
     Make<DetectVerb>},
}};

}  // namespace

std::span<const VerbEntry> DetectVerbs() {
    return kVerbs;
}

}  // namespace vrq::cli
