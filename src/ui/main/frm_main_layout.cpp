// Every control of the main window with its place, caption, state and keyboard order, the
// menu, the icon and the logo. Places are in twips as designed (15 to a pixel at 96 dpi).
// Buttons break their captions into lines and frames carry theirs on the top line, as the
// classic controls the places were designed for do.
#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QIcon>
#include <QKeySequence>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPalette>
#include <QPixmap>
#include <QPushButton>
#include <QTabBar>
#include <QTabWidget>

#include <algorithm>
#include <memory>
#include <utility>

#include "device/register_map.h"
#include "ui/common/wrapping_button.h"
#include "ui/main/app_look.h"
#include "ui/main/frame_box.h"
#include "ui/main/frm_main.h"

namespace vrq::ui {

namespace {

constexpr int kTwipsPerPixel = 15;

// To the nearest pixel (2200 twips, the one width that is no whole number of pixels, is 147).
constexpr int Px(int twips) {
    return (twips + kTwipsPerPixel / 2) / kTwipsPerPixel;
}

constexpr QRect Tw(int left, int top, int width, int height) {
    return {Px(left), Px(top), Px(width), Px(height)};
}

// A widget owned by its Qt parent from the moment it exists.
template <class W, class... Args>
W* Owned(QWidget* parent, Args&&... args) {
    return std::make_unique<W>(std::forward<Args>(args)..., parent).release();
}

QString Indexed(const char* array, int index) {
    return QStringLiteral("%1_%2").arg(QLatin1String(array)).arg(index);
}

// Keyboard order of the register boxes and labels, by array index.
constexpr std::array<int, FrmMain::kRegBoxCount> kBoxTabIndex{
    29, 38, 39, 40, 41, 30, 31, 32, 33, 34, 35, 36, 37, 24, 23, 22, 28, 21, 20, 19, 18, 17, 16};
constexpr std::array<int, FrmMain::kRegLabelCount> kLabelTabIndex{
    49, 50, 51, 52, 53, 54, 55, 56, 57, 58, 59, 60, 61, 46, 44, 45, 43, 48, 47};

// Register boxes are 330 by 285 twips. Tab 0 has two columns of rows 360 apart from 720;
// Tab 1 has one column at 3120: the invisible boxes 13 to 15 from 960, then boxes 17 to 22
// from 2280, 360 apart.
constexpr int kBoxWidth = 330;
constexpr int kBoxHeight = 285;
constexpr int kRowPitch = 360;
constexpr int kFirstRowTop = 720;
constexpr int kLabelHeight = 255;
constexpr int kTab1BoxLeft = 3120;
constexpr int kTab1LabelLeft = 840;
constexpr int kTab1LabelWidth = 2205;

constexpr int Tab1BoxTop(int box) {
    return box <= 15 ? 960 + kRowPitch * (box - 13) : 2280 + kRowPitch * (box - 17);
}

QRect RegistersTabBoxPlace(std::uint8_t address) {
    if (address <= 0x07) {
        return Tw(2520, kFirstRowTop + kRowPitch * address, kBoxWidth, kBoxHeight);
    }
    const int row = address <= 0x0C ? address - 0x08 : 5;  // 0x10 follows 0x0C
    return Tw(5280, kFirstRowTop + kRowPitch * row, kBoxWidth, kBoxHeight);
}

QRect RegistersTabLabelPlace(std::uint8_t address) {
    if (address <= 0x07) {
        return Tw(240, kFirstRowTop + kRowPitch * address, 2175, kLabelHeight);
    }
    const int row = address <= 0x0C ? address - 0x08 : 5;
    return Tw(3000, kFirstRowTop + kRowPitch * row, address == 0x10 ? 2205 : 2200, kLabelHeight);
}

// A box that shows values and takes no input: disabled, its value in the text colour on the
// grey of the buttons (a disabled box would draw it pale grey, hard to read).
void ShowValuesOnly(QLineEdit* box) {
    box->setEnabled(false);
    QPalette palette = box->palette();
    palette.setColor(QPalette::Disabled, QPalette::Base,
                     palette.color(QPalette::Active, QPalette::Button));
    palette.setColor(QPalette::Disabled, QPalette::Text,
                     palette.color(QPalette::Active, QPalette::Text));
    box->setPalette(palette);
}

QString LabelCaption(int labelIndex) {
    const auto caption = device::CaptionByLabelIndex(labelIndex);
    return caption ? QString::fromUtf8(caption->data(), static_cast<qsizetype>(caption->size()))
                   : QString();
}

}  // namespace

void FrmMain::Design(QWidget* control, const QString& name, int tabIndex) {
    control->setObjectName(name);
    control->setProperty("tabIndex", tabIndex);
    tabIndices_.emplace_back(tabIndex, control);
}

void FrmMain::PlaceOnPage(QWidget* control, QRect tabPlace) {
    pagePlaces_.push_back({control, tabPlace});
    control->setGeometry(tabPlace);
}

// The old tabbed control measured its pages' places from its own corner, tab strip included;
// a QTabWidget page starts below its tab strip, so each place is moved by the page's offset
// whenever the pages move.
void FrmMain::PlaceTabPageControls() {
    for (const PagePlace& place : pagePlaces_) {
        const QPoint pageOffset = place.control->parentWidget()->mapTo(SSTab1, QPoint(0, 0));
        place.control->setGeometry(place.tabPlace.translated(-pageOffset));
    }
}

void FrmMain::BuildLayout() {
    setWindowTitle(QStringLiteral("VRQ66208A Evaluation Software"));
    setWindowIcon(QIcon(QString::fromLatin1(kIconResource)));
    // Fixed single border: minimize and close, no maximize.
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                   Qt::WindowCloseButtonHint);

