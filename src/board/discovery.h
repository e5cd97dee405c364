// Finding and opening the evaluation boards: one pass over the HID devices, shared by the
// window's board link and the command-line tool. Asks nothing; the caller decides what an
// empty result means.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "board/board_session.h"
#include "board/clock.h"
#include "board/hid_transport.h"

namespace vrq::board {

// The evaluation board's USB identity (pid.codes open-source vendor ID; product ID ours).
inline constexpr std::uint16_t kBoardVendorId = 0x1209;
inline constexpr std::uint16_t kBoardProductId = 0x6208;

struct OpenedBoard {
    std::string path;
    std::unique_ptr<BoardSession> session;
};

struct UnopenedBoard {
    std::string path;
    OpenFailure failure = OpenFailure::Other;
    std::string holder;  // InUse: who has it, when known
    std::string why;     // NoLock: the system's reason
};

// Answers owed by the sessions of boards about to be opened again, by path.
using CarriedAnswers = std::map<std::string, std::vector<OwedAnswer>>;

struct Discovery {
    std::vector<OpenedBoard> boards;  // instance order: the platform's enumeration order
    std::vector<UnopenedBoard> unopened;
};

// Opens every board once (a device listed under several usage pages has one path), in the
// platform's order; devices that are not boards are never opened. The sessions share timing
// (a new record when null). A board opened again takes over the answers its previous session
// was still owed (carried, by path; what is handed over is removed).
Discovery DiscoverBoards(HidTransport& transport, Clock& clock = Clock::Real(),
                         std::shared_ptr<AnswerTiming> timing = nullptr,
                         CarriedAnswers* carried = nullptr);

// Why a board could not be opened and what to do, in one line: "in use by vrq66208a-cli
// (process 4242): close that program first", "no permission to open it: ...".
std::string OpenFailureText(const UnopenedBoard& board);

// One line for a list of boards that could not be opened (the first reason, and how many
// more there are); "" when the list is empty.
std::string UnopenedSummary(const std::vector<UnopenedBoard>& boards);

// The udev rule that lets the logged-in user open the boards, and how to load it.
inline constexpr const char* kUdevRuleName = "70-vrq66208a-evb.rules";
inline constexpr const char* kUdevReload =
    "sudo udevadm control --reload-rules && sudo udevadm trigger";

}  // namespace vrq::board
