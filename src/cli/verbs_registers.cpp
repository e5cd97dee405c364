// The chip's registers: dump, read, write, decode, recal.
#include <CLI/CLI.hpp>

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "board/hex.h"
#include "cli/numbers.h"
#include "cli/register_text.h"
#include "cli/verb.h"
#include "device/register_map.h"

namespace vrq::cli {
namespace {

using board::Outcome;

class DumpVerb : public Verb {
  public:
    explicit DumpVerb(CLI::App& command) {
        command.add_flag("--changed", changed_,
                         "Only the registers whose value differs from their reset value");
        AddJsonFlag(command, json_);
    }

    ExitCode Run(Context& context) override {
        constexpr std::size_t kCount = device::kRegisterCount;
        Values values{};
        Outcomes outcomes{};
        const Outcome all = context.Read(0x00, values);
        outcomes.fill(all);
        if (all == Outcome::NoAcknowledge) {
            // One at a time, to tell the registers that answer from those that do not.
            for (std::size_t i = 0; i < kCount; ++i) {
                outcomes[i] = context.Read(static_cast<std::uint8_t>(i), {&values[i], 1});
                if (Context::WorthRepeating(outcomes[i]) || outcomes[i] == Outcome::BoardGone) {
                    return context.Failed(outcomes[i], "reading " + RegisterLabel(i));
                }
            }
        } else if (all != Outcome::Ok) {
            return context.Failed(all, "reading " + RegistersText(0x00, kCount));
        }
        const auto failed = std::count_if(outcomes.begin(), outcomes.end(),
                                          [](Outcome o) { return o != Outcome::Ok; });
        if (failed == static_cast<long>(kCount)) {
            return context.Failed(Outcome::NoAcknowledge, "reading " + RegistersText(0, kCount));
        }

        // Only the registers to show: all of them, or those that differ or did not answer.
        std::vector<std::size_t> shown;
        for (std::size_t i = 0; i < kCount; ++i) {
            const bool same = outcomes[i] == Outcome::Ok &&
                              values[i] == device::ResetValue(static_cast<std::uint8_t>(i));
            if (!changed_ || !same) {
                shown.push_back(i);
            }
        }
        context.out.Write(json_ ? Document(context, shown, values, outcomes)
                                : Table(shown, values, outcomes, failed == 0));
        if (failed > 0) {
            return context.Fail(ExitCode::NoAcknowledge,
                                std::to_string(failed) + " of " + std::to_string(kCount) +
                                    " registers did not answer (marked in the table): check "
                                    "the chip's power and --address");
        }
        return ExitCode::Ok;
    }

  private:
    using Values = std::array<std::uint8_t, device::kRegisterCount>;
    using Outcomes = std::array<Outcome, device::kRegisterCount>;

    std::string Table(const std::vector<std::size_t>& shown, const Values& values,
                      const Outcomes& outcomes, bool allAnswered) const {
        std::string text = "ADDR  NAME                    VALUE  RESET\n";
        bool anyChanged = false;
        for (const std::size_t i : shown) {
            const auto address = static_cast<std::uint8_t>(i);
            const std::uint8_t reset = device::ResetValue(address);
            if (outcomes[i] != Outcome::Ok) {
                text += Row(address, "--", reset, board::OutcomeText(outcomes[i]));
                continue;
            }
            const bool changed = values[i] != reset;
            anyChanged = anyChanged || changed;
            text += Row(address, board::ByteToHex(values[i]) + (changed ? " *" : ""), reset, "");
            const std::string fields = Explain(address, values[i], "      ");
            text += fields.substr(fields.find('\n') + 1);
        }
        if (anyChanged) {
            text += "* differs from its reset value\n";
        } else if (changed_ && allAnswered) {
            text += "every register holds its reset value\n";
        }
        return text;
    }