    auto* client = Owned<QWidget>(this);
    client->setObjectName(QStringLiteral("clientArea"));
    client->setFixedSize(Px(8985), Px(6345));
    setCentralWidget(client);
    BuildMenu();
    layout()->setSizeConstraint(QLayout::SetFixedSize);

    SSTab1 = Owned<QTabWidget>(client);
    Design(SSTab1, QStringLiteral("SSTab1"), 0);
    SSTab1->setGeometry(Tw(120, 120, 8775, 6135));
    // Clicking a tab caption gives the strip the keyboard focus, where the access word of the
    // test tabs is typed.
    SSTab1->tabBar()->setFocusPolicy(Qt::StrongFocus);
    ShowFocusAlways(*SSTab1->tabBar());

    const std::array<QString, 3> captions{QStringLiteral("Registers"), QStringLiteral("Tab 1"),
                                          QStringLiteral("Tab 2")};
    std::array<QWidget*, 3> pages{};
    for (int i = 0; i < 3; ++i) {
        pages[i] = Owned<QWidget>(SSTab1);
        pages[i]->setObjectName(Indexed("SSTab1_page", i));
        SSTab1->addTab(pages[i], captions[i]);
    }
    SSTab1->setCurrentIndex(0);
    BuildRegistersTab(pages[0]);
    BuildTab1(pages[1]);
    BuildTab2(pages[2]);

    pageStack_ = pages[0]->parentWidget();
    pageStack_->installEventFilter(this);
    for (QWidget* page : pages) {
        page->installEventFilter(this);
    }
    BuildTabOrder();
    SSTab1->tabBar()->setFocus();
}

void FrmMain::BuildMenu() {
    mnuFile = menuBar()->addMenu(QStringLiteral("&File"));
    mnuFile->setObjectName(QStringLiteral("mnuFile"));
    mnuSaveRegisters = mnuFile->addAction(QStringLiteral("&Save Registers"));
    mnuSaveRegisters->setObjectName(QStringLiteral("mnuSaveRegisters"));
    mnuSaveRegisters->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_S));
    mnuLoadRegisters = mnuFile->addAction(QStringLiteral("Load Registers"));
    mnuLoadRegisters->setObjectName(QStringLiteral("mnuLoadRegisters"));
    mnuLoadRegisters->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_O));
    mnuAbout = mnuFile->addAction(QStringLiteral("About"));
    mnuAbout->setObjectName(QStringLiteral("mnuAbout"));
    mnuExit = mnuFile->addAction(QStringLiteral("&Exit"));
    mnuExit->setObjectName(QStringLiteral("mnuExit"));
    mnuExit->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_T));
    mnuRegisterDefinitions = menuBar()->addAction(QStringLiteral("Register Definitions"));
    mnuRegisterDefinitions->setObjectName(QStringLiteral("mnuRegisterDefinitions"));
}

