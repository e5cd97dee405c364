#include "ui/about/frm_about.h"

#include <QFontDatabase>
#include <QFontMetrics>
#include <QKeyEvent>
#include <QLocale>
#include <QPainter>
#include <QPixmap>
#include <QProcess>
#include <QShowEvent>
#include <QStandardPaths>
#include <QStringList>
#include <algorithm>

#ifdef _WIN32
#include <filesystem>
#include <system_error>
#endif

#include "board/firmware_text.h"
#include "ui/common/pictures.h"
#include "ui/common/twips.h"

namespace vrq::ui {
namespace {

QString NativeText(const std::string& text) {
#ifdef _WIN32
    // The registry's ANSI functions give text in the local code page.
    return QString::fromLocal8Bit(text.data(), static_cast<qsizetype>(text.size()));
#else
    return QString::fromStdString(text);
#endif
}

void PlaceLabel(QLabel& label, const char* name, const QString& text, const QRect& place,
                bool black) {
    label.setObjectName(QString::fromLatin1(name));
    label.setText(text);
    label.setGeometry(place);
    label.setAlignment(Qt::AlignLeft | Qt::AlignTop);
    label.setWordWrap(true);
    label.setTextFormat(Qt::PlainText);
    if (black) {
        QPalette palette = label.palette();
        palette.setColor(QPalette::WindowText, Qt::black);
        label.setPalette(palette);
    }
}

constexpr qreal kTitlePoints = 9.75;
constexpr qreal kTitlePointStep = 0.25;
constexpr qreal kSmallestTitlePoints = 6.0;

// How wide text is on one line, with any overhang of its last glyph.
int LineWidth(const QFont& font, const QString& text) {
    const QFontMetrics metrics(font);
    return std::max(metrics.horizontalAdvance(text), metrics.boundingRect(text).right() + 1);
}

// The title's 9.75-point font, in the family it was drawn in when that is installed (MS Sans
// Serif, rarely found outside Windows). Most other faces are wider: then the largest size at
// which the title fits its label on one line; a second line would hide behind the version.
QFont TitleFont(const QFont& base, const QString& text, int width) {
    QFont font = base;
    if (QFontDatabase::hasFamily(QStringLiteral("MS Sans Serif"))) {
        font.setFamily(QStringLiteral("MS Sans Serif"));
    }
    qreal points = kTitlePoints;
    font.setPointSizeF(points);
    while (points > kSmallestTitlePoints && LineWidth(font, text) > width) {
        points -= kTitlePointStep;
        font.setPointSizeF(points);
    }
    return font;
}

void PlaceButton(QPushButton& button, const char* name, const QString& text, const QRect& place) {
    button.setObjectName(QString::fromLatin1(name));
    button.setText(text);
    button.setGeometry(place);
}

}  // namespace

FrmAbout::FrmAbout(link::BoardLink& link, QWidget* owner)
    : QDialog(owner, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint |
                         Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint),
      link_(link) {
    setObjectName(QStringLiteral("frmAbout"));
    setWindowTitle(QStringLiteral("VRQ66208A About"));
    setFixedSize(Px(5385), Px(2625));
    setSizeGripEnabled(false);
    setModal(true);

    PlaceButton(cmdOK_, "cmdOK", QStringLiteral("OK"), Tw(3960, 2160, 1260, 345));
    cmdOK_.setDefault(true);

    picIcon_.setObjectName(QStringLiteral("picIcon"));
    picIcon_.setGeometry(Tw(135, 240, 2235, 780));
    // A 2-pixel sunken border around the 145 x 48 logo fills the box exactly.
    picIcon_.setFrameStyle(QFrame::WinPanel | QFrame::Sunken);
    picIcon_.setAlignment(Qt::AlignLeft | Qt::AlignTop);
    picIcon_.setPixmap(ResourcePixmap(kLogoResource));
    picIcon_.setFocusPolicy(Qt::StrongFocus);  // a tab stop, as picture boxes are

    PlaceButton(cmdSysInfo_, "cmdSysInfo", QStringLiteral("&System Info..."),
                Tw(3960, 1680, 1245, 345));
    PlaceLabel(lblDescription_, "lblDescription",
               QStringLiteral("Designed for use with Ombrelux's VRQ66208A Evaluation PCB"),
               Tw(105, 1065, 4980, 330), true);
    PlaceLabel(lblDisclaimer_, "lblDisclaimer", QStringLiteral("Copyright \u00A9 2010 Ombrelux"),
               Tw(0, 1920, 2160, 225), true);
    PlaceLabel(X98_, "X98", QStringLiteral("VRQ66208A Evaluation Software "),
               Tw(2430, 240, 2805, 345), true);
    X98_.setWordWrap(false);
    X98_.setFont(TitleFont(X98_.font(), X98_.text().trimmed(), X98_.width()));
    PlaceLabel(lblVersion_, "lblVersion", QStringLiteral("Version 2.1 - 2010/March/02"),
               Tw(2430, 600, 2325, 345), false);
    PlaceButton(cmdFirmwareVersion_, "cmdFirmwareVersion", QStringLiteral("Firmware Version"),
                Tw(2640, 1800, 1215, 495));

    setTabOrder(&cmdOK_, &picIcon_);
    setTabOrder(&picIcon_, &cmdSysInfo_);
    setTabOrder(&cmdSysInfo_, &cmdFirmwareVersion_);
    cmdOK_.setFocus();

    connect(&cmdOK_, &QPushButton::clicked, this, &FrmAbout::cmdOK_Click);
    connect(&cmdSysInfo_, &QPushButton::clicked, this, &FrmAbout::cmdSysInfo_Click);
    connect(&cmdFirmwareVersion_, &QPushButton::clicked, this, &FrmAbout::cmdFirmwareVersion_Click);

    Form_Load();
}

void FrmAbout::SetSysInfoLauncher(SysInfoLocator locate, ProgramStarter start) {
    locate_ = std::move(locate);
    start_ = std::move(start);
}

QPoint FrmAbout::CentredTopLeft(const QRect& ownerFrame, const QSize& dialog) {
    return {ownerFrame.left() + ownerFrame.width() / 2 - dialog.width() / 2,
            ownerFrame.top() + ownerFrame.height() / 2 - dialog.height() / 2};
}

void FrmAbout::Form_Load() {
    QWidget* owner = parentWidget();
    if (owner == nullptr) {
        return;
    }
    const QWidget* ownerWindow = owner->window();
    const QRect ownerFrame = ownerWindow->frameGeometry();
    // Not shown yet, this dialog has no frame of its own; the owner's decoration is the best
    // guess of the one it will get.
    QSize outer = frameGeometry().size();
    if (outer == size()) {
        outer += ownerFrame.size() - ownerWindow->size();
    }
    move(CentredTopLeft(ownerFrame, outer));
}

void FrmAbout::cmdOK_Click() {
    accept();
}

void FrmAbout::cmdSysInfo_Click() {
    StartSysInfo();
}

void FrmAbout::cmdFirmwareVersion_Click() {
    // Nothing came back: the board link has already said why.
    const auto firmware = link_.ReadFirmwareVersion();
    if (!firmware) {
        return;
    }
    const QLocale locale;
    const std::string text = board::FirmwareVersionText(*firmware, [&locale](int month) {
        return locale.standaloneMonthName(month, QLocale::LongFormat).toStdString();
    });
    link_.Host().ShowMessage(text, link::MessageButtons::Ok, link::kProgramTitle);
}

void FrmAbout::StartSysInfo() {
    const auto command = locate_ ? locate_() : std::nullopt;
    if (command && start_ && start_(*command)) {
        return;
    }
    link_.Host().ShowMessage(kSysInfoUnavailable, link::MessageButtons::Ok, link::kProgramTitle);
}

std::optional<ProgramCommand> FrmAbout::LocateSysInfo() {
#ifdef _WIN32
    const auto registry = MakeWindowsRegistryReader();
    auto path = FindSysInfoInRegistry(*registry, [](const std::string& file) {
        std::error_code error;
        return std::filesystem::is_regular_file(std::filesystem::path(file), error);
    });
    if (!path) {
        return std::nullopt;
    }
    return ProgramCommand{std::move(*path), {}};
#else
    return FindSysInfoProgram([](const std::string& name) {
        return QStandardPaths::findExecutable(QString::fromStdString(name)).toStdString();
    });
#endif
}

bool FrmAbout::StartProgram(const ProgramCommand& command) {
    QStringList arguments;
    for (const auto& argument : command.arguments) {
        arguments << NativeText(argument);
    }
    return QProcess::startDetached(NativeText(command.program), arguments);
}

void FrmAbout::paintEvent(QPaintEvent* event) {
    QDialog::paintEvent(event);
    // The engraved rule: a grey line with a white one below it. The white line is 2 pixels
    // wide, centred on its row as a wide pen draws it.
    QPainter painter(this);
    painter.fillRect(QRect(QPoint(Px(-135), Px(1440)), QPoint(Px(5429), Px(1440))),
                     QColor(0x80, 0x80, 0x80));
    painter.fillRect(QRect(QPoint(Px(-135), Px(1560) - 1), QPoint(Px(5414), Px(1560))), Qt::white);
}

void FrmAbout::showEvent(QShowEvent* event) {
    // Placed when first shown (before the window appears), over the owner as it is then.
    if (!loaded_) {
        loaded_ = true;
        Form_Load();
    }
    QDialog::showEvent(event);
}

void FrmAbout::keyPressEvent(QKeyEvent* event) {
    // OK is also the cancel button: Escape presses it.
    if (event->matches(QKeySequence::Cancel)) {
        event->accept();
        cmdOK_.click();
        return;
    }
    QDialog::keyPressEvent(event);
}

}  // namespace vrq::ui
