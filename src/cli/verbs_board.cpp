// The board's own commands: list, firmware, led, clock.
#include <CLI/CLI.hpp>

#include <array>
#include <cstdio>

#include "board/firmware_text.h"
#include "cli/boards.h"
#include "cli/json.h"
#include "cli/numbers.h"
#include "cli/verb.h"

namespace vrq::cli {
namespace {

using board::Outcome;

void FirmwareMembers(Json& json, const board::FirmwareVersion& fw) {
    char date[32];
    std::snprintf(date, sizeof date, "%04d-%02d-%02d", fw.year, fw.month, fw.day);
    json.Key("major").Int(fw.version >> 4).Key("minor").Int(fw.version & 0x0F);
    json.Key("date").String(date);
    json.Key("text").String(board::FirmwareVersionText(fw, board::EnglishMonthName));
}

class ListVerb : public Verb {
  public:
    explicit ListVerb(CLI::App& command) { AddJsonFlag(command, json_); }
    Needs Requires() const override { return Needs::EveryBoard; }

    ExitCode Run(Context& context) override {
        BoardSet& boards = *context.boards;
        if (boards.Paths().empty()) {
            return context.Fail(ExitCode::Board, NoBoardText());
        }
        ExitCode code = ExitCode::Ok;
        int unusable = 0;
        std::string text;
        Json json;
        json.BeginObject().Key("boards").BeginArray();
        for (std::size_t i = 0; i < boards.Paths().size(); ++i) {
            const std::string& path = boards.Paths()[i];
            // The board a command already has open is asked through that session.
            board::BoardSession* session =
                boards.CurrentInstance() == i ? boards.Current() : nullptr;
            std::unique_ptr<board::BoardSession> own;
            board::UnopenedBoard failure;
            if (session == nullptr) {
                own = boards.Open(i, failure);
                session = own.get();
            }
            json.BeginObject().Key("instance").Int(static_cast<long long>(i));
            json.Key("path").String(path).Key("opened").Bool(session != nullptr);
            std::string state;
            if (session == nullptr) {
                state = board::OpenFailureText(failure);
                json.Key("firmware").Null().Key("error").String(state);
                code = ExitCode::Board;
                ++unusable;
            } else if (const auto fw =
                           context.Retrying([&] { return session->ReadFirmwareVersion(); });
                       fw.Ok()) {
                state = board::FirmwareVersionText(fw.value, board::EnglishMonthName);
                json.Key("firmware").BeginObject();
                FirmwareMembers(json, fw.value);
                json.EndObject();
            } else {
                state = board::OutcomeText(fw.outcome);
                json.Key("firmware").Null().Key("error").String(state);
                code = Worse(code, ExitFor(fw.outcome));
                ++unusable;
            }
            json.EndObject();
            text += std::to_string(i) + "  " + path + "  " + state + "\n";
        }
        json.EndArray().EndObject();
        context.out.Write(json_ ? json.Document() : text);
        if (unusable > 0) {
            const std::size_t total = boards.Paths().size();
            context.Fail(code, std::to_string(unusable) + " of " + std::to_string(total) +
                                   (total > 1 ? " boards" : " board") +
                                   " could not be used: the list says why");
        }
        return code;
    }

  private:
    bool json_ = false;
};

class FirmwareVerb : public Verb {
  public:
    explicit FirmwareVerb(CLI::App& command) { AddJsonFlag(command, json_); }

    ExitCode Run(Context& context) override {
        const auto fw = context.Retrying([&] { return context.session->ReadFirmwareVersion(); });
        if (!fw.Ok()) {
            return context.Failed(fw.outcome, "reading the firmware version");
        }
        if (json_) {
            Json json;
            json.BeginObject();
            FirmwareMembers(json, fw.value);
            context.out.Write(json.EndObject().Document());
        } else {
            context.out.Write(board::FirmwareVersionText(fw.value, board::EnglishMonthName) + "\n");
        }
        return ExitCode::Ok;
    }

  private:
    bool json_ = false;
};

class LedVerb : public Verb {
  public:
    explicit LedVerb(CLI::App& command) {
        command.add_option("STATE", state_, "on or off; without it the LED's state is shown")
            ->type_name("")
            ->check(CLI::IsMember({"on", "off"}));
    }

    ExitCode Run(Context& context) override {
        board::BoardSession& session = *context.session;
        if (state_.empty()) {
            const auto led = context.Retrying([&] { return session.ReadLed(); });
            if (!led.Ok()) {
                return context.Failed(led.outcome, "reading the LED's state");
            }
            context.out.Write(led.value ? "on\n" : "off\n");
            return ExitCode::Ok;
        }
        const Outcome outcome = context.Retrying([&] { return session.SetLed(state_ == "on"); });
        // The acknowledgement is taken before the tool ends, so the setting is in force.
        session.Drain();
        return context.Failed(outcome, "switching the LED " + state_);
    }

