#include "ui/main/address_frame.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include <cstdint>
#include <string>

#include "ui/common/frame_box.h"
#include "ui/common/twips.h"
#include "ui/common/wrapping_button.h"
#include "ui/link/board_link.h"
#include "ui/main/address_logic.h"
#include "ui/main/design.h"
#include "ui/main/hex_text.h"

namespace vrq::ui {

namespace {
constexpr const char* kNotFoundSentence = " I2C address not found. Close GUI?";
}  // namespace

AddressFrame::AddressFrame(link::BoardLink& link, Designer& design, QWidget* page) : link_(link) {
    Build(design, page);
    for (int i = 0; i < kBitCount; ++i) {
        // A value set from code counts as a click: the scan relies on it to rebuild the address.
        QObject::connect(chkADDRbit[i], &QCheckBox::toggled, chkADDRbit[i],
                         [this, i](bool) { chkADDRbit_Click(i); });
    }
    QObject::connect(cmdScanI2Caddress, &QPushButton::clicked, cmdScanI2Caddress,
                     [this] { cmdScanI2Caddress_Click(); });
}

void AddressFrame::Build(Designer& design, QWidget* page) {
    fraADDR2 = design.OnPage(Owned<FrameBox>(page, QStringLiteral("I2C Address")),
                             QStringLiteral("fraADDR2"), 64, Tw(6720, 480, 1815, 3735));
    fraADDR = design.InFrame(Owned<FrameBox>(fraADDR2, QStringLiteral("ADDR[6:0]")),
                             QStringLiteral("fraADDR"), 67, Tw(360, 240, 1095, 2415));
    lblADDRstatus = design.InFrame(Owned<QLabel>(fraADDR, QStringLiteral("Check if HI")),
                                   QStringLiteral("lblADDRstatus"), 75, Tw(120, 360, 855, 255));
    for (int bit = 0; bit < kBitCount; ++bit) {
        // Bit 6 at the top, bit 0 at the bottom.
        chkADDRbit[bit] = design.InFrame(Owned<QCheckBox>(fraADDR, QString::number(bit)),
                                         Indexed("chkADDRbit", bit), 68 + bit,
                                         Tw(240, 600 + 240 * (6 - bit), 615, 255));
    }
    txtI2Caddress = design.InFrame(HexBox(fraADDR2, QStringLiteral("00")),
                                   QStringLiteral("txtI2Caddress"), 65, Tw(720, 2760, 330, 285));
    ShowValuesOnly(txtI2Caddress);
    cmdScanI2Caddress =
        design.InFrame(Owned<WrappingButton>(fraADDR2, QStringLiteral("Scan Address")),
                       QStringLiteral("cmdScanI2Caddress"), 66, Tw(480, 3120, 855, 495));
}

void AddressFrame::chkADDRbit_Click(int /*index*/) {
    updateI2Caddress();
}

void AddressFrame::updateI2Caddress() {
    AddressBoxes ticked{};
    for (std::size_t i = 0; i < kAddressBoxes; ++i) {
        ticked[i] = chkADDRbit[i]->isChecked();
    }
    link_.SetI2CAddress(AddressFromBoxes(ticked));
    txtI2Caddress->setText(HexText(link_.I2CAddress()));
}

void AddressFrame::cmdScanI2Caddress_Click() {
    link_.DrainInput();
    // One buffer for the whole scan: a probe that fails leaves the byte of the one before.
    std::array<std::uint8_t, 1> id{};
    for (const std::uint8_t address : ScanOrder()) {
        const link::Status status = link_.ReadRegisters(address, kIdRegister, 1, id, true);
        // Other handlers run here: a box clicked now changes the address until the next step.
        link_.DelaySeconds(kProbePauseSeconds);
        txtI2Caddress->setText(HexText(address));
        link_.SetI2CAddress(address);
        const AddressBoxes ticked = BoxesFromAddress(address);
        for (std::size_t i = 0; i < kAddressBoxes; ++i) {
            chkADDRbit[i]->setChecked(ticked[i]);  // each change runs updateI2Caddress
        }
        if (IsExpectedDevice(status, id[0])) {
            return;
        }
    }
    const link::MessageAnswer answer =
        link_.Host().ShowMessage(std::string(link::kProgramTitle) + kNotFoundSentence,
                                 link::MessageButtons::YesNo, link::kProgramTitle);
    if (answer == link::AnswerYes) {
        link_.EndProgram();
    }
}

}  // namespace vrq::ui
