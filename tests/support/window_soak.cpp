#include "support/window_soak.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QTest>

#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <sstream>

#include "board/hex.h"
#include "device/register_file.h"
#include "device/register_map.h"
#include "support/command_log.h"
#include "ui/common/file_dialogs.h"
#include "ui/common/message_presenter.h"
#include "ui/link/board_link.h"
#include "ui/main/address_logic.h"
#include "ui/main/frm_main.h"
#include "ui/main/hex_text.h"
#include "ui/main/panel_logic.h"

namespace vrq::test {
namespace {

using link::MessageAnswer;
using link::MessageButtons;

// Register 0x09's PRBS checker would make the error counters count, and the chip then holds
// what no write put there: no key, toggle or file sets it.
constexpr std::uint8_t kTestRegister = 0x09;
constexpr std::uint8_t kPrbsCheckerBit = 0x04;
constexpr std::uint8_t kChannelSelect = 0x02;
constexpr std::uint8_t kResetBit = 0x10;
// The boxes that take keys: the working set's editable ones (but the test register) and
// those of "Tab 1".
constexpr std::array<int, 14> kKeyBoxes{2, 3, 4, 5, 6, 7, 8, 16, 17, 18, 19, 20, 21, 22};
constexpr int kFirstTab1Box = 17;
// Window events are handled every 4 ms in a pause; one pass in this many may run another
// operation there, so that about one typed key in three has a handler run in its pauses.
constexpr long kPassesPerChance = 10;
// One Retry/Cancel message in this many is answered Cancel, and one not-found question in
// this many Yes, in a child process that follows it to the end.
constexpr int kEndOneIn = 25;
// Exit codes of that child.
constexpr int kEndedClean = 70;
constexpr int kEndedWithHandlesOpen = 71;
constexpr int kNotEnded = 72;  // it waited, was asked again, or returned to the soak
constexpr int kEndedUnasked = 3;

// The register a box stands for.
std::uint8_t BoxIndex(QLineEdit* box) {
    return static_cast<std::uint8_t>(box->property("boxIndex").toInt());
}

std::string BoxName(int index) {
    return "box " + std::to_string(index);
}

template <class W = QWidget>
W* Control(ui::FrmMain& window, const QString& name) {
    W* found = window.findChild<W*>(name);
    if (found == nullptr) {
        std::fprintf(stderr, "window soak: no control %s\n", qPrintable(name));
        std::abort();
    }
    return found;
}
template <class W = QWidget>
W* Control(ui::FrmMain& window, const char* name) {
    return Control<W>(window, QString::fromLatin1(name));
}
QCheckBox* AddressBit(ui::FrmMain& window, std::size_t bit) {
    return Control<QCheckBox>(window, QStringLiteral("chkADDRbit_%1").arg(bit));
}

std::optional<std::string> Content(const QString& path) {
    std::ifstream in(path.toStdString(), std::ios::binary);
    if (!in) {
        return std::nullopt;
    }
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// A value the soak may write to reg.
std::uint8_t Writable(std::uint8_t reg, std::uint8_t value, bool reset) {
    if (reg == kTestRegister) {
        value &= static_cast<std::uint8_t>(~kPrbsCheckerBit);
    }
    if (reg == kChannelSelect && !reset) {
        value &= static_cast<std::uint8_t>(~kResetBit);
    }
    return value;
}

class SoakPresenter : public ui::MessagePresenter {
  public:
    explicit SoakPresenter(WindowSoak& soak) : soak_(soak) {}
    MessageAnswer Show(QWidget* /*parent*/, const std::string& /*text*/, MessageButtons buttons,
                       const std::string& /*title*/) override {
        return soak_.Answer(buttons);
    }

  private:
    WindowSoak& soak_;
};

class SoakFileDialogs : public ui::FileDialogs {
  public:
    explicit SoakFileDialogs(WindowSoak& soak) : soak_(soak) {}
    std::optional<QString> GetSaveFileName(QWidget*, const ui::FileDialogRequest&) override {
        return soak_.ChooseSaveFile();
    }
    std::optional<QString> GetOpenFileName(QWidget*, const ui::FileDialogRequest&) override {
        return soak_.ChooseOpenFile();
    }

  private:
    WindowSoak& soak_;
};

}  // namespace

SoakOptions WindowSoakOptions(std::uint32_t seed) {
    SoakOptions options;
    options.seed = seed;
    options.operations = 2500;
    options.faultPercent = 10;
    // A full address scan pauses 12.8 s, and other operations run in its pauses.
    options.watchdog = std::chrono::seconds(120);
    return options;
}

WindowSoak::WindowSoak(const SoakOptions& options)
    : options_(options), sim_(clock_), run_(options, clock_, sim_) {}

WindowSoak::~WindowSoak() = default;

QLineEdit* WindowSoak::RegBox(int index) {
    return Control<QLineEdit>(*window_, QStringLiteral("txtRegVal_%1").arg(index));
}

// ---------------------------------------------------------------- the run

SoakReport WindowSoak::Run(const std::vector<SoakOperation>& extra) {
    window_ = std::make_unique<ui::FrmMain>(run_.Transport(), clock_);
    window_->SetMessagePresenter(std::make_unique<SoakPresenter>(*this));
    window_->SetFileDialogs(std::make_unique<SoakFileDialogs>(*this));
    window_->SetEndAction([this] {
        if (!ending_) {
            std::fprintf(stderr, "window soak seed %u: the program ended unasked\n", options_.seed);
            std::_Exit(kEndedUnasked);
        }
        std::_Exit(sim_.OpenHandles() == 0 ? kEndedClean : kEndedWithHandlesOpen);
    });
    window_->SetPauseHook([this] {
        if (ending_) {
            std::_Exit(kNotEnded);
        }
        if (++passes_ % kPassesPerChance == 0) {
            run_.PendingEvents();
        }
    });
    window_->Form_Load();
    window_->ShowTestTabs(true);
    // Shown and active, as a user has it: the boxes take the focus before their keys.
    window_->show();
    window_->activateWindow();
    if (!QTest::qWaitForWindowActive(window_.get())) {
        std::fprintf(stderr, "window soak: the window did not become active\n");
    }
    SetChipAddress();
    run_.Attach(window_->Link());
    window_->Hub().Add(this);

    std::vector<SoakOperation> operations = Operations();
    operations.insert(operations.end(), extra.begin(), extra.end());
    SoakReport report = run_.Run(operations);
    report.programEnds = programEnds_;
    return report;
}

SoakOperation WindowSoak::Operation(const char* name, int weight,
                                    std::function<void(WindowSoak&)> body, bool nestable) {
    return {name, weight,
            [this, body = std::move(body)](SoakRun&) {
                Begin();
                body(*this);
                End();
            },
            nestable};
}

void WindowSoak::Begin() {
    if (depth_++ > 0) {
        nestedRan_ = true;
        return;
    }
    for (int i = 0; i < kBoxes; ++i) {
        boxesBefore_[static_cast<std::size_t>(i)] = RegBox(i)->text();
        seen_[static_cast<std::size_t>(i)].reset();
    }
    readIndividualBefore_ = Control<QLineEdit>(*window_, "txtReadIndividual")->text();
    const SoakReport& progress = run_.Progress();
    faultThisOperation_ = progress.faultsInjected != faultsSeen_;
    faultsSeen_ = progress.faultsInjected;
    messagesBefore_ = progress.messages;
    nestedRan_ = false;
    expectChip_.clear();
    keyBox_.reset();
}

void WindowSoak::End() {
    if (ending_) {
        std::_Exit(kNotEnded);
    }
    if (--depth_ == 0) {
        Check();
    }
}

void WindowSoak::ExpectChip(std::vector<std::uint8_t> registers) {
    if (depth_ == 1) {
        expectChip_ = std::move(registers);
    }
}

void WindowSoak::Seen(std::uint8_t first, const std::vector<std::uint8_t>& values) {
    for (std::size_t i = 0; i < values.size(); ++i) {
        if (first + i < kBoxes) {
            seen_[first + i].set(values[i]);
        }
    }
}

void WindowSoak::Wrong(const std::string& what) {
    run_.Error(&SoakReport::windowWrong, what);
}

// The chip state the window's writes leave is taken from its exchanges, attempt by attempt:
// an acknowledged write is in the chip, a refused one is not, and one whose answer did not
// come, or came out of step, may be either.
void WindowSoak::OnExchange(const board::Exchange& exchange) {
    if (exchange.kind != board::Exchange::Kind::Request ||
        exchange.request[board::off::kCommand] != board::CommandI2C) {
        return;
    }
    const Sent sent = Decoded(exchange.request);
    const auto address = static_cast<std::uint8_t>(sent.address);
    const auto first = static_cast<std::uint8_t>(sent.first);
    if (sent.kind == Sent::Kind::Write) {
        const std::vector<std::uint8_t> values(sent.data.begin(), sent.data.end());
        // A key released in a box writes what the box shows, to the address the window shows
        // (both as they are when the write goes out, after the handlers run in its pause).
        if (keyBox_ && depth_ == 1 && first == *keyBox_ && values.size() == 1 &&
            (ui::ParseBoxByte(RegBox(first)->text().toStdString()) != values[0] ||
             address != window_->Link().I2CAddress())) {
            Wrong("a key in " + BoxName(first) + " wrote " + board::ByteToHex(values[0]) +
                  " to address " + board::ByteToHex(address) + " while the box shows \"" +
                  RegBox(first)->text().toStdString() + "\"");
        }
        const link::Status status =
            exchange.outOfStep ? link::StatusReadFailed : link::StatusOf(exchange.outcome);
        run_.WriteDone(run_.CurrentSimBoard(), address, first, values, status, true);
        Seen(first, values);
    } else if (sent.kind == Sent::Kind::Read && exchange.outcome == board::Outcome::Ok &&
               !exchange.outOfStep) {
        const auto* data = exchange.answer.data() + board::off::kReadData;
        const std::vector<std::uint8_t> values(data, data + sent.count);
        run_.ReadDone(address, first, values, values, link::StatusOk);
        Seen(first, values);
    }
}

void WindowSoak::Check() {
    ui::FrmMain& window = *window_;
    link::BoardLink& link = window.Link();
    std::string wrong;  // one error per operation and check, naming every box
    for (int i = 0; i < kBoxes; ++i) {
        const QString text = RegBox(i)->text();
        if (text == boxesBefore_[static_cast<std::size_t>(i)]) {
            continue;
        }
        const auto value = ui::ParseBoxByte(text.toStdString());
        if (!value || !seen_[static_cast<std::size_t>(i)][*value]) {
            wrong += " " + BoxName(i) + " \"" + text.toStdString() + "\"";
        }
    }
    if (!wrong.empty()) {
        Wrong("boxes show values no read or write of their register gave:" + wrong);
    }
    // The frame's read box shows a register that an earlier press in this operation named,
    // if a later one's read failed: any value read or written will do, a zero from nowhere not.
    const QString readIndividual = Control<QLineEdit>(window, "txtReadIndividual")->text();
    if (readIndividual != readIndividualBefore_) {
        const auto value = ui::ParseBoxByte(readIndividual.toStdString());
        const bool given = value && std::any_of(seen_.begin(), seen_.end(),
                                                [&](const auto& seen) { return seen[*value]; });
        if (!given) {
            Wrong("the single-register frame shows \"" + readIndividual.toStdString() +
                  "\", which no read or write gave");
        }
    }

    const auto now = run_.CurrentSimBoard();
    if (!now) {
        return;
    }
    const sim::SimBoard& board = sim_.Board(*now);
    const bool clean = !faultThisOperation_ && !nestedRan_ &&
                       run_.Progress().messages == messagesBefore_ &&
                       link.I2CAddress() == kSoakChip;
    wrong.clear();
    for (const std::uint8_t reg : clean ? expectChip_ : std::vector<std::uint8_t>{}) {
        const std::string text = RegBox(reg)->text().toStdString();
        if (text != board::ByteToHex(board.Chip().Peek(reg))) {
            wrong += " " + BoxName(reg) + " \"" + text + "\" for " +
                     board::ByteToHex(board.Chip().Peek(reg));
        }
    }
    if (!wrong.empty()) {
        Wrong("boxes show other values than the chip holds:" + wrong);
    }

    if (Control<QComboBox>(window, "cboEVBinstance")->currentIndex() !=
        static_cast<int>(link.CurrentBoard().value_or(0))) {
        Wrong("the instance list shows another board than the current one");
    }
    const auto shownWrong = [this, &now](std::optional<std::array<int, 3>>& last, int shown,
                                         int held, const std::string& what) {
        const std::array<int, 3> state{static_cast<int>(*now), shown, held};
        if (shown == held) {
            last.reset();
        } else if (last != state) {
            last = state;
            Wrong(what);
        }
    };
    const bool ledBox = Control<QCheckBox>(window, "chkLED")->isChecked();
    shownWrong(ledShownWrong_, ledBox ? 1 : 0, board.Led() ? 1 : 0,
               "the LED box shows another state than the board's");
    const auto* clockList = Control<QComboBox>(window, "cboSMBusFrequency");
    const int divider = clockList->currentIndex() >= 0 ? clockList->currentData().toInt()
                                                       : static_cast<int>(board.Divider());
    shownWrong(clockShownWrong_, divider, board.Divider(),
               "the clock list shows divider " + std::to_string(divider) + ", the board has " +
                   std::to_string(board.Divider()));
    ui::AddressBoxes ticked{};
    for (std::size_t bit = 0; bit < ui::kAddressBoxes; ++bit) {
        ticked[bit] = AddressBit(window, bit)->isChecked();
    }
    if (Control<QLineEdit>(window, "txtI2Caddress")->text() != ui::HexText(link.I2CAddress()) ||
        ui::AddressFromBoxes(ticked) != link.I2CAddress()) {
        Wrong("the address boxes show another address than " + board::ByteToHex(link.I2CAddress()));
    }
}

// ---------------------------------------------------------------- messages and dialogs

MessageAnswer WindowSoak::Answer(MessageButtons buttons) {
    if (ending_) {
        std::_Exit(kNotEnded);
    }
    run_.MessageShown();
    switch (buttons) {
        case MessageButtons::RetryCancel:
            return EndsHere() ? link::AnswerCancel : link::AnswerRetry;
        case MessageButtons::YesNo:
            return EndsHere() ? link::AnswerYes : link::AnswerNo;
        case MessageButtons::OkCancel:
            return Uniform(0, 1) == 0 ? link::AnswerOk : link::AnswerCancel;
        case MessageButtons::Ok:
            break;
    }
    return link::AnswerOk;
}

// The program ends at once on this answer: a child process gives it and must end, every board
// closed, without waiting, asking or returning to the soak; the soak goes on with the other
// answer.
bool WindowSoak::EndsHere() {
    if (Uniform(1, kEndOneIn) != 1) {
        return false;
    }
    std::fflush(nullptr);
    const pid_t child = fork();
    if (child == 0) {
        ending_ = true;
        clock_.onSleep = [](board::Clock::TimePoint, board::Clock::TimePoint) {
            std::_Exit(kNotEnded);
        };
        return true;
    }
    ++programEnds_;
    int status = 0;
    while (child > 0 && waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    if (child < 0 || !WIFEXITED(status) || WEXITSTATUS(status) != kEndedClean) {
        std::ostringstream what;
        what << "the answer that ends the program ended it with status " << status;
        run_.Error(&SoakReport::endingsWrong, what.str());
    }
    return false;
}

std::optional<QString> WindowSoak::ChooseSaveFile() {
    const int pick = Uniform(0, 11);
    if (pick < 2) {
        saveTarget_.reset();
        return std::nullopt;
    }
    // A folder that is not there: the save fails with a message.
    saveTarget_ = pick == 2 ? dir_.filePath(QStringLiteral("gone/registers.txt"))
                            : dir_.filePath(QStringLiteral("saved%1.txt").arg(pick % 3));
    saveBefore_ = Content(*saveTarget_);
    return saveTarget_;
}

std::optional<QString> WindowSoak::ChooseOpenFile() {
    loadingAFile_ = false;
    switch (Uniform(0, 9)) {
        case 0:
            return std::nullopt;
        case 1:
            return WriteFile("lower.txt", "//vrq66208a register file\r\n0x04\t55\r\n");
        case 2:
            return WriteFile("bad.txt", "//VRQ66208A Register File\r\n0x04\t55\r\n0x05\tZZ\r\n");
        case 3:
            return dir_.filePath(QStringLiteral("missing.txt"));
        case 4:
            return WriteFile("empty.txt", "");
        case 5:
        case 6:
            if (!savedFiles_.empty()) {
                loadingAFile_ = true;
                return savedFiles_[static_cast<std::size_t>(
                    Uniform(0, static_cast<int>(savedFiles_.size()) - 1))];
            }
            break;
        default:
            break;
    }
    loadingAFile_ = true;
    return WriteFile("random.txt", RandomRegisterFile());
}

QString WindowSoak::WriteFile(const char* name, const std::string& content) {
    const QString path = dir_.filePath(QString::fromLatin1(name));
    std::ofstream(path.toStdString(), std::ios::binary | std::ios::trunc) << content;
    return path;
}

// Any register up to 0x16, some more than once, with comments and blank lines between.
std::string WindowSoak::RandomRegisterFile() {
    std::string content = std::string(device::kRegisterFileHeader) + "\r\n";
    for (int line = Uniform(0, 8); line > 0; --line) {
        switch (Uniform(0, 9)) {
            case 0:
                content += "// a comment\r\n";
                break;
            case 1:
                content += "\r\n";
                break;
            default: {
                const auto reg = static_cast<std::uint8_t>(Uniform(0, 0x16));
                const std::uint8_t value =
                    Writable(reg, static_cast<std::uint8_t>(Uniform(0, 255)), Uniform(0, 7) == 0);
                content += "0x" + board::ByteToHex(reg) + "\t" + board::ByteToHex(value) + "\r\n";
                break;
            }
        }
    }
    return content;
}

// ---------------------------------------------------------------- operations

// A box the user clicks into, on its tab, for keys to follow.
QLineEdit* WindowSoak::KeyBox() {
    const int index = kKeyBoxes[static_cast<std::size_t>(Uniform(0, kKeyBoxes.size() - 1))];
    if (depth_ == 1) {
        keyBox_ = static_cast<std::uint8_t>(index);
    }
    Control<QTabWidget>(*window_, "SSTab1")->setCurrentIndex(index >= kFirstTab1Box ? 1 : 0);
    QLineEdit* box = RegBox(index);
    box->setFocus();
    return box;
}

// The whole text selected, or the caret anywhere in it.
void WindowSoak::PlaceCaret(QLineEdit* box) {
    if (Uniform(0, 2) == 0) {
        box->selectAll();
    } else {
        box->setCursorPosition(Uniform(0, static_cast<int>(box->text().size())));
    }
}

void WindowSoak::TypeDigits() {
    QLineEdit* box = KeyBox();
    PlaceCaret(box);
    for (int digits = Uniform(1, 2); digits > 0; --digits) {
        const int digit = Uniform(0, 16);
        // Now and then a key the box drops; its release still writes.
        const Qt::Key key = digit == 16  ? Qt::Key_G
                            : digit < 10 ? static_cast<Qt::Key>(Qt::Key_0 + digit)
                                         : static_cast<Qt::Key>(Qt::Key_A + digit - 10);
        QTest::keyClick(box, key);
    }
    ExpectChip({BoxIndex(box)});
}

void WindowSoak::StepKey() {
    static constexpr std::array kSteps{Qt::Key_Up,    Qt::Key_Down,   Qt::Key_Left,
                                       Qt::Key_Right, Qt::Key_PageUp, Qt::Key_PageDown};
    QLineEdit* box = KeyBox();
    PlaceCaret(box);
    QTest::keyClick(box, kSteps[static_cast<std::size_t>(Uniform(0, kSteps.size() - 1))]);
    ExpectChip({BoxIndex(box)});
}

void WindowSoak::EraseKey() {
    QLineEdit* box = KeyBox();
    PlaceCaret(box);
    QTest::keyClick(box, Uniform(0, 1) == 0 ? Qt::Key_Delete : Qt::Key_Backspace);
    ExpectChip({BoxIndex(box)});
}

// Selecting with Shift held, or moving a word with Ctrl: no step and no write.
void WindowSoak::ShiftedKey() {
    QLineEdit* box = KeyBox();
    const Qt::KeyboardModifiers modifiers =
        Uniform(0, 1) == 0 ? Qt::ShiftModifier : Qt::ControlModifier;
    const Qt::Key key = Uniform(0, 1) == 0 ? Qt::Key_Left : Qt::Key_Right;
    QKeyEvent press(QEvent::KeyPress, key, modifiers);
    QApplication::sendEvent(box, &press);
    QKeyEvent release(QEvent::KeyRelease, key, modifiers);
    QApplication::sendEvent(box, &release);
}

void WindowSoak::ReadAll(bool burst) {
    auto* option = Control<QCheckBox>(*window_, "chkBurstRead");
    if (option->isChecked() != burst) {
        option->click();
    }
    Control<QPushButton>(*window_, "cmdReadAllRegisters")->click();
    ExpectChip(device::WorkingSetAddresses());
}

// The save reads the panel first; a file it writes holds what the boxes then show.
void WindowSoak::Save() {
    saveTarget_.reset();
    Control<QAction>(*window_, "mnuSaveRegisters")->trigger();
    ExpectChip(device::WorkingSetAddresses());
    const auto content = saveTarget_ ? Content(*saveTarget_) : std::nullopt;
    if (!content || content == saveBefore_) {
        return;  // cancelled, not replaced, or not written
    }
    std::vector<device::SavedRegister> shown;
    for (const std::uint8_t reg : device::WorkingSetAddresses()) {
        shown.push_back({"0x" + board::ByteToHex(reg), RegBox(reg)->text().toStdString()});
    }
    if (*content != device::FormatRegisterFile(shown)) {
        Wrong("the saved file holds other values than the boxes show");
        return;
    }
    savedFiles_.push_back(*saveTarget_);
}

void WindowSoak::Load() {
    loadingAFile_ = false;
    Control<QAction>(*window_, "mnuLoadRegisters")->trigger();
    if (loadingAFile_) {
        ExpectChip(device::WorkingSetAddresses());
    }
}

// The single-register frame's toggle: a register of the working set (an address outside it
// reaches 0x10) and two values.
void WindowSoak::ToggleWrite() {
    const auto address = static_cast<std::uint8_t>(Uniform(0, 0x16));
    const std::uint8_t reg = ui::IndividualRegister(address);
    Control<QLineEdit>(*window_, "txtRegister")->setText(ui::HexText(address));
    for (int i = 0; i < 2; ++i) {
        Control<QLineEdit>(*window_, QStringLiteral("txtWriteIndividual_%1").arg(i))
            ->setText(
                ui::HexText(Writable(reg, static_cast<std::uint8_t>(Uniform(0, 255)), false)));
    }
    Control<QPushButton>(*window_, QStringLiteral("cmdWriteIndividual_%1").arg(Uniform(0, 1)))
        ->click();
    ExpectChip({reg});
}

void WindowSoak::SetChipAddress() {
    const ui::AddressBoxes wanted = ui::BoxesFromAddress(kSoakChip);
    for (std::size_t bit = 0; bit < ui::kAddressBoxes; ++bit) {
        if (AddressBit(*window_, bit)->isChecked() != wanted[bit]) {
            AddressBit(*window_, bit)->click();
        }
    }
}

void WindowSoak::MistypeAddress() {
    AddressBit(*window_, static_cast<std::size_t>(Uniform(0, ui::kAddressBoxes - 1)))->click();
}

std::vector<SoakOperation> WindowSoak::Operations() {
    const auto click = [](const char* name) {
        return [name](WindowSoak& w) { Control<QAbstractButton>(*w.window_, name)->click(); };
    };
    // A key that moves a list's selection, as the user steps through it; true when it moved.
    const auto stepList = [](WindowSoak& w, QComboBox* list) {
        static constexpr std::array kKeys{Qt::Key_Up, Qt::Key_Down, Qt::Key_Home, Qt::Key_End};
        const int before = list->currentIndex();
        QTest::keyClick(list, kKeys[static_cast<std::size_t>(w.Uniform(0, kKeys.size() - 1))]);
        return list->currentIndex() >= 0 && list->currentIndex() != before;
    };
    std::vector<SoakOperation> operations{
        Operation("type digits", 14, [](WindowSoak& w) { w.TypeDigits(); }),
        Operation("step key", 8, [](WindowSoak& w) { w.StepKey(); }),
        Operation("Delete or Backspace", 4, [](WindowSoak& w) { w.EraseKey(); }),
        Operation("key with Shift or Ctrl", 1, [](WindowSoak& w) { w.ShiftedKey(); }),
        Operation("Read All in a burst", 4, [](WindowSoak& w) { w.ReadAll(true); }),
        Operation("Read All one by one", 3, [](WindowSoak& w) { w.ReadAll(false); }),
        Operation("re-calibrate", 3,
                  [click](WindowSoak& w) {
                      click("cmdReCal")(w);
                      w.ExpectChip({0x03});
                  }),
        Operation("save registers", 2, [](WindowSoak& w) { w.Save(); }),
        Operation("load registers", 3, [](WindowSoak& w) { w.Load(); }),
        Operation("switch the LED", 3,
                  [](WindowSoak& w) {
                      auto* led = Control<QCheckBox>(*w.window_, "chkLED");
                      led->click();
                      w.run_.LedSet(led->isChecked());
                  }),
        Operation("step the bus clock list", 3,
                  [stepList](WindowSoak& w) {
                      auto* list = Control<QComboBox>(*w.window_, "cboSMBusFrequency");
                      if (stepList(w, list)) {
                          w.run_.DividerSet(static_cast<std::uint8_t>(list->currentData().toInt()));
                      }
                  }),
        Operation("step the instance list", 3,
                  [stepList](WindowSoak& w) {
                      stepList(w, Control<QComboBox>(*w.window_, "cboEVBinstance"));
                  }),
        Operation("reconnect", 1, click("cmdReconnect")),
        Operation("read one register", 1,
                  [click](WindowSoak& w) {
                      Control<QLineEdit>(*w.window_, "txtRegister")
                          ->setText(ui::HexText(static_cast<std::uint8_t>(w.Uniform(0, 0x16))));
                      click("cmdReadIndividual")(w);
                  }),
        Operation("toggle-write one register", 2, [](WindowSoak& w) { w.ToggleWrite(); }),
        Operation("multi-write test", 1,
                  [click](WindowSoak& w) {
                      click("cmdMultiWriteTest")(w);
                      w.ExpectChip({0x06, 0x07, 0x08});
                  }),
        Operation("scan for the address", 1, click("cmdScanI2Caddress"), false),
        Operation("mistype the address", 1, [](WindowSoak& w) { w.MistypeAddress(); }),
        Operation("set the chip's address", 6, [](WindowSoak& w) { w.SetChipAddress(); }),
    };
    // The board link's own queries (the About dialog's firmware), drains and idle time, with
    // the window's checks after them.
    for (SoakOperation& link : BoardLinkOperations()) {
        const std::string name = link.name;
        if (name == "query the board" || name == "drain" || name == "wait") {
            operations.push_back(Operation(
                link.name, 1, [run = std::move(link.run)](WindowSoak& w) { run(w.run_); },
                link.nestable));
        }
    }
    return operations;
}

SoakReport RunWindowSoak(
    const SoakOptions& options,
    const std::function<void(WindowSoak&, std::vector<SoakOperation>&)>& extend) {
    // Printed first, so that a run that crashes still names its seed.
    std::printf("window soak seed %u\n", options.seed);
    std::fflush(stdout);
    WindowSoak soak(options);
    std::vector<SoakOperation> extra;
    if (extend) {
        extend(soak, extra);
    }
    return soak.Run(extra);
}

}  // namespace vrq::test
