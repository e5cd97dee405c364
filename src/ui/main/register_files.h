// File > Save Registers and Load Registers: the register panel's working set, read from the
// chip, saved to a register file, and a register file's lines written back into the chip.
#pragma once

#include <QString>

#include <memory>
#include <vector>

#include "device/register_file.h"
#include "ui/common/file_dialogs.h"
#include "ui/link/board_link.h"

namespace vrq::ui {

class RegisterPanel;

class RegisterFiles {
  public:
    // The file dialogs show over parent.
    RegisterFiles(link::BoardLink& link, RegisterPanel& panel, QWidget& parent);

    // Replaces the file dialogs (QtFileDialogs until then): tests install scripted ones, since
    // a modal file dialog would wait forever.
    void SetFileDialogs(std::unique_ptr<FileDialogs> dialogs);

    // ---- Menu handlers
    void mnuSaveRegisters_Click();
    void mnuLoadRegisters_Click();

  private:
    link::BoardLink& link_;
    RegisterPanel& panel_;
    QWidget& parent_;
    std::unique_ptr<FileDialogs> fileDialogs_;
    QString CommonDialog1FileName_;  // the name last chosen in either file dialog
};

}  // namespace vrq::ui
