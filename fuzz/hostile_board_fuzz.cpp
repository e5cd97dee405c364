// libFuzzer target: a hostile board, played through the stand-in for hidapi under the real
// hidapi backend, against every operation of the board session and the board link. The input
// decides the devices listed, what every write and read returns (any bytes, any length, time-
// outs, errors, and how long each takes on a virtual clock), the answer to every message and
// the operations run. Nothing may crash or read out of bounds; a failed read leaves the
// caller's values as they were; every value returned is the one the board gave in its
// answer to that very request; every handle and enumeration list is released.
#include <fuzzer/FuzzedDataProvider.h>
#include <stdlib.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

#include "board/discovery.h"
#include "board/hidapi_transport.h"
#include "sim/virtual_clock.h"
#include "support/fake_hidapi.h"
#include "ui/link/board_link.h"

namespace {

// The folder the stand-in's device nodes are in, made once per run.
const std::string& NodeFolder() {
    static const std::string dir = [] {
        std::string pattern = "/tmp/vrq-fuzz-nodes-XXXXXX";
        return mkdtemp(pattern.data()) != nullptr ? pattern : std::string("/tmp");
    }();
    return dir;
}

using namespace vrq;
using test::fake_hid::Fake;

constexpr std::size_t kPayload = board::kReportSize - 1;
constexpr int kMostOperations = 48;
constexpr int kLastSessionOperation = 6;  // the operations before it need a board open

void Check(bool ok, const char* what) {
    if (!ok) {
        std::fprintf(stderr, "invariant broken: %s\n", what);
        std::abort();
    }
}

// The board's side, as far as the checks need it: the last report written and the first
// whole report read after it (the answer a request in step takes).
struct Wire {
    std::vector<std::uint8_t> request;
    int writes = 0;
    bool awaiting = false;
    bool answered = false;
    std::array<std::uint8_t, kPayload> answer{};
};

struct ProgramEnded {};

class Fuzz;

class FuzzHost : public link::LinkHost {
  public:
    explicit FuzzHost(Fuzz& fuzz) : fuzz_(fuzz) {}
    link::MessageAnswer ShowMessage(const std::string& text, link::MessageButtons buttons,
                                    const std::string& title) override;
    void BoardsFound() override;
    void EndProgram() override { throw ProgramEnded{}; }
    void HandlePendingEvents() override;

  private:
    Fuzz& fuzz_;
};

class Fuzz {
  public:
    Fuzz(const std::uint8_t* data, std::size_t size) : in_(data, size) {}

    void Run() {
        ListDevices();
        Fake().onWrite = [this](const std::string&, std::span<const std::uint8_t> data) {
            return Write(data);
        };
        Fake().onRead = [this](const std::string&, std::span<std::uint8_t> buffer, int ms) {
            return Read(buffer, ms);
        };
        {
            board::HidapiTransport hid;
            FuzzHost host(*this);
            link::BoardLink link(hid, host, clock_);
            link_ = &link;
            link.SetAnswerTimeoutMs(in_.ConsumeIntegralInRange(0, link::kDefaultAnswerTimeoutMs));
            try {
                link.FindBoards();
                link.SetI2CAddress(in_.ConsumeIntegral<std::uint8_t>());
                for (int op = 0; op < kMostOperations && in_.remaining_bytes() > 0; ++op) {
                    Operation();
                }
            } catch (const ProgramEnded&) {
                Check(link.BoardCount() == 0, "the boards are closed before the program ends");
            }
            link_ = nullptr;
        }
        Check(Fake().OpenNow() == 0 && Fake().badCloses == 0, "every handle closed once");
        Check(Fake().enumerations == Fake().listsFreed, "every enumeration list freed");
        Check(Fake().inits == Fake().exits, "hid_exit for every hid_init");
    }

    bool Answer() { return in_.remaining_bytes() > 0 && in_.ConsumeBool(); }

    void Nested() {
        if (nested_ || in_.remaining_bytes() == 0 || in_.ConsumeIntegralInRange(0, 15) != 0) {
            return;
        }
        nested_ = true;
        Operation();
        nested_ = false;
    }

    link::BoardLink* link_ = nullptr;

