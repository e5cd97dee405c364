// A board host for tests: answers every message from a script, records what was asked, and
// turns "end the program" into a process exit that death tests can observe.
#pragma once

#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "board/board_host.h"

namespace vrq::test {

// Exit code of a process whose program was ended through the host.
inline constexpr int kProgramEndedExit = 42;
inline constexpr const char* kProgramEndedText = "program ended";

class ScriptedHost : public board::BoardHost {
  public:
    struct Message {
        std::string text;
        board::MessageButtons buttons;
        std::string title;
    };

    // Answers for the coming messages, in order. A message with no scripted answer fails
    // the test and is answered with Cancel (closing the box).
    void Script(std::initializer_list<board::MessageAnswer> answers);

    board::MessageAnswer ShowMessage(const std::string& text, board::MessageButtons buttons,
                                     const std::string& title) override;
    void BoardsFound() override;
    // Prints kProgramEndedText (after onEnd's own output) to stderr and exits with
    // kProgramEndedExit; use EXPECT_EXIT around code that may end the program.
    void EndProgram() override;
    void HandlePendingEvents() override;

    std::vector<Message> messages;
    int boardsFoundCalls = 0;
    int eventPasses = 0;
    std::function<void()> onBoardsFound;
    std::function<void(const Message&)> onMessage;  // runs before the scripted answer
    std::function<void()> onEvents;  // runs inside pauses, as nested window events would
    std::function<void()> onEnd;     // runs before the exit, e.g. to print handle counts

  private:
    std::deque<board::MessageAnswer> answers_;
};

}  // namespace vrq::test
