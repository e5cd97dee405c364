// Register file save and load: File > Save Registers (Ctrl+S) and Load Registers (Ctrl+O).
#include <QAction>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QSaveFile>

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
// Register files are a few hundred bytes; anything this big is not one, and reading it whole
// would only cost memory.
constexpr qint64 kLargestRegisterFile = qint64{1} << 20;

std::string Native(const QString& path) {
    return QDir::toNativeSeparators(path).toStdString();
}

// The whole file, or false with the message that tells the user why not.
bool ReadWholeFile(const QString& path, std::string& content, std::string& message) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        message = "Could not open " + Native(path) + "\r\n" + file.errorString().toStdString();
        return false;
    }
    const QByteArray bytes = file.read(kLargestRegisterFile + 1);
    if (file.error() != QFileDevice::NoError) {
        message = "Could not read " + Native(path) + "\r\n" + file.errorString().toStdString();
        return false;
    }
    if (bytes.size() > kLargestRegisterFile) {
        message = "File selected is too large to be a VRQ66208A register file";
        return false;
    }
    content.assign(bytes.constData(), static_cast<std::size_t>(bytes.size()));
    return true;
}

// Through a temporary file renamed over the target only once everything is written, so a
// failed write leaves an old file whole. False with the reason on failure.
bool SaveWholeFile(const QString& path, const std::string& content, QString& reason) {
    QSaveFile file(path);
    // Unbuffered, so every failed write shows here: a write that fails in the buffer flush of
    // commit() goes unnoticed (Qt 6.4), and commit() would put a cut file in place.
    if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered)) {
        reason = file.errorString();
        return false;
    }
    const auto size = static_cast<qint64>(content.size());
    qint64 written = 0;
    while (written < size) {
        // A short write is followed by another, whose failure carries the system's reason.
        const qint64 n = file.write(content.data() + written, size - written);
        if (n <= 0) {
            reason = file.errorString();
            file.cancelWriting();
            return false;
        }
        written += n;
    }
    if (!file.commit()) {
        reason = file.errorString();
        return false;
    }
    return true;
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
    QString reason;
    if (!SaveWholeFile(*chosen, device::FormatRegisterFile(registers), reason)) {
        ShowMessage(
            "Could not save the registers to " + Native(*chosen) + "\r\n" + reason.toStdString(),
            board::MessageButtons::Ok, board::kProgramTitle);
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
    std::string content;
    std::string message;
    if (!ReadWholeFile(*chosen, content, message)) {
        ShowMessage(message, board::MessageButtons::Ok, board::kProgramTitle);
        return;
    }
    const device::ParsedRegisterFile parsed = device::ParseRegisterFile(content);
    switch (parsed.error) {
        case device::LoadError::None:
            break;
        case device::LoadError::Empty:
            return;  // nothing to load and nothing to say
        case device::LoadError::NotRegisterFile:
            ShowMessage(device::LoadErrorMessage(parsed), board::MessageButtons::Ok,
                        kNotRegisterFileTitle);
            return;
        case device::LoadError::BadLine:
            ShowMessage(device::LoadErrorMessage(parsed) + "\r\nNo register was written.",
                        board::MessageButtons::Ok, board::kProgramTitle);
            return;
    }

    link_.DrainInput();
    for (const device::RegisterWrite& write : parsed.writes) {
        const std::span<const std::uint8_t> value(&write.value, 1);
        if (link_.WriteRegisters(link_.I2CAddress, write.address, 1, value, false) ==
            board::StatusDeviceError) {
            return;  // the user has answered the message; the panel stays as it was
        }
    }
    cmdReadAllRegisters_Click();
}

}  // namespace vrq::ui