    static std::string Document(const Context& context, const std::vector<std::size_t>& shown,
                                const Values& values, const Outcomes& outcomes) {
        Json json;
        json.BeginObject().Key("address").Int(context.options.address7);
        json.Key("registers").BeginArray();
        for (const std::size_t i : shown) {
            const auto address = static_cast<std::uint8_t>(i);
            const std::uint8_t reset = device::ResetValue(address);
            json.BeginObject();
            if (outcomes[i] == Outcome::Ok) {
                RegisterMembers(json, address, values[i]);
                json.Key("reset").Int(reset).Key("changed").Bool(values[i] != reset);
            } else {
                json.Key("register").Int(address).Key("name").String(RegisterName(address));
                json.Key("value").Null().Key("reset").Int(reset);
                json.Key("error").String(board::OutcomeText(outcomes[i]));
            }
            json.EndObject();
        }
        return json.EndArray().EndObject().Document();
    }

    static std::string Row(std::uint8_t address, const std::string& value, std::uint8_t reset,
                           std::string_view note) {
        const std::string name = RegisterName(address);
        char row[128];
        std::snprintf(row, sizeof row, "%-4s  %-22s  %-5s  %-5s  %.*s", Hex(address).c_str(),
                      name.empty() ? "-" : name.c_str(), value.c_str(),
                      board::ByteToHex(reset).c_str(), static_cast<int>(note.size()), note.data());
        std::string line = row;
        line.erase(line.find_last_not_of(' ') + 1);
        return line + "\n";
    }

    bool changed_ = false;
    bool json_ = false;
};

class ReadVerb : public Verb {
  public:
    explicit ReadVerb(CLI::App& command) {
        command.add_option("FIRST", firstWord_, "The first register, 0x00 to 0xFF")
            ->type_name("")
            ->required();
        command.add_option("COUNT", countWord_, "How many registers, 1 to 62 (default 1)")
            ->type_name("");
        command.add_flag("--decode", decode_, "Explain each register's bit fields too");
        AddJsonFlag(command, json_);
    }

    std::string Prepare(const ExchangeOptions& /*options*/) override {
        std::string error;
        const auto first = ParseByteArgument("FIRST", firstWord_, error);
        if (!first) {
            return error;
        }
        const auto count = ParseArgument(
            {"COUNT", 1, static_cast<unsigned>(board::kMaxReadCount), false}, countWord_, error);
        if (!count) {
            return error;
        }
        first_ = *first;
        values_.resize(*count);
        return RunPastLastRegister(first_, values_.size());
    }

    ExitCode Run(Context& context) override {
        if (const Outcome outcome = context.Read(first_, values_); outcome != Outcome::Ok) {
            return context.Failed(outcome, "reading " + RegistersText(first_, values_.size()));
        }
        if (json_) {
            Json json;
            json.BeginObject().Key("address").Int(context.options.address7);
            json.Key("first").Int(first_).Key("values").BeginArray();
            for (const std::uint8_t value : values_) {
                json.Int(value);
            }
            json.EndArray();
            if (decode_) {
                json.Key("decoded").BeginArray();
                for (std::size_t i = 0; i < values_.size(); ++i) {
                    RegisterMembers(json.BeginObject(), Address(i), values_[i]);
                    json.EndObject();
                }
                json.EndArray();
            }
            context.out.Write(json.EndObject().Document());
            return ExitCode::Ok;
        }
        std::string text;
        for (std::size_t i = 0; i < values_.size(); ++i) {
            text += (i > 0 ? " " : "") + board::ByteToHex(values_[i]);
        }
        text += "\n";
        for (std::size_t i = 0; decode_ && i < values_.size(); ++i) {
            text += Explain(Address(i), values_[i]);
        }
        context.out.Write(text);
        return ExitCode::Ok;
    }

  private:
    std::uint8_t Address(std::size_t i) const { return static_cast<std::uint8_t>(first_ + i); }

    std::string firstWord_;
    std::string countWord_ = "1";
    bool decode_ = false;
    bool json_ = false;
    std::uint8_t first_ = 0;
    std::vector<std::uint8_t> values_;
};

class WriteVerb : public Verb {
  public:
    explicit WriteVerb(CLI::App& command) {
        command.add_option("FIRST", firstWord_, "The first register, 0x00 to 0xFF")
            ->type_name("")
            ->required();
        command.add_option("VALUE", valueWords_, "Up to 59 values, one per register from FIRST")
            ->type_name("")
            ->required();
        command
            .add_option("--mask", maskWord_,
                        "Change only the bits set in M: each register is read, and its other "
                        "bits are written back as they were")
            ->option_text("M");
        command.add_flag("--verify", verify_,
                         "Read the registers back; a difference exits with 4 and names it");
        command.add_flag("--force", force_, "Write read-only registers too");
    }

