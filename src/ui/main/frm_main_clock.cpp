// The I2C clock list on "Tab 2": the board's dividers as bus clocks, the one in force selected.
#include <QComboBox>
#include <QSignalBlocker>

#include "ui/main/clock_list.h"
#include "ui/main/frm_main.h"

namespace vrq::ui {

void FrmMain::WireClock() {
    // Picking an entry and selecting one from code both send its divider.
    connect(cboSMBusFrequency, &QComboBox::currentIndexChanged, this,
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
        cboSMBusFrequency->setCurrentIndex(-1);
    }
    if (list.selected) {
        // Sends the divider in force back to the board, once.
        cboSMBusFrequency->setCurrentIndex(static_cast<int>(*list.selected));
    }
}

void FrmMain::cboSMBusFrequency_Click() {
    const int index = cboSMBusFrequency->currentIndex();
    if (index < 0) {
        return;
    }
    link_.SetBusClockDivider(static_cast<std::uint8_t>(cboSMBusFrequency->itemData(index).toInt()));
}

}  // namespace vrq::ui
