// The I2C clock list on "Tab 2": the board's dividers as bus clocks, the one in force selected.
#include <QComboBox>
#include <QSignalBlocker>

#include "ui/main/clock_list.h"
#include "ui/main/frm_main.h"

namespace vrq::ui {

void FrmMain::WireClock() {
    // Every pick by the user sends its divider, the entry already selected included; a
    // selection from code sends it through the same handler (cboSMBusFrequency_init).
    connect(cboSMBusFrequency, &QComboBox::activated, this,
            [this](int) { cboSMBusFrequency_Click(); });
}

void FrmMain::cboSMBusFrequency_init() {
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

void FrmMain::cboSMBusFrequency_Click() {
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
