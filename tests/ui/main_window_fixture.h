// A main window on simulated boards, and every helper its tests share.
//
//   class MyTest : public vrq::test::MainWindowTest {};
//   TEST_F(MyTest, Something) {
//       StartOnChip();                     // one board, Form_Load, shown, the chip's address
//       presenter->Script({link::AnswerRetry});   // answers for the coming messages
//       Click("cmdReadAllRegisters");
//       EXPECT_EQ(RegBox(0)->text(), "31");
//       EXPECT_EQ(SentTo(Board(0)), (std::vector<Sent>{Read(0x88, 0x00, 13), Read(0x88, 0x10)}));
//   }
//
// Every message goes to the scripted presenter: a message without a scripted answer fails the
// test and is answered Cancel (or No), which usually ends the program. Ending the program
// prints "open handles: N", "window shown: yes|no" and "program ended" to standard error and
// exits with kProgramEndedExit; check it with EXPECT_EXIT(..., EndedWith(0, true)).
// DuringNextPause runs code inside the window's next pause (DelaySeconds), where a user's
// events would run.
//
// VirtualTimeWindowTest puts the boards and the window's pauses on virtualClock: a pause takes
// no real time, and TimeCommands records when each command reached a board, so that tests
// assert the pauses between them.
#pragma once

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QKeyEvent>
#include <QLineEdit>
#include <QString>
#include <QTest>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "board/clock.h"
#include "board/hex.h"
#include "sim/chip_model.h"
#include "sim/sim_transport.h"
#include "sim/virtual_clock.h"
#include "support/command_log.h"
#include "support/scripted_host.h"
#include "ui/common/message_presenter.h"
#include "ui/main/address_frame.h"
#include "ui/main/frm_main.h"
#include "ui/main/register_panel.h"

namespace vrq::test {

class ScriptedPresenter : public ui::MessagePresenter, public MessageScript {
  public:
    link::MessageAnswer Show(QWidget* /*parent*/, const std::string& text,
                             link::MessageButtons buttons, const std::string& title) override {
        return Answer(text, buttons, title);
    }
};

// The name of a parameterised case whose data carries one (a member `name`).
template <class Case>
std::string CaseName(const ::testing::TestParamInfo<Case>& row) {
    return row.param.name;
}

// What an ended program prints to standard error, as a pattern for EXPECT_EXIT.
inline std::string EndedWith(int openHandles, bool windowShown) {
    return "open handles: " + std::to_string(openHandles) +
           "\nwindow shown: " + (windowShown ? "yes" : "no") + "\n" + kProgramEndedText;
}

// The simulated chip's address byte (8-bit write form).
inline constexpr int kChipAddress = device::kDefaultChipAddressByte;

// The chip's writes as (register, value) pairs.
using WriteList = std::vector<std::pair<int, int>>;
inline WriteList Writes(const sim::SimBoard& board) {
    WriteList writes;
    for (const auto& record : board.Chip().WriteLog()) {
        writes.emplace_back(record.reg, record.value);
    }
    return writes;
}

// The chip address of every register read the board received, in order: one per probe of a
// scan.
inline std::vector<int> Probes(const sim::SimBoard& board) {
    std::vector<int> addresses;
    for (const Sent& read : SentTo(board, Sent::Kind::Read)) {
        addresses.push_back(read.address);
    }
    return addresses;
}

// The probes of a scan from write-form address 0x00 up to last.
inline std::vector<int> ProbesUpTo(int last) {
    std::vector<int> addresses;
    for (int a = 0; a <= last; a += 2) {
        addresses.push_back(a);
    }
    return addresses;
}

inline QString Hex(int value) {
    return QString::fromStdString(board::ByteToHex(static_cast<std::uint8_t>(value)));
}

// ---- Keys as the platform delivers them

// Presses and releases key with modifiers held throughout, without the modifier keys' own
// presses and releases (the user keeps Shift or Ctrl down).
inline void HeldChord(QWidget* widget, Qt::Key key, Qt::KeyboardModifiers modifiers) {
    QKeyEvent press(QEvent::KeyPress, key, modifiers);
    QApplication::sendEvent(widget, &press);
    QKeyEvent release(QEvent::KeyRelease, key, modifiers);
    QApplication::sendEvent(widget, &release);
}

// A key pressed and released as an X server delivers it, with the text offscreen key clicks
// leave out: "\x7f" for Delete, the letter or digit of a key typed with Alt or Meta.
inline void X11KeyClick(QWidget* widget, Qt::Key key, Qt::KeyboardModifiers modifiers,
                        const QString& text) {
    QKeyEvent press(QEvent::KeyPress, key, modifiers, text);
    QApplication::sendEvent(widget, &press);
    QKeyEvent release(QEvent::KeyRelease, key, modifiers, text);
    QApplication::sendEvent(widget, &release);
}
inline const QString kX11DeleteText = QStringLiteral("\x7f");

// One key event, with the modifier state the platform reports for it (from before the event).
inline void SendKey(QWidget* widget, QEvent::Type type, Qt::Key key,
                    Qt::KeyboardModifiers modifiers = Qt::NoModifier, const QString& text = {}) {
    QKeyEvent event(type, key, modifiers, text);
    QApplication::sendEvent(widget, &event);
}

inline void SetClipboard(const QString& text) {
    QApplication::clipboard()->setText(text);
}

class MainWindowTest : public ::testing::Test {
  protected:
    MainWindowTest() { transport.SetZeroLatency(true); }
    struct OnVirtualTime {};
    explicit MainWindowTest(OnVirtualTime) : transport(virtualClock) {
        transport.SetZeroLatency(true);
        windowClock = &virtualClock;
    }
    ~MainWindowTest() override {
        window.reset();  // closes the boards while the transport is still there
    }

