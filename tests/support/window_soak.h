// The fault soak (soak.h) through the main window: a FrmMain on several simulated boards, on
// virtual time with the soak's short answer time-out, driven as a user drives it. Keys go into
// the real register boxes (digits, the step keys, Delete and Backspace), buttons are clicked
// (Read All in a burst and one at a time, re-calibration, Reconnect, the single-register frame,
// the multi-write test, the address scan), the menu saves and loads register files through the
// window's file dialogs, the LED box is switched, and the bus clock and instance lists are
// stepped with their keys; now and then another of these runs inside a pause, as the window's
// events do. Faults are injected at random; every message is answered at random among the
// buttons it offers. Cancel and Yes end the program: the soak follows such an answer to the end
// in a child process (every board closed, nothing running after it) and answers Retry or No
// itself, so that one run goes on.
//
// After every operation the link soak's checks run: each chip holds exactly what acknowledged
// writes put there (the writes are taken from the exchanges the window made), the LED and
// divider the user chose are in force, only the open boards' handles are open, and the
// watchdog on virtual time. The window's own: every register box shows its text from before
// the operation or a value that a successful read or a write of that register gave during it,
// never a value from a failed read; a key writes what its box shows, to the address shown;
// after an operation that ran without fault, message or nested work, the boxes it read show
// what the chip holds; a saved file holds what the boxes show; the instance list, the LED box,
// the clock list and the address show the board and address in force. A run repeats exactly
// for its seed.
#pragma once

#include <QString>
#include <QTemporaryDir>

#include <array>
#include <bitset>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "board/board_session.h"
#include "sim/sim_transport.h"
#include "sim/virtual_clock.h"
#include "support/soak.h"
#include "ui/link/link_host.h"

class QLineEdit;

namespace vrq::ui {
class FrmMain;
}

namespace vrq::test {

// The window soak's usual options: each operation runs the window's handlers and their pauses,
// so a seed takes fewer operations than the link's, with more faults each.
SoakOptions WindowSoakOptions(std::uint32_t seed);

class WindowSoak : public board::ExchangeObserver {
  public:
    explicit WindowSoak(const SoakOptions& options);
    ~WindowSoak() override;
    WindowSoak(const WindowSoak&) = delete;
    WindowSoak& operator=(const WindowSoak&) = delete;

    // Starts the window and runs the soak's operations and those given.
    SoakReport Run(const std::vector<SoakOperation>& extra = {});

    // An operation on the window, checked afterwards as the soak's own are.
    SoakOperation Operation(const char* name, int weight, std::function<void(WindowSoak&)> body,
                            bool nestable = true);

    // ---- For operations
    ui::FrmMain& Window() { return *window_; }
    SoakRun& Soak() { return run_; }
    int Uniform(int low, int high) { return run_.Uniform(low, high); }
    QLineEdit* RegBox(int index);

    // ---- For the window's message presenter and file dialogs
    link::MessageAnswer Answer(link::MessageButtons buttons);
    std::optional<QString> ChooseSaveFile();
    std::optional<QString> ChooseOpenFile();

    void OnExchange(const board::Exchange& exchange) override;

  private:
    static constexpr int kBoxes = 23;

    std::vector<SoakOperation> Operations();
    void Begin();
    void End();
    void Check();
    void Wrong(const std::string& what);
    // The registers whose boxes show the chip after this operation when it ran cleanly.
    void ExpectChip(std::vector<std::uint8_t> registers);
    void Seen(std::uint8_t first, const std::vector<std::uint8_t>& values);
    // Answers Cancel or Yes now and then: true in the child that follows it to the end.
    bool EndsHere();

    // Operations
    QLineEdit* KeyBox();
    void PlaceCaret(QLineEdit* box);
    void TypeDigits();
    void StepKey();
    void EraseKey();
    void ShiftedKey();
    void ReadAll(bool burst);
    void Save();
    void Load();
    void ToggleWrite();
    void SetChipAddress();
    void MistypeAddress();
    QString WriteFile(const char* name, const std::string& content);
    std::string RandomRegisterFile();

    SoakOptions options_;
    sim::VirtualClock clock_;
    sim::SimTransport sim_;
    SoakRun run_;
    QTemporaryDir dir_;
    std::unique_ptr<ui::FrmMain> window_;

    // The operation running at the top, and what happened in it.
    int depth_ = 0;
    bool nestedRan_ = false;
    bool faultThisOperation_ = false;
    int faultsSeen_ = 0;
    int messagesBefore_ = 0;
    std::array<QString, kBoxes> boxesBefore_;
    // The LED box and the clock list shown wrong, as {board, shown, held}: one wrong value
    // read stays on show until it is read again, and is one error, not one an operation.
    std::optional<std::array<int, 3>> ledShownWrong_;
    std::optional<std::array<int, 3>> clockShownWrong_;
    QString readIndividualBefore_;
    std::array<std::bitset<256>, kBoxes> seen_;  // values read from or written to each register
    std::vector<std::uint8_t> expectChip_;
    std::optional<std::uint8_t> keyBox_;  // the box the operation's keys go to

    std::optional<QString> saveTarget_;  // the file the save dialog chose, and its content then
    std::optional<std::string> saveBefore_;
    std::vector<QString> savedFiles_;
    bool loadingAFile_ = false;  // the open dialog gave a register file with content
    long passes_ = 0;
    bool ending_ = false;  // in the child that follows Cancel or Yes to the program's end
    int programEnds_ = 0;
};

// One seed of the window soak with its own operations and those extend adds.
SoakReport RunWindowSoak(
    const SoakOptions& options,
    const std::function<void(WindowSoak&, std::vector<SoakOperation>&)>& extend = {});

}  // namespace vrq::test
