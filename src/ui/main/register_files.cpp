#include "ui/main/register_files.h"

#include <QDir>
#include <QFileInfo>

#include <span>
#include <string>
#include <string_view>

#include "board/hex.h"
#include "device/register_map.h"
#include "ui/link/board_link.h"
#include "ui/main/register_panel.h"

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

RegisterFiles::RegisterFiles(link::BoardLink& link, RegisterPanel& panel, QWidget& parent)
    : link_(link),
      panel_(panel),
      parent_(parent),
      fileDialogs_(std::make_unique<QtFileDialogs>()) {}

void RegisterFiles::SetFileDialogs(std::unique_ptr<FileDialogs> dialogs) {
    fileDialogs_ = dialogs ? std::move(dialogs) : std::make_unique<QtFileDialogs>();
}

void RegisterFiles::mnuSaveRegisters_Click() {
    // The panel is read even when the user then cancels the dialog. A read that ended in a
    // device error leaves stale boxes: saving them would report a failure as success, and
    // the user has already answered the message.
    if (!panel_.ReadAll()) {
        return;
    }

    FileDialogRequest request;
    if (!CommonDialog1FileName_.isEmpty()) {
        request.directory = QFileInfo(CommonDialog1FileName_).absolutePath();
    }
    request.fileName = QString::fromLatin1(kSaveFileName);
    request.defaultSuffix = QString::fromLatin1(kDefaultSuffix);
    request.filter = QString::fromStdString(QtFileFilter(kSaveFilter));
    const std::optional<QString> chosen = fileDialogs_->GetSaveFileName(&parent_, request);
    if (!chosen) {
        return;
    }
    CommonDialog1FileName_ = *chosen;

    link::LinkHost& host = link_.Host();
    if (QFileInfo::exists(*chosen) &&
        host.ShowMessage(kFileExistsText, link::MessageButtons::OkCancel, kFileExistsTitle) !=
            link::AnswerOk) {
        return;
    }

    const auto registers =
        device::WorkingSetFile([this](std::uint8_t reg) { return panel_.Text(reg); });
    std::string message;
    if (!device::SaveRegisterFile(Native(*chosen), registers, message)) {
        host.ShowMessage(message, link::MessageButtons::Ok, link::kProgramTitle);
    }
}

void RegisterFiles::mnuLoadRegisters_Click() {
    // No name of its own: the dialog offers the one last chosen in either dialog.
    FileDialogRequest request;
    request.fileName = CommonDialog1FileName_;
    request.defaultSuffix = QString::fromLatin1(kDefaultSuffix);
    request.filter = QString::fromStdString(QtFileFilter(kLoadFilter));
    const std::optional<QString> chosen = fileDialogs_->GetOpenFileName(&parent_, request);
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
            link_.Host().ShowMessage(loaded.message, link::MessageButtons::Ok,
                                     loaded.parsed.error == device::LoadError::NotRegisterFile
                                         ? kNotRegisterFileTitle
                                         : link::kProgramTitle);
            return;
    }

    link_.DrainInput();
    for (const device::RegisterWrite& write : loaded.parsed.writes) {
        const std::span<const std::uint8_t> value(&write.value, 1);
        if (link_.WriteRegisters(link_.I2CAddress(), write.address, 1, value, false) ==
            link::StatusDeviceError) {
            return;  // the user has answered the message; the panel stays as it was
        }
    }
    panel_.cmdReadAllRegisters_Click();
}

}  // namespace vrq::ui
