// The frame "Evaluation Board Instance" (the open boards, the current board's LED, Reconnect)
// and the current board's I2C clock list on "Tab 2". Choosing an instance makes its board
// current and reads its LED and clock; the list offers the board's dividers as bus clocks.
// The instance list follows boards that come and go: one that arrives is added, one that
// leaves is marked (and one plugged in again says so) until the boards are found again.
#pragma once

#include "ui/link/board_link.h"
#include "ui/main/design.h"

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QPushButton;

namespace vrq::ui {

class BoardFrame {
  public:
    BoardFrame(link::BoardLink& link, Designer& design, const TabPages& pages);

    // Lists the open boards and selects instance 0, which makes it current.
    void cboEVB_init();
    // Rebuilds the clock list from the current board, selecting the divider in force.
    void cboSMBusFrequency_init();

    // ---- Event handlers
    void cboEVBinstance_Click();
    void chkLED_Click();
    void cmdReconnect_Click();
    void cboSMBusFrequency_Click();

  private:
    void Build(Designer& design, const TabPages& pages);
    void ShowLedState();
    // Adds the boards that arrived and marks each entry with its board's presence; the
    // selection stays.
    void ShowPresence();

    link::BoardLink& link_;
    unsigned clockListBuilds_ = 0;  // counts rebuilds, to see one nested in a query's Retry
    link::BoardLink::BoardsNotifier::Subscription boardsFollowed_;

    QGroupBox* fraEVBinstance = nullptr;
    QPushButton* cmdReconnect = nullptr;
    QComboBox* cboEVBinstance = nullptr;
    QCheckBox* chkLED = nullptr;
    QLabel* lblI2Cfrequency2 = nullptr;  // the array lblI2Cfrequency has element 2 only
    QComboBox* cboSMBusFrequency = nullptr;
};

}  // namespace vrq::ui
