// The address controls of the main window and what the scan sent, for the address tests (the
// quick ones here, the ones that take a whole scan in ui_slow/).
#pragma once

#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>

#include <vector>

#include "main_window_fixture.h"
#include "ui/main/frm_main.h"

namespace vrq::test {

class AddressTest : public MainWindowTest {
  protected:
    QCheckBox* Box(int bit) const {
        return Find<QCheckBox>(QStringLiteral("chkADDRbit_%1").arg(bit));
    }
    QString AddressText() const { return Find<QLineEdit>(QStringLiteral("txtI2Caddress"))->text(); }
    int I2CAddress() { return window->Link().I2CAddress; }

    // The bits whose boxes are ticked, lowest first.
    std::vector<int> Ticked() const {
        std::vector<int> bits;
        for (int bit = 0; bit < ui::FrmMain::kAddressBitCount; ++bit) {
            if (Box(bit)->isChecked()) {
                bits.push_back(bit);
            }
        }
        return bits;
    }

    int BoxesAddress() const {
        int address = 0;
        for (int bit : Ticked()) {
            address |= 2 << bit;
        }
        return address;
    }

    // On the box itself, not on its caption.
    void Click(QCheckBox* box) {
        QTest::mouseClick(box, Qt::LeftButton, {}, QPoint(6, box->height() / 2));
    }
    void Scan() {
        QTest::mouseClick(Find<QPushButton>(QStringLiteral("cmdScanI2Caddress")), Qt::LeftButton);
    }

    // The address byte of every register read the board received, in order: one per probe.
    static std::vector<int> Probes(const sim::SimBoard& board) {
        std::vector<int> addresses;
        for (const board::Report& report : board.Commands()) {
            if (report[board::off::kCommand] == board::CommandI2C &&
                (report[board::off::kAddress] & 1) != 0) {
                addresses.push_back(report[board::off::kAddress]);
            }
        }
        return addresses;
    }
    // Read addresses of the probes from write-form address 0x00 up to last.
    static std::vector<int> ProbesUpTo(int last) {
        std::vector<int> addresses;
        for (int a = 0; a <= last; a += 2) {
            addresses.push_back(a + 1);
        }
        return addresses;
    }
};

}  // namespace vrq::test