void FrmMain::BuildRegistersTab(QWidget* page) {
    // The register panel: a label and a box per register of the working set.
    for (const device::RegisterInfo& reg : device::AllRegisters()) {
        if (reg.group != device::RegisterGroup::WorkingSet) {
            continue;
        }
        auto* label = Owned<QLabel>(page, LabelCaption(reg.labelIndex));
        label->setTextFormat(Qt::PlainText);
        label->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
        Design(label, Indexed("lblRegAdd", reg.labelIndex), kLabelTabIndex[reg.labelIndex]);
        PlaceOnPage(label, RegistersTabLabelPlace(reg.address));
        lblRegAdd[reg.labelIndex] = label;

        auto* box = Owned<QLineEdit>(page);
        box->setMaxLength(2);
        Design(box, Indexed("txtRegVal", reg.boxIndex), kBoxTabIndex[reg.boxIndex]);
        PlaceOnPage(box, RegistersTabBoxPlace(reg.address));
        if (!reg.editable) {
            ShowValuesOnly(box);
        }
        txtRegVal[reg.boxIndex] = box;
    }

    cmdReadAllRegisters = Owned<WrappingButton>(page, QStringLiteral("Read All Registers"));
    Design(cmdReadAllRegisters, QStringLiteral("cmdReadAllRegisters"), 26);
    PlaceOnPage(cmdReadAllRegisters, Tw(240, 3960, 1455, 375));

    cmdReCal = Owned<WrappingButton>(page, QStringLiteral("Re-Cal Termination"));
    Design(cmdReCal, QStringLiteral("cmdReCal"), 27);
    cmdReCal->setToolTip(QStringLiteral("Causes the input termination to be re-calibrated"));
    PlaceOnPage(cmdReCal, Tw(2160, 3960, 1575, 375));

    Picture1 = Owned<QLabel>(page);
    Design(Picture1, QStringLiteral("Picture1"), 42);
    Picture1->setPixmap(QPixmap(QString::fromLatin1(kLogoResource)));
    Picture1->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    PlaceOnPage(Picture1, Tw(4080, 3120, 2175, 735));

    cmdQuit = Owned<WrappingButton>(page, QStringLiteral("Quit"));
    Design(cmdQuit, QStringLiteral("cmdQuit"), 25);
    PlaceOnPage(cmdQuit, Tw(6960, 4680, 1215, 615));

    // Individual register read/write with toggle.
    fraIndividualI2C =
        Owned<FrameBox>(page, QStringLiteral("Individual Register Read/Write with Toggle"));
    Design(fraIndividualI2C, QStringLiteral("fraIndividualI2C"), 6);
    PlaceOnPage(fraIndividualI2C, Tw(240, 4680, 3735, 975));

    txtRegister = Owned<QLineEdit>(fraIndividualI2C, QStringLiteral("00"));
    txtRegister->setMaxLength(2);
    Design(txtRegister, QStringLiteral("txtRegister"), 10);
    txtRegister->setGeometry(Tw(480, 240, 330, 285));

    lblRegister = Owned<QLabel>(fraIndividualI2C, QStringLiteral("Register"));
    lblRegister->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    Design(lblRegister, QStringLiteral("lblRegister"), 14);
    lblRegister->setGeometry(Tw(120, 600, 975, 255));

    txtReadIndividual = Owned<QLineEdit>(fraIndividualI2C);
    txtReadIndividual->setMaxLength(2);
    ShowValuesOnly(txtReadIndividual);
    Design(txtReadIndividual, QStringLiteral("txtReadIndividual"), 11);
    txtReadIndividual->setGeometry(Tw(1440, 240, 330, 285));

    cmdReadIndividual = Owned<WrappingButton>(fraIndividualI2C, QStringLiteral("Read"));
    Design(cmdReadIndividual, QStringLiteral("cmdReadIndividual"), 8);
    cmdReadIndividual->setGeometry(Tw(1200, 600, 675, 255));

    // Value box and "Write" button 1 stand left of 0.
    const std::array<int, 2> valueLeft{2880, 2160};
    const std::array<int, 2> buttonLeft{2760, 2040};
    const std::array<int, 2> valueTabIndex{9, 13};
    const std::array<int, 2> buttonTabIndex{7, 12};
    for (int i = 0; i < 2; ++i) {
        txtWriteIndividual[i] = Owned<QLineEdit>(fraIndividualI2C, QStringLiteral("00"));
        txtWriteIndividual[i]->setMaxLength(2);
        Design(txtWriteIndividual[i], Indexed("txtWriteIndividual", i), valueTabIndex[i]);
        txtWriteIndividual[i]->setGeometry(Tw(valueLeft[i], 240, 330, 285));
        cmdWriteIndividual[i] = Owned<WrappingButton>(fraIndividualI2C, QStringLiteral("Write"));
        Design(cmdWriteIndividual[i], Indexed("cmdWriteIndividual", i), buttonTabIndex[i]);
        cmdWriteIndividual[i]->setGeometry(Tw(buttonLeft[i], 600, 555, 255));
    }

    // Board instances and the LED.
    fraEVBinstance = Owned<FrameBox>(page, QStringLiteral("Evaluation Board Instance"));
    Design(fraEVBinstance, QStringLiteral("fraEVBinstance"), 1);
    PlaceOnPage(fraEVBinstance, Tw(4440, 4200, 2175, 1575));

    cmdReconnect = Owned<WrappingButton>(fraEVBinstance, QStringLiteral("Reconnect"));
    Design(cmdReconnect, QStringLiteral("cmdReconnect"), 4);
    cmdReconnect->setGeometry(Tw(240, 360, 975, 375));

    cboEVBinstance = Owned<QComboBox>(fraEVBinstance);
    Design(cboEVBinstance, QStringLiteral("cboEVBinstance"), 3);
    cboEVBinstance->setGeometry(Tw(1320, 360, 615, 315));

    chkLED = Owned<QCheckBox>(fraEVBinstance, QStringLiteral("LED"));
    Design(chkLED, QStringLiteral("chkLED"), 2);
    chkLED->setGeometry(Tw(840, 840, 1215, 495));

    // Device address.
    fraADDR2 = Owned<FrameBox>(page, QStringLiteral("I2C Address"));
    Design(fraADDR2, QStringLiteral("fraADDR2"), 64);
    PlaceOnPage(fraADDR2, Tw(6720, 480, 1815, 3735));

    fraADDR = Owned<FrameBox>(fraADDR2, QStringLiteral("ADDR[6:0]"));
    Design(fraADDR, QStringLiteral("fraADDR"), 67);
    fraADDR->setGeometry(Tw(360, 240, 1095, 2415));

    lblADDRstatus = Owned<QLabel>(fraADDR, QStringLiteral("Check if HI"));
    Design(lblADDRstatus, QStringLiteral("lblADDRstatus"), 75);
    lblADDRstatus->setGeometry(Tw(120, 360, 855, 255));

    for (int bit = 0; bit < kAddressBitCount; ++bit) {
        chkADDRbit[bit] = Owned<QCheckBox>(fraADDR, QString::number(bit));
        Design(chkADDRbit[bit], Indexed("chkADDRbit", bit), 68 + bit);
        // Bit 6 at the top, bit 0 at the bottom.
        chkADDRbit[bit]->setGeometry(Tw(240, 600 + 240 * (6 - bit), 615, 255));
    }

    txtI2Caddress = Owned<QLineEdit>(fraADDR2, QStringLiteral("00"));
    txtI2Caddress->setMaxLength(2);
    ShowValuesOnly(txtI2Caddress);
    Design(txtI2Caddress, QStringLiteral("txtI2Caddress"), 65);
    txtI2Caddress->setGeometry(Tw(720, 2760, 330, 285));

    cmdScanI2Caddress = Owned<WrappingButton>(fraADDR2, QStringLiteral("Scan Address"));
    Design(cmdScanI2Caddress, QStringLiteral("cmdScanI2Caddress"), 66);
    cmdScanI2Caddress->setGeometry(Tw(480, 3120, 855, 495));
}

