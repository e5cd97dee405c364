// Re-Cal Termination: a pulse on the recalibrate bit of the input control register, mirrored
// in the register panel's box of that register.
#pragma once

#include "ui/link/board_link.h"
#include "ui/main/design.h"

class QPushButton;

namespace vrq::ui {

class RegisterPanel;

class Recalibration {
  public:
    Recalibration(link::BoardLink& link, RegisterPanel& panel, Designer& design, QWidget* page);

    void cmdReCal_Click();

  private:
    link::BoardLink& link_;
    RegisterPanel& panel_;
    QPushButton* cmdReCal = nullptr;
};

}  // namespace vrq::ui
