#include "ui/margin/margin_shared.h"

#include <QCoreApplication>

#include "device/register_map.h"
#include "margin/margin_text.h"

namespace vrq::ui {

namespace {
constexpr const char* kTitle = "Link Margin";
}  // namespace

QString Qs(const std::string& text) {
    return QString::fromStdString(text);
}

QString Sentence(const std::string& text) {
    QString sentence = Qs(text);
    if (!sentence.isEmpty()) {
        sentence[0] = sentence[0].toUpper();
        if (!sentence.endsWith('.') && !sentence.endsWith('?')) {
            sentence += '.';
        }
    }
    return sentence;
}

MarginShared::MarginShared(link::BoardLink& boardLink, board::ExchangeHub& hub,
                           MessagePresenter& messages, const device::KnownChips* known)
    : link(boardLink),
      presenter(messages),
      chips(known),
      registers(boardLink),
      tapOnHub_(hub, tap) {}

link::MessageAnswer MarginShared::Ask(const QString& text, link::MessageButtons buttons) {
    return presenter.Show(window, text.toStdString(), buttons, kTitle);
}

void MarginShared::Say(const QString& text) {
    Ask(text, link::MessageButtons::Ok);
}

bool MarginShared::CheckerReady(const margin::LinkState& state, const QString& toolName) {
    if (state.CheckerOn()) {
        return true;
    }
    const QString text = QStringLiteral(
                             "The PRBS checker (register 0x09 bit 2) is off, so the error counters "
                             "count nothing.\r\nTurn it on and start the %1?")
                             .arg(toolName);
    if (Ask(text, link::MessageButtons::YesNo) != link::AnswerYes) {
        return false;
    }
    return margin::TurnCheckerOn(registers, state);
}

std::vector<std::uint8_t> MarginShared::Snapshot() {
    link::LinkRegisters quiet(link, true);
    std::vector<std::uint8_t> values(device::kRegisterCount);
    return quiet.Read(0x00, values) ? values : std::vector<std::uint8_t>{};
}

margin::RunInfo MarginShared::StartInfo(const std::string& label, const std::string& note) {
    margin::RunInfo info;
    info.started = margin::WallClockNow();
    info.host = margin::HostName();
    info.program = "vrq66208a-eval " + QCoreApplication::applicationVersion().toStdString();
    if (const auto board = link.CurrentBoard()) {
        info.boardPath = link.BoardPath(*board);
    }
    info.address7 = link.I2CAddress() >> 1;
    info.label = label;
    info.note = note;
    info.registersBefore = Snapshot();
    return info;
}

std::optional<margin::LinkState> MarginShared::KnownState() const {
    if (chips == nullptr) {
        return std::nullopt;
    }
    const link::ChipRef chip = link.CurrentChip();
    std::array<std::uint8_t, device::kRegTest> values{};
    for (std::uint8_t reg = device::kRegChannelActivity; reg <= device::kRegTest; ++reg) {
        const device::KnownValue known =
            chips->Get({chip.board, static_cast<std::uint8_t>(chip.addressByte >> 1)}, reg);
        if (!known.Known()) {
            return std::nullopt;
        }
        values[reg - device::kRegChannelActivity] = known.value;
    }
    return margin::LinkStateFrom(values);
}

QString MarginShared::TargetText() const {
    const auto board = link.CurrentBoard();
    if (!board) {
        return QStringLiteral("No board.");
    }
    auto hex = [](unsigned value) {
        return QStringLiteral("0x") +
               QStringLiteral("%1").arg(value, 2, 16, QLatin1Char('0')).toUpper();
    };
    return QStringLiteral("Board %1 (%2), chip %3 (8-bit %4)")
        .arg(*board)
        .arg(Qs(link.BoardPath(*board)), hex(link.I2CAddress() >> 1U), hex(link.I2CAddress()));
}

}  // namespace vrq::ui
