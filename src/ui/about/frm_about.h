// The About dialog: the program's name and version, the logo, the board's firmware version on
// request, and a launcher for the system-information tool. Modal, owned by the main window.
#pragma once

#include <QDialog>
#include <QLabel>
#include <QPoint>
#include <QPushButton>
#include <QRect>
#include <QSize>
#include <functional>
#include <optional>

#include "ui/about/sysinfo.h"
#include "ui/common/wrapping_button.h"
#include "ui/link/board_link.h"

class QKeyEvent;
class QPaintEvent;
class QShowEvent;

namespace vrq::ui {

class FrmAbout : public QDialog {
    Q_OBJECT

  public:
    // Finds the system-information tool; nullopt when there is none.
    using SysInfoLocator = std::function<std::optional<ProgramCommand>()>;
    // Starts a program without waiting for it; false when it could not be started.
    using ProgramStarter = std::function<bool(const ProgramCommand&)>;

    FrmAbout(link::BoardLink& link, QWidget* owner);

    // Tests replace how the tool is found and started.
    void SetSysInfoLauncher(SysInfoLocator locate, ProgramStarter start);

    // The platform's own way: the registry on Windows, known programs on the search path
    // elsewhere.
    static std::optional<ProgramCommand> LocateSysInfo();
    // Detached, without a shell.
    static bool StartProgram(const ProgramCommand& command);
    // Where a window of outer size dialog goes to sit over the centre of ownerFrame.
    static QPoint CentredTopLeft(const QRect& ownerFrame, const QSize& dialog);

  public slots:
    void Form_Load();
    void cmdOK_Click();
    void cmdSysInfo_Click();
    void cmdFirmwareVersion_Click();
    void StartSysInfo();

  protected:
    void paintEvent(QPaintEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void showEvent(QShowEvent* event) override;

  private:
    link::BoardLink& link_;
    SysInfoLocator locate_ = &FrmAbout::LocateSysInfo;
    ProgramStarter start_ = &FrmAbout::StartProgram;
    bool loaded_ = false;

    QPushButton cmdOK_{this};
    QLabel picIcon_{this};
    QPushButton cmdSysInfo_{this};
    QLabel lblDescription_{this};
    QLabel lblDisclaimer_{this};
    QLabel X98_{this};
    QLabel lblVersion_{this};
    WrappingButton cmdFirmwareVersion_{this};
};

}  // namespace vrq::ui
