// Termination re-calibration.
#include "ui/main/frm_main.h"

namespace vrq::ui {

void FrmMain::WireRecal() {}

}  // namespace vrq::ui
