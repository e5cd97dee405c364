// Register panel: Read All Registers, the register boxes' keys and the hex conventions.
#include "ui/main/frm_main.h"

namespace vrq::ui {

void FrmMain::WireRegisters() {}

}  // namespace vrq::ui