  private:
    void ListDevices() {
        const int boards = in_.ConsumeIntegralInRange(0, 3);
        for (int i = 0; i < boards; ++i) {
            const std::string path = NodeFolder() + "/hidraw" + std::to_string(i);
            Fake().devices.push_back({path, board::kBoardVendorId, board::kBoardProductId, 0xFF00});
            if (in_.ConsumeBool()) {  // under a second usage page
                Fake().devices.push_back({path, board::kBoardVendorId, board::kBoardProductId, 1});
            }
            if (in_.ConsumeIntegralInRange(0, 7) == 0) {
                Fake().refuse.insert(path);
            }
        }
        Fake().devices.push_back({"/nonexistent/keyboard", 0x046D, 0xC31C, 1});
    }

    int Write(std::span<const std::uint8_t> data) {
        Check(data.size() == board::kReportSize && data[0] == 0, "a whole report, number 0");
        if (in_.remaining_bytes() == 0 || in_.ConsumeIntegralInRange(0, 7) == 0) {
            return -1;
        }
        wire_.request.assign(data.begin(), data.end());
        ++wire_.writes;
        wire_.awaiting = true;
        wire_.answered = false;
        return static_cast<int>(data.size());
    }

    int Read(std::span<std::uint8_t> buffer, int timeoutMs) {
        Check(buffer.size() == kPayload, "the payload is asked for");
        const bool awaited = wire_.awaiting;
        wire_.awaiting = false;
        const auto waited = [&](int most) {
            const int us = in_.ConsumeIntegralInRange(0, std::max(most, 0) * 1000);
            clock_.Advance(std::chrono::microseconds(us));
        };
        if (in_.remaining_bytes() == 0) {
            clock_.Advance(std::chrono::milliseconds(std::max(timeoutMs, 0)));
            return 0;
        }
        switch (in_.ConsumeIntegralInRange(0, 9)) {
            case 0:
                clock_.Advance(std::chrono::milliseconds(std::max(timeoutMs, 0)));
                return 0;
            case 1:
                waited(timeoutMs);
                return -1;
            case 2: {  // short
                waited(timeoutMs);
                const auto n = in_.ConsumeIntegralInRange<std::size_t>(1, buffer.size() - 1);
                const auto bytes = in_.ConsumeBytes<std::uint8_t>(n);
                std::copy(bytes.begin(), bytes.end(), buffer.begin());
                return static_cast<int>(n);
            }
            default: {
                waited(timeoutMs);
                auto bytes = in_.ConsumeBytes<std::uint8_t>(buffer.size());
                bytes.resize(buffer.size());
                if (in_.ConsumeBool()) {
                    bytes[0] = 0;  // the transfer went through: worth exploring further
                }
                std::copy(bytes.begin(), bytes.end(), buffer.begin());
                if (awaited) {
                    std::copy(bytes.begin(), bytes.end(), wire_.answer.begin());
                    wire_.answered = true;
                }
                return static_cast<int>(buffer.size());
            }
        }
    }

    // The answer report the last request took, byte for byte as the protocol numbers it.
    std::uint8_t AnswerByte(std::size_t offset) const { return wire_.answer[offset - 1]; }
    std::uint8_t RequestByte(std::size_t offset) const { return wire_.request[offset]; }

    void CheckAnswered(std::uint8_t command) const {
        Check(wire_.answered, "a value comes from an answer");
        Check(RequestByte(board::off::kCommand) == command, "the answer to this request");
    }

    void CheckRead(board::Outcome outcome, std::uint8_t address, std::uint8_t first,
                   const std::vector<std::uint8_t>& values,
                   const std::vector<std::uint8_t>& before) const {
        if (outcome != board::Outcome::Ok) {
            Check(values == before, "a failed read leaves the values alone");
            return;
        }
        CheckAnswered(board::CommandI2C);
        Check(RequestByte(board::off::kCount) == values.size() &&
                  RequestByte(board::off::kAddress) == static_cast<std::uint8_t>(address + 1) &&
                  RequestByte(board::off::kFirstRegister) == first,
              "the read asked for");
        Check(AnswerByte(board::off::kStatus) == 0, "a read is good only with status 0");
        for (std::size_t i = 0; i < values.size(); ++i) {
            Check(values[i] == AnswerByte(board::off::kReadData + i), "values from the answer");
        }
    }

