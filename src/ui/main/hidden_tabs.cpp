#include "ui/main/hidden_tabs.h"

#include <QApplication>
#include <QKeyEvent>
#include <QPushButton>
#include <QStyle>
#include <QTabBar>
#include <QTabWidget>
#include <QWheelEvent>

#include <array>
#include <cstdint>
#include <cstdlib>

#include "ui/common/twips.h"
#include "ui/common/wrapping_button.h"
#include "ui/link/board_link.h"
#include "ui/main/design.h"
#include "ui/main/register_panel.h"

namespace vrq::ui {

namespace {
constexpr int kFirstTestTab = 1;
constexpr int kSecondTestTab = 2;
constexpr std::uint8_t kMultiWriteFirst = 0x06;
constexpr std::array<std::uint8_t, 3> kMultiWriteValues{0x01, 0x01, 0x01};
constexpr float kMultiWritePauseSeconds = 0.2F;
}  // namespace

HiddenTabs::HiddenTabs(link::BoardLink& link, RegisterPanel& panel, Designer& design,
                       QTabWidget& tabs, QWidget* page)
    : link_(link), panel_(panel), SSTab1(tabs) {
    cmdMultiWriteTest =
        design.OnPage(Owned<WrappingButton>(page, QStringLiteral("MultiWriteTest")),
                      QStringLiteral("cmdMultiWriteTest"), 5, Tw(3120, 1800, 1215, 495));
    QObject::connect(cmdMultiWriteTest, &QPushButton::clicked, cmdMultiWriteTest,
                     [this] { cmdMultiWriteTest_Click(); });
    SSTab1.installEventFilter(this);
    strip_ = SSTab1.tabBar();
    strip_->installEventFilter(this);
}

void HiddenTabs::ShowTestTabs(bool value) {
    SSTab1.setTabVisible(kFirstTestTab, value);
    SSTab1.setTabVisible(kSecondTestTab, value);
}

void HiddenTabs::SSTab1_KeyPress(char16_t character) {
    if (typedKeys_.Append(character)) {
        ShowTestTabs(true);
    }
}

void HiddenTabs::MoveToShownTab(int step, bool wrap) {
    const int count = SSTab1.count();
    int index = SSTab1.currentIndex();
    for (int pass = 0; pass < count; ++pass) {
        index += step;
        if (index < 0 || index >= count) {
            if (!wrap) {
                return;
            }
            index = (index + count) % count;
        }
        if (SSTab1.isTabVisible(index) && SSTab1.isTabEnabled(index)) {
            SSTab1.setCurrentIndex(index);
            return;
        }
    }
}

// Characters typed on the tab strip go to SSTab1_KeyPress and on to the strip. The strip's own
// moves (arrow keys, wheel) and Ctrl+Tab from anywhere on the tabbed control are made here,
// past hidden tabs: the strip itself would move onto a hidden tab and show its page.
// The strip is the one kept from the start: the window's teardown sends the strip events
// while the tabbed control around it is no longer a QTabWidget.
bool HiddenTabs::eventFilter(QObject* watched, QEvent* event) {
    QTabBar* strip = strip_;
    if (watched == strip && event->type() == QEvent::KeyPress) {
        auto* key = static_cast<QKeyEvent*>(event);
        if (key->key() == Qt::Key_Left || key->key() == Qt::Key_Right) {
            const bool towardsFirst = (key->key() == Qt::Key_Left) != strip->isRightToLeft();
            MoveToShownTab(towardsFirst ? -1 : 1, false);
            return true;
        }
        // Alt with a letter is a menu access key, not a character typed on the strip.
        if (!key->modifiers().testFlag(Qt::AltModifier)) {
            for (const QChar character : key->text()) {
                SSTab1_KeyPress(character.unicode());
            }
        }
        return false;
    }
    if (watched == strip && event->type() == QEvent::Wheel) {
        if (strip->style()->styleHint(QStyle::SH_TabBar_AllowWheelScrolling, nullptr, strip)) {
            const QPoint delta = static_cast<QWheelEvent*>(event)->angleDelta();
            const int turn = std::abs(delta.x()) > std::abs(delta.y()) ? delta.x() : delta.y();
            if (turn != 0) {
                MoveToShownTab(turn > 0 ? -1 : 1, false);
            }
        }
        return true;
    }
    if (watched == &SSTab1 && event->type() == QEvent::KeyPress) {
        auto* key = static_cast<QKeyEvent*>(event);
        const bool tabKey = key->key() == Qt::Key_Tab || key->key() == Qt::Key_Backtab;
        if (tabKey && key->modifiers().testFlag(Qt::ControlModifier)) {
            const bool back =
                key->key() == Qt::Key_Backtab || key->modifiers().testFlag(Qt::ShiftModifier);
            MoveToShownTab(back ? -1 : 1, true);
            if (QApplication::focusWidget() == nullptr) {
                strip->setFocus();
            }
            return true;
        }
    }
    return QObject::eventFilter(watched, event);
}

void HiddenTabs::cmdMultiWriteTest_Click() {
    link_.DrainInput();
    const link::Status status = link_.WriteRegisters(
        link_.I2CAddress(), kMultiWriteFirst, kMultiWriteValues.size(), kMultiWriteValues, false);
    if (status == link::StatusDeviceError) {
        return;
    }
    link_.DelaySeconds(kMultiWritePauseSeconds);
    std::array<std::uint8_t, kMultiWriteValues.size()> readBack{};
    // A read-back that fails leaves the boxes showing what was written and acknowledged, never
    // the empty buffer of a read that gave nothing.
    if (link_.ReadRegistersOnce(link_.I2CAddress(), kMultiWriteFirst, readBack.size(), readBack) !=
        link::StatusOk) {
        readBack = kMultiWriteValues;
    }
    for (std::size_t i = 0; i < readBack.size(); ++i) {
        panel_.ShowValue(static_cast<std::uint8_t>(kMultiWriteFirst + i), readBack[i]);
    }
}

}  // namespace vrq::ui
