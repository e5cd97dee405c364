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

#include "board/board_link.h"
#include "board/firmware_text.h"
#include "board/hex.h"
#include "board/hidapi_transport.h"
#include "board/trace_transport.h"
#include "device/register_decoder.h"
#include "device/register_file.h"
#include "device/register_map.h"
#include "sim/sim_transport.h"

namespace vrq::cli {
namespace {

using board::BoardLink;

// Nobody is there to press Retry: every question is answered as if the box were closed, so
// the tool never waits for an answer that no one can give.
class CliHost : public board::BoardHost {
  public:
    board::MessageAnswer ShowMessage(const std::string& text, board::MessageButtons buttons,
                                     const std::string& /*title*/) override {
        std::string plain = text;
        for (std::size_t at = plain.find("\r\n"); at != std::string::npos;
             at = plain.find("\r\n", at)) {
            plain.replace(at, 2, "\n");
        }
        std::cerr << plain << std::endl;
        switch (buttons) {
            case board::MessageButtons::Ok:
                return board::AnswerOk;
            case board::MessageButtons::YesNo:
                return board::AnswerNo;
            case board::MessageButtons::OkCancel:
            case board::MessageButtons::RetryCancel:
                break;
        }
        return board::AnswerCancel;
    }
    void BoardsFound() override {}
    void EndProgram() override {
        std::cout.flush();
        std::cerr.flush();
        std::_Exit(EXIT_FAILURE);
    }
    void HandlePendingEvents() override {}
};

struct Options {
    // Left at kNoCount by "--simulate" without a value, which means one board.
    static constexpr int kNoCount = std::numeric_limits<int>::min();
    int simulate = kNoCount;
    unsigned board = 0;
    std::string address = "0x44";
    bool trace = false;
};

int Fail(const std::string& message) {
    std::cerr << message << std::endl;
    return EXIT_FAILURE;
}

// Register files are a few hundred bytes; anything this big is not one, and reading it whole
// would only cost memory.
constexpr std::streamsize kLargestRegisterFile = 1 << 20;

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

int SaveRegisters(BoardLink& link, const std::string& path) {
    std::vector<device::SavedRegister> saved;
    link.DrainInput();
    for (const auto& run : device::kWorkingSetRuns) {
        const std::size_t n = run.last - run.first + 1U;
        std::vector<std::uint8_t> values(n);
        if (link.ReadRegisters(link.I2CAddress, run.first, n, values, false) != board::StatusOk) {
            return EXIT_FAILURE;  // the board link has said why
        }
        for (std::size_t i = 0; i < n; ++i) {
            const auto* reg = device::FindRegister(static_cast<std::uint8_t>(run.first + i));
            saved.push_back({std::string(device::CaptionAddressText(reg->caption)),
                             board::ByteToHex(values[i])});
        }
    }
    std::string error;
    if (!device::WriteFileAtomically(path, device::FormatRegisterFile(saved), error)) {
        return Fail("Could not save the registers to " + path + "\n" + error);
    }
    return EXIT_SUCCESS;
}

// The same checks and messages as the window's Load Registers; the whole file is checked
// before anything is written. A device error ends the tool inside the write (the message is
// answered Cancel), leaving the registers of the lines before it written.
int LoadRegisters(BoardLink& link, const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        return Fail("Could not open " + path + "\n" + std::strerror(errno));
    }
    std::string content(static_cast<std::size_t>(kLargestRegisterFile) + 1, '\0');
    in.read(content.data(), kLargestRegisterFile + 1);
    if (in.bad()) {
        return Fail("Could not read " + path + "\n" + std::strerror(errno));
    }
    content.resize(static_cast<std::size_t>(in.gcount()));
    if (content.size() > static_cast<std::size_t>(kLargestRegisterFile)) {
        return Fail("File selected is too large to be a VRQ66208A register file");
    }
    const auto parsed = device::ParseRegisterFile(content);
    switch (parsed.error) {
        case device::LoadError::None:
            break;
        case device::LoadError::Empty:
            // The window ends silently here; a script needs to hear that nothing happened.
            return Fail(path + " is empty: no register was written.");
        case device::LoadError::NotRegisterFile:
            return Fail(device::LoadErrorMessage(parsed));
        case device::LoadError::BadLine:
            return Fail(device::LoadErrorMessage(parsed) + "\nNo register was written.");
    }
    link.DrainInput();
    for (const auto& write : parsed.writes) {
        link.WriteRegisters(link.I2CAddress, write.address, 1, {&write.value, 1}, false);
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
    app.add_option("--simulate", opt.simulate,
                   "Run against N simulated boards instead of the attached ones")
        ->expected(0, 1)
        ->default_str("1");
    app.add_option("--board", opt.board, "Board instance to use (default 0)");
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
    if (app.count("--simulate") == 0) {
        opt.simulate = 0;
    } else if (opt.simulate == Options::kNoCount) {
        opt.simulate = 1;
    } else if (opt.simulate < 1 || opt.simulate > 16) {
        return Fail("--simulate takes 1 to 16 boards");
    }
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

    std::unique_ptr<board::HidTransport> base;
    if (opt.simulate > 0) {
        auto sim = std::make_unique<sim::SimTransport>();
        for (int i = 0; i < opt.simulate; ++i) {
            sim->AddBoard();
        }
        base = std::move(sim);
    } else {
        base = std::make_unique<board::HidapiTransport>();
    }
    std::unique_ptr<board::HidTransport> traced;
    if (opt.trace) {
        traced = std::make_unique<board::TraceTransport>(*base, std::cerr);
    }
    board::HidTransport& transport = traced ? *traced : *base;

    CliHost host;
    BoardLink link(transport, host);
    link.FindBoards();
    if (!link.SelectBoard(opt.board)) {
        return Fail("--board " + std::to_string(opt.board) + ": there are " +
                    std::to_string(link.BoardCount()) + " boards (instances 0 to " +
                    std::to_string(link.BoardCount() - 1) + ")");
    }
    link.I2CAddress = static_cast<std::uint8_t>(*address7 << 1);

    if (list->parsed()) {
        for (std::size_t i = 0; i < link.BoardCount(); ++i) {
            link.SelectBoard(i);
            const auto fw = link.ReadFirmwareVersion();
            std::cout << i << "  " << link.BoardPath(i) << "  "
                      << (fw ? board::FirmwareVersionText(*fw, board::EnglishMonthName)
                             : std::string("no answer"))
                      << "\n";
        }
        return EXIT_SUCCESS;
    }
    if (read->parsed()) {
        std::vector<std::uint8_t> buffer(*readCount);
        link.DrainInput();
        if (link.ReadRegisters(link.I2CAddress, static_cast<std::uint8_t>(*reg), buffer.size(),
                               buffer, false) != board::StatusOk) {
            return EXIT_FAILURE;
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
        link.DrainInput();
        return link.WriteRegisters(link.I2CAddress, static_cast<std::uint8_t>(*reg), bytes.size(),
                                   bytes, false) == board::StatusOk
                   ? EXIT_SUCCESS
                   : EXIT_FAILURE;
    }
    if (led->parsed()) {
        if (!ledState.empty()) {
            link.SetLed(ledState == "on" ? 1 : 0);
            return EXIT_SUCCESS;
        }
        const auto state = link.ReadLed();
        if (!state) {
            return EXIT_FAILURE;
        }
        std::cout << (*state != 0 ? "on" : "off") << "\n";
        return EXIT_SUCCESS;
    }
    if (clock->parsed()) {
        if (newDivider) {
            link.SetBusClockDivider(static_cast<std::uint8_t>(*newDivider));
            return EXIT_SUCCESS;
        }
        const auto bus = link.ReadBusClock();
        if (!bus) {
            return EXIT_FAILURE;
        }
        const unsigned d = bus->divider == 0 ? 256U : bus->divider;
        std::cout << "base " << static_cast<unsigned>(bus->baseMHz) << " MHz, divider "
                  << static_cast<unsigned>(bus->divider) << ", "
                  << static_cast<unsigned>(bus->baseMHz) * 1000U / d << " kHz\n";
        return EXIT_SUCCESS;
    }
    if (save->parsed()) {
        return SaveRegisters(link, file);
    }
    if (load->parsed()) {
        return LoadRegisters(link, file);
    }
    if (firmware->parsed()) {
        const auto fw = link.ReadFirmwareVersion();
        if (!fw) {
            return EXIT_FAILURE;
        }
        std::cout << board::FirmwareVersionText(*fw, board::EnglishMonthName) << "\n";
        return EXIT_SUCCESS;
    }
    return EXIT_FAILURE;
}

}  // namespace vrq::cli
