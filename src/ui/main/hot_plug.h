// Boards plugged in and pulled out while the window runs: the device watch's news goes to the
// board link (a new board is opened and listed, one that left is marked, one plugged in again
// is offered) and is said in the status bar. Nothing is asked and nothing is sent: the next
// operation on a board that left meets the USB message and its Retry, as it always has.
#pragma once

#include <QObject>

#include <memory>

#include "board/device_watch.h"
#include "ui/link/board_link.h"

class QSocketNotifier;

namespace vrq::ui {

class StatusLine;

class HotPlug : public QObject {
  public:
    HotPlug(link::BoardLink& link, board::DeviceWatch& watch, StatusLine& status);
    ~HotPlug() override;

  private:
    void OnChange(const board::DeviceChange& change);

    link::BoardLink& link_;
    StatusLine& status_;
    std::unique_ptr<QSocketNotifier> readable_;  // the system's watch, on the event loop
    board::DeviceWatch::Changes::Subscription changes_;
};

}  // namespace vrq::ui
