// Scripted answers to the messages of the board link and the windows, and a board host for
// tests: it answers every message from a script, records what was asked, and turns "end the
// program" into a process exit that death tests can observe.
#pragma once

#include <deque>
#include <functional>
#include <initializer_list>
#include <string>
#include <vector>

#include "ui/link/link_host.h"

namespace vrq::test {

// Exit code of a process whose program was ended through the host.
inline constexpr int kProgramEndedExit = 42;
inline constexpr const char* kProgramEndedText = "program ended";

// Answers messages from a script and keeps every message asked.
class MessageScript {
  public:
    struct Message {
        std::string text;
        link::MessageButtons buttons;
        std::string title;
    };

    // Answers for the coming messages, in order.
    void Script(std::initializer_list<link::MessageAnswer> answers);
    std::size_t Unanswered() const { return answers_.size(); }

    // Records the message, runs onMessage, and gives the next scripted answer. A message with
    // no scripted answer fails the test (and is written to stderr, for death tests) and is
    // answered Cancel, or No for Yes/No.
    link::MessageAnswer Answer(const std::string& text, link::MessageButtons buttons,
                               const std::string& title);

    std::vector<Message> messages;
    std::function<void(const Message&)> onMessage;  // runs before the scripted answer

  private:
    std::deque<link::MessageAnswer> answers_;
};

class ScriptedHost : public link::LinkHost, public MessageScript {
  public:
    link::MessageAnswer ShowMessage(const std::string& text, link::MessageButtons buttons,
                                    const std::string& title) override {
        return Answer(text, buttons, title);
    }
    void BoardsFound() override;
    // Prints kProgramEndedText (after onEnd's own output) to stderr and exits with
    // kProgramEndedExit; use EXPECT_EXIT around code that may end the program.
    void EndProgram() override;
    void HandlePendingEvents() override;

    int boardsFoundCalls = 0;
    int eventPasses = 0;
    std::function<void()> onBoardsFound;
    std::function<void()> onEvents;  // runs inside pauses, as nested window events would
    std::function<void()> onEnd;     // runs before the exit, e.g. to print handle counts
};

}  // namespace vrq::test
