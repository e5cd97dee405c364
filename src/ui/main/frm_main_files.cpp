// Register file save and load: File > Save Registers (Ctrl+S) and Load Registers (Ctrl+O).
#include <QAction>
#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>

#include <span>
#include <string>
#include <vector>

#include "device/register_map.h"
#include "ui/main/frm_main.h"

namespace vrq::ui {

namespace {

constexpr std::string_view kSaveFilter = "Text File (*.TXT)|*.txt| All Files (*.*)|*.*|";
constexpr std::string_view kLoadFilter = "Text File (*.txt) |*.txt | All Files (*.*)|*.*|";
constexpr const char* kSaveFileName = "registers.txt";
constexpr const char* kDefaultSuffix = "txt";
constexpr const char* kFileExistsTitle = "File Exists";
constexpr const char* kFileExistsText = "File exists.  Press OK to overwrite, Cancel to abort.";
constexpr const char* kNotRegisterFileTitle = "Error";

std::string Native(const QString& path) {
    return QDir::toNativeSeparators(path).toStdString();
}

}  // namespace

void FrmMain::WireFiles() {
    fileDialogs_ = std::make_unique<QtFileDialogs>();
    connect(mnuSaveRegisters, &QAction::triggered, this, [this] { mnuSaveRegisters_Click(); });
    connect(mnuLoadRegisters, &QAction::triggered, this, [this] { mnuLoadRegisters_Click(); });
}

void FrmMain::SetFileDialogs(std::unique_ptr<FileDialogs> dialogs) {
    fileDialogs_ = dialogs ? std::move(dialogs) : std::make_unique<QtFileDialogs>();
}

void FrmMain::writeRegsToFile(int startReg, int stopReg,
                              std::vector<device::SavedRegister>& outFile) {
    for (int i = startReg; i <= stopReg; ++i) {
        if (i < 0 || i >= kRegLabelCount || lblRegAdd[i] == nullptr || txtRegVal[i] == nullptr) {
            continue;  // no register line without a label and a box
        }
        const std::string caption = lblRegAdd[i]->text().toStdString();
        outFile.push_back(
            {std::string(device::CaptionAddressText(caption)), txtRegVal[i]->text().toStdString()});
    }
}

void FrmMain::mnuSaveRegisters_Click() {
    // The panel is read even when the user then cancels the dialog. A read that ended in a
    // device error leaves stale boxes: saving them would report a failure as success, and
    // the user has already answered the message.
    if (!ReadAllRegisters()) {
        return;
    }

    FileDialogRequest request;
    if (!CommonDialog1FileName_.isEmpty()) {
        request.directory = QFileInfo(CommonDialog1FileName_).absolutePath();
    }
    request.fileName = QString::fromLatin1(kSaveFileName);
    request.defaultSuffix = QString::fromLatin1(kDefaultSuffix);
    request.filter = QString::fromStdString(QtFileFilter(kSaveFilter));
    const std::optional<QString> chosen = fileDialogs_->GetSaveFileName(this, request);
    if (!chosen) {
        return;
    }
    CommonDialog1FileName_ = *chosen;

    if (QFileInfo::exists(*chosen) && ShowMessage(kFileExistsText, board::MessageButtons::OkCancel,
                                                  kFileExistsTitle) != board::AnswerOk) {
        return;
    }

    std::vector<device::SavedRegister> registers;
    for (const device::RegisterRun& run : device::kWorkingSetRuns) {
        writeRegsToFile(run.first, run.last, registers);
    }
    std::string message;
    if (!device::SaveRegisterFile(Native(*chosen), registers, message)) {
        ShowMessage(message, board::MessageButtons::Ok, board::kProgramTitle);
    }
}

void FrmMain::mnuLoadRegisters_Click() {
    // No name of its own: the dialog offers the one last chosen in either dialog.
    FileDialogRequest request;
    request.fileName = CommonDialog1FileName_;
    request.defaultSuffix = QString::fromLatin1(kDefaultSuffix);
    request.filter = QString::fromStdString(QtFileFilter(kLoadFilter));
    const std::optional<QString> chosen = fileDialogs_->GetOpenFileName(this, request);
    if (!chosen) {
        return;
    }
    CommonDialog1FileName_ = *chosen;

    // The whole file is checked before the first write: a bad line must not leave the chip
    // half loaded.
    const device::LoadedRegisterFile loaded = device::LoadRegisterFile(Native(*chosen));
    switch (loaded.status) {
        case device::LoadedRegisterFile::Status::Ok:
            break;
        case device::LoadedRegisterFile::Status::Empty:
            return;  // nothing to load and nothing to say
        case device::LoadedRegisterFile::Status::CannotRead:
        case device::LoadedRegisterFile::Status::Invalid:
            ShowMessage(loaded.message, board::MessageButtons::Ok,
                        loaded.parsed.error == device::LoadError::NotRegisterFile
                            ? kNotRegisterFileTitle
                            : board::kProgramTitle);
            return;
    }

    link_.DrainInput();
    for (const device::RegisterWrite& write : loaded.parsed.writes) {
        const std::span<const std::uint8_t> value(&write.value, 1);
        if (link_.WriteRegisters(link_.I2CAddress, write.address, 1, value, false) ==
            board::StatusDeviceError) {
            return;  // the user has answered the message; the panel stays as it was
        }
    }
    cmdReadAllRegisters_Click();
}

}  // namespace vrq::ui