    std::string Prepare(const ExchangeOptions& options) override {
        std::string error;
        const auto first = ParseByteArgument("FIRST", firstWord_, error);
        if (!first) {
            return error;
        }
        first_ = *first;
        if (valueWords_.size() > board::kMaxWriteCount) {
            return "at most " + std::to_string(board::kMaxWriteCount) +
                   " values in one write, not " + std::to_string(valueWords_.size());
        }
        for (const std::string& word : valueWords_) {
            const auto value = ParseByteArgument("VALUE", word, error);
            if (!value) {
                return error;
            }
            values_.push_back(*value);
        }
        if (!maskWord_.empty()) {
            mask_ = ParseByteArgument("--mask", maskWord_, error);
            if (!mask_) {
                return error;
            }
        }
        if (std::string past = RunPastLastRegister(first_, values_.size()); !past.empty()) {
            return past;
        }
        for (std::size_t i = 0; i < values_.size() && !force_ && !options.force; ++i) {
            const auto address = static_cast<std::uint8_t>(first_ + i);
            if (device::IsReadOnly(address)) {
                return RegisterLabel(address) +
                       " is read-only: the chip keeps its own value (--force writes it anyway)";
            }
        }
        return {};
    }

    ExitCode Run(Context& context) override {
        const std::string registers = RegistersText(first_, values_.size());
        std::vector<std::uint8_t> written = values_;
        if (mask_) {
            std::vector<std::uint8_t> old(values_.size());
            if (const Outcome outcome = context.Read(first_, old); outcome != Outcome::Ok) {
                return context.Failed(outcome, "reading " + registers +
                                                   " to keep the bits "
                                                   "outside --mask");
            }
            for (std::size_t i = 0; i < written.size(); ++i) {
                written[i] = static_cast<std::uint8_t>((old[i] & ~*mask_) | (values_[i] & *mask_));
            }
        }
        if (const Outcome outcome = context.Write(first_, written); outcome != Outcome::Ok) {
            return context.Failed(outcome, "writing " + registers);
        }
        if (!verify_) {
            return ExitCode::Ok;
        }
        std::vector<std::uint8_t> back(written.size());
        if (const Outcome outcome = context.Read(first_, back); outcome != Outcome::Ok) {
            return context.Failed(outcome, "reading back " + registers);
        }
        ExitCode code = ExitCode::Ok;
        for (std::size_t i = 0; i < back.size(); ++i) {
            if (back[i] != written[i]) {
                code = context.Fail(
                    ExitCode::Differs,
                    DifferenceText(static_cast<std::uint8_t>(first_ + i), written[i], back[i]));
            }
        }
        return code;
    }

  private:
    std::string firstWord_;
    std::vector<std::string> valueWords_;
    std::string maskWord_;
    bool verify_ = false;
    bool force_ = false;
    std::uint8_t first_ = 0;
    std::vector<std::uint8_t> values_;
    std::optional<std::uint8_t> mask_;
};

class DecodeVerb : public Verb {
  public:
    explicit DecodeVerb(CLI::App& command) {
        command.add_option("REGISTER", registerWord_, "The register, 0x00 to 0x15")
            ->type_name("")
            ->required();
        command
            .add_option("VALUE", valueWord_,
                        "The value to explain; without it the chip's register is read")
            ->type_name("");
    }

    std::string Prepare(const ExchangeOptions& /*options*/) override {
        std::string error;
        const auto address = ParseArgument(
            {"REGISTER", 0x00, static_cast<unsigned>(device::kRegisterCount - 1), true},
            registerWord_, error);
        if (!address) {
            return error;
        }
        address_ = static_cast<std::uint8_t>(*address);
        if (!valueWord_.empty()) {
            value_ = ParseByteArgument("VALUE", valueWord_, error);
        }
        return error;
    }

