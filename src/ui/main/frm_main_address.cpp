// Device address selection and scan: the seven ADDR boxes, the address they make, and the
// scan that looks for the chip at every address in turn.
#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>

#include <array>
#include <cstdint>
#include <string>

#include "board/hex.h"
#include "ui/main/address_logic.h"
#include "ui/main/frm_main.h"

namespace vrq::ui {

namespace {
constexpr const char* kNotFoundSentence = " I2C address not found. Close GUI?";
}  // namespace

void FrmMain::WireAddress() {
    for (std::size_t i = 0; i < chkADDRbit.size(); ++i) {
        // A value set from code counts as a click: the scan relies on it to rebuild the address.
        connect(chkADDRbit[i], &QCheckBox::toggled, this,
                [this, i](bool) { chkADDRbit_Click(static_cast<int>(i)); });
    }
    connect(cmdScanI2Caddress, &QPushButton::clicked, this, [this] { cmdScanI2Caddress_Click(); });
}

void FrmMain::chkADDRbit_Click(int /*index*/) {
    updateI2Caddress();
}

void FrmMain::updateI2Caddress() {
    AddressBoxes ticked{};
    for (std::size_t i = 0; i < kAddressBoxes; ++i) {
        ticked[i] = chkADDRbit[i]->isChecked();
    }
    link_.I2CAddress = AddressFromBoxes(ticked);
    txtI2Caddress->setText(QString::fromStdString(board::ByteToHex(link_.I2CAddress)));
}

void FrmMain::cmdScanI2Caddress_Click() {
    link_.DrainInput();
    // One buffer for the whole scan: a probe that fails leaves the byte of the one before.
    std::array<std::uint8_t, 1> id{};
    for (const std::uint8_t address : ScanOrder()) {
        const board::Status status = link_.ReadRegisters(address, kIdRegister, 1, id, true);
        // Other handlers run here: a box clicked now changes the address until the next step.
        link_.DelaySeconds(kProbePauseSeconds);
        txtI2Caddress->setText(QString::fromStdString(board::ByteToHex(address)));
        link_.I2CAddress = address;
        const AddressBoxes ticked = BoxesFromAddress(address);
        for (std::size_t i = 0; i < kAddressBoxes; ++i) {
            chkADDRbit[i]->setChecked(ticked[i]);  // each change runs updateI2Caddress
        }
        if (IsExpectedDevice(status, id[0])) {
            return;
        }
    }
    const board::MessageAnswer answer =
        ShowMessage(std::string(board::kProgramTitle) + kNotFoundSentence,
                    board::MessageButtons::YesNo, board::kProgramTitle);
    link_.MessageResult = answer;
    if (answer == board::AnswerYes) {
        Form_Unload();
    }
}

}  // namespace vrq::ui
