// A main window on simulated boards, for widget tests of every main-window feature.
//
//   class MyTest : public vrq::test::MainWindowTest {};
//   TEST_F(MyTest, Something) {
//       AddBoards(1);                      // zero-latency boards (the default transport)
//       Start();                           // Form_Load, show, wait until active
//       presenter->Script({board::AnswerRetry});   // answers for the coming messages
//       QTest::mouseClick(Find<QPushButton>("cmdReadAllRegisters"), Qt::LeftButton);
//       EXPECT_EQ(RegBox(0)->text(), "31");
//   }
//
// Every message goes to the scripted presenter: a message without a scripted answer fails the
// test and is answered Cancel (or No), which usually ends the program. Ending the program
// prints "open handles: N", "window shown: yes|no" and "program ended" to standard error and
// exits with kProgramEndedExit; check it with EXPECT_EXIT(..., EndedWith(0, true)).
// DuringNextPause runs code inside the window's next pause (DelaySeconds), where a user's
// events would run.
#pragma once

#include <gtest/gtest.h>

#include <QApplication>
#include <QLineEdit>
#include <QString>
#include <QTest>

#include <cstdio>
#include <cstdlib>
#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "board/board_host.h"
#include "board/report.h"
#include "sim/sim_transport.h"
#include "support/scripted_host.h"
#include "ui/common/message_presenter.h"
#include "ui/main/frm_main.h"

namespace vrq::test {

class ScriptedPresenter : public ui::MessagePresenter {
  public:
    struct Message {
        std::string text;
        board::MessageButtons buttons;
        std::string title;
    };

    // Answers for the coming messages, in order.
    void Script(std::initializer_list<board::MessageAnswer> answers) {
        answers_.insert(answers_.end(), answers.begin(), answers.end());
    }
    std::size_t Unanswered() const { return answers_.size(); }

    board::MessageAnswer Show(QWidget* /*parent*/, const std::string& text,
                              board::MessageButtons buttons, const std::string& title) override {
        messages.push_back({text, buttons, title});
        if (onMessage) {
            onMessage(messages.back());
        }
        if (answers_.empty()) {
            ADD_FAILURE() << "unscripted message: " << text;
            std::fprintf(stderr, "unscripted message: %s\n", text.c_str());
            return buttons == board::MessageButtons::YesNo ? board::AnswerNo : board::AnswerCancel;
        }
        const board::MessageAnswer answer = answers_.front();
        answers_.pop_front();
        return answer;
    }

    std::vector<Message> messages;
    // Runs when a message shows, before it is answered (a test plugs a board in there).
    std::function<void(const Message&)> onMessage;

  private:
    std::deque<board::MessageAnswer> answers_;
};

// What an ended program prints to standard error, as a pattern for EXPECT_EXIT.
inline std::string EndedWith(int openHandles, bool windowShown) {
    return "open handles: " + std::to_string(openHandles) +
           "\nwindow shown: " + (windowShown ? "yes" : "no") + "\n" + kProgramEndedText;
}

// Command reports a board received: command code, sub-command (or count), byte 3.
inline bool IsCommand(const board::Report& report, std::uint8_t command, std::uint8_t sub) {
    return report[board::off::kCommand] == command && report[board::off::kSubCommand] == sub;
}

// The values (byte 3) of every command with this code and sub-command, in order.
inline std::vector<int> CommandValues(const sim::SimBoard& board, std::uint8_t command,
                                      std::uint8_t sub) {
    std::vector<int> values;
    for (const board::Report& report : board.Commands()) {
        if (IsCommand(report, command, sub)) {
            values.push_back(report[board::off::kSetValue]);
        }
    }
    return values;
}

inline std::vector<int> LedSets(const sim::SimBoard& board) {
    return CommandValues(board, board::CommandGpio, board::kSubSet);
}

inline std::vector<int> DividersSet(const sim::SimBoard& board) {
    return CommandValues(board, board::CommandBusClock, board::kSubSet);
}

class MainWindowTest : public ::testing::Test {
  protected:
    MainWindowTest() { transport.SetZeroLatency(true); }
    ~MainWindowTest() override {
        window.reset();  // closes the boards while the transport is still there
    }

    void AddBoards(int count) {
        for (int i = 0; i < count; ++i) {
            transport.AddBoard();
        }
    }
    sim::SimBoard& Board(std::size_t index) { return transport.Board(index); }

    // The window on the transport, with the scripted presenter and the test's end action.
    // Nothing is sent yet.
    ui::FrmMain& CreateWindow() {
        window = std::make_unique<ui::FrmMain>(transport);
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

    void Show() {
        window->show();
        window->activateWindow();
        EXPECT_TRUE(QTest::qWaitForWindowActive(window.get()));
    }

    // The window's control by object name; fails the test when there is none.
    template <class W = QWidget>
    W* Find(const QString& name) const {
        W* found = window->findChild<W*>(name);
        EXPECT_NE(found, nullptr) << "no control " << name.toStdString();
        return found;
    }
    QLineEdit* RegBox(int index) const {
        return Find<QLineEdit>(QStringLiteral("txtRegVal_%1").arg(index));
    }

    // Runs action at the window's next pause, once.
    void DuringNextPause(std::function<void()> action) {
        pauseActions_.push_back(std::move(action));
    }

    sim::SimTransport transport;
    std::unique_ptr<ui::FrmMain> window;
    ScriptedPresenter* presenter = nullptr;  // owned by the window
    int pausePasses = 0;

  private:
    std::deque<std::function<void()>> pauseActions_;
};

}  // namespace vrq::test
