// Register file save and load.
#include "ui/main/frm_main.h"

namespace vrq::ui {

void FrmMain::WireFiles() {}

}  // namespace vrq::ui