    void AddBoards(int count) {
        for (int i = 0; i < count; ++i) {
            transport.AddBoard();
        }
    }
    sim::SimBoard& Board(std::size_t index = 0) { return transport.Board(index); }
    sim::ChipModel& Chip() { return Board(0).Chip(); }

    // The window on the transport, with the scripted presenter and the test's end action.
    // Nothing is sent yet.
    ui::FrmMain& CreateWindow() {
        window = std::make_unique<ui::FrmMain>(
            transport, windowClock != nullptr ? *windowClock : board::Clock::Real());
        auto scripted = std::make_unique<ScriptedPresenter>();
        presenter = scripted.get();
        window->SetMessagePresenter(std::move(scripted));
        window->SetEndAction([this] {
            std::fprintf(stderr, "open handles: %d\nwindow shown: %s\n%s\n",
                         transport.OpenHandles(), window->isVisible() ? "yes" : "no",
                         kProgramEndedText);
            std::fflush(stderr);
            std::_Exit(kProgramEndedExit);
        });
        window->SetPauseHook([this] {
            ++pausePasses;
            if (!pauseActions_.empty()) {
                auto action = std::move(pauseActions_.front());
                pauseActions_.pop_front();
                action();
            }
        });
        return *window;
    }

    // As the program starts: one board unless some were added, Form_Load, then the window
    // shown and active (keyboard shortcuts need an active window).
    ui::FrmMain& Start() {
        if (transport.BoardCount() == 0) {
            AddBoards(1);
        }
        if (!window) {
            CreateWindow();
        }
        window->Form_Load();
        Show();
        return *window;
    }
    // Started, with the chip's address chosen and nothing sent since.
    void StartOnChip() {
        Start();
        window->Link().SetI2CAddress(kChipAddress);
        Board(0).ClearCommands();
    }

    void Show() {
        window->show();
        window->activateWindow();
        EXPECT_TRUE(QTest::qWaitForWindowActive(window.get()));
    }

    // ---- Controls by name