  private:
    std::string state_;
};

class ClockVerb : public Verb {
  public:
    explicit ClockVerb(CLI::App& command) {
        auto* divider = command.add_option(
            "DIVIDER", dividerWord_,
            "Set the divider, 1 to 255 (bus clock = base clock / divider); without it, and "
            "without --khz, the clock is shown");
        divider->type_name("");
        command.add_option("--khz", khzWord_, "Set the divider that comes nearest to K kHz")
            ->option_text("K")
            ->excludes(divider);
        AddJsonFlag(command, json_);
    }

    std::string Prepare(const ExchangeOptions& /*options*/) override {
        std::string error;
        if (!dividerWord_.empty()) {
            divider_ = ParseArgument({"DIVIDER", 1, 255, false}, dividerWord_, error);
        } else if (!khzWord_.empty()) {
            khz_ = ParseArgument({"--khz", 1, kHighestKhz, false}, khzWord_, error);
        }
        return error;
    }

    ExitCode Run(Context& context) override {
        board::BoardSession& session = *context.session;
        board::BusClock clock;
        // The base clock is needed to pick a divider for --khz and to report in JSON.
        if (!divider_ || json_) {
            const auto now = context.Retrying([&] { return session.ReadBusClock(); });
            if (!now.Ok()) {
                return context.Failed(now.outcome, "reading the bus clock");
            }
            clock = now.value;
        }
        if (divider_ || khz_) {
            if (khz_ && clock.baseMHz == 0) {
                return context.Fail(ExitCode::Board,
                                    "the board reports a base clock of 0 MHz, so no divider "
                                    "gives a bus clock: replug the board");
            }
            clock.divider = static_cast<std::uint8_t>(
                divider_ ? *divider_ : NearestDivider(clock.baseMHz, *khz_));
            const Outcome outcome =
                context.Retrying([&] { return session.SetBusClockDivider(clock.divider); });
            session.Drain();
            if (outcome != Outcome::Ok) {
                return context.Failed(
                    outcome, "setting the bus clock divider to " + std::to_string(clock.divider));
            }
        }
        const double khz = BusKhz(clock.baseMHz, clock.divider);
        if (json_) {
            Json json;
            json.BeginObject().Key("base_mhz").Int(clock.baseMHz);
            json.Key("divider").Int(clock.divider).Key("khz").Real(khz, 3).EndObject();
            context.out.Write(json.Document());
        } else if (khz_) {
            context.out.Write("divider " + std::to_string(clock.divider) + ": " + KhzText(khz) +
                              " kHz from the " + std::to_string(clock.baseMHz) +
                              " MHz base clock, the nearest to " + std::to_string(*khz_) +
                              " kHz\n");
        } else if (!divider_) {
            context.out.Write("base " + std::to_string(clock.baseMHz) + " MHz, divider " +
                              std::to_string(clock.divider) + ", " + KhzText(khz) + " kHz\n");
        }
        return ExitCode::Ok;
    }

  private:
    static constexpr unsigned kHighestKhz = 100000;
    std::string dividerWord_;
    std::string khzWord_;
    bool json_ = false;
    std::optional<unsigned> divider_;
    std::optional<unsigned> khz_;
};

constexpr std::array<VerbEntry, 4> kVerbs{{
    {"list", "List every board: instance, path and firmware version, or why it cannot be used",
     "Examples:\n"
     "  vrq66208a-cli list\n"
     "  vrq66208a-cli list --json\n",
     Make<ListVerb>},
    {"firmware", "Show the board's firmware version",
     "Examples:\n"
     "  vrq66208a-cli firmware\n"
     "  vrq66208a-cli --board 1 firmware --json\n",
     Make<FirmwareVerb>},
    {"led", "Show the board's LED, or switch it on or off",
     "Examples:\n"
     "  vrq66208a-cli led\n"
     "  vrq66208a-cli led on\n",
     Make<LedVerb>},
    {"clock", "Show the I2C bus clock, or set its divider",
     "Examples:\n"
     "  vrq66208a-cli clock                 base clock, divider and bus clock\n"
     "  vrq66208a-cli clock 30              divider 30: 400 kHz from a 12 MHz base\n"
     "  vrq66208a-cli clock --khz 400       the divider nearest to 400 kHz, and which it is\n",
     Make<ClockVerb>},
}};

}  // namespace

std::span<const VerbEntry> BoardVerbs() {
    return kVerbs;
}

}  // namespace vrq::cli