// Registers outside the working set. Each label stands beside the box of the register it
// names, since a box writes the register equal to its index; boxes 13 to 15 (0x0D to 0x0F)
// stay invisible and box 22 has no register and no label.
void FrmMain::BuildTab1(QWidget* page) {
    for (int box = 13; box < kRegBoxCount; ++box) {
        if (box == 16) {
            continue;  // 0x10 belongs to the working set on tab 0
        }
        auto* edit = Owned<QLineEdit>(page);
        edit->setMaxLength(2);
        Design(edit, Indexed("txtRegVal", box), kBoxTabIndex[box]);
        PlaceOnPage(edit, Tw(kTab1BoxLeft, Tab1BoxTop(box), kBoxWidth, kBoxHeight));
        const device::RegisterInfo* reg = device::FindRegister(static_cast<std::uint8_t>(box));
        if (reg != nullptr && reg->group == device::RegisterGroup::Unnamed) {
            edit->setVisible(false);
        }
        txtRegVal[box] = edit;
    }
    for (const device::RegisterInfo& reg : device::AllRegisters()) {
        if (reg.group != device::RegisterGroup::NamedOnly) {
            continue;
        }
        auto* label = Owned<QLabel>(page, LabelCaption(reg.labelIndex));
        label->setTextFormat(Qt::PlainText);
        label->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
        Design(label, Indexed("lblRegAdd", reg.labelIndex), kLabelTabIndex[reg.labelIndex]);
        PlaceOnPage(label,
                    Tw(kTab1LabelLeft, Tab1BoxTop(reg.boxIndex), kTab1LabelWidth, kLabelHeight));
        lblRegAdd[reg.labelIndex] = label;
    }
}

