#include "ui/main/status_line.h"

#include <QLabel>
#include <QStatusBar>
#include <QTimer>

#include <cstdio>

#include "board/hex.h"
#include "ui/common/twips.h"

namespace vrq::ui {
namespace {

enum class Place { Left, News, Right };

QLabel* Field(QStatusBar& bar, const char* name, Place place) {
    auto* label = new QLabel(&bar);  // owned by the bar
    label->setObjectName(QString::fromLatin1(name));
    switch (place) {
        case Place::Left:
            bar.addWidget(label);
            break;
        case Place::News:
            // The news takes what room is left, and a long one is cut rather than pushing
            // the board's facts out of the window.
            label->setMinimumWidth(1);
            bar.addWidget(label, 1);
            break;
        case Place::Right:
            bar.addPermanentWidget(label);
            break;
    }
    return label;
}

QString FirmwareText(const board::FirmwareVersion& fw) {
    char text[48];
    std::snprintf(text, sizeof text, "firmware %d.%d (%04d-%02d-%02d)", fw.version >> 4,
                  fw.version & 0x0F, fw.year, fw.month, fw.day);
    return QString::fromLatin1(text);
}

}  // namespace

StatusLine::StatusLine(link::BoardLink& link, QStatusBar& bar) : QObject(&bar), link_(link) {
    bar.setSizeGripEnabled(false);
    // Of designed height like the rest of the window, so the window's height is known.
    bar.setFixedHeight(Px(kStatusBarHeightTwips));
    board_ = Field(bar, "lblStatusBoard", Place::Left);
    news_ = Field(bar, "lblStatusNews", Place::News);
    firmware_ = Field(bar, "lblStatusFirmware", Place::Right);
    chip_ = Field(bar, "lblStatusChip", Place::Right);
    presence_ = Field(bar, "lblStatusPresence", Place::Right);
    chipFollowed_ = link_.OnChipChanged([this](link::ChipRef) { Show(); });
    boardsFollowed_ = link_.OnBoardsChanged([this] {
        unanswered_.clear();  // found again, or come back: worth asking again
        Show();
    });
    Show();
}

void StatusLine::Say(const QString& news) {
    news_->setText(news);
}

void StatusLine::Show() {
    const link::ChipRef chip = link_.CurrentChip();
    chip_->setText(
        QStringLiteral("chip ") +
        QString::fromStdString(board::Hex0x(static_cast<std::uint8_t>(chip.addressByte >> 1))));
    if (chip.board != shownBoard_) {
        news_->clear();  // news of the board left behind
        shownBoard_ = chip.board;
    }
    if (chip.board < 0) {
        board_->setText(QStringLiteral("No board open"));
        firmware_->clear();
        presence_->clear();
        return;
    }
    const auto instance = static_cast<std::size_t>(chip.board);
    const std::string path = link_.BoardPath(instance);
    board_->setText(
        QStringLiteral("Board %1: %2").arg(chip.board).arg(QString::fromStdString(path)));
    switch (link_.BoardPresence(instance)) {
        case link::Presence::Present:
            presence_->setText(QStringLiteral("present"));
            break;
        case link::Presence::Gone:
            presence_->setText(QStringLiteral("unplugged"));
            break;
        case link::Presence::Back:
            presence_->setText(QStringLiteral("plugged in again"));
            break;
    }
    if (const auto known = firmware_by_path_.find(path); known != firmware_by_path_.end()) {
        firmware_->setText(FirmwareText(known->second));
    } else if (unanswered_.count(path) != 0) {
        firmware_->setText(QStringLiteral("firmware unknown (no answer)"));
    } else {
        firmware_->setText(QStringLiteral("firmware not read yet"));
        if (!firmwareAsked_ && link_.BoardPresence(instance) == link::Presence::Present) {
            // Not in the middle of whatever made the board current (a Retry, a discovery):
            // once the window is idle, and once for every change that comes meanwhile.
            firmwareAsked_ = true;
            QTimer::singleShot(0, this, [this] { AskFirmware(); });
        }
    }
}

void StatusLine::AskFirmware() {
    firmwareAsked_ = false;
    const link::ChipRef chip = link_.CurrentChip();
    if (chip.board < 0) {
        return;
    }
    const std::string path = link_.BoardPath(static_cast<std::size_t>(chip.board));
    if (firmware_by_path_.count(path) == 0) {
        if (const auto fw = link_.QueryFirmwareQuietly()) {
            firmware_by_path_[path] = *fw;
        } else {
            unanswered_.insert(path);
        }
    }
    Show();
}

}  // namespace vrq::ui
