// Device address selection and scan.
#include "ui/main/frm_main.h"

namespace vrq::ui {

void FrmMain::WireAddress() {}

}  // namespace vrq::ui