    void CheckWrite(board::Outcome outcome, std::uint8_t address, std::uint8_t first,
                    const std::vector<std::uint8_t>& values, int writesBefore) const {
        if (outcome == board::Outcome::Refused) {
            Check(wire_.writes == writesBefore, "a refused request is never sent");
            return;
        }
        if (outcome != board::Outcome::Ok) {
            return;
        }
        CheckAnswered(board::CommandI2C);
        Check(AnswerByte(board::off::kStatus) == 0, "a write is good only with status 0");
        Check(RequestByte(board::off::kCount) == values.size() &&
                  RequestByte(board::off::kAddress) == address &&
                  RequestByte(board::off::kFirstRegister) == first,
              "the write asked for");
        for (std::size_t i = 0; i < values.size(); ++i) {
            Check(RequestByte(board::off::kWriteData + i) == values[i], "the values written");
        }
    }

    // A query's value is the answer's, field by field; a failed query has none.
    bool Matches(bool led) const {
        return led == ((AnswerByte(board::off::kGpioStatus) & 0x80) != 0);
    }
    bool Matches(const board::BusClock& clock) const {
        return clock.baseMHz == AnswerByte(board::off::kBaseClock) &&
               clock.divider == AnswerByte(board::off::kDivider);
    }
    bool Matches(const board::FirmwareVersion& fw) const {
        return fw.version == AnswerByte(board::off::kFirmwareVersion) &&
               fw.year ==
                   AnswerByte(board::off::kYearHigh) * 256 + AnswerByte(board::off::kYearLow) &&
               fw.month == AnswerByte(board::off::kMonth) && fw.day == AnswerByte(board::off::kDay);
    }
    static bool Empty(bool led) { return !led; }
    static bool Empty(const board::BusClock& clock) {
        return clock.baseMHz == 0 && clock.divider == 0;
    }
    static bool Empty(const board::FirmwareVersion& fw) {
        return fw.version == 0 && fw.year == 0 && fw.month == 0 && fw.day == 0;
    }
    template <typename T>
    void CheckQuery(const board::Result<T>& result, std::uint8_t command) const {
        if (result.Ok()) {
            CheckAnswered(command);
            Check(Matches(result.value), "a query's value is its answer's");
        } else {
            Check(Empty(result.value), "no value from a failed query");
        }
    }
    template <typename T>
    void CheckQuery(const std::optional<T>& value, std::uint8_t command) const {
        if (value) {
            CheckQuery(board::Result<T>{board::Outcome::Ok, *value}, command);
        }
    }

    static board::Outcome OutcomeOf(link::Status status) {
        return status == link::StatusOk ? board::Outcome::Ok : board::Outcome::NoAnswer;
    }

    std::vector<std::uint8_t> Values(std::size_t count) {
        std::vector<std::uint8_t> values(count);
        for (auto& v : values) {
            v = static_cast<std::uint8_t>(0xA0 + (&v - values.data()) % 16);
        }
        return values;
    }