    // The window's control by object name; fails the test when there is none.
    template <class W = QWidget>
    W* Find(const QString& name) const {
        W* found = window->findChild<W*>(name);
        EXPECT_NE(found, nullptr) << "no control " << name.toStdString();
        return found;
    }
    template <class W = QWidget>
    W* Find(const char* name) const {
        return Find<W>(QString::fromLatin1(name));
    }
    QLineEdit* Box(const char* name) const { return Find<QLineEdit>(name); }
    QLineEdit* RegBox(int index) const {
        return Find<QLineEdit>(QStringLiteral("txtRegVal_%1").arg(index));
    }
    QCheckBox* CheckBox(const QString& name) const { return Find<QCheckBox>(name); }

    // Clicks a button or a check box (on its box, not its caption) with the mouse, or chooses
    // a menu entry.
    void Click(const QString& name) {
        QObject* control = window->findChild<QObject*>(name);
        ASSERT_NE(control, nullptr) << "no control " << name.toStdString();
        if (auto* action = qobject_cast<QAction*>(control)) {
            action->trigger();
        } else if (auto* box = qobject_cast<QCheckBox*>(control)) {
            QTest::mouseClick(box, Qt::LeftButton, {}, QPoint(6, box->height() / 2));
        } else {
            QTest::mouseClick(qobject_cast<QWidget*>(control), Qt::LeftButton);
        }
    }
    void Click(const char* name) { Click(QString::fromLatin1(name)); }

    // Empties a box, then types text into it key by key, through the window's key handling.
    void Type(QLineEdit* box, const QString& text) {
        box->clear();
        box->setFocus();
        QTest::keyClicks(box, text);
    }
    void Type(const char* name, const QString& text) { Type(Box(name), text); }

    // ---- The chip address frame

    QCheckBox* AddressBit(int bit) const {
        return CheckBox(QStringLiteral("chkADDRbit_%1").arg(bit));
    }
    QString AddressText() const { return Box("txtI2Caddress")->text(); }
    int I2CAddress() { return window->Link().I2CAddress(); }
    // The bits whose boxes are ticked, lowest first.
    std::vector<int> Ticked() const {
        std::vector<int> bits;
        for (int bit = 0; bit < ui::AddressFrame::kBitCount; ++bit) {
            if (AddressBit(bit)->isChecked()) {
                bits.push_back(bit);
            }
        }
        return bits;
    }

    // Runs action at the window's next pause, once.
    void DuringNextPause(std::function<void()> action) {
        pauseActions_.push_back(std::move(action));
    }

    // ---- Time (meaningful on virtual time)

    // From now on, the clock's time at which each command reaches the board goes to
    // commandTimes (the board's onCommand).
    void TimeCommands(std::size_t board = 0) {
        Board(board).onCommand = [this](const board::Report&) {
            commandTimes.push_back(transport.TheClock().Now());
        };
    }
    // The time from each command timed to the next, to the nearest millisecond.
    std::vector<long> CommandGapsMs() const {
        std::vector<long> gaps;
        for (std::size_t i = 1; i < commandTimes.size(); ++i) {
            gaps.push_back(static_cast<long>(
                std::chrono::round<std::chrono::milliseconds>(commandTimes[i] - commandTimes[i - 1])
                    .count()));
        }
        return gaps;
    }

    sim::VirtualClock virtualClock;  // before the transport, which may run on it
    sim::SimTransport transport;
    board::Clock* windowClock = nullptr;  // the window's clock if set before CreateWindow
    std::unique_ptr<ui::FrmMain> window;
    ScriptedPresenter* presenter = nullptr;  // owned by the window
    int pausePasses = 0;
    std::vector<board::Clock::TimePoint> commandTimes;

  private:
    std::deque<std::function<void()>> pauseActions_;
};

class VirtualTimeWindowTest : public MainWindowTest {
  protected:
    VirtualTimeWindowTest() : MainWindowTest(OnVirtualTime{}) {}
};

}  // namespace vrq::test
