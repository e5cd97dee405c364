#include "cli/cli.h"

#include <CLI/CLI.hpp>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iostream>
#include <iterator>
#include <limits>
#include <memory>
#include <sstream>
#include <vector>

#include "board/board_session.h"
#include "board/discovery.h"
#include "board/firmware_text.h"
#include "board/hex.h"
#include "device/register_decoder.h"
#include "device/register_file.h"
#include "device/register_map.h"
#include "sim/program_boards.h"

namespace vrq::cli {
namespace {

using board::BoardSession;
using board::Outcome;

struct Options {
    int simulate = 0;
    std::string board = "0";
    std::string address = "0x44";
    bool trace = false;
};

int Fail(const std::string& message) {
    std::cerr << message << std::endl;
    return EXIT_FAILURE;
}

// Messages are shared with the window, whose lines end in CR LF; a terminal wants LF.
std::string PlainLines(std::string text) {
    for (std::size_t at = text.find("\r\n"); at != std::string::npos; at = text.find("\r\n", at)) {
        text.replace(at, 2, "\n");
    }
    return text;
}

// What failed, in the tool's own words.
int FailedExchange(Outcome outcome, std::uint8_t address7) {
    switch (outcome) {
        case Outcome::NoAcknowledge:
            return Fail("the chip did not acknowledge at address 0x" + board::ByteToHex(address7) +
                        ": check the address (--address) and the chip's power");
        case Outcome::NoAnswer:
            return Fail("the board did not answer: check the USB cable, then try again");
        case Outcome::NotWritten:
            return Fail("the command could not be sent to the board: check the USB cable");
        case Outcome::BoardGone:
            return Fail("the board is gone: it was unplugged or failed");
        case Outcome::Ambiguous:
            return Fail("the board's answers stayed out of step: try again");
        case Outcome::Refused:
            return Fail("the request is not valid for the board");
        case Outcome::Ok:
            break;
    }
    return EXIT_FAILURE;
}

// "0x06 = 35  Drive and PreEmphasis (0x06)" and the register's fields, indented.
std::string Explain(std::uint8_t address, std::uint8_t value) {
    const auto* info = device::FindRegister(address);
    std::string text = "0x" + board::ByteToHex(address) + " = " + board::ByteToHex(value);
    if (info != nullptr && !info->caption.empty()) {
        text += "  " + std::string(info->caption);
    }
    text += "\n";
    std::istringstream fields(device::DescribeRegister(address, value));
    for (std::string line; std::getline(fields, line);) {
        text += "  " + line + "\n";
    }
    return text;
}

int SaveRegisters(BoardSession& session, std::uint8_t address7, const std::string& path) {
    std::vector<device::SavedRegister> saved;
    for (const auto& run : device::kWorkingSetRuns) {
        const std::size_t n = run.last - run.first + 1U;
        std::vector<std::uint8_t> values(n);
        if (const Outcome outcome =
                session.ReadRegisters(static_cast<std::uint8_t>(address7 << 1), run.first, values);
            outcome != Outcome::Ok) {
            return FailedExchange(outcome, address7);
        }
        for (std::size_t i = 0; i < n; ++i) {
            const auto* reg = device::FindRegister(static_cast<std::uint8_t>(run.first + i));
            saved.push_back({std::string(device::CaptionAddressText(reg->caption)),
                             board::ByteToHex(values[i])});
        }
    }
    std::string message;
    if (!device::SaveRegisterFile(path, saved, message)) {
        return Fail(PlainLines(message));
    }
    return EXIT_SUCCESS;
}

// The same checks and messages as the window's Load Registers; the whole file is checked
// before anything is written. A failed write stops the load there.
int LoadRegisters(BoardSession& session, std::uint8_t address7, const std::string& path) {
    const device::LoadedRegisterFile loaded = device::LoadRegisterFile(path);
    switch (loaded.status) {
        case device::LoadedRegisterFile::Status::Ok:
            break;
        case device::LoadedRegisterFile::Status::Empty:
            // The window ends silently here; a script needs to hear that nothing happened.
            return Fail(path + " is empty: no register was written.");
        case device::LoadedRegisterFile::Status::CannotRead:
        case device::LoadedRegisterFile::Status::Invalid:
            return Fail(PlainLines(loaded.message));
    }
    for (const auto& write : loaded.parsed.writes) {
        if (const Outcome outcome = session.WriteRegisters(static_cast<std::uint8_t>(address7 << 1),
                                                           write.address, {&write.value, 1});
            outcome != Outcome::Ok) {
            return FailedExchange(outcome, address7);
        }
    }
    return EXIT_SUCCESS;
}

}  // namespace

std::optional<unsigned> ParseNumber(const std::string& text, unsigned max) {
    if (text.empty()) {
        return std::nullopt;
    }
    unsigned base = 10;
    std::size_t start = 0;
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        base = 16;
        start = 2;
    }
    unsigned long value = 0;
    for (std::size_t i = start; i < text.size(); ++i) {
        const char c = text[i];
        unsigned digit = 0;
        if (c >= '0' && c <= '9') {
            digit = static_cast<unsigned>(c - '0');
        } else if (base == 16 && c >= 'a' && c <= 'f') {
            digit = static_cast<unsigned>(c - 'a' + 10);
        } else if (base == 16 && c >= 'A' && c <= 'F') {
            digit = static_cast<unsigned>(c - 'A' + 10);
        } else {
            return std::nullopt;
        }
        value = value * base + digit;
        if (value > max) {
            return std::nullopt;
        }
    }
    return static_cast<unsigned>(value);
}