    void Operation() {
        link::BoardLink& link = *link_;
        board::BoardSession* session = link.CurrentSession();
        const auto address = in_.ConsumeIntegral<std::uint8_t>();
        const auto first = in_.ConsumeIntegral<std::uint8_t>();
        const auto count = in_.ConsumeIntegralInRange<std::size_t>(0, board::kMaxReadCount + 2);
        const bool quiet = in_.ConsumeBool();
        const int writesBefore = wire_.writes;
        std::vector<std::uint8_t> values = Values(count);
        const std::vector<std::uint8_t> before = values;
        const int op = in_.ConsumeIntegralInRange(0, 19);
        if (op <= kLastSessionOperation && session == nullptr) {
            return;
        }
        switch (op) {
            // ---- the session
            case 0: {
                const auto outcome = session->ReadRegisters(address, first, values);
                CheckRead(outcome, address, first, values, before);
                if (outcome == board::Outcome::Refused) {
                    Check(wire_.writes == writesBefore, "a refused read is never sent");
                }
                break;
            }
            case 1:
                CheckWrite(session->WriteRegisters(address, first, values), address, first, values,
                           writesBefore);
                break;
            case 2:
                session->SetLed(in_.ConsumeBool());
                session->SetBusClockDivider(in_.ConsumeIntegral<std::uint8_t>());
                break;
            case 3:
                CheckQuery(session->ReadLed(), board::CommandGpio);
                break;
            case 4:
                CheckQuery(session->ReadBusClock(), board::CommandBusClock);
                break;
            case 5:
                CheckQuery(session->ReadFirmwareVersion(), board::CommandBoardInfo);
                break;
            case 6: {
                const int taken =
                    session->Drain(std::chrono::milliseconds(in_.ConsumeIntegralInRange(0, 5)));
                Check(taken >= 0 && taken <= board::BoardSession::kMaxDrainedReports,
                      "a drain ends");
                break;
            }
            // ---- the link
            case 7:
                CheckRead(OutcomeOf(link.ReadRegistersOnce(address, first, count, values)), address,
                          first, values, before);
                break;
            case 8: {
                const auto status = link.ReadRegisters(address, first, count, values, quiet);
                Check(status == link::StatusOk || status == link::StatusDeviceError,
                      "the retrying read ends answered");
                CheckRead(OutcomeOf(status), address, first, values, before);
                break;
            }
            case 9: {
                const auto status = link.WriteRegistersOnce(address, first, count, values);
                if (status == link::StatusOk) {
                    CheckWrite(board::Outcome::Ok, address, first, values, writesBefore);
                }
                break;
            }
            case 10: {
                const auto status = link.WriteRegisters(address, first, count, values, quiet);
                Check(status == link::StatusOk || status == link::StatusDeviceError,
                      "the retrying write ends answered");
                if (status == link::StatusOk) {
                    CheckWrite(board::Outcome::Ok, address, first, values, writesBefore);
                }
                break;
            }
            case 11:
                link.SetLed(in_.ConsumeBool() ? 1 : 0);
                break;
            case 12:
                link.SetBusClockDivider(in_.ConsumeIntegral<std::uint8_t>());
                break;
            case 13:
                if (const auto led = link.ReadLed()) {
                    CheckQuery(board::Result<bool>{board::Outcome::Ok, *led == 1},
                               board::CommandGpio);
                }
                break;
            case 14:
                CheckQuery(link.ReadBusClock(), board::CommandBusClock);
                break;
            case 15:
                CheckQuery(link.ReadFirmwareVersion(), board::CommandBoardInfo);
                break;
            case 16:
                link.DrainInput();
                break;
            case 17:
                link.DelaySeconds(static_cast<float>(in_.ConsumeIntegralInRange(-10, 300)) /
                                  1000.0F);
                break;
            case 18:
                link.SelectBoard(in_.ConsumeIntegralInRange<std::size_t>(0, 4));
                break;
            default:
                link.FindBoards();
                break;
        }
    }

    FuzzedDataProvider in_;
    sim::VirtualClock clock_;
    Wire wire_;
    bool nested_ = false;
};

link::MessageAnswer FuzzHost::ShowMessage(const std::string& text, link::MessageButtons buttons,
                                          const std::string& title) {
    Check(!text.empty() && title == link::kProgramTitle, "a message with the program's title");
    if (fuzz_.Answer()) {
        return buttons == link::MessageButtons::YesNo ? link::AnswerYes : link::AnswerRetry;
    }
    return buttons == link::MessageButtons::YesNo ? link::AnswerNo : link::AnswerCancel;
}

void FuzzHost::BoardsFound() {
    if (fuzz_.Answer()) {
        fuzz_.link_->ReadBusClock();  // as the window does
    }
}

void FuzzHost::HandlePendingEvents() {
    fuzz_.Nested();
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int* /*argc*/, char*** /*argv*/) {
    // The boards' device nodes, which the backend locks: plain files in a folder of the run's.
    const std::string& dir = NodeFolder();
    for (int i = 0; i < 3; ++i) {
        std::fclose(std::fopen((dir + "/hidraw" + std::to_string(i)).c_str(), "w"));
    }
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    test::fake_hid::Reset();
    Fuzz(data, size).Run();
    test::fake_hid::Reset();
    return 0;
}
