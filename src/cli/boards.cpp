#include "cli/boards.h"

#include <algorithm>

#include "sim/program_boards.h"

namespace vrq::cli {

BoardSet::BoardSet(board::HidTransport& transport, board::Clock& clock)
    : transport_(transport), clock_(clock), timing_(std::make_shared<board::AnswerTiming>()) {}

const std::vector<std::string>& BoardSet::Paths() {
    if (!paths_) {
        paths_.emplace();
        for (const board::HidDeviceInfo& info : transport_.Enumerate()) {
            const bool ours =
                info.vendorId == board::kBoardVendorId && info.productId == board::kBoardProductId;
            // A board listed under several usage pages has one path.
            if (ours && std::find(paths_->begin(), paths_->end(), info.path) == paths_->end()) {
                paths_->push_back(info.path);
            }
        }
    }
    return *paths_;
}

std::unique_ptr<board::BoardSession> BoardSet::Open(std::size_t instance,
                                                    board::UnopenedBoard& failure) {
    const std::string& path = Paths().at(instance);
    board::OpenResult opened = transport_.Open(path);
    if (!opened.device) {
        failure = {path, opened.failure, std::move(opened.holder), std::move(opened.why)};
        return nullptr;
    }
    auto session = std::make_unique<board::BoardSession>(std::move(opened.device), clock_, timing_);
    session->SetTimeoutMs(timeoutMs_);
    return session;
}

void BoardSet::SetTimeoutMs(int ms) {
    timeoutMs_ = ms;
    if (current_) {
        current_->SetTimeoutMs(ms);
    }
}

std::string BoardSet::Choose(std::string_view choice) {
    current_.reset();
    if (Paths().empty()) {
        return NoBoardText();
    }
    std::string error;
    const auto instance = sim::ChooseInstance(Paths(), choice, error);
    if (!instance) {
        return "--board " + std::string(choice) + ": " + error +
               ": 'vrq66208a-cli list' shows the boards";
    }
    board::UnopenedBoard failure;
    current_ = Open(*instance, failure);
    if (!current_) {
        return "board " + std::to_string(*instance) + " (" + failure.path +
               ") cannot be opened: " + board::OpenFailureText(failure);
    }
    currentInstance_ = *instance;
    return {};
}

std::string NoBoardText() {
    return "no VRQ66208A evaluation board found: check the USB cable and the board's power "
           "(lsusb lists it as 1209:6208)";
}

}  // namespace vrq::cli
