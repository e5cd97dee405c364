// Termination re-calibration: a pulse on the recalibrate bit of the input control register,
// mirrored in its register box.
#include <QLineEdit>
#include <QPushButton>

#include <array>
#include <cstdint>

#include "ui/main/frm_main.h"
#include "ui/main/hex_text.h"

namespace vrq::ui {

namespace {

constexpr std::uint8_t kInputControl = 0x03;
constexpr std::uint8_t kRecalibrateBit = 0x80;
// Far above the chip's minimum of 1 ms.
constexpr float kPulseSeconds = 0.1F;

}  // namespace

void FrmMain::WireRecal() {
    connect(cmdReCal, &QPushButton::clicked, this, [this] { cmdReCal_Click(); });
}

void FrmMain::cmdReCal_Click() {
    link_.DrainInput();
    std::array<std::uint8_t, 1> buffer{};
    if (link_.ReadRegisters(link_.I2CAddress, kInputControl, 1, buffer, false) ==
        board::StatusDeviceError) {
        return;
    }
    // Read-modify-write keeps the other seven bits; the writes are single attempts and the
    // box shows the computed value whatever they return.
    buffer[0] = static_cast<std::uint8_t>(buffer[0] | kRecalibrateBit);
    txtRegVal[kInputControl]->setText(QString::fromStdString(ByteText(buffer[0])));
    link_.WriteRegistersOnce(link_.I2CAddress, kInputControl, 1, buffer);
    link_.DelaySeconds(kPulseSeconds);
    buffer[0] = static_cast<std::uint8_t>(buffer[0] & ~kRecalibrateBit);
    txtRegVal[kInputControl]->setText(QString::fromStdString(ByteText(buffer[0])));
    link_.WriteRegistersOnce(link_.I2CAddress, kInputControl, 1, buffer);
}

}  // namespace vrq::ui
