// The frame "Individual Register Read/Write with Toggle": one register read, or written with
// one of two prepared values (a button writes the other box's value when the register already
// holds its own) and read back at once; the read-back also goes to the register panel. The
// value shown follows the chip model while it shows that register.
#pragma once

#include <array>
#include <cstdint>
#include <optional>

#include "device/known_chips.h"
#include "ui/common/chip_signals.h"
#include "ui/link/board_link.h"
#include "ui/main/box_keys.h"
#include "ui/main/design.h"

class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace vrq::ui {

class RegisterPanel;

class IndividualFrame {
  public:
    // The frame on page, with its place on the tabbed control.
    IndividualFrame(link::BoardLink& link, const ChipSignals& chips, RegisterPanel& panel,
                    Designer& design, QWidget* page);

    BoxKeys& RegisterKeys() { return registerKeys_; }
    BoxKeys& ValueKeys() { return valueKeys_; }

    // ---- Event handlers
    void cmdReadIndividual_Click();
    void cmdWriteIndividual_Click(int index);
    // True when the key was taken (a clipboard key).
    bool txtRegister_KeyDown(Qt::Key key, Qt::KeyboardModifiers modifiers);
    void txtRegister_KeyPress(char16_t& character);
    bool txtWriteIndividual_KeyDown(int index, Qt::Key key, Qt::KeyboardModifiers modifiers);
    void txtWriteIndividual_KeyPress(int index, char16_t& character);

  private:
    void Build(Designer& design, QWidget* page);
    void Wire();
    // True when the register was read; false when the device reported an error.
    bool readIndividualReg();
    // False, after a message naming the first offending box, when a box the press needs does
    // not hold one or two hex digits.
    bool BoxesHoldBytes(bool withValues);
    // Shows reg's value read back (or known later) in txtReadIndividual.
    void ShowRead(std::uint8_t reg, std::uint8_t value);
    void ShowKnown(device::ChipKey chip, std::uint8_t reg, device::KnownValue known);

    link::BoardLink& link_;
    RegisterPanel& panel_;
    BoxKeys registerKeys_;
    BoxKeys valueKeys_;
    std::optional<std::uint8_t> shownRegister_;  // whose value txtReadIndividual shows

    QGroupBox* fraIndividualI2C = nullptr;
    QLineEdit* txtRegister = nullptr;
    QLabel* lblRegister = nullptr;
    QLineEdit* txtReadIndividual = nullptr;
    QPushButton* cmdReadIndividual = nullptr;
    std::array<QLineEdit*, 2> txtWriteIndividual{};
    std::array<QPushButton*, 2> cmdWriteIndividual{};
};

}  // namespace vrq::ui
