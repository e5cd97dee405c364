#include "ui/main/individual_frame.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include <string>

#include "board/hex.h"
#include "device/register_map.h"
#include "ui/common/frame_box.h"
#include "ui/common/twips.h"
#include "ui/common/wrapping_button.h"
#include "ui/link/board_link.h"
#include "ui/main/design.h"
#include "ui/main/hex_text.h"
#include "ui/main/panel_logic.h"
#include "ui/main/register_panel.h"

namespace vrq::ui {

namespace {

std::uint8_t BoxByte(const QLineEdit* box) {
    return static_cast<std::uint8_t>(board::ParseHexText(box->text().toStdString()));
}

constexpr const char* kNeedsByte = " must hold one or two hexadecimal digits (00 to FF).";

}  // namespace

IndividualFrame::IndividualFrame(link::BoardLink& link, const ChipSignals& chips,
                                 RegisterPanel& panel, Designer& design, QWidget* page)
    : link_(link), panel_(panel) {
    Build(design, page);
    Wire();
    QObject::connect(&chips, &ChipSignals::changed, txtReadIndividual,
                     [this](device::ChipKey chip, std::uint8_t reg, device::KnownValue known) {
                         ShowKnown(chip, reg, known);
                     });
}

void IndividualFrame::ShowRead(std::uint8_t reg, std::uint8_t value) {
    shownRegister_ = reg;
    txtReadIndividual->setText(HexText(value));
}

void IndividualFrame::ShowKnown(device::ChipKey chip, std::uint8_t reg, device::KnownValue known) {
    const link::ChipRef shown = link_.CurrentChip();
    if (known.Known() && shownRegister_ == reg && chip.board == shown.board &&
        device::AddressByte(chip.address7) == shown.addressByte) {
        txtReadIndividual->setText(HexText(known.value));
    }
}

void IndividualFrame::Build(Designer& design, QWidget* page) {
    fraIndividualI2C = design.OnPage(
        Owned<FrameBox>(page, QStringLiteral("Individual Register Read/Write with Toggle")),
        QStringLiteral("fraIndividualI2C"), 6, Tw(240, 4680, 3735, 975));
    QGroupBox* frame = fraIndividualI2C;
    txtRegister = design.InFrame(HexBox(frame, QStringLiteral("00")), QStringLiteral("txtRegister"),
                                 10, Tw(480, 240, 330, 285));
    lblRegister = design.InFrame(Owned<QLabel>(frame, QStringLiteral("Register")),
                                 QStringLiteral("lblRegister"), 14, Tw(120, 600, 975, 255));
    lblRegister->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    txtReadIndividual = design.InFrame(HexBox(frame), QStringLiteral("txtReadIndividual"), 11,
                                       Tw(1440, 240, 330, 285));
    ShowValuesOnly(txtReadIndividual);
    cmdReadIndividual =
        design.InFrame(Owned<WrappingButton>(frame, QStringLiteral("Read")),
                       QStringLiteral("cmdReadIndividual"), 8, Tw(1200, 600, 675, 255));

    // Value box and "Write" button 1 stand left of 0.
    const std::array<int, 2> valueLeft{2880, 2160};
    const std::array<int, 2> buttonLeft{2760, 2040};
    const std::array<int, 2> valueTabIndex{9, 13};
    const std::array<int, 2> buttonTabIndex{7, 12};
    for (int i = 0; i < 2; ++i) {
        txtWriteIndividual[i] =
            design.InFrame(HexBox(frame, QStringLiteral("00")), Indexed("txtWriteIndividual", i),
                           valueTabIndex[i], Tw(valueLeft[i], 240, 330, 285));
        cmdWriteIndividual[i] = design.InFrame(
            Owned<WrappingButton>(frame, QStringLiteral("Write")), Indexed("cmdWriteIndividual", i),
            buttonTabIndex[i], Tw(buttonLeft[i], 600, 555, 255));
    }
}

void IndividualFrame::Wire() {
    QObject::connect(cmdReadIndividual, &QPushButton::clicked, cmdReadIndividual,
                     [this] { cmdReadIndividual_Click(); });
    for (int i = 0; i < 2; ++i) {
        QObject::connect(cmdWriteIndividual[i], &QPushButton::clicked, cmdWriteIndividual[i],
                         [this, i] { cmdWriteIndividual_Click(i); });
    }

    registerKeys_.Add(txtRegister, 0);
    BoxKeyHandlers address;
    address.keyDown = [this](int, Qt::Key key, Qt::KeyboardModifiers modifiers) {
        return txtRegister_KeyDown(key, modifiers);
    };
    address.keyPress = [this](int, char16_t& character) { txtRegister_KeyPress(character); };
    registerKeys_.SetHandlers(std::move(address));

    for (int i = 0; i < 2; ++i) {
        valueKeys_.Add(txtWriteIndividual[i], i);
    }
    BoxKeyHandlers values;
    values.keyDown = [this](int index, Qt::Key key, Qt::KeyboardModifiers modifiers) {
        return txtWriteIndividual_KeyDown(index, key, modifiers);
    };
    values.keyPress = [this](int index, char16_t& character) {
        txtWriteIndividual_KeyPress(index, character);
    };
    valueKeys_.SetHandlers(std::move(values));
}

bool IndividualFrame::txtRegister_KeyDown(Qt::Key key, Qt::KeyboardModifiers modifiers) {
    return handleClipboardKeys(txtRegister, key, modifiers) != ClipboardKey::None;
}

void IndividualFrame::txtRegister_KeyPress(char16_t& character) {
    filterHexKey(character);
}

bool IndividualFrame::txtWriteIndividual_KeyDown(int index, Qt::Key key,
                                                 Qt::KeyboardModifiers modifiers) {
    return handleClipboardKeys(txtWriteIndividual[index], key, modifiers) != ClipboardKey::None;
}

void IndividualFrame::txtWriteIndividual_KeyPress(int /*index*/, char16_t& character) {
    filterHexKey(character);
}

// The boxes are parsed as bytes; an empty box or one that some paste filled otherwise would
// reach a register the user did not mean, so the press goes no further.
bool IndividualFrame::BoxesHoldBytes(bool withValues) {
    struct Named {
        const QLineEdit* box;
        const char* name;
    };
    const std::array<Named, 3> boxes{{
        {txtRegister, "The Register box"},
        {txtWriteIndividual[1], "The value box of the left Write button"},
        {txtWriteIndividual[0], "The value box of the right Write button"},
    }};
    for (std::size_t i = 0; i < (withValues ? boxes.size() : 1); ++i) {
        if (!board::IsHexByteText(boxes[i].box->text().toStdString())) {
            link_.Host().ShowMessage(std::string(boxes[i].name) + kNeedsByte,
                                     link::MessageButtons::Ok, "");
            return false;
        }
    }
    return true;
}

bool IndividualFrame::readIndividualReg() {
    link_.DrainInput();
    txtRegister->setText(HexText(IndividualRegister(BoxByte(txtRegister))));
    const std::uint8_t reg = BoxByte(txtRegister);
    std::array<std::uint8_t, 1> buffer{};
    if (link_.ReadRegisters(link_.I2CAddress(), reg, 1, buffer, false) == link::StatusDeviceError) {
        return false;
    }
    ShowRead(reg, buffer[0]);
    return true;
}

void IndividualFrame::cmdReadIndividual_Click() {
    if (BoxesHoldBytes(false)) {
        readIndividualReg();
    }
}

void IndividualFrame::cmdWriteIndividual_Click(int index) {
    if (!BoxesHoldBytes(true) || !readIndividualReg()) {
        return;
    }
    const std::uint8_t value0 = BoxByte(txtWriteIndividual[0]);
    const std::uint8_t value1 = BoxByte(txtWriteIndividual[1]);
    std::array<std::uint8_t, 1> current{BoxByte(txtReadIndividual)};
    const std::array<std::uint8_t, 1> chosen{ToggleValue(index, value0, value1, current[0])};

    const std::uint8_t reg = BoxByte(txtRegister);
    // A device error has shown its message; the read-back below still shows what the
    // register holds.
    link_.WriteRegisters(link_.I2CAddress(), reg, 1, chosen, false);
    link_.ReadRegistersOnce(link_.I2CAddress(), reg, 1, current);

    QLineEdit* own = txtWriteIndividual[index];
    own->setText(HexText(BoxByte(own)));
    ShowRead(reg, current[0]);
    panel_.ShowValue(reg, current[0]);
}

}  // namespace vrq::ui
