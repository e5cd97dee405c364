// Re-Cal Termination: a pulse on the recalibrate bit of the input control register, mirrored
// in the register panel's box of that register.
#pragma once

#include "board/board_link.h"
#include "ui/main/design.h"

class QPushButton;

namespace vrq::ui {

class RegisterPanel;

class Recalibration {
  public:
    Recalibration(board::BoardLink& link, RegisterPanel& panel, Designer& design, QWidget* page);

    void cmdReCal_Click();

  private:
    board::BoardLink& link_;
    RegisterPanel& panel_;
    QPushButton* cmdReCal = nullptr;
};

}  // namespace vrq::ui