int RunCli(int argc, char** argv) {
    CLI::App app{"VRQ66208A evaluation board, command-line tool"};
    app.require_subcommand(1);
    Options opt;
    sim::AddSimulateOption(app, opt.simulate);
    app.add_option("--board", opt.board, "Board to use: its instance number or path (default 0)");
    app.add_option("--address", opt.address, "Chip's 7-bit I2C address (default 0x44)");
    app.add_flag("--trace", opt.trace, "Print every report exchanged to standard error");
    app.set_version_flag("--version", std::string("vrq66208a-cli ") + VRQ_VERSION,
                         "Print the tool's version and exit");

    auto* list = app.add_subcommand("list", "List the boards with their firmware versions");
    std::string first;
    std::string count = "1";
    auto* read = app.add_subcommand("read", "Read COUNT registers from FIRST");
    read->add_option("FIRST", first)->required();
    read->add_option("COUNT", count);
    bool decodeRead = false;
    read->add_flag("--decode", decodeRead, "Explain each register's bit fields too");
    std::vector<std::string> values;
    auto* write = app.add_subcommand("write", "Write VALUE... to registers from FIRST on");
    write->add_option("FIRST", first)->required();
    write->add_option("VALUE", values)->required();
    std::string ledState;
    auto* led = app.add_subcommand("led", "Show the LED, or switch it on or off");
    led->add_option("STATE", ledState)->check(CLI::IsMember({"on", "off"}));
    std::string divider;
    auto* clock = app.add_subcommand("clock", "Show the I2C clock, or set the divider");
    clock->add_option("DIVIDER", divider);
    auto* firmware = app.add_subcommand("firmware", "Show the board's firmware version");
    std::string file;
    auto* save = app.add_subcommand("save", "Save the working-set registers to a register file");
    save->add_option("FILE", file)->required();
    auto* load = app.add_subcommand("load", "Write the registers of a register file to the chip");
    load->add_option("FILE", file)->required();
    std::string decodeValue;
    auto* decode = app.add_subcommand("decode", "Explain a register value's bit fields (no board)");
    decode->add_option("REGISTER", first)->required();
    decode->add_option("VALUE", decodeValue)->required();

    CLI11_PARSE(app, argc, argv);
    const auto address7 = ParseNumber(opt.address, 0x7F);
    if (!address7) {
        return Fail("--address must be a 7-bit address, 0x00 to 0x7F: " + opt.address);
    }

    // Arguments are checked before any board is looked for: a typing slip is reported as
    // such, not as a missing board.
    std::optional<unsigned> reg;
    if (read->parsed() || write->parsed() || decode->parsed()) {
        reg = ParseNumber(first, 0xFF);
        if (!reg) {
            return Fail("the register must be an address, 0x00 to 0xFF: " + first);
        }
    }
    std::optional<unsigned> readCount;
    if (read->parsed()) {
        readCount = ParseNumber(count, board::kMaxReadCount);
        if (!readCount || *readCount == 0) {
            return Fail("COUNT must be 1 to " + std::to_string(board::kMaxReadCount));
        }
    }
    if (decode->parsed()) {
        values = {decodeValue};
    }
    if (values.size() > board::kMaxWriteCount) {
        return Fail("at most " + std::to_string(board::kMaxWriteCount) + " values in one write");
    }
    std::vector<std::uint8_t> bytes;
    for (const auto& v : values) {
        const auto byte = ParseNumber(v, 0xFF);
        if (!byte) {
            return Fail("VALUE must be a byte, 0x00 to 0xFF: " + v);
        }
        bytes.push_back(static_cast<std::uint8_t>(*byte));
    }
    if (decode->parsed()) {
        std::cout << Explain(static_cast<std::uint8_t>(*reg), bytes[0]);
        return EXIT_SUCCESS;
    }
    std::optional<unsigned> newDivider;
    if (clock->parsed() && !divider.empty()) {
        newDivider = ParseNumber(divider, 0xFF);
        if (!newDivider || *newDivider == 0) {
            return Fail("DIVIDER must be 1 to 255: " + divider);
        }
    }

    sim::BoardChoice choice;
    choice.simulated = opt.simulate;
    choice.trace = opt.trace ? &std::cerr : nullptr;
    sim::ProgramBoards boards(choice);
    board::Discovery found = board::DiscoverBoards(boards.Transport());
    if (found.boards.empty()) {
        std::string text = "no VRQ66208A evaluation board found: check the USB connection";
        if (const std::string why = board::UnopenedSummary(found.unopened); !why.empty()) {
            text += "\n" + why;
        }
        return Fail(text);
    }
    std::vector<std::string> paths;
    for (const auto& b : found.boards) {
        paths.push_back(b.path);
    }
    std::string error;
    const auto instance = sim::ChooseInstance(paths, opt.board, error);
    if (!instance) {
        return Fail("--board " + opt.board + ": " + error);
    }
    BoardSession& session = *found.boards[*instance].session;
    const auto a7 = static_cast<std::uint8_t>(*address7);
    const auto addressByte = static_cast<std::uint8_t>(a7 << 1);

    if (list->parsed()) {
        for (std::size_t i = 0; i < found.boards.size(); ++i) {
            const auto fw = found.boards[i].session->ReadFirmwareVersion();
            std::cout << i << "  " << found.boards[i].path << "  "
                      << (fw.Ok() ? board::FirmwareVersionText(fw.value, board::EnglishMonthName)
                                  : std::string(board::OutcomeText(fw.outcome)))
                      << "\n";
        }
        for (const auto& b : found.unopened) {
            std::cout << "-  " << b.path << "  " << board::OpenFailureText(b) << "\n";
        }
        return EXIT_SUCCESS;
    }
    if (read->parsed()) {
        std::vector<std::uint8_t> buffer(*readCount);
        if (const Outcome outcome =
                session.ReadRegisters(addressByte, static_cast<std::uint8_t>(*reg), buffer);
            outcome != Outcome::Ok) {
            return FailedExchange(outcome, a7);
        }
        for (std::size_t i = 0; i < buffer.size(); ++i) {
            std::cout << (i > 0 ? " " : "") << board::ByteToHex(buffer[i]);
        }
        std::cout << "\n";
        for (std::size_t i = 0; decodeRead && i < buffer.size(); ++i) {
            std::cout << Explain(static_cast<std::uint8_t>(*reg + i), buffer[i]);
        }
        return EXIT_SUCCESS;
    }
    if (write->parsed()) {
        const Outcome outcome =
            session.WriteRegisters(addressByte, static_cast<std::uint8_t>(*reg), bytes);
        return outcome == Outcome::Ok ? EXIT_SUCCESS : FailedExchange(outcome, a7);
    }
    if (led->parsed()) {
        if (!ledState.empty()) {
            const Outcome outcome = session.SetLed(ledState == "on");
            // The acknowledgement is taken before the tool ends, so the setting is in force.
            session.Drain();
            return outcome == Outcome::Ok ? EXIT_SUCCESS : FailedExchange(outcome, a7);
        }
        const auto state = session.ReadLed();
        if (!state.Ok()) {
            return FailedExchange(state.outcome, a7);
        }
        std::cout << (state.value ? "on" : "off") << "\n";
        return EXIT_SUCCESS;
    }
    if (clock->parsed()) {
        if (newDivider) {
            const Outcome outcome =
                session.SetBusClockDivider(static_cast<std::uint8_t>(*newDivider));
            session.Drain();
            return outcome == Outcome::Ok ? EXIT_SUCCESS : FailedExchange(outcome, a7);
        }
        const auto clockAnswer = session.ReadBusClock();
        if (!clockAnswer.Ok()) {
            return FailedExchange(clockAnswer.outcome, a7);
        }
        const board::BusClock* bus = &clockAnswer.value;
        const unsigned d = bus->divider == 0 ? 256U : bus->divider;
        std::cout << "base " << static_cast<unsigned>(bus->baseMHz) << " MHz, divider "
                  << static_cast<unsigned>(bus->divider) << ", "
                  << static_cast<unsigned>(bus->baseMHz) * 1000U / d << " kHz\n";
        return EXIT_SUCCESS;
    }
    if (save->parsed()) {
        return SaveRegisters(session, a7, file);
    }
    if (load->parsed()) {
        return LoadRegisters(session, a7, file);
    }
    if (firmware->parsed()) {
        const auto fw = session.ReadFirmwareVersion();
        if (!fw.Ok()) {
            return FailedExchange(fw.outcome, a7);
        }
        std::cout << board::FirmwareVersionText(fw.value, board::EnglishMonthName) << "\n";
        return EXIT_SUCCESS;
    }
    return EXIT_FAILURE;
}

}  // namespace vrq::cli
