// The main window's status bar: which board the window works on (instance and path), its
// firmware, the chip address, and whether the board is still plugged in. It follows the board
// link; the firmware is asked once per board, quietly, once the window is idle.
#pragma once

#include <QObject>
#include <QString>

#include <map>
#include <set>
#include <string>

#include "board/board_session.h"
#include "ui/link/board_link.h"

class QLabel;
class QStatusBar;

namespace vrq::ui {

// The status bar's height, in twips: one line of the window's 8-point text with its margins.
inline constexpr int kStatusBarHeightTwips = 330;

class StatusLine : public QObject {
  public:
    StatusLine(link::BoardLink& link, QStatusBar& bar);

    // Something to say that is not the board's state (a board arrived that could not be
    // opened, say); it stays until the next news.
    void Say(const QString& news);
    void Show();

  private:
    void AskFirmware();

    link::BoardLink& link_;
    QLabel* board_ = nullptr;
    QLabel* firmware_ = nullptr;
    QLabel* chip_ = nullptr;
    QLabel* presence_ = nullptr;
    QLabel* news_ = nullptr;
    std::map<std::string, board::FirmwareVersion> firmware_by_path_;
    std::set<std::string> unanswered_;
    bool firmwareAsked_ = false;
    int shownBoard_ = -1;
    link::BoardLink::ChipNotifier::Subscription chipFollowed_;
    link::BoardLink::BoardsNotifier::Subscription boardsFollowed_;
};

}  // namespace vrq::ui
