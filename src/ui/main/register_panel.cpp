#include "ui/main/register_panel.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include <vector>

#include "board/hex.h"
#include "device/register_map.h"
#include "ui/common/twips.h"
#include "ui/common/wrapping_button.h"
#include "ui/link/board_link.h"
#include "ui/main/design.h"
#include "ui/main/hex_text.h"
#include "ui/main/panel_logic.h"

namespace vrq::ui {

namespace {

constexpr float kTypingPauseSeconds = 0.5F;
constexpr float kReadBackPauseSeconds = 0.2F;

// Keyboard order of the register boxes and labels, by array index.
constexpr std::array<int, RegisterPanel::kBoxCount> kBoxTabIndex{
    29, 38, 39, 40, 41, 30, 31, 32, 33, 34, 35, 36, 37, 24, 23, 22, 28, 21, 20, 19, 18, 17, 16};
constexpr std::array<int, RegisterPanel::kLabelCount> kLabelTabIndex{
    49, 50, 51, 52, 53, 54, 55, 56, 57, 58, 59, 60, 61, 46, 44, 45, 43, 48, 47};

// Register boxes are 330 by 285 twips. Tab 0 has two columns of rows 360 apart from 720;
// Tab 1 has one column at 3120: the invisible boxes 13 to 15 from 960, then boxes 17 to 22
// from 2280, 360 apart.
constexpr int kBoxWidth = 330;
constexpr int kBoxHeight = 285;
constexpr int kRowPitch = 360;
constexpr int kFirstRowTop = 720;
constexpr int kLabelHeight = 255;
constexpr int kTab1BoxLeft = 3120;
constexpr int kTab1LabelLeft = 840;
constexpr int kTab1LabelWidth = 2205;

constexpr int Tab1BoxTop(int box) {
    return box <= 15 ? 960 + kRowPitch * (box - 13) : 2280 + kRowPitch * (box - 17);
}

QRect RegistersTabBoxPlace(std::uint8_t address) {
    if (address <= 0x07) {
        return Tw(2520, kFirstRowTop + kRowPitch * address, kBoxWidth, kBoxHeight);
    }
    const int row = address <= 0x0C ? address - 0x08 : 5;  // 0x10 follows 0x0C
    return Tw(5280, kFirstRowTop + kRowPitch * row, kBoxWidth, kBoxHeight);
}

QRect RegistersTabLabelPlace(std::uint8_t address) {
    if (address <= 0x07) {
        return Tw(240, kFirstRowTop + kRowPitch * address, 2175, kLabelHeight);
    }
    const int row = address <= 0x0C ? address - 0x08 : 5;
    return Tw(3000, kFirstRowTop + kRowPitch * row, address == 0x10 ? 2205 : 2200, kLabelHeight);
}

QLabel* RegisterLabel(QWidget* page, const device::RegisterInfo& reg) {
    auto* label = Owned<QLabel>(
        page, QString::fromUtf8(reg.caption.data(), static_cast<qsizetype>(reg.caption.size())));
    label->setTextFormat(Qt::PlainText);
    label->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    return label;
}

}  // namespace

RegisterPanel::RegisterPanel(link::BoardLink& link, const ChipSignals& chips, Designer& design,
                             const TabPages& pages)
    : link_(link) {
    BuildRegistersTab(design, pages.registers);
    BuildTab1(design, pages.tab1);

    chkBurstRead = design.OnPage(
        Owned<QCheckBox>(pages.tab2, QStringLiteral("Burst Read when Read All Registers")),
        QStringLiteral("chkBurstRead"), 15, Tw(2040, 840, 2895, 375));
    chkBurstRead->setChecked(true);

    QObject::connect(cmdReadAllRegisters, &QPushButton::clicked, cmdReadAllRegisters,
                     [this] { cmdReadAllRegisters_Click(); });
    WireKeys();
    for (int i = 0; i < kBoxCount; ++i) {
        lastValueText_[static_cast<std::size_t>(i)] = txtRegVal[i]->text();
        QObject::connect(txtRegVal[i], &QLineEdit::textChanged, txtRegVal[i],
                         [this, i] { RegBoxTextChanged(i); });
        RegBoxTextChanged(i);
    }
    QObject::connect(&chips, &ChipSignals::changed, cmdReadAllRegisters,
                     [this](device::ChipKey chip, std::uint8_t reg, device::KnownValue known) {
                         ShowKnown(chip, reg, known);
                     });
}

// The working set: a label and a box per register.
void RegisterPanel::BuildRegistersTab(Designer& design, QWidget* page) {
    for (const device::RegisterInfo& reg : device::AllRegisters()) {
        if (reg.group != device::RegisterGroup::WorkingSet) {
            continue;
        }
        lblRegAdd[reg.labelIndex] =
            design.OnPage(RegisterLabel(page, reg), Indexed("lblRegAdd", reg.labelIndex),
                          kLabelTabIndex[reg.labelIndex], RegistersTabLabelPlace(reg.address));
        txtRegVal[reg.boxIndex] =
            design.OnPage(HexBox(page), Indexed("txtRegVal", reg.boxIndex),
                          kBoxTabIndex[reg.boxIndex], RegistersTabBoxPlace(reg.address));
        if (!reg.editable) {
            ShowValuesOnly(txtRegVal[reg.boxIndex]);
        }
    }
    cmdReadAllRegisters =
        design.OnPage(Owned<WrappingButton>(page, QStringLiteral("Read All Registers")),
                      QStringLiteral("cmdReadAllRegisters"), 26, Tw(240, 3960, 1455, 375));
}

// Registers outside the working set. Each label stands beside the box of the register it
// names, since a box writes the register equal to its index; boxes 13 to 15 (0x0D to 0x0F)
// stay invisible and box 22 has no register and no label.
void RegisterPanel::BuildTab1(Designer& design, QWidget* page) {
    for (int index = 13; index < kBoxCount; ++index) {
        if (index == 16) {
            continue;  // 0x10 belongs to the working set on tab 0
        }
        txtRegVal[index] =
            design.OnPage(HexBox(page), Indexed("txtRegVal", index), kBoxTabIndex[index],
                          Tw(kTab1BoxLeft, Tab1BoxTop(index), kBoxWidth, kBoxHeight));
        const device::RegisterInfo* reg = device::FindRegister(static_cast<std::uint8_t>(index));
        if (reg != nullptr && reg->group == device::RegisterGroup::Unnamed) {
            txtRegVal[index]->setVisible(false);
        }
    }
    for (const device::RegisterInfo& reg : device::AllRegisters()) {
        if (reg.group != device::RegisterGroup::NamedOnly) {
            continue;
        }
        lblRegAdd[reg.labelIndex] = design.OnPage(
            RegisterLabel(page, reg), Indexed("lblRegAdd", reg.labelIndex),
            kLabelTabIndex[reg.labelIndex],
            Tw(kTab1LabelLeft, Tab1BoxTop(reg.boxIndex), kTab1LabelWidth, kLabelHeight));
    }
}

void RegisterPanel::WireKeys() {
    for (int i = 0; i < kBoxCount; ++i) {
        keys_.Add(txtRegVal[i], i);
    }
    BoxKeyHandlers handlers;
    handlers.keyDown = [this](int index, Qt::Key key, Qt::KeyboardModifiers modifiers) {
        return txtRegVal_KeyDown(index, key, modifiers);
    };
    handlers.keyPress = [this](int index, char16_t& character) {
        txtRegVal_KeyPress(index, character);
    };
    handlers.keyUp = [this](int index, Qt::Key key, Qt::KeyboardModifiers modifiers) {
        txtRegVal_KeyUp(index, key, modifiers);
    };
    // The keys of a refused paste released after the focus left are released elsewhere: their
    // releases will never come here.
    handlers.focusLost = [this](int index) {
        refusedPaste_[static_cast<std::size_t>(index)] = {};
        edit_[static_cast<std::size_t>(index)].keyDown = false;
    };
    keys_.SetHandlers(std::move(handlers));
}

void RegisterPanel::ShowValue(std::uint8_t reg, std::uint8_t value) {
    if (reg < kBoxCount) {
        txtRegVal[reg]->setText(HexText(value));
    }
}

std::string RegisterPanel::Text(std::uint8_t reg) const {
    return reg < kBoxCount ? txtRegVal[reg]->text().toStdString() : std::string();
}

bool RegisterPanel::Editing(std::uint8_t reg) const {
    return reg < kBoxCount && (edit_[reg].keyDown || edit_[reg].keyUps > 0);
}

void RegisterPanel::ShowKnown(device::ChipKey chip, std::uint8_t reg, device::KnownValue known) {
    const link::ChipRef shown = link_.CurrentChip();
    if (known.Known() && chip.board == shown.board &&
        device::AddressByte(chip.address7) == shown.addressByte && !Editing(reg)) {
        ShowValue(reg, known.value);
    }
}

// A text that is no value (only Qt's own paste routes can bring one, as the keys are filtered)
// gives way to the box's last value; the working set's boxes then explain their value in the
// tool tip.
void RegisterPanel::RegBoxTextChanged(int index) {
    QLineEdit* box = txtRegVal[index];
    const auto slot = static_cast<std::size_t>(index);
    const std::string text = box->text().toStdString();
    if (!IsRegisterBoxText(text)) {
        box->setText(lastValueText_[slot]);
        return;
    }
    lastValueText_[slot] = box->text();
    const device::RegisterInfo* reg = device::FindRegister(static_cast<std::uint8_t>(index));
    if (reg != nullptr && reg->group == device::RegisterGroup::WorkingSet) {
        box->setToolTip(
            QString::fromStdString(RegisterToolTip(static_cast<std::uint8_t>(index), text)));
    }
}

void RegisterPanel::cmdReadAllRegisters_Click() {
    ReadAll();
}

bool RegisterPanel::ReadAll() {
    link_.DrainInput();
    const auto& runs = device::kWorkingSetRuns;
    return readRegsToBoxes(runs[0].first, runs[0].last) &&
           readRegsToBoxes(runs[1].first, runs[1].last);
}

bool RegisterPanel::readRegsToBoxes(std::uint8_t startReg, std::uint8_t stopReg) {
    if (chkBurstRead->checkState() == Qt::Checked) {
        std::vector<std::uint8_t> buffer(static_cast<std::size_t>(stopReg - startReg + 1));
        if (link_.ReadRegisters(link_.I2CAddress(), startReg, buffer.size(), buffer, false) ==
            link::StatusDeviceError) {
            return false;
        }
        for (int reg = startReg; reg <= stopReg; ++reg) {
            ShowValue(static_cast<std::uint8_t>(reg),
                      buffer[static_cast<std::size_t>(reg - startReg)]);
        }
        return true;
    }
    std::array<std::uint8_t, 1> buffer{};
    for (int reg = startReg; reg <= stopReg; ++reg) {
        const auto address = static_cast<std::uint8_t>(reg);
        if (link_.ReadRegisters(link_.I2CAddress(), address, 1, buffer, false) ==
            link::StatusDeviceError) {
            return false;
        }
        ShowValue(address, buffer[0]);
    }
    return true;
}

bool RegisterPanel::txtRegVal_KeyDown(int index, Qt::Key key, Qt::KeyboardModifiers modifiers) {
    edit_[static_cast<std::size_t>(index)].keyDown = true;
    RefusedPaste& refused = refusedPaste_[static_cast<std::size_t>(index)];
    const ClipboardKey action = handleClipboardKeys(txtRegVal[index], key, modifiers);
    if (action == ClipboardKey::PasteRefused) {
        refused = {true, true};
    } else if (action == ClipboardKey::Pasted || (key != Qt::Key_Control && key != Qt::Key_V)) {
        refused = {};
    }
    return action != ClipboardKey::None;
}

void RegisterPanel::txtRegVal_KeyPress(int /*index*/, char16_t& character) {
    filterHexKey(character);
}

void RegisterPanel::txtRegVal_KeyUp(int index, Qt::Key key, Qt::KeyboardModifiers modifiers) {
    // Until this returns, the box shows what the user typed and then what it reads back,
    // whatever other windows do meanwhile.
    Edit& edit = edit_[static_cast<std::size_t>(index)];
    edit.keyDown = false;
    ++edit.keyUps;
    struct Done {
        Edit& edit;
        ~Done() { --edit.keyUps; }
    } const done{edit};
    link_.DrainInput();
    // The releases of Ctrl and V after a refused paste would write the box's old value; once
    // both are up, those keys count as usual again.
    RefusedPaste& refused = refusedPaste_[static_cast<std::size_t>(index)];
    bool* held = key == Qt::Key_Control ? &refused.ctrl : (key == Qt::Key_V ? &refused.v : nullptr);
    if (held != nullptr && *held) {
        *held = false;
        return;
    }
    if (KeyUpStopsForModifiers(modifiers)) {
        return;
    }
    const auto reg = static_cast<std::uint8_t>(index);
    if (const auto step = StepForKey(key)) {
        const std::optional<std::uint8_t> value = ParseBoxByte(Text(reg));
        if (!value) {
            return;
        }
        ShowValue(reg, board::AddToByte(*value, *step));
    } else {
        // Further keys run their own handlers in here; the text is read after it.
        link_.DelaySeconds(kTypingPauseSeconds);
    }
    const std::optional<std::uint8_t> value = ParseBoxByte(Text(reg));
    if (!value) {
        return;
    }
    std::array<std::uint8_t, 1> buffer{*value};
    if (link_.WriteRegisters(link_.I2CAddress(), reg, 1, buffer, false) ==
        link::StatusDeviceError) {
        return;
    }
    link_.DelaySeconds(kReadBackPauseSeconds);
    link_.ReadRegistersOnce(link_.I2CAddress(), reg, 1, buffer);
    ShowValue(reg, buffer[0]);
}

}  // namespace vrq::ui