void FrmMain::BuildTab2(QWidget* page) {
    chkBurstRead = Owned<QCheckBox>(page, QStringLiteral("Burst Read when Read All Registers"));
    chkBurstRead->setChecked(true);
    Design(chkBurstRead, QStringLiteral("chkBurstRead"), 15);
    PlaceOnPage(chkBurstRead, Tw(2040, 840, 2895, 375));

    cmdMultiWriteTest = Owned<WrappingButton>(page, QStringLiteral("MultiWriteTest"));
    Design(cmdMultiWriteTest, QStringLiteral("cmdMultiWriteTest"), 5);
    PlaceOnPage(cmdMultiWriteTest, Tw(3120, 1800, 1215, 495));

    lblI2Cfrequency2 = Owned<QLabel>(page, QStringLiteral("I2C SCL Clock Frequency (kHz)"));
    lblI2Cfrequency2->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    lblI2Cfrequency2->setWordWrap(true);
    Design(lblI2Cfrequency2, Indexed("lblI2Cfrequency", 2), 63);
    PlaceOnPage(lblI2Cfrequency2, Tw(3240, 3720, 1575, 495));

    cboSMBusFrequency = Owned<QComboBox>(page);
    Design(cboSMBusFrequency, QStringLiteral("cboSMBusFrequency"), 62);
    PlaceOnPage(cboSMBusFrequency, Tw(3480, 4320, 1215, 315));
}

// The Tab key follows the tab indices across every page and frame.
void FrmMain::BuildTabOrder() {
    std::stable_sort(tabIndices_.begin(), tabIndices_.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
    QWidget* previous = nullptr;
    for (const auto& [tabIndex, control] : tabIndices_) {
        if ((control->focusPolicy() & Qt::TabFocus) == 0) {
            continue;  // labels, frames and the logo take no focus
        }
        if (previous != nullptr) {
            QWidget::setTabOrder(previous, control);
        }
        previous = control;
    }
}

}  // namespace vrq::ui
