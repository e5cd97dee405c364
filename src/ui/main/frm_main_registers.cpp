// Register panel: Read All Registers, the register boxes' keys and the hex conventions.
#include <QCheckBox>
#include <QClipboard>
#include <QGuiApplication>
#include <QLineEdit>
#include <QPushButton>

#include <array>
#include <string>
#include <vector>

#include "board/hex.h"
#include "device/register_map.h"
#include "ui/main/frm_main.h"
#include "ui/main/hex_text.h"
#include "ui/main/key_codes.h"
#include "ui/main/panel_logic.h"
#include "ui/main/vb_keys.h"

namespace vrq::ui {

namespace {

constexpr float kTypingPauseSeconds = 0.5F;
constexpr float kReadBackPauseSeconds = 0.2F;

std::string BoxText(const QLineEdit* box) {
    return box->text().toStdString();
}

QString HexQString(std::uint8_t value) {
    return QString::fromStdString(ByteText(value));
}

}  // namespace

void FrmMain::WireRegisters() {
    connect(cmdReadAllRegisters, &QPushButton::clicked, this,
            [this] { cmdReadAllRegisters_Click(); });

    BoxKeyHandlers handlers;
    handlers.keyDown = [this](int index, int& KeyCode, int Shift) {
        txtRegVal_KeyDown(index, KeyCode, Shift);
    };
    handlers.keyPress = [this](int index, int& KeyAscii) { txtRegVal_KeyPress(index, KeyAscii); };
    handlers.keyUp = [this](int index, int KeyCode, int Shift) {
        txtRegVal_KeyUp(index, KeyCode, Shift);
    };
    // The keys of a refused paste released after the focus left are released elsewhere: their
    // releases will never come here.
    handlers.focusLost = [this](int index) { pasteRefused_[static_cast<std::size_t>(index)] = 0; };
    SetBoxKeyHandlers(KeyedBoxes::RegVal, std::move(handlers));

    for (int i = 0; i < kRegBoxCount; ++i) {
        regBoxText_[static_cast<std::size_t>(i)] = txtRegVal[i]->text();
        connect(txtRegVal[i], &QLineEdit::textChanged, this, [this, i] { RegBoxTextChanged(i); });
        RegBoxTextChanged(i);
    }
}

// Every change of a box, by keys, paste or code: a text that is no value (only Qt's own
// paste routes can bring one, as the keys are filtered) gives way to the box's last value;
// the working set's boxes then explain their value in the tool tip.
void FrmMain::RegBoxTextChanged(int index) {
    QLineEdit* box = txtRegVal[index];
    const auto slot = static_cast<std::size_t>(index);
    const std::string text = BoxText(box);
    if (!IsRegisterBoxText(text)) {
        box->setText(regBoxText_[slot]);
        return;
    }
    regBoxText_[slot] = box->text();
    const device::RegisterInfo* reg = device::FindRegister(static_cast<std::uint8_t>(index));
    if (reg != nullptr && reg->group == device::RegisterGroup::WorkingSet) {
        box->setToolTip(
            QString::fromStdString(RegisterToolTip(static_cast<std::uint8_t>(index), text)));
    }
}

void FrmMain::cmdReadAllRegisters_Click() {
    ReadAllRegisters();
}

bool FrmMain::ReadAllRegisters() {
    link_.DrainInput();
    const auto& runs = device::kWorkingSetRuns;
    if (readRegsToBoxes(runs[0].first, runs[0].last) == 1) {
        return false;
    }
    return readRegsToBoxes(runs[1].first, runs[1].last) != 1;
}

std::int16_t FrmMain::readRegsToBoxes(std::uint8_t startReg, std::uint8_t stopReg) {
    if (chkBurstRead->checkState() == Qt::Checked) {
        std::vector<std::uint8_t> buffer(static_cast<std::size_t>(stopReg - startReg + 1));
        const board::Status status =
            link_.ReadRegisters(link_.I2CAddress, startReg, buffer.size(), buffer, false);
        if (status == board::StatusDeviceError) {
            return 1;
        }
        for (int reg = startReg; reg <= stopReg; ++reg) {
            txtRegVal[reg]->setText(HexQString(buffer[static_cast<std::size_t>(reg - startReg)]));
        }
        return 0;
    }
    std::array<std::uint8_t, 1> buffer{};
    for (int reg = startReg; reg <= stopReg; ++reg) {
        const board::Status status =
            link_.ReadRegisters(link_.I2CAddress, static_cast<std::uint8_t>(reg), 1, buffer, false);
        if (status == board::StatusDeviceError) {
            return 1;
        }
        txtRegVal[reg]->setText(HexQString(buffer[0]));
    }
    return 0;
}

FrmMain::ClipboardKey FrmMain::handleClipboardKeys(QLineEdit* box, int& KeyCode, int Shift) {
    if (Shift != kCtrlMask) {
        return ClipboardKey::None;
    }
    QClipboard* clipboard = QGuiApplication::clipboard();
    switch (KeyCode) {
        case vk::kA:
            box->setSelection(0, static_cast<int>(box->text().size()));
            KeyCode = 0;
            return ClipboardKey::SelectAll;
        case vk::kC:
            clipboard->clear();
            clipboard->setText(box->selectedText());
            KeyCode = 0;
            return ClipboardKey::Copy;
        case vk::kV: {
            // The whole text is replaced, and only by a byte: checked before the box's two
            // characters could cut "100" to "10".
            KeyCode = 0;
            const QString pasted = clipboard->text();
            if (!IsHexByteText(pasted.toStdString())) {
                return ClipboardKey::PasteRefused;
            }
            box->setText(pasted);
            return ClipboardKey::Pasted;
        }
        default:
            return ClipboardKey::None;
    }
}

void FrmMain::txtRegVal_KeyDown(int index, int& KeyCode, int Shift) {
    const auto slot = static_cast<std::size_t>(index);
    const int key = KeyCode;
    const ClipboardKey action = handleClipboardKeys(txtRegVal[index], KeyCode, Shift);
    if (action == ClipboardKey::PasteRefused) {
        pasteRefused_[slot] = kRefusedCtrl | kRefusedV;
    } else if (action == ClipboardKey::Pasted || (key != vk::kControl && key != vk::kV)) {
        pasteRefused_[slot] = 0;
    }
}

void FrmMain::txtRegVal_KeyPress(int /*index*/, int& KeyAscii) {
    filterHexKey(KeyAscii);
}

void FrmMain::txtRegVal_KeyUp(int index, int KeyCode, int Shift) {
    link_.DrainInput();
    // The releases of Ctrl and V after a refused paste would write the box's old value; once
    // both are up, those keys count as usual again.
    std::uint8_t& refused = pasteRefused_[static_cast<std::size_t>(index)];
    const std::uint8_t chordKey =
        KeyCode == vk::kControl ? kRefusedCtrl : (KeyCode == vk::kV ? kRefusedV : 0);
    if ((refused & chordKey) != 0) {
        refused = static_cast<std::uint8_t>(refused & ~chordKey);
        return;
    }
    if (KeyUpStopsForModifiers(Shift)) {
        return;
    }
    QLineEdit* box = txtRegVal[index];
    if (const auto step = StepForKey(KeyCode)) {
        const std::optional<std::uint8_t> value = ParseBoxByte(BoxText(box));
        if (!value) {
            return;
        }
        box->setText(HexQString(board::AddToByte(*value, *step)));
    } else {
        // Further keys run their own handlers in here; the text is read after it.
        link_.DelaySeconds(kTypingPauseSeconds);
    }
    const std::optional<std::uint8_t> value = ParseBoxByte(BoxText(box));
    if (!value) {
        return;
    }
    std::array<std::uint8_t, 1> buffer{*value};
    const auto reg = static_cast<std::uint8_t>(index);
    if (link_.WriteRegisters(link_.I2CAddress, reg, 1, buffer, false) == board::StatusDeviceError) {
        return;
    }
    link_.DelaySeconds(kReadBackPauseSeconds);
    link_.ReadRegistersOnce(link_.I2CAddress, reg, 1, buffer);
    box->setText(HexQString(buffer[0]));
}

}  // namespace vrq::ui
