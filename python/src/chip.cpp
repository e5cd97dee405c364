// The chip's registers and the board's commands, bound as the native part of vrq66208a.Chip,
// and the calls that need no opened chip (list_boards, decode). Each mirrors the command-line
// verb of the same name: the same checks before anything is sent, the same transfers.
#include <pybind11/stl.h>

#include <array>
#include <cctype>
#include <chrono>
#include <map>

#include "binding.h"
#include "board/firmware_text.h"
#include "board/hex.h"
#include "cli/numbers.h"
#include "cli/register_text.h"
#include "device/register_decoder.h"
#include "device/register_file.h"
#include "device/register_map.h"

namespace vrq::python {

namespace {

using board::Outcome;

constexpr int kMostRetries = 100;
constexpr int kLongestTimeoutMs = 600000;

std::string Lower(std::string_view text) {
    std::string lower(text);
    for (char& c : lower) {
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    return lower;
}

// A register as Python names it: its address, or its name in any letter case.
std::uint8_t RegisterOf(const py::handle& reg) {
    if (py::isinstance<py::str>(reg)) {
        const std::string wanted = Lower(reg.cast<std::string>());
        for (std::size_t address = 0; address < device::kRegisterCount; ++address) {
            const auto a = static_cast<std::uint8_t>(address);
            const std::string name = cli::RegisterName(a);
            if (!name.empty() && Lower(name) == wanted) {
                return a;
            }
        }
        RaiseBadInput("no register is named '" + reg.cast<std::string>() +
                      "': vrq66208a.register_names() lists them");
    }
    if (!py::isinstance<py::int_>(reg)) {
        throw py::type_error("a register is an address (int) or a name (str)");
    }
    const long long address = reg.cast<long long>();
    if (address < 0 || address > 0xFF) {
        RaiseBadInput("a register address is 0x00 to 0xFF, not " + std::to_string(address));
    }
    return static_cast<std::uint8_t>(address);
}

std::uint8_t ByteOf(const py::handle& value, const char* what) {
    if (!py::isinstance<py::int_>(value)) {
        throw py::type_error(std::string(what) + " must be an int");
    }
    const long long v = value.cast<long long>();
    if (v < 0 || v > 0xFF) {
        RaiseBadInput(std::string(what) + " must be 0x00 to 0xFF, not " + std::to_string(v));
    }
    return static_cast<std::uint8_t>(v);
}

// One value, bytes, or a sequence of ints.
std::vector<std::uint8_t> ValuesOf(const py::handle& values) {
    if (py::isinstance<py::int_>(values)) {
        return {ByteOf(values, "a value")};
    }
    if (py::isinstance<py::bytes>(values) || py::isinstance<py::bytearray>(values)) {
        const std::string bytes =
            py::isinstance<py::bytes>(values)
                ? values.cast<std::string>()
                : py::bytearray(py::reinterpret_borrow<py::object>(values)).cast<std::string>();
        return {bytes.begin(), bytes.end()};
    }
    if (!py::isinstance<py::sequence>(values) || py::isinstance<py::str>(values)) {
        throw py::type_error("values must be an int, bytes or a sequence of ints");
    }
    std::vector<std::uint8_t> out;
    for (const py::handle item : values) {
        out.push_back(ByteOf(item, "a value"));
    }
    return out;
}

void CheckRun(std::uint8_t first, long long count, std::size_t most, const char* what) {
    if (count < 1 || count > static_cast<long long>(most)) {
        RaiseBadInput(std::string(what) + " 1 to " + std::to_string(most) + " registers, not " +
                      std::to_string(count));
    }
    if (const std::string past = cli::RunPastLastRegister(first, static_cast<std::size_t>(count));
        !past.empty()) {
        RaiseBadInput(past);
    }
}

// The boards a call asks for, checked as the command line checks --simulate, --simulate-fault
// and --simulate-cable.
BoardsWanted WantedOf(const py::object& simulate, const py::object& faults,
                      const py::object& cables, bool trace) {
    BoardsWanted wanted;
    wanted.trace = trace;
    if (py::isinstance<py::bool_>(simulate)) {
        wanted.simulate = simulate.cast<bool>() ? 1 : 0;
    } else if (py::isinstance<py::int_>(simulate)) {
        const long long n = simulate.cast<long long>();
        if (n < 0 || n > sim::kMostSimulatedBoards) {
            RaiseBadInput("simulate must be False, True or 1 to " +
                          std::to_string(sim::kMostSimulatedBoards) + " boards, not " +
                          std::to_string(n));
        }
        wanted.simulate = static_cast<int>(n);
    } else {
        throw py::type_error("simulate must be a bool or an int");
    }
    std::vector<std::string> faultTexts;
    if (py::isinstance<py::str>(faults)) {
        faultTexts.push_back(faults.cast<std::string>());
    } else if (!faults.is_none()) {
        faultTexts = faults.cast<std::vector<std::string>>();
    }
    for (const std::string& text : faultTexts) {
        const auto fault = sim::ParseFault(text);
        if (!fault) {
            RaiseBadInput("'" + text + "' is no simulated fault: use one of " +
                          sim::FaultKindNames() + ", with :N for board N only");
        }
        wanted.faults.push_back(*fault);
    }
    if (!cables.is_none()) {
        std::string error;
        const auto parsed = sim::ParseCables(cables.cast<std::string>(), error);
        if (!parsed) {
            RaiseBadInput("cables: " + error);
        }
        wanted.cables = *parsed;
    }
    if (wanted.simulate == 0 && (!wanted.faults.empty() || !cables.is_none())) {
        RaiseBadInput("faults= and cables= are for simulated boards: add simulate=True");
    }
    return wanted;
}

cli::ExchangeOptions OptionsOf(int address, int timeoutMs, int retries, bool force) {
    if (address < 0 || address > 0x7F) {
        RaiseBadInput("address must be a 7-bit I2C address, 0x00 to 0x7F, not " +
                      std::to_string(address));
    }
    if (board::IsReservedAddress(static_cast<unsigned>(address)) && !force) {
        RaiseBadInput("address " + cli::Hex(static_cast<unsigned>(address)) +
                      " is a reserved I2C address (0x00 to 0x07 and 0x78 to 0x7F): add "
                      "force=True to use it anyway");
    }
    if (timeoutMs < 1 || timeoutMs > kLongestTimeoutMs) {
        RaiseBadInput("timeout_ms must be 1 to " + std::to_string(kLongestTimeoutMs) + ", not " +
                      std::to_string(timeoutMs));
    }
    if (retries < 0 || retries > kMostRetries) {
        RaiseBadInput("retries must be 0 to " + std::to_string(kMostRetries) + ", not " +
                      std::to_string(retries));
    }
    cli::ExchangeOptions options;
    options.address7 = static_cast<std::uint8_t>(address);
    options.timeoutMs = timeoutMs;
    options.retries = retries;
    options.force = force;
    return options;
}

std::string BoardChoiceOf(const py::object& board) {
    if (py::isinstance<py::str>(board)) {
        return board.cast<std::string>();
    }
    if (py::isinstance<py::int_>(board) && !py::isinstance<py::bool_>(board)) {
        return std::to_string(board.cast<long long>());
    }
    throw py::type_error("board must be an instance number (int) or a device path (str)");
}

std::shared_ptr<ChipCore> OpenCore(const py::object& board, int address, const py::object& simulate,
                                   int timeoutMs, int retries, bool force, const py::object& faults,
                                   const py::object& cables, bool trace, bool zeroLatency) {
    const std::string choice = BoardChoiceOf(board);
    const cli::ExchangeOptions options = OptionsOf(address, timeoutMs, retries, force);
    BoardsWanted wanted = WantedOf(simulate, faults, cables, trace);
    wanted.zeroLatency = zeroLatency;
    OpenProblem problem;
    std::shared_ptr<ChipCore> core;
    {
        py::gil_scoped_release released;
        core = ChipCore::Open(std::make_unique<BoardWorld>(wanted), choice, options, problem);
    }
    if (core) {
        return core;
    }
    py::dict details;
    switch (problem.kind) {
        case OpenProblem::Kind::NoneFound:
            details["reason"] = "none-found";
            break;
        case OpenProblem::Kind::NoSuchBoard:
            details["reason"] = "no-such-board";
            break;
        case OpenProblem::Kind::CannotOpen:
            switch (problem.unopened.failure) {
                case board::OpenFailure::InUse:
                    details["reason"] = "in-use";
                    if (!problem.unopened.holder.empty()) {
                        details["holder"] = problem.unopened.holder;
                    }
                    break;
                case board::OpenFailure::NoPermission:
                    details["reason"] = "no-permission";
                    break;
                case board::OpenFailure::Gone:
                    details["reason"] = "gone";
                    break;
                default:
                    details["reason"] = "cannot-open";
                    break;
            }
            break;
    }
    Raise("BoardError", problem.message, details);
}

py::list Fields(std::uint8_t address, std::uint8_t value) {
    py::list fields;
    for (const device::DecodedField& f : device::DecodeRegister(address, value)) {
        fields.append(py::make_tuple(f.bits, f.name, f.value, f.meaning));
    }
    return fields;
}

py::tuple FirmwareTuple(const board::FirmwareVersion& fw) {
    char date[32];
    std::snprintf(date, sizeof date, "%04d-%02d-%02d", fw.year, fw.month, fw.day);
    return py::make_tuple(fw.version >> 4, fw.version & 0x0F, std::string(date),
                          board::FirmwareVersionText(fw, board::EnglishMonthName));
}

// --- The registers -------------------------------------------------------------------------

py::object Read(PyChip& chip, const py::handle& first, const py::object& count) {
    const std::uint8_t reg = RegisterOf(first);
    const long long wanted = count.is_none() ? 1 : count.cast<long long>();
    CheckRun(reg, wanted, board::kMaxReadCount, "a read takes");
    const auto n = static_cast<std::size_t>(wanted);
    std::array<std::uint8_t, board::kMaxReadCount> values{};
    ChipCore& core = chip.Core();
    const Outcome outcome =
        OnChip(core, [&] { return core.Read(reg, std::span(values.data(), n)); });
    if (outcome != Outcome::Ok) {
        RaiseOutcome(core, outcome, "reading " + cli::RegistersText(reg, n));
    }
    if (count.is_none()) {
        return py::int_(values[0]);
    }
    return py::bytes(reinterpret_cast<const char*>(values.data()), n);
}

void Write(PyChip& chip, const py::handle& first, const py::handle& valuesArg,
           const py::object& maskArg, bool verify, bool force) {
    const std::uint8_t reg = RegisterOf(first);
    const std::vector<std::uint8_t> values = ValuesOf(valuesArg);
    CheckRun(reg, static_cast<long long>(values.size()), board::kMaxWriteCount, "a write takes");
    ChipCore& core = chip.Core();
    for (std::size_t i = 0; i < values.size() && !force && !core.Options().force; ++i) {
        const auto address = static_cast<std::uint8_t>(reg + i);
        if (device::IsReadOnly(address)) {
            RaiseBadInput(cli::RegisterLabel(address) +
                          " is read-only: the chip keeps its own value (force=True writes it "
                          "anyway)");
        }
    }
    const bool masked = !maskArg.is_none();
    const std::uint8_t mask = masked ? ByteOf(maskArg, "mask") : 0xFF;
    struct Done {
        Outcome outcome = Outcome::Ok;
        std::string doing;
        std::vector<std::uint8_t> written;
        std::vector<std::uint8_t> back;
    };
    const std::string registers = cli::RegistersText(reg, values.size());
    // Read, write and read back under one lock: no other thread's transfer comes between.
    const Done done = OnChip(core, [&] {
        Done d;
        d.written = values;
        if (masked) {
            std::vector<std::uint8_t> old(values.size());
            if (d.outcome = core.Read(reg, old); d.outcome != Outcome::Ok) {
                d.doing = "reading " + registers + " to keep the bits outside mask";
                return d;
            }
            for (std::size_t i = 0; i < values.size(); ++i) {
                d.written[i] = static_cast<std::uint8_t>((old[i] & ~mask) | (values[i] & mask));
            }
        }
        if (d.outcome = core.Write(reg, d.written); d.outcome != Outcome::Ok) {
            d.doing = "writing " + registers;
            return d;
        }
        if (verify) {
            d.back.resize(values.size());
            if (d.outcome = core.Read(reg, d.back); d.outcome != Outcome::Ok) {
                d.doing = "reading back " + registers;
            }
        }
        return d;
    });
    if (done.outcome != Outcome::Ok) {
        RaiseOutcome(core, done.outcome, done.doing);
    }
    std::string message;
    py::list differences;
    for (std::size_t i = 0; i < done.back.size(); ++i) {
        if (done.back[i] != done.written[i]) {
            const auto address = static_cast<std::uint8_t>(reg + i);
            message += (message.empty() ? "" : "; ") +
                       cli::DifferenceText(address, done.written[i], done.back[i]);
            differences.append(py::make_tuple(address, done.written[i], done.back[i]));
        }
    }
    if (!message.empty()) {
        py::dict details;
        details["differences"] = differences;
        Raise("VerifyError", message, details);
    }
}

// Registers 0x00..0x15: (register, name, value or None, error or None, reset value).
py::list Dump(PyChip& chip) {
    constexpr std::size_t kCount = device::kRegisterCount;
    ChipCore& core = chip.Core();
    std::array<std::uint8_t, kCount> values{};
    std::array<Outcome, kCount> outcomes{};
    struct Failure {
        Outcome outcome = Outcome::Ok;
        std::string doing;
    };
    const Failure failure = OnChip(core, [&] {
        const Outcome all = core.Read(0x00, values);
        outcomes.fill(all);
        if (all == Outcome::NoAcknowledge) {
            // One at a time, to tell the registers that answer from those that do not.
            for (std::size_t i = 0; i < kCount; ++i) {
                const auto reg = static_cast<std::uint8_t>(i);
                outcomes[i] = core.Read(reg, {&values[i], 1});
                if (cli::Context::WorthRepeating(outcomes[i]) ||
                    outcomes[i] == Outcome::BoardGone) {
                    return Failure{outcomes[i], "reading " + cli::RegisterLabel(reg)};
                }
            }
        } else if (all != Outcome::Ok) {
            return Failure{all, "reading " + cli::RegistersText(0x00, kCount)};
        }
        return Failure{};
    });
    if (failure.outcome != Outcome::Ok) {
        RaiseOutcome(core, failure.outcome, failure.doing);
    }
    py::list registers;
    for (std::size_t i = 0; i < kCount; ++i) {
        const auto reg = static_cast<std::uint8_t>(i);
        const bool ok = outcomes[i] == Outcome::Ok;
        registers.append(py::make_tuple(
            reg, cli::RegisterName(reg), ok ? py::object(py::int_(values[i])) : py::none(),
            ok ? py::none() : py::object(py::str(std::string(board::OutcomeText(outcomes[i])))),
            device::ResetValue(reg), ok ? Fields(reg, values[i]) : py::list()));
    }
    return registers;
}

// The termination re-calibration: 0x03 bit 7 high for 0.1 s, then low, the other bits kept.
void Recal(PyChip& chip) {
    constexpr std::uint8_t kInputControl = 0x03;
    constexpr std::uint8_t kRecalibrate = 0x80;
    constexpr std::chrono::milliseconds kPulse{100};
    ChipCore& core = chip.Core();
    struct Failure {
        Outcome outcome = Outcome::Ok;
        std::string doing;
    };
    const Failure failure = OnChip(core, [&] {
        std::uint8_t value = 0;
        if (const Outcome o = core.Read(kInputControl, {&value, 1}); o != Outcome::Ok) {
            return Failure{o, "reading " + cli::RegisterLabel(kInputControl)};
        }
        const auto high = static_cast<std::uint8_t>(value | kRecalibrate);
        if (const Outcome o = core.Write(kInputControl, {&high, 1}); o != Outcome::Ok) {
            return Failure{o, "taking bit 7 (Recalibrate) of register 0x03 high"};
        }
        core.Clock().SleepFor(kPulse);
        const auto low = static_cast<std::uint8_t>(value & ~kRecalibrate);
        if (const Outcome o = core.Write(kInputControl, {&low, 1}); o != Outcome::Ok) {
            return Failure{o,
                           "taking bit 7 (Recalibrate) of register 0x03 low again (it may still "
                           "be high: run recal() again)"};
        }
        return Failure{};
    });
    if (failure.outcome != Outcome::Ok) {
        RaiseOutcome(core, failure.outcome, failure.doing);
    }
}

// Messages are shared with the window, whose lines end in CR LF.
std::string PlainLines(std::string text) {
    for (std::size_t at = text.find("\r\n"); at != std::string::npos; at = text.find("\r\n", at)) {
        text.replace(at, 2, "\n");
    }
    return text;
}

void Save(PyChip& chip, const std::string& path) {
    ChipCore& core = chip.Core();
    std::array<std::uint8_t, 256> read{};
    struct Failure {
        Outcome outcome = Outcome::Ok;
        std::string doing;
    };
    const Failure failure = OnChip(core, [&] {
        for (const device::RegisterRun& run : device::kWorkingSetRuns) {
            const auto values = std::span(read).subspan(run.first, run.last - run.first + 1U);
            if (const Outcome o = core.Read(run.first, values); o != Outcome::Ok) {
                return Failure{o, "reading " + cli::RegistersText(run.first, values.size())};
            }
        }
        return Failure{};
    });
    if (failure.outcome != Outcome::Ok) {
        RaiseOutcome(core, failure.outcome, failure.doing);
    }
    const auto saved =
        device::WorkingSetFile([&read](std::uint8_t reg) { return board::ByteToHex(read[reg]); });
    std::string message;
    bool ok = false;
    {
        py::gil_scoped_release released;
        ok = device::SaveRegisterFile(path, saved, message);
    }
    if (!ok) {
        py::dict details;
        details["filename"] = path;
        Raise("OutputError", PlainLines(message), details);
    }
}

// The whole file is read and checked before anything is written; a failed write stops there.
void Load(PyChip& chip, const std::string& path, bool verify) {
    device::LoadedRegisterFile loaded;
    {
        py::gil_scoped_release released;
        loaded = device::LoadRegisterFile(path);
    }
    switch (loaded.status) {
        case device::LoadedRegisterFile::Status::Ok:
            break;
        case device::LoadedRegisterFile::Status::Empty:
            RaiseBadInput(path + " is empty: there is no register to write");
        case device::LoadedRegisterFile::Status::CannotRead:
        case device::LoadedRegisterFile::Status::Invalid:
            RaiseBadInput(PlainLines(loaded.message));
    }
    ChipCore& core = chip.Core();
    struct Done {
        Outcome outcome = Outcome::Ok;
        std::string doing;
        std::vector<std::array<std::uint8_t, 3>> differences;  // register, written, read
    };
    const Done done = OnChip(core, [&] {
        Done d;
        std::map<std::uint8_t, std::uint8_t> last;  // each register's last value, to verify
        for (const device::RegisterWrite& write : loaded.parsed.writes) {
            if (d.outcome = core.Write(write.address, {&write.value, 1});
                d.outcome != Outcome::Ok) {
                d.doing = "writing " + cli::RegisterLabel(write.address) + " (line " +
                          std::to_string(write.line) + " of " + path + ")";
                return d;
            }
            last[write.address] = write.value;
        }
        for (const auto& [address, value] : last) {
            if (!verify || device::IsReadOnly(address)) {
                continue;  // the chip keeps its own value there
            }
            std::uint8_t back = 0;
            if (d.outcome = core.Read(address, {&back, 1}); d.outcome != Outcome::Ok) {
                d.doing = "reading back " + cli::RegisterLabel(address);
                return d;
            }
            if (back != value) {
                d.differences.push_back({address, value, back});
            }
        }
        return d;
    });
    if (done.outcome != Outcome::Ok) {
        RaiseOutcome(core, done.outcome, done.doing);
    }
    if (!done.differences.empty()) {
        std::string message;
        py::list differences;
        for (const auto& [address, written, back] : done.differences) {
            message += (message.empty() ? "" : "; ") + cli::DifferenceText(address, written, back);
            differences.append(py::make_tuple(address, written, back));
        }
        py::dict details;
        details["differences"] = differences;
        Raise("VerifyError", message, details);
    }
}

// Which 7-bit addresses answer a read of register 0x00: (address, register 0x00) each.
py::list Detect(PyChip& chip, bool all, bool first) {
    const unsigned from = all ? 0x00 : board::kFirstUsualAddress;
    const unsigned to = all ? 0x7F : board::kLastUsualAddress;
    ChipCore& core = chip.Core();
    struct Probed {
        Outcome outcome = Outcome::Ok;
        unsigned failedAt = 0;
        std::vector<std::pair<unsigned, std::uint8_t>> chips;
    };
    const Probed probed = OnChip(core, [&] {
        Probed p;
        for (unsigned address = from; address <= to; ++address) {
            std::uint8_t id = 0;
            const auto addressByte = static_cast<std::uint8_t>(address << 1);
            const Outcome outcome = core.Retrying([&] {
                return core.Session()->ReadRegisters(addressByte, 0x00, {&id, 1});
            });
            if (outcome == Outcome::Ok) {
                p.chips.emplace_back(address, id);
                if (first && id == device::kDeviceId) {
                    break;
                }
            } else if (outcome != Outcome::NoAcknowledge) {
                p.outcome = outcome;
                p.failedAt = address;
                break;
            }
        }
        return p;
    });
    if (probed.outcome != Outcome::Ok) {
        RaiseOutcome(core, probed.outcome, "probing address " + cli::Hex(probed.failedAt));
    }
    py::list chips;
    for (const auto& [address, id] : probed.chips) {
        chips.append(py::make_tuple(address, id));
    }
    return chips;
}

// --- The board's own commands ------------------------------------------------------------

template <typename T>
T Answered(ChipCore& core, const board::Result<T>& result, std::string_view doing) {
    if (!result.Ok()) {
        RaiseOutcome(core, result.outcome, doing);
    }
    return result.value;
}

bool ReadLed(PyChip& chip) {
    ChipCore& core = chip.Core();
    return Answered(
        core,
        OnChip(core, [&] { return core.Retrying([&] { return core.Session()->ReadLed(); }); }),
        "reading the LED's state");
}

void SetLed(PyChip& chip, bool on) {
    ChipCore& core = chip.Core();
    const Outcome outcome = OnChip(core, [&] {
        const Outcome o = core.Retrying([&] { return core.Session()->SetLed(on); });
        core.Session()->Drain();  // the setting is in force when the call returns
        return o;
    });
    if (outcome != Outcome::Ok) {
        RaiseOutcome(core, outcome, on ? "switching the LED on" : "switching the LED off");
    }
}

py::tuple ReadClock(PyChip& chip) {
    ChipCore& core = chip.Core();
    const board::BusClock clock = Answered(
        core,
        OnChip(core, [&] { return core.Retrying([&] { return core.Session()->ReadBusClock(); }); }),
        "reading the bus clock");
    return py::make_tuple(clock.baseMHz, clock.divider, cli::BusKhz(clock.baseMHz, clock.divider));
}

void SetDivider(PyChip& chip, int divider) {
    if (divider < 1 || divider > 255) {
        RaiseBadInput("the divider must be 1 to 255, not " + std::to_string(divider));
    }
    ChipCore& core = chip.Core();
    const auto d = static_cast<std::uint8_t>(divider);
    const Outcome outcome = OnChip(core, [&] {
        const Outcome o = core.Retrying([&] { return core.Session()->SetBusClockDivider(d); });
        core.Session()->Drain();
        return o;
    });
    if (outcome != Outcome::Ok) {
        RaiseOutcome(core, outcome, "setting the bus clock divider to " + std::to_string(divider));
    }
}

int NearestDivider(PyChip& chip, double khz) {
    if (!(khz >= 1.0 && khz <= 100000.0)) {
        RaiseBadInput("the bus clock must be 1 to 100000 kHz, not " + std::to_string(khz));
    }
    const py::tuple clock = ReadClock(chip);
    const unsigned base = clock[0].cast<unsigned>();
    if (base == 0) {
        py::dict details;
        details["reason"] = "ambiguous";
        Raise("BoardError",
              "the board reports a base clock of 0 MHz, so no divider gives a bus clock: replug "
              "the board",
              details);
    }
    return static_cast<int>(cli::NearestDivider(base, khz));
}

py::tuple ReadFirmware(PyChip& chip) {
    ChipCore& core = chip.Core();
    return FirmwareTuple(Answered(
        core,
        OnChip(
            core,
            [&] { return core.Retrying([&] { return core.Session()->ReadFirmwareVersion(); }); }),
        "reading the firmware version"));
}

// --- Without an opened chip --------------------------------------------------------------

// Every board: (instance, path, opened, firmware or None, error or None), as `list` shows.
py::list ListBoards(const py::object& simulate, const py::object& faults, const py::object& cables,
                    int timeoutMs, int retries, bool trace) {
    const cli::ExchangeOptions options =
        OptionsOf(device::kDefaultChipAddress7, timeoutMs, retries, false);
    const BoardsWanted wanted = WantedOf(simulate, faults, cables, trace);
    struct Listed {
        std::string path;
        bool opened = false;
        std::optional<board::FirmwareVersion> firmware;
        std::string error;
    };
    std::vector<Listed> listed;
    {
        py::gil_scoped_release released;
        BoardWorld world(wanted);
        cli::BoardSet& boards = world.Boards();
        boards.SetTimeoutMs(options.timeoutMs);
        for (std::size_t i = 0; i < boards.Paths().size(); ++i) {
            Listed entry{boards.Paths()[i], false, std::nullopt, {}};
            board::UnopenedBoard failure;
            const auto session = boards.Open(i, failure);
            entry.opened = session != nullptr;
            if (!session) {
                entry.error = board::OpenFailureText(failure);
            } else {
                auto fw = session->ReadFirmwareVersion();
                for (int r = 0; r < options.retries && cli::Context::WorthRepeating(fw.outcome);
                     ++r) {
                    fw = session->ReadFirmwareVersion();
                }
                if (fw.Ok()) {
                    entry.firmware = fw.value;
                } else {
                    entry.error = board::OutcomeText(fw.outcome);
                }
            }
            listed.push_back(std::move(entry));
        }
    }
    py::list out;
    for (std::size_t i = 0; i < listed.size(); ++i) {
        const Listed& entry = listed[i];
        out.append(
            py::make_tuple(i, entry.path, entry.opened,
                           entry.firmware ? py::object(FirmwareTuple(*entry.firmware)) : py::none(),
                           entry.error.empty() ? py::none() : py::object(py::str(entry.error))));
    }
    return out;
}

py::list DecodeValue(const py::handle& reg, const py::handle& value) {
    const std::uint8_t address = RegisterOf(reg);
    if (address >= device::kRegisterCount) {
        RaiseBadInput("registers with fields are 0x00 to 0x15, not " + cli::Hex(address));
    }
    return Fields(address, ByteOf(value, "value"));
}

py::list DecodeChip(PyChip& chip, const py::handle& reg) {
    const std::uint8_t address = RegisterOf(reg);
    if (address >= device::kRegisterCount) {
        RaiseBadInput("registers with fields are 0x00 to 0x15, not " + cli::Hex(address));
    }
    const py::object value = Read(chip, py::int_(address), py::none());
    return Fields(address, value.cast<std::uint8_t>());
}

py::dict RegisterNames() {
    py::dict names;
    for (std::size_t address = 0; address < device::kRegisterCount; ++address) {
        const std::string name = cli::RegisterName(static_cast<std::uint8_t>(address));
        if (!name.empty()) {
            names[py::str(name)] = address;
        }
    }
    return names;
}

}  // namespace

void BindChip(py::module_& module) {
    auto chip = py::class_<PyChip>(module, "Chip", R"doc(
The native part of vrq66208a.Chip: one chip on one board, opened through the board session.
Use vrq66208a.open(), which documents every argument.)doc");
    chip.def(py::init([](const py::object& board, int address, const py::object& simulate,
                         int timeoutMs, int retries, bool force, const py::object& faults,
                         const py::object& cables, bool trace, bool zeroLatency) {
                 return PyChip{OpenCore(board, address, simulate, timeoutMs, retries, force, faults,
                                        cables, trace, zeroLatency)};
             }),
             py::arg("board") = 0, py::arg("address") = device::kDefaultChipAddress7,
             py::arg("simulate") = false, py::arg("timeout_ms") = 6000, py::arg("retries") = 0,
             py::arg("force") = false, py::arg("faults") = py::none(),
             py::arg("cables") = py::none(), py::arg("trace") = false,
             py::arg("_zero_latency") = false);
    chip.def("read", &Read, py::arg("first"), py::arg("count") = py::none(), R"doc(
Reads registers from first (an address or a register's name).

Without count, returns the register's value as an int; with count (1 to 62), the values of
count registers from first, in one transfer, as bytes. Raises NoAcknowledge when the chip does
not answer, BoardError when the board does not, BadInput for a count or run past 0xFF.)doc");
    chip.def("write", &Write, py::arg("first"), py::arg("values"), py::kw_only(),
             py::arg("mask") = py::none(), py::arg("verify") = false, py::arg("force") = false,
             R"doc(
Writes values (an int, bytes or a sequence of ints; up to 59) to the registers from first, in
one transfer, and returns once the chip acknowledged it.

mask: only the bits set in mask change; each register is read and its other bits written
back as they were. verify: the registers are read back, and VerifyError names each one that
differs with the values written and read. Read-only registers are refused (BadInput) unless
force is true.)doc");
    chip.def("__getitem__",
             [](PyChip& c, const py::handle& reg) { return Read(c, reg, py::none()); });
    chip.def("__setitem__", [](PyChip& c, const py::handle& reg, const py::handle& values) {
        Write(c, reg, values, py::none(), false, false);
    });
    chip.def("recal", &Recal, R"doc(
Pulses the termination re-calibration: register 0x03 bit 7 high for 0.1 s, then low, its
other bits as they were.)doc");
    chip.def("save", &Save, py::arg("path"), R"doc(
Saves the working set (registers 0x00 to 0x0C and 0x10) to a register file. An existing file
is replaced only once the new one is completely written; OutputError when it cannot be.)doc");
    chip.def("load", &Load, py::arg("path"), py::kw_only(), py::arg("verify") = false, R"doc(
Checks a register file whole (BadInput names the first bad line, and nothing is written),
then writes its registers in file order. verify: every register written but the read-only
ones is read back, and VerifyError names each one that differs.)doc");
    chip.def("close", [](PyChip& c) {
        py::gil_scoped_release released;
        c.Core().Close();
    });
    chip.def_property_readonly("closed", [](PyChip& c) {
        const auto lock = LockCore(c.Core());
        return c.Core().Session() == nullptr;
    });
    chip.def_property_readonly("path", [](PyChip& c) { return c.Core().Path(); });
    chip.def_property_readonly("instance", [](PyChip& c) { return c.Core().Instance(); });
    chip.def_property_readonly("address", [](PyChip& c) { return c.Core().Options().address7; });
    chip.def("_decode", &DecodeChip, py::arg("register"));
    chip.def("_dump", &Dump);
    chip.def("_detect", &Detect, py::arg("all"), py::arg("first"));
    chip.def("_read_led", &ReadLed);
    chip.def("_set_led", &SetLed, py::arg("on"));
    chip.def("_read_clock", &ReadClock);
    chip.def("_set_divider", &SetDivider, py::arg("divider"));
    chip.def("_nearest_divider", &NearestDivider, py::arg("khz"));
    chip.def("_read_firmware", &ReadFirmware);

    module.def("list_boards", &ListBoards, py::arg("simulate") = false,
               py::arg("faults") = py::none(), py::arg("cables") = py::none(),
               py::arg("timeout_ms") = 6000, py::arg("retries") = 0, py::arg("trace") = false);
    module.def("decode", &DecodeValue, py::arg("register"), py::arg("value"));
    module.def("register_names", &RegisterNames);
    module.def(
        "reset_value", [](const py::handle& reg) { return device::ResetValue(RegisterOf(reg)); },
        py::arg("register"));

    BindMargin(module, chip);
}

}  // namespace vrq::python
