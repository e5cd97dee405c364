#include "board/discovery.h"

#include <set>

namespace vrq::board {

Discovery DiscoverBoards(HidTransport& transport, Clock& clock,
                         std::shared_ptr<AnswerTiming> timing, CarriedAnswers* carried) {
    if (!timing) {
        timing = std::make_shared<AnswerTiming>();
    }
    Discovery found;
    std::set<std::string> tried;
    for (const HidDeviceInfo& info : transport.Enumerate()) {
        if (info.vendorId != kBoardVendorId || info.productId != kBoardProductId) {
            continue;
        }
        if (!tried.insert(info.path).second) {
            continue;  // the same board under another usage page
        }
        OpenResult opened = transport.Open(info.path);
        if (opened.device) {
            auto session = std::make_unique<BoardSession>(std::move(opened.device), clock, timing);
            if (carried != nullptr) {
                if (const auto owed = carried->find(info.path); owed != carried->end()) {
                    session->CarryOwedAnswers(std::move(owed->second));
                    carried->erase(owed);
                }
            }
            found.boards.push_back({info.path, std::move(session)});
        } else {
            found.unopened.push_back(
                {info.path, opened.failure, std::move(opened.holder), std::move(opened.why)});
        }
    }
    return found;
}

std::string OpenFailureText(const UnopenedBoard& board) {
    switch (board.failure) {
        case OpenFailure::InUse:
            return "in use by " +
                   (board.holder.empty() ? std::string("another program") : board.holder) +
                   ": close that program first";
        case OpenFailure::NoPermission:
            return std::string("no permission to open it: install the udev rule ") + kUdevRuleName +
                   " (in packaging/) into /etc/udev/rules.d, then run " + kUdevReload;
        case OpenFailure::Gone:
            return "unplugged while it was being opened";
        case OpenFailure::NoLock:
            return "refused: " + board.why +
                   " (without the lock another program could share it and take its answers)";
        case OpenFailure::None:
        case OpenFailure::Other:
            break;
    }
    return "it could not be opened";
}

std::string UnopenedSummary(const std::vector<UnopenedBoard>& boards) {
    if (boards.empty()) {
        return {};
    }
    std::string text = "A board is present but " + OpenFailureText(boards.front()) + ".";
    if (boards.size() > 1) {
        text += " (" + std::to_string(boards.size() - 1) + " more board" +
                (boards.size() > 2 ? "s" : "") + " could not be opened.)";
    }
    return text;
}

}  // namespace vrq::board
