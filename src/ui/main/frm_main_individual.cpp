// Individual register read/write with toggle.
#include "ui/main/frm_main.h"

namespace vrq::ui {

void FrmMain::WireIndividual() {}

}  // namespace vrq::ui
