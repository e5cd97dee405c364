#include "ui/main/board_frame.h"

#include <QAbstractItemView>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QSignalBlocker>

#include "ui/common/frame_box.h"
#include "ui/common/twips.h"
#include "ui/common/wrapping_button.h"
#include "ui/link/board_link.h"
#include "ui/main/clock_list.h"
#include "ui/main/design.h"

namespace vrq::ui {

namespace {

// The instance box is narrow and its marks ("(unplugged)") are wide: its list shows every
// entry whole. Sized as it opens, since building the list ahead costs the first paint.
class InstanceBox : public QComboBox {
  public:
    using QComboBox::QComboBox;

    void showPopup() override {
        QAbstractItemView& list = *view();
        list.setMinimumWidth(list.sizeHintForColumn(0) + list.frameWidth() * 2 + 8);
        QComboBox::showPopup();
    }
};

}  // namespace

BoardFrame::BoardFrame(link::BoardLink& link, Designer& design, const TabPages& pages)
    : link_(link) {
    Build(design, pages);
    QObject::connect(cboEVBinstance, &QComboBox::currentIndexChanged, cboEVBinstance,
                     [this](int) { cboEVBinstance_Click(); });
    // A change from code counts as a click as well as one by the user.
    QObject::connect(chkLED, &QCheckBox::toggled, chkLED, [this](bool) { chkLED_Click(); });
    QObject::connect(cmdReconnect, &QPushButton::clicked, cmdReconnect,
                     [this] { cmdReconnect_Click(); });
    // Every pick by the user sends its divider, the entry already selected included; a
    // selection from code sends it through the same handler (cboSMBusFrequency_init).
    QObject::connect(cboSMBusFrequency, &QComboBox::activated, cboSMBusFrequency,
                     [this](int) { cboSMBusFrequency_Click(); });
    boardsFollowed_ = link_.OnBoardsChanged([this] { ShowPresence(); });
}

void BoardFrame::ShowPresence() {
    // Refilling is no choice of the user's.
    const QSignalBlocker quiet(cboEVBinstance);
    const int listed = cboEVBinstance->count();
    const auto count = static_cast<int>(link_.BoardCount());
    if (listed > count) {
        return;  // the boards are being found again: cboEVB_init lists them
    }
    for (int i = 0; i < count; ++i) {
        QString text = QString::number(i);
        switch (link_.BoardPresence(static_cast<std::size_t>(i))) {
            case link::Presence::Present:
                break;
            case link::Presence::Gone:
                text += QStringLiteral(" (unplugged)");
                break;
            case link::Presence::Back:
                text += QStringLiteral(" (plugged in again)");
                break;
        }
        if (i < listed) {
            cboEVBinstance->setItemText(i, text);
        } else {
            cboEVBinstance->addItem(text, i);
        }
    }
}

void BoardFrame::Build(Designer& design, const TabPages& pages) {
    fraEVBinstance =
        design.OnPage(Owned<FrameBox>(pages.registers, QStringLiteral("Evaluation Board Instance")),
                      QStringLiteral("fraEVBinstance"), 1, Tw(4440, 4200, 2175, 1575));
    cmdReconnect =
        design.InFrame(Owned<WrappingButton>(fraEVBinstance, QStringLiteral("Reconnect")),
                       QStringLiteral("cmdReconnect"), 4, Tw(240, 360, 975, 375));
    cboEVBinstance = design.InFrame(Owned<InstanceBox>(fraEVBinstance),
                                    QStringLiteral("cboEVBinstance"), 3, Tw(1320, 360, 615, 315));
    chkLED = design.InFrame(Owned<QCheckBox>(fraEVBinstance, QStringLiteral("LED")),
                            QStringLiteral("chkLED"), 2, Tw(840, 840, 1215, 495));

    lblI2Cfrequency2 =
        design.OnPage(Owned<QLabel>(pages.tab2, QStringLiteral("I2C SCL Clock Frequency (kHz)")),
                      Indexed("lblI2Cfrequency", 2), 63, Tw(3240, 3720, 1575, 495));
    lblI2Cfrequency2->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    lblI2Cfrequency2->setWordWrap(true);
    cboSMBusFrequency =
        design.OnPage(Owned<QComboBox>(pages.tab2), QStringLiteral("cboSMBusFrequency"), 62,
                      Tw(3480, 4320, 1215, 315));
}

void BoardFrame::cboEVB_init() {
    {
        // Refilling is no choice of the user's: nothing may run until entry 0 is selected.
        const QSignalBlocker quiet(cboEVBinstance);
        cboEVBinstance->clear();
        for (std::size_t i = 0; i < link_.BoardCount(); ++i) {
            cboEVBinstance->addItem(QString::number(i), static_cast<int>(i));
        }
        cboEVBinstance->setCurrentIndex(-1);
    }
    cboEVBinstance->setCurrentIndex(0);  // runs cboEVBinstance_Click
}

void BoardFrame::cboEVBinstance_Click() {
    const int instance = cboEVBinstance->currentIndex();
    if (instance < 0) {
        return;
    }
    link_.SelectBoard(static_cast<std::size_t>(instance));
    ShowLedState();
    cboSMBusFrequency_init();
}

void BoardFrame::ShowLedState() {
    const auto state = link_.ReadLed();
    if (!state) {
        return;  // no answer: the box keeps its state
    }
    chkLED->setChecked(*state == 1);  // a change runs chkLED_Click
}

void BoardFrame::chkLED_Click() {
    const bool on = chkLED->isChecked();
    link_.SetLed(on ? 1 : 0);
    // After a Retry the new discovery showed the board's old state here; the link has since
    // sent this setting again, so the box shows what the board now does.
    if (chkLED->isChecked() != on) {
        const QSignalBlocker quiet(chkLED);
        chkLED->setChecked(on);
    }
}

void BoardFrame::cmdReconnect_Click() {
    link_.FindBoards();
}

void BoardFrame::cboSMBusFrequency_init() {
    const unsigned build = ++clockListBuilds_;
    const auto clock = link_.ReadBusClock();
    if (!clock) {
        // No answer. The user's Retry ran discovery, which rebuilt the list for the board
        // now current: leave that alone. Otherwise the list is left empty, nothing sent.
        if (build == clockListBuilds_) {
            const QSignalBlocker quiet(cboSMBusFrequency);
            cboSMBusFrequency->clear();
        }
        return;
    }
    const ClockList list = BuildClockList(clock->baseMHz, clock->divider);
    {
        // Clearing and refilling is no choice: nothing is sent.
        const QSignalBlocker quiet(cboSMBusFrequency);
        cboSMBusFrequency->clear();
        for (const ClockEntry& entry : list.entries) {
            cboSMBusFrequency->addItem(QString::fromStdString(entry.text),
                                       static_cast<int>(entry.divider));
        }
        cboSMBusFrequency->setCurrentIndex(list.selected ? static_cast<int>(*list.selected) : -1);
    }
    if (list.selected) {
        // Selecting from code counts as a click: the divider in force goes back, once.
        cboSMBusFrequency_Click();
    }
}

void BoardFrame::cboSMBusFrequency_Click() {
    const int index = cboSMBusFrequency->currentIndex();
    if (index < 0) {
        return;
    }
    const int divider = cboSMBusFrequency->itemData(index).toInt();
    link_.SetBusClockDivider(static_cast<std::uint8_t>(divider));
    // After a Retry the new discovery rebuilt the list around the board's old divider; the
    // link has since sent this one again, so the list shows it.
    if (cboSMBusFrequency->currentData().toInt() != divider) {
        const QSignalBlocker quiet(cboSMBusFrequency);
        cboSMBusFrequency->setCurrentIndex(cboSMBusFrequency->findData(divider));
    }
}

}  // namespace vrq::ui
