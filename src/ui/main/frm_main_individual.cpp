// Individual register read/write with toggle: one register read, or written with one of two
// prepared values, and read back at once.
#include <QLineEdit>
#include <QPushButton>

#include <array>
#include <cstdint>
#include <string>

#include "ui/main/frm_main.h"
#include "ui/main/hex_text.h"
#include "ui/main/panel_logic.h"

namespace vrq::ui {

namespace {

std::uint8_t BoxByte(const QLineEdit* box) {
    return static_cast<std::uint8_t>(ParseHexText(box->text().toStdString()));
}

QString HexQString(std::uint8_t value) {
    return QString::fromStdString(ByteText(value));
}

constexpr const char* kNeedsByte = " must hold one or two hexadecimal digits (00 to FF).";

}  // namespace

void FrmMain::WireIndividual() {
    connect(cmdReadIndividual, &QPushButton::clicked, this, [this] { cmdReadIndividual_Click(); });
    for (int i = 0; i < 2; ++i) {
        connect(cmdWriteIndividual[i], &QPushButton::clicked, this,
                [this, i] { cmdWriteIndividual_Click(i); });
    }

    BoxKeyHandlers address;
    address.keyDown = [this](int, int& KeyCode, int Shift) { txtRegister_KeyDown(KeyCode, Shift); };
    address.keyPress = [this](int, int& KeyAscii) { txtRegister_KeyPress(KeyAscii); };
    SetBoxKeyHandlers(KeyedBoxes::Register, std::move(address));

    BoxKeyHandlers values;
    values.keyDown = [this](int index, int& KeyCode, int Shift) {
        txtWriteIndividual_KeyDown(index, KeyCode, Shift);
    };
    values.keyPress = [this](int index, int& KeyAscii) {
        txtWriteIndividual_KeyPress(index, KeyAscii);
    };
    SetBoxKeyHandlers(KeyedBoxes::WriteIndividual, std::move(values));
}

void FrmMain::txtRegister_KeyDown(int& KeyCode, int Shift) {
    handleClipboardKeys(txtRegister, KeyCode, Shift);
}

void FrmMain::txtRegister_KeyPress(int& KeyAscii) {
    filterHexKey(KeyAscii);
}

void FrmMain::txtWriteIndividual_KeyDown(int index, int& KeyCode, int Shift) {
    handleClipboardKeys(txtWriteIndividual[index], KeyCode, Shift);
}

void FrmMain::txtWriteIndividual_KeyPress(int /*index*/, int& KeyAscii) {
    filterHexKey(KeyAscii);
}

// The boxes are parsed as bytes; an empty box or one that some paste filled otherwise would
// reach a register the user did not mean, so the press goes no further.
bool FrmMain::IndividualBoxesHoldBytes(bool withValues) {
    struct Named {
        const QLineEdit* box;
        const char* name;
    };
    const std::array<Named, 3> boxes{{
        {txtRegister, "The Register box"},
        {txtWriteIndividual[1], "The value box of the left Write button"},
        {txtWriteIndividual[0], "The value box of the right Write button"},
    }};
    for (std::size_t i = 0; i < (withValues ? boxes.size() : 1); ++i) {
        if (!IsHexByteText(boxes[i].box->text().toStdString())) {
            ShowMessage(std::string(boxes[i].name) + kNeedsByte, board::MessageButtons::Ok, "");
            return false;
        }
    }
    return true;
}

std::int16_t FrmMain::readIndividualReg() {
    link_.DrainInput();
    txtRegister->setText(
        HexQString(IndividualRegister(ParseHexText(txtRegister->text().toStdString()))));
    const std::uint8_t reg = BoxByte(txtRegister);
    std::array<std::uint8_t, 1> buffer{};
    if (link_.ReadRegisters(link_.I2CAddress, reg, 1, buffer, false) == board::StatusDeviceError) {
        return 1;
    }
    txtReadIndividual->setText(HexQString(buffer[0]));
    return 0;
}

void FrmMain::cmdReadIndividual_Click() {
    if (!IndividualBoxesHoldBytes(false)) {
        return;
    }
    readIndividualReg();
}

void FrmMain::cmdWriteIndividual_Click(int index) {
    if (!IndividualBoxesHoldBytes(true)) {
        return;
    }
    if (readIndividualReg() == 1) {
        return;
    }
    const std::uint8_t value0 = BoxByte(txtWriteIndividual[0]);
    const std::uint8_t value1 = BoxByte(txtWriteIndividual[1]);
    std::array<std::uint8_t, 1> current{BoxByte(txtReadIndividual)};
    const std::array<std::uint8_t, 1> chosen{ToggleValue(index, value0, value1, current[0])};

    const std::uint8_t reg = BoxByte(txtRegister);
    // A device error has shown its message; the read-back below still shows what the
    // register holds.
    link_.WriteRegisters(link_.I2CAddress, reg, 1, chosen, false);
    link_.ReadRegistersOnce(link_.I2CAddress, reg, 1, current);

    QLineEdit* own = txtWriteIndividual[index];
    own->setText(HexQString(BoxByte(own)));
    txtReadIndividual->setText(HexQString(current[0]));
    // The address was settled to a working-set register; the bound only guards the array.
    if (reg < kRegBoxCount) {
        txtRegVal[reg]->setText(txtReadIndividual->text());
    }
}

}  // namespace vrq::ui
