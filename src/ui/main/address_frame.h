// The frame "I2C Address": seven boxes, one per bit of the chip's 7-bit address, the address
// they make (I2CAddress, in its 8-bit write form), and Scan Address, which probes every
// address in turn until the chip answers with its identification.
#pragma once

#include <array>

#include "ui/link/board_link.h"
#include "ui/main/design.h"

class QCheckBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace vrq::ui {

class AddressFrame {
  public:
    static constexpr int kBitCount = 7;

    AddressFrame(link::BoardLink& link, Designer& design, QWidget* page);

    // ---- Event handlers
    // Runs on every change of a box's value, by the user or from code.
    void chkADDRbit_Click(int index);
    void cmdScanI2Caddress_Click();

  private:
    void Build(Designer& design, QWidget* page);
    void updateI2Caddress();

    link::BoardLink& link_;

    QGroupBox* fraADDR2 = nullptr;
    QGroupBox* fraADDR = nullptr;
    QLabel* lblADDRstatus = nullptr;
    std::array<QCheckBox*, kBitCount> chkADDRbit{};
    QLineEdit* txtI2Caddress = nullptr;
    QPushButton* cmdScanI2Caddress = nullptr;
};

}  // namespace vrq::ui
