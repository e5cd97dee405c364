// The chip model's changes as a Qt signal, for the views: each register an exchange told
// something of, with what is known of it now. Delivered at once, on the thread of the exchange
// (the window's).
#pragma once

#include <QObject>

#include <cstdint>

#include "device/known_chips.h"

namespace vrq::ui {

class ChipSignals : public QObject {
    Q_OBJECT

  public:
    explicit ChipSignals(device::KnownChips& chips, QObject* parent = nullptr) : QObject(parent) {
        subscription_ =
            chips.Subscribe([this](device::ChipKey chip, std::uint8_t reg,
                                   device::KnownValue known) { emit changed(chip, reg, known); });
    }

  signals:
    void changed(vrq::device::ChipKey chip, std::uint8_t reg, vrq::device::KnownValue known);

  private:
    device::KnownChips::Changes::Subscription subscription_;
};

}  // namespace vrq::ui
