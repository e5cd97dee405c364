// The register panel: a box per register (txtRegVal, index = register address) with its label
// (lblRegAdd), Read All Registers and the burst option, and the boxes' keys: each key released
// in a box writes the box's value to its register and shows the read-back. The boxes show the
// chip model: a value any window read or wrote appears in its box at once, except in a box the
// user is editing (a key down in it, or its write still waiting out its pause), whose write
// goes out as typed. Other concerns change boxes only through the small interface below.
#pragma once

#include <QString>

#include <array>
#include <cstdint>
#include <string>

#include "device/known_chips.h"
#include "ui/common/chip_signals.h"
#include "ui/link/board_link.h"
#include "ui/main/box_keys.h"
#include "ui/main/design.h"

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace vrq::ui {

class RegisterPanel {
  public:
    static constexpr int kBoxCount = 23;    // txtRegVal(0..22)
    static constexpr int kLabelCount = 19;  // lblRegAdd(0..18)

    // Makes the boxes and labels of tab 0 and "Tab 1", Read All Registers on tab 0 and the
    // burst option on "Tab 2".
    RegisterPanel(link::BoardLink& link, const ChipSignals& chips, Designer& design,
                  const TabPages& pages);

    // ---- For the other concerns
    // The box of register reg shows value, as two upper-case digits. No box, no change.
    void ShowValue(std::uint8_t reg, std::uint8_t value);
    // The text of the box of register reg as it stands ("" when there is no box).
    std::string Text(std::uint8_t reg) const;
    // Reads the working set's registers into their boxes (one burst when chkBurstRead is set);
    // false when a device error stopped it (the boxes then hold older texts).
    bool ReadAll();

    // The key handlers of the boxes (tests replace them to see the events).
    BoxKeys& Keys() { return keys_; }
    // A key is down in the box of register reg, or its release is still being handled.
    bool Editing(std::uint8_t reg) const;

    // ---- Event handlers
    void cmdReadAllRegisters_Click();
    // True when the key was taken (a clipboard key).
    bool txtRegVal_KeyDown(int index, Qt::Key key, Qt::KeyboardModifiers modifiers);
    void txtRegVal_KeyPress(int index, char16_t& character);
    // A key released in txtRegVal(index): steps or waits, writes the box, shows the read-back.
    void txtRegVal_KeyUp(int index, Qt::Key key, Qt::KeyboardModifiers modifiers);

  private:
    void BuildRegistersTab(Designer& design, QWidget* page);
    void BuildTab1(Designer& design, QWidget* page);
    void WireKeys();
    // True when the range was read; false when a device error stopped the reading.
    bool readRegsToBoxes(std::uint8_t startReg, std::uint8_t stopReg);
    // Every change of a box's text, by keys, paste or code.
    void RegBoxTextChanged(int index);
    // What the chip model learnt of a register: shown when it is the window's chip's.
    void ShowKnown(device::ChipKey chip, std::uint8_t reg, device::KnownValue known);

    link::BoardLink& link_;
    BoxKeys keys_;
    std::array<QString, kBoxCount> lastValueText_{};  // each box's last text that is a value
    // The keys of a refused Ctrl+V still down, per box: their releases must not write.
    struct RefusedPaste {
        bool ctrl = false;
        bool v = false;
    };
    std::array<RefusedPaste, kBoxCount> refusedPaste_{};
    // Per box: a key down whose release has not come, and key-up handlers running.
    struct Edit {
        bool keyDown = false;
        int keyUps = 0;
    };
    std::array<Edit, kBoxCount> edit_{};

    std::array<QLineEdit*, kBoxCount> txtRegVal{};
    std::array<QLabel*, kLabelCount> lblRegAdd{};
    QPushButton* cmdReadAllRegisters = nullptr;
    QCheckBox* chkBurstRead = nullptr;
};

}  // namespace vrq::ui
