// What the board link needs from whoever runs it (the main window, a test): the link asks its
// questions and ends the program through its host, and never draws a window itself.
#pragma once

#include <cstdint>
#include <string>

namespace vrq::link {

inline constexpr const char* kProgramTitle = "VRQ66208A";

enum class MessageButtons {
    Ok,
    OkCancel,
    RetryCancel,  // Retry is the default
    YesNo,        // Yes is the default
};

// The platform's message-box answer codes.
enum MessageAnswer : std::int16_t {
    AnswerOk = 1,
    AnswerCancel = 2,
    AnswerRetry = 4,
    AnswerYes = 6,
    AnswerNo = 7,
};

class LinkHost {
  public:
    virtual ~LinkHost() = default;
    // Modal message; closing it without a button counts as Cancel (or No).
    virtual MessageAnswer ShowMessage(const std::string& text, MessageButtons buttons,
                                      const std::string& title) = 0;
    // Discovery finished with at least one board open: list them and select instance 0.
    virtual void BoardsFound() = 0;
    // The boards are already closed; end the process now. Must not return.
    virtual void EndProgram() = 0;
    // Run the window events that are waiting (used by pauses).
    virtual void HandlePendingEvents() = 0;
};

}  // namespace vrq::link
