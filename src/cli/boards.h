// The boards present and the one a command works on. The tool opens only the board it uses,
// so that commands on different boards can run side by side; the instance numbers are the
// boards' order in the enumeration, opened or not.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "board/board_session.h"
#include "board/clock.h"
#include "board/discovery.h"
#include "board/hid_transport.h"

namespace vrq::cli {

class BoardSet {
  public:
    BoardSet(board::HidTransport& transport, board::Clock& clock);

    // The paths of the boards present, in instance order (listed once each). The boards are
    // looked for on the first call, so a verb that needs none touches none.
    const std::vector<std::string>& Paths();

    // Opens board instance (an index into Paths()); null with failure filled when it cannot
    // be opened.
    std::unique_ptr<board::BoardSession> Open(std::size_t instance, board::UnopenedBoard& failure);
    // How long every session, opened or to be opened, waits for an answer.
    void SetTimeoutMs(int ms);

    // The board the command works on, as a user names it (instance number or path), opened
    // and kept. "" when it is open; the reason otherwise.
    std::string Choose(std::string_view choice);
    board::BoardSession* Current() { return current_.get(); }
    std::size_t CurrentInstance() const { return currentInstance_; }

  private:
    board::HidTransport& transport_;
    board::Clock& clock_;
    int timeoutMs_ = board::BoardSession::kDefaultTimeoutMs;
    std::shared_ptr<board::AnswerTiming> timing_;
    std::optional<std::vector<std::string>> paths_;
    std::unique_ptr<board::BoardSession> current_;
    std::size_t currentInstance_ = 0;
};

// "no VRQ66208A evaluation board found: ...".
std::string NoBoardText();

}  // namespace vrq::cli