    Needs Requires() const override { return value_ ? Needs::Nothing : Needs::Board; }

    ExitCode Run(Context& context) override {
        std::uint8_t value = value_.value_or(0);
        if (!value_) {
            if (const Outcome outcome = context.Read(address_, {&value, 1});
                outcome != Outcome::Ok) {
                return context.Failed(outcome, "reading " + RegisterLabel(address_));
            }
        }
        context.out.Write(Explain(address_, value));
        return ExitCode::Ok;
    }

  private:
    std::string registerWord_;
    std::string valueWord_;
    std::uint8_t address_ = 0;
    std::optional<std::uint8_t> value_;
};

// The termination re-calibration: bit 7 of register 0x03 high for 0.1 s, then low, the other
// bits as they were; the same pulse as the window's button.
class RecalVerb : public Verb {
  public:
    explicit RecalVerb(CLI::App& /*command*/) {}

    ExitCode Run(Context& context) override {
        std::uint8_t value = 0;
        if (const Outcome outcome = context.Read(kInputControl, {&value, 1});
            outcome != Outcome::Ok) {
            return context.Failed(outcome, "reading " + RegisterLabel(kInputControl));
        }
        const auto high = static_cast<std::uint8_t>(value | kRecalibrate);
        if (const Outcome outcome = context.Write(kInputControl, {&high, 1});
            outcome != Outcome::Ok) {
            return context.Failed(outcome, "taking bit 7 (Recalibrate) of register 0x03 high");
        }
        context.clock.SleepFor(kPulse);
        const auto low = static_cast<std::uint8_t>(value & ~kRecalibrate);
        if (const Outcome outcome = context.Write(kInputControl, {&low, 1});
            outcome != Outcome::Ok) {
            return context.Failed(outcome,
                                  "taking bit 7 (Recalibrate) of register 0x03 low again (it may "
                                  "still be high: run recal again)");
        }
        return ExitCode::Ok;
    }

  private:
    static constexpr std::uint8_t kInputControl = 0x03;
    static constexpr std::uint8_t kRecalibrate = 0x80;
    static constexpr std::chrono::milliseconds kPulse{100};
};

constexpr std::array<VerbEntry, 5> kVerbs{{
    {"dump", "Show registers 0x00 to 0x15: name, value, reset value and fields in words",
     "Reading clears the error counters (0x0A to 0x0C), as every read of them does.\n"
     "Examples:\n"
     "  vrq66208a-cli dump\n"
     "  vrq66208a-cli dump --changed          only what differs from the reset values\n"
     "  vrq66208a-cli dump --json\n",
     Make<DumpVerb>},
    {"read", "Read COUNT registers from FIRST and print them as two-digit hex",
     "Examples:\n"
     "  vrq66208a-cli read 0 13               registers 0x00 to 0x0C\n"
     "  vrq66208a-cli read 0x06 --decode      register 0x06 and its fields in words\n",
     Make<ReadVerb>},
    {"write", "Write VALUE... to the registers from FIRST on, in one transfer",
     "A run past register 0xFF is refused; read-only registers need --force.\n"
     "Examples:\n"
     "  vrq66208a-cli write 0x03 0x92\n"
     "  vrq66208a-cli write 0x07 0xCC 0xCC --verify\n"
     "  vrq66208a-cli write 0x03 --mask 0x60 0x40     bits 6 and 5 only\n",
     Make<WriteVerb>},
    {"decode", "Explain a register's bit fields: of VALUE, or of the chip's register",
     "Examples:\n"
     "  vrq66208a-cli decode 6 0x35           needs no board\n"
     "  vrq66208a-cli decode 0x02             the chip's register 0x02\n",
     Make<DecodeVerb>},
    {"recal", "Pulse the termination re-calibration (register 0x03 bit 7, 0.1 s)",
     "Examples:\n"
     "  vrq66208a-cli recal\n",
     Make<RecalVerb>},
}};

}  // namespace

std::span<const VerbEntry> RegisterVerbs() {
    return kVerbs;
}

}  // namespace vrq::cli
