#include "ui/main/recalibration.h"

#include <QPushButton>

#include <array>
#include <cstdint>

#include "ui/common/twips.h"
#include "ui/common/wrapping_button.h"
#include "ui/link/board_link.h"
#include "ui/main/design.h"
#include "ui/main/register_panel.h"

namespace vrq::ui {

namespace {

constexpr std::uint8_t kInputControl = 0x03;
constexpr std::uint8_t kRecalibrateBit = 0x80;
// Far above the chip's minimum of 1 ms.
constexpr float kPulseSeconds = 0.1F;

}  // namespace

Recalibration::Recalibration(link::BoardLink& link, RegisterPanel& panel, Designer& design,
                             QWidget* page)
    : link_(link), panel_(panel) {
    cmdReCal = design.OnPage(Owned<WrappingButton>(page, QStringLiteral("Re-Cal Termination")),
                             QStringLiteral("cmdReCal"), 27, Tw(2160, 3960, 1575, 375));
    cmdReCal->setToolTip(QStringLiteral("Causes the input termination to be re-calibrated"));
    QObject::connect(cmdReCal, &QPushButton::clicked, cmdReCal, [this] { cmdReCal_Click(); });
}

void Recalibration::cmdReCal_Click() {
    link_.DrainInput();
    std::array<std::uint8_t, 1> buffer{};
    if (link_.ReadRegisters(link_.I2CAddress(), kInputControl, 1, buffer, false) ==
        link::StatusDeviceError) {
        return;
    }
    // Read-modify-write keeps the other seven bits; the writes are single attempts and the
    // box shows the computed value whatever they return.
    buffer[0] = static_cast<std::uint8_t>(buffer[0] | kRecalibrateBit);
    panel_.ShowValue(kInputControl, buffer[0]);
    link_.WriteRegistersOnce(link_.I2CAddress(), kInputControl, 1, buffer);
    link_.DelaySeconds(kPulseSeconds);
    buffer[0] = static_cast<std::uint8_t>(buffer[0] & ~kRecalibrateBit);
    panel_.ShowValue(kInputControl, buffer[0]);
    link_.WriteRegistersOnce(link_.I2CAddress(), kInputControl, 1, buffer);
}

}  // namespace vrq::ui
